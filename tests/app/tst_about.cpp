#include "app/Unit3.h"
#include "app/comm_Unit1.h"
#include "app/jpeg_decode.h"
#include "readings/station_panel.h"
#include "resources/logo/logo.h"
#include "toolkit/timer.h"

#include "boxes.h"
#include "station_env.h"

#include <QAction>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QRandomGenerator>
#include <QScreen>
#include <QTest>
#include <QUrl>

#include <cstdlib>
#include <functional>

// Receives what the program asks the desktop to open, instead of a browser or PDF viewer.
class DesktopSpy : public QObject {
    Q_OBJECT

public:
    DesktopSpy() {
        QDesktopServices::setUrlHandler(QStringLiteral("http"), this, "open");
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open");
    }
    ~DesktopSpy() override {
        QDesktopServices::unsetUrlHandler(QStringLiteral("http"));
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    }
    QList<QUrl> opened;

public slots:
    void open(const QUrl& url) { opened << url; }
};

namespace {

constexpr int kJpegLoss = 24;

// The main window with the about window as its child; the port stays shut so that no
// opening attempt reports anything while a test runs.
struct Station {
    Station() { form1.openPortTimer().setEnabled(false); }
    TForm1 form1;
    TForm3 form3{&form1};
};

void trigger(const TForm1& form, const char* actionName) {
    form.findChild<QAction*>(QLatin1String(actionName))->trigger();
}

// Runs `whileShown` on the modal window once "Sobre" has shown it, then closes it.
QWidget* showAboutModally(const TForm1& form, const std::function<void(QWidget*)>& whileShown,
                          int closeAfterMs = 0) {
    QWidget* shown = nullptr;
    QTimer::singleShot(closeAfterMs, [&] {
        shown = QApplication::activeModalWidget();
        if (!shown)
            return;
        whileShown(shown);
        shown->close();
    });
    trigger(form, "Sobre2");
    return shown;
}

// The start-of-frame markers before the scan, each with its component count.
QList<QPair<int, int>> framesOf(const QByteArray& jpeg) {
    QList<QPair<int, int>> frames;
    const auto byte = [&](qsizetype at) { return static_cast<uchar>(jpeg.at(at)); };
    for (qsizetype at = 2; at + 10 <= jpeg.size() && byte(at) == 0xFF && byte(at + 1) != 0xDA;
         at += 2 + (byte(at + 2) << 8 | byte(at + 3))) {
        const int marker = 0xFF00 | byte(at + 1);
        if (marker >= 0xFFC0 && marker <= 0xFFCF && marker != 0xFFC4 && marker != 0xFFCC)
            frames << qMakePair(marker, int(byte(at + 9)));
    }
    return frames;
}

bool near(QColor seen, QColor expected) {
    return std::abs(seen.red() - expected.red()) <= kJpegLoss &&
           std::abs(seen.green() - expected.green()) <= kJpegLoss &&
           std::abs(seen.blue() - expected.blue()) <= kJpegLoss;
}

} // namespace

class TestAbout : public QObject {
    Q_OBJECT

private slots:
    void aboutWindow() {
        TForm3 form;
        QCOMPARE(form.windowTitle(), QStringLiteral("K&V - ANEMÔMETROS"));
        QVERIFY(form.windowFlags() & Qt::WindowCloseButtonHint);
        QVERIFY(
            !(form.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(form.palette().color(QPalette::Window),
                 QApplication::palette().color(QPalette::Midlight));
        const QLabel* label = form.versionLabel();
        QCOMPARE(label->text(), QStringLiteral("VERSÃO: 1.5"));
        QCOMPARE(label->geometry(), QRect(QPoint(112, 168), label->sizeHint()));
        QCOMPARE(label->palette().color(QPalette::WindowText), QColor(0x80, 0x00, 0x00));
        QCOMPARE(label->palette().color(QPalette::Window),
                 QApplication::palette().color(QPalette::Base));
        QVERIFY(label->autoFillBackground() && label->font().bold());
        QCOMPARE(label->font().pixelSize(), 16);
        QCOMPARE(form.childAt(label->geometry().center()), label);
        const QLabel* image = form.image();
        QCOMPARE(image->geometry(), QRect(8, 8, 321, 193));
        QVERIFY(!image->accessibleName().isEmpty() && !image->hasScaledContents());

        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(image->pixmap().size(), QSize(315, 185));
        QCOMPARE(form.frameGeometry().size(), QSize(338, 235));
        QCOMPARE(form.minimumSize(), form.maximumSize());
        // Drawn at its own size from the box's top-left corner: the hub and mast sit where drawn.
        const QImage shown = form.grab().toImage();
        QVERIFY(near(shown.pixelColor(8 + 62, 8 + 52), QColor(0xe0, 0x7a, 0x1f)));
        QVERIFY(near(shown.pixelColor(8 + 62, 8 + 110), QColor(0x1f, 0x3a, 0x68)));
    }

    void logoPixels_data() {
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<QColor>("colour");
        QTest::newRow("background") << QPoint(300, 20) << QColor(255, 255, 255);
        QTest::newRow("label room") << QPoint(160, 172) << QColor(255, 255, 255);
        QTest::newRow("sky") << QPoint(30, 100) << QColor(0xea, 0xf3, 0xfb);
        QTest::newRow("rotor hub") << QPoint(62, 52) << QColor(0xe0, 0x7a, 0x1f);
        QTest::newRow("mast") << QPoint(62, 110) << QColor(0x1f, 0x3a, 0x68);
        QTest::newRow("rule") << QPoint(210, 108) << QColor(0xe0, 0x7a, 0x1f);
    }
    void logoPixels() {
        QFETCH(QPoint, at);
        QFETCH(QColor, colour);
        const QImage logo = about::decodeJpeg(logo::jpegBytes());
        QCOMPARE(logo.size(), QSize(315, 185));
        const QColor seen = logo.pixelColor(at);
        QVERIFY2(near(seen, colour), qPrintable(seen.name()));
    }

    void logoIsBaselineWithThreeComponents() {
        const QByteArray jpeg = logo::jpegBytes();
        QVERIFY(jpeg.startsWith("\xFF\xD8"));
        QCOMPARE(framesOf(jpeg), (QList<QPair<int, int>>{{0xFFC0, 3}}));
    }

    void damagedJpeg_data() {
        QTest::addColumn<QByteArray>("bytes");
        const QByteArray logo = logo::jpegBytes();
        QByteArray random(4000, '\0');
        QRandomGenerator generator(1234);
        for (char& b : random)
            b = static_cast<char>(generator.bounded(256));
        QTest::newRow("first half") << logo.left(logo.size() / 2);
        QTest::newRow("header only") << logo.left(200);
        QTest::newRow("random bytes") << random;
        QTest::newRow("random after the start marker") << QByteArray("\xFF\xD8") + random;
        QTest::newRow("empty") << QByteArray();
    }
    void damagedJpeg() {
        QFETCH(QByteArray, bytes);
        QVERIFY(about::decodeJpeg(bytes).isNull());
        BoxWatcher watcher;
        TForm3 form;
        form.showLogo(bytes);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QVERIFY(form.image()->pixmap().isNull());
        QVERIFY(form.versionLabel()->isVisible());
        QTest::qWait(20);
        QVERIFY(watcher.boxes().empty());
    }

    void sameWindowCentredThenWhereLeft() {
        StationEnv env;
        Station s;
        QPoint firstCentre;
        QWidget* first = showAboutModally(s.form1, [&](QWidget* about) {
            firstCentre = about->frameGeometry().center();
            about->move(40, 50);
        });
        QPoint second;
        QWidget* again = showAboutModally(s.form1, [&](QWidget* about) { second = about->pos(); });
        QCOMPARE(first, &s.form3);
        QCOMPARE(again, &s.form3);
        QCOMPARE(Form3, &s.form3);
        QVERIFY(s.form3.isHidden());
        const QPoint screenCentre = s.form3.screen()->geometry().center();
        QVERIFY((firstCentre - screenCentre).manhattanLength() <= 2);
        QCOMPARE(second, QPoint(40, 50));
        QCOMPARE(s.form3.frameGeometry().size(), QSize(338, 235));
    }

    void timersTickWhileShown() {
        StationEnv env;
        Station s;
        int ticks = 0;
        toolkit::Timer poll(nullptr, 10, true);
        connect(&poll, &toolkit::Timer::timeout, [&] { ++ticks; });
        int ticksWhenShown = -1;
        showAboutModally(
            s.form1, [&](QWidget*) { ticksWhenShown = ticks; }, 300);
        QVERIFY(ticksWhenShown >= 10);
    }

    // "Web Site" and "Geral" only ask the desktop; nothing of the program's own is shown, even
    // when the manual is missing.
    void desktopRequests_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("manualPresent");
        QTest::addColumn<QString>("expected"); // "%1" stands for the station folder
        const QString manual = QStringLiteral("file://%1/HELP/K&V_ZARERAZIRU.pdf");
        QTest::newRow("Web Site") << "Sobre1" << false
                                  << QStringLiteral("http://") + TForm1::kMakerHost;
        QTest::newRow("Geral") << "Software1" << true << manual;
        QTest::newRow("Geral, manual missing") << "Software1" << false << manual;
    }
    void desktopRequests() {
        QFETCH(QString, action);
        QFETCH(bool, manualPresent);
        QFETCH(QString, expected);
        StationEnv env;
        Station s;
        if (manualPresent) {
            QDir(env.dir()).mkdir(QStringLiteral("HELP"));
            QFile manual(env.dir() + QStringLiteral("/HELP/K&V_ZARERAZIRU.pdf"));
            QVERIFY(manual.open(QIODevice::WriteOnly));
        }
        DesktopSpy desktop;
        BoxWatcher watcher;
        trigger(s.form1, qPrintable(action));
        QCOMPARE(desktop.opened.size(), 1);
        // The desktop gets an absolute URL; a relative one would mean nothing to it.
        QCOMPARE(desktop.opened.front(), QUrl(expected.arg(env.dir())));
        QTest::qWait(20);
        QVERIFY(watcher.boxes().empty());
    }

    void escapeDoesNotCloseTheWindow() {
        StationEnv env;
        Station s;
        bool stillShown = false;
        showAboutModally(s.form1, [&](QWidget* shown) {
            QTest::keyClick(shown, Qt::Key_Escape);
            QTest::qWait(20);
            stillShown = shown->isVisible();
        });
        QVERIFY(stillShown);
    }
};

QTEST_MAIN(TestAbout)
#include "tst_about.moc"
