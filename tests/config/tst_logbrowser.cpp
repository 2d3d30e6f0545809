#include "app/comm_Unit1.h"
#include "config/Unit2.h"
#include "readings/station_panel.h"

#include "boxes.h"
#include "station_env.h"

#include <QDesktopServices>
#include <QDir>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QUrl>

// Receives what the program asks the desktop to open, instead of a real editor.
class DesktopSpy : public QObject {
    Q_OBJECT

public:
    DesktopSpy() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~DesktopSpy() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

namespace {

struct Station {
    TForm1 form1;
    TForm2 form2{form1.stationSettings(), form1.stationBus(), &form1};
};

QStringList listed(const QListWidget* list) {
    QStringList names;
    for (int i = 0; i < list->count(); ++i)
        names << list->item(i)->text();
    return names;
}

void touch(const QString& path) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

} // namespace

class TestLogBrowser : public QObject {
    Q_OBJECT

private slots:
    // The window's button icons are read when first drawn: shown, each draws its picture.
    void buttonIconsDrawnWhenShown() {
        StationEnv env;
        Station s;
        s.form2.show();
        QVERIFY(QTest::qWaitForWindowExposed(&s.form2));
        const std::pair<QPushButton*, const char*> buttons[] = {
            {s.form2.saveButton(), ":/icons/button_save.png"},
            {s.form2.searchButton(), ":/icons/button_search.png"},
            {s.form2.openButton(), ":/icons/button_open.png"}};
        for (const auto& [button, path] : buttons) {
            QVERIFY2(!button->icon().isNull(), path);
            const QImage drawn = button->icon().pixmap(button->iconSize()).toImage();
            QVERIFY2(!drawn.isNull(), path);
            QCOMPARE(drawn, QIcon(QString::fromLatin1(path)).pixmap(button->iconSize()).toImage());
        }
    }

    void searchListsFilesOnly() {
        StationEnv env;
        Station s;
        const QString folder = env.documents() + QStringLiteral("/log_zareraziru/");
        touch(folder + QStringLiteral("07-12-2026 ANEMÔMETRO 1.txt"));
        touch(folder + QStringLiteral("07-12-2026 ANEMÔMETRO 2.txt"));
        QDir(folder).mkdir(QStringLiteral("subpasta"));
        QDir(folder).mkdir(QStringLiteral(".oculta"));
        QDir(folder).mkdir(QStringLiteral("somente leitura"));
        QFile::setPermissions(folder + QStringLiteral("somente leitura"), QFile::ReadOwner);

        QTest::mouseClick(s.form2.searchButton(), Qt::LeftButton);
        QStringList names = listed(s.form2.logList());
        names.sort();
        QCOMPARE(names,
                 (QStringList{"07-12-2026 ANEMÔMETRO 1.txt", "07-12-2026 ANEMÔMETRO 2.txt"}));
        QTest::mouseClick(s.form2.searchButton(), Qt::LeftButton);
        QCOMPARE(s.form2.logList()->count(), 2);
    }

    void missingFolderLeavesTheListEmpty() {
        StationEnv env;
        Station s;
        s.form2.logList()->addItem(QStringLiteral("antigo.txt"));
        QDir(env.documents() + QStringLiteral("/log_zareraziru")).removeRecursively();
        BoxWatcher watcher;
        QTest::mouseClick(s.form2.searchButton(), Qt::LeftButton);
        QCOMPARE(s.form2.logList()->count(), 0);
        QCOMPARE(watcher.boxes().size(), std::size_t(0));
    }

    void openWithoutSelection() {
        StationEnv env;
        Station s;
        DesktopSpy desktop;
        BoxWatcher watcher;
        QTest::mouseClick(s.form2.openButton(), Qt::LeftButton); // empty list
        s.form2.logList()->addItem(QStringLiteral("a.txt"));
        s.form2.logList()->clearSelection();
        QTest::mouseClick(s.form2.openButton(), Qt::LeftButton); // nothing selected
        QCOMPARE(watcher.boxes().size(), std::size_t(2));
        for (const SeenBox& box : watcher.boxes()) {
            QCOMPARE(box.text, QStringLiteral("Selecione um arquivo na lista"));
            QCOMPARE(box.icon, QMessageBox::NoIcon);
        }
        QVERIFY(desktop.opened.isEmpty());
    }

    void openAsksTheDesktopForExactlyThatFile() {
        StationEnv env;
        Station s;
        const QString name = QStringLiteral("07-12-2026 NORTE; rm -rf 'x'.txt");
        touch(env.documents() + QStringLiteral("/log_zareraziru/") + name);
        QTest::mouseClick(s.form2.searchButton(), Qt::LeftButton);
        s.form2.logList()->setCurrentRow(0);
        DesktopSpy desktop;
        QTest::mouseClick(s.form2.openButton(), Qt::LeftButton);
        QCOMPARE(desktop.opened.size(), 1);
        QVERIFY(desktop.opened[0].isLocalFile());
        QCOMPARE(desktop.opened[0].toLocalFile(),
                 env.documents() + QStringLiteral("/log_zareraziru/") + name);
    }

    void documentsMissing() {
        StationEnv env;
        Station s;
        s.form2.logList()->addItem(QStringLiteral("a.txt"));
        s.form2.logList()->setCurrentRow(0);
        qunsetenv("HOME");
        DesktopSpy desktop;
        BoxWatcher watcher;
        QTest::mouseClick(s.form2.openButton(), Qt::LeftButton);
        QTest::mouseClick(s.form2.searchButton(), Qt::LeftButton);
        QCOMPARE(watcher.boxes().size(), std::size_t(2));
        for (const SeenBox& box : watcher.boxes())
            QCOMPARE(box.text,
                     QStringLiteral("Não foi possível obter o local dos  Meus Documentos."));
        QCOMPARE(s.form2.logList()->count(), 0); // emptied before the failure
        QVERIFY(desktop.opened.isEmpty());
    }
};

QTEST_MAIN(TestLogBrowser)
#include "tst_logbrowser.moc"
