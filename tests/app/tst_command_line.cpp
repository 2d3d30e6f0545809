// The real program's command line: --help and --version answered without a display, an option
// it does not know refused with status 2 before anything starts, Qt's own options let through.

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

class TestCommandLine : public QObject {
    Q_OBJECT

private slots:
    void answersAndRefusals_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // a line of standard output
        QTest::addColumn<QString>("err"); // a line of standard error
        QTest::newRow("--help") << QStringList{"--help"} << 0 << "Uso: anemometros [--local]"
                                << "";
        QTest::newRow("-h among others") << QStringList{"--local", "-h"} << 0
                                         << "  --local      a visão do local: as estações de "
                                            "vários computadores de estação, pelo"
                                         << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "K&V ANEMÔMETROS 1.5"
                                   << "";
        QTest::newRow("a typing error") << QStringList{"--locla"} << 2 << ""
                                        << "anemometros: a opção \"locla\" não existe.";
        QTest::newRow("an argument") << QStringList{"ConfigALL.txt"} << 2 << ""
                                     << "anemometros: o programa não recebe argumentos "
                                        "(\"ConfigALL.txt\").";
    }
    void answersAndRefusals() {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        QTemporaryDir folder; // nothing may be written in it
        QProcess program;
        program.setWorkingDirectory(folder.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        // No display at all: what needs none must not ask for one. The refusals come after Qt
        // has taken its own options, on a platform that needs no display.
        environment.remove(QStringLiteral("DISPLAY"));
        environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
        if (status == 0)
            environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
        else
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        program.setProcessEnvironment(environment);
        program.start(QStringLiteral(ANEMOMETROS_PATH), arguments);
        QVERIFY(program.waitForFinished(10000));
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), status);
        const QStringList outLines =
            QString::fromUtf8(program.readAllStandardOutput()).split(u'\n');
        const QStringList errLines = QString::fromUtf8(program.readAllStandardError()).split(u'\n');
        if (!out.isEmpty())
            QVERIFY2(outLines.contains(out), qPrintable(outLines.join(u'\n')));
        if (!err.isEmpty())
            QVERIFY2(errLines.contains(err), qPrintable(errLines.join(u'\n')));
        QVERIFY(QDir(folder.path()).isEmpty());
    }

    // -platform is Qt's: taken by Qt, not refused as unknown; the program then starts.
    void qtOptionsLetThrough() {
        QTemporaryDir folder;
        QProcess program;
        program.setWorkingDirectory(folder.path());
        program.start(QStringLiteral(ANEMOMETROS_PATH), {"-platform", "offscreen", "--local"});
        QVERIFY(program.waitForStarted());
        QVERIFY(!program.waitForFinished(1500));
        program.terminate();
        QVERIFY(program.waitForFinished(5000));
        QVERIFY(!program.readAllStandardError().contains("não existe"));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_command_line.moc"
