#pragma once

// The real station program in a folder of its own, polling `count` stations of anemosim every
// second: ConfigALL.txt, IMAGES/ and a home of its own, anemosim on a link in the folder with a
// record of every request (record.csv), and with an anemosim scenario when one is given. Needs
// ANEMOMETROS_PATH and ANEMOSIM_PATH.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class ProgramStation {
public:
    explicit ProgramStation(int count, const QByteArray& pauseMs = "200",
                            const QByteArray& scenario = {}) {
        QByteArray config = link.toUtf8() + "\r\n9600\r\n" + QByteArray::number(count) + "\r\n";
        for (int n = 1; n <= 8; ++n)
            config += "EST " + QByteArray::number(n) + "\r\n" + QByteArray::number(n) + "\r\n";
        for (int n = 1; n <= 8; ++n)
            config += "FALSE\r\n";
        config += "1\r\n" + pauseMs + "\r\n";
        write(QStringLiteral("ConfigALL.txt"), config);
        QFile::link(QStringLiteral(STATION_DIR "/IMAGES"), path(QStringLiteral("IMAGES")));
        QStringList options{"--link",     link,
                            "--stations", QString::number(count),
                            "--seed",     "5",
                            "--log",      "/dev/null",
                            "--record",   path(QStringLiteral("record.csv"))};
        if (!scenario.isEmpty()) {
            write(QStringLiteral("cenario.ini"), scenario);
            options << QStringLiteral("--scenario") << path(QStringLiteral("cenario.ini"));
        }
        sim.start(QStringLiteral(ANEMOSIM_PATH), options);
        sim.waitForStarted();
        for (int waited = 0; !QFile::exists(link) && waited < 5000; waited += 20)
            QTest::qWait(20);
    }
    ~ProgramStation() {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished();
        }
        sim.terminate();
        sim.waitForFinished();
    }
    ProgramStation(const ProgramStation&) = delete;
    ProgramStation& operator=(const ProgramStation&) = delete;

    QString path(const QString& name) const { return work.filePath(name); }
    bool write(const QString& name, const QByteArray& bytes) const {
        QFile file(path(name));
        return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
    }
    // The program, offscreen, with the folder as its working directory; `extra` adds to its
    // environment.
    bool start(const QProcessEnvironment& extra = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(extra);
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        environment.remove(QStringLiteral("XDG_DOCUMENTS_DIR"));
        program.setProcessEnvironment(environment);
        program.setWorkingDirectory(work.path());
        program.start(QStringLiteral(ANEMOMETROS_PATH), {});
        return program.waitForStarted();
    }
    void signal(int number) const { ::kill(pid_t(program.processId()), number); }
    QString logFolder() const { return home.filePath(QStringLiteral("Documents/log_zareraziru")); }
    // The lines of the event journals of the program, oldest day first.
    QStringList journal() const {
        const QDir folder(logFolder());
        QStringList lines;
        for (const QString& name :
             folder.entryList({QStringLiteral("Eventos *.txt")}, QDir::Files, QDir::Name)) {
            QFile file(folder.filePath(name));
            file.open(QIODevice::ReadOnly);
            lines += QString::fromLatin1(file.readAll())
                         .split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
        }
        return lines;
    }

    QTemporaryDir home;
    QTemporaryDir work;
    QString link = work.filePath(QStringLiteral("ttySIM"));
    QProcess sim;
    QProcess program;
};
