// What "Geral" and the log browser's "Abrir" hand to the desktop, read where a real desktop
// reads it: the command line of xdg-open, started by Qt on a real X display (this test runs
// under xvfb-run with the xcb platform). The xdg-open found first in PATH is a stand-in that
// records its arguments.

#include "app/comm_Unit1.h"
#include "config/Unit2.h"
#include "toolkit/timer.h"

#include "station_env.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

namespace {

struct Station {
    Station() { form1.openPortTimer().setEnabled(false); }
    TForm1 form1;
    TForm2 form2{form1.stationSettings(), form1.stationBus(), &form1};
};

} // namespace

class TestDesktop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(stubs_.isValid());
        QFile script(stubs_.filePath(QStringLiteral("xdg-open")));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" >> \"$DESKTOP_RECORD\"\n");
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        qputenv("PATH", stubs_.path().toUtf8() + ':' + qgetenv("PATH"));
        qputenv("DESKTOP_RECORD", record().toUtf8());
    }

    void init() { QFile::remove(record()); }

    void manualReachesTheDesktopAsAnAbsoluteUrl() {
        StationEnv env;
        QDir(env.dir()).mkdir(QStringLiteral("HELP"));
        const QString manual = env.dir() + QStringLiteral("/HELP/K&V_ZARERAZIRU.pdf");
        QFile(manual).open(QIODevice::WriteOnly);
        Station s;
        s.form1.findChild<QAction*>(QStringLiteral("Software1"))->trigger();
        checkOpened(manual);
    }

    void logBrowserReachesTheDesktopAsAnAbsoluteUrl() {
        StationEnv env;
        Station s;
        const QString log = env.documents() + QStringLiteral("/log_zareraziru/07-12-2026 SUL.txt");
        QFile(log).open(QIODevice::WriteOnly);
        s.form2.BT_ProcurarClick();
        s.form2.logList()->setCurrentRow(0);
        s.form2.BT_AbrirClick();
        checkOpened(log);
    }

private:
    QString record() const { return stubs_.filePath(QStringLiteral("opened.txt")); }

    void checkOpened(const QString& expected) {
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(record()).size() > 0, 5000);
        QFile file(record());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> arguments = file.readAll().trimmed().split('\n');
        QCOMPARE(arguments.size(), 1);
        const QUrl url = QUrl::fromEncoded(arguments[0]);
        QVERIFY2(url.scheme() == QStringLiteral("file") && url.path().startsWith(u'/'),
                 arguments[0].constData());
        QVERIFY2(QFileInfo::exists(url.toLocalFile()), arguments[0].constData());
        QCOMPARE(QFileInfo(url.toLocalFile()).canonicalFilePath(),
                 QFileInfo(expected).canonicalFilePath());
    }

    QTemporaryDir stubs_;
};

QTEST_MAIN(TestDesktop)
#include "tst_desktop.moc"
