#include "notify/command_run.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>

namespace notify {

namespace {

constexpr qint64 kMostOutputBytes = 4096;

} // namespace

CommandRun::CommandRun(QString program, std::function<void(const Outcome&)> done, QObject* parent)
    : QObject(parent), program_(std::move(program)), done_(std::move(done)),
      process_(new QProcess(this)), limit_(new QTimer(this)) {}

void CommandRun::start(const QString& program, const QStringList& variables,
                       const QByteArray& input, std::function<void(const Outcome&)> done,
                       int mostRunMs, QObject* parent) {
    auto* run = new CommandRun(program, std::move(done), parent);
    run->mostRunMs_ = mostRunMs;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& variable : variables)
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    QProcess* process = run->process_;
    process->setProcessEnvironment(environment);
    // Its standard error and output together: what it said about a failure is one text.
    process->setProcessChannelMode(QProcess::MergedChannels);
    run->limit_->setSingleShot(true);
    connect(run->limit_, &QTimer::timeout, run, [run] {
        run->killed_ = true;
        run->process_->kill();
    });
    connect(process, &QProcess::errorOccurred, run, [run](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        run->finish({false, QStringLiteral("o comando %1 não pôde ser iniciado (%2): confira "
                                           "comando e as permissões do arquivo.")
                                .arg(run->program_, run->process_->errorString())});
    });
    connect(process, &QProcess::finished, run, [run](int code, QProcess::ExitStatus status) {
        if (run->killed_)
            return run->finish({false, QStringLiteral("o comando %1 não terminou em %2 s e foi "
                                                      "encerrado: ele não pode esperar por "
                                                      "nada (um modem ocupado, uma pergunta).")
                                           .arg(run->program_)
                                           .arg(run->mostRunMs_ / 1000)});
        const QString said = run->said();
        if (status == QProcess::CrashExit)
            return run->finish({false, QStringLiteral("o comando %1 terminou com um erro grave%2: "
                                                      "rode-o à mão para ver o que falha.")
                                           .arg(run->program_, said)});
        if (code != 0)
            return run->finish({false, QStringLiteral("o comando %1 terminou com o código %2%3: "
                                                      "veja o que ele precisa para enviar.")
                                           .arg(run->program_)
                                           .arg(code)
                                           .arg(said)});
        run->finish({true, QStringLiteral("terminou com o código 0%1").arg(said)});
    });
    process->start(program, {}, QIODevice::ReadWrite);
    if (process->state() == QProcess::NotRunning)
        return;
    run->limit_->start(mostRunMs);
    process->write(input);
    process->closeWriteChannel();
}

// (" (\"modem ocupado\")"): the last line the command wrote, if any.
QString CommandRun::said() const {
    const QByteArray output = process_->read(kMostOutputBytes).trimmed();
    if (output.isEmpty())
        return {};
    const QString last = oneLine(output.split('\n').constLast());
    return QStringLiteral(" (\"%1\")").arg(last);
}

void CommandRun::finish(const Outcome& outcome) {
    if (std::exchange(finished_, true))
        return;
    limit_->stop();
    done_(outcome);
    deleteLater();
}

} // namespace notify
