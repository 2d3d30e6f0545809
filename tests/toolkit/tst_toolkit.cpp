#include "toolkit/failure.h"
#include "toolkit/fonts.h"
#include "toolkit/messages.h"
#include "toolkit/numbers.h"
#include "toolkit/panel_frame.h"
#include "toolkit/regular_file.h"
#include "toolkit/save_dialog.h"
#include "toolkit/screen_fit.h"
#include "toolkit/text_label.h"
#include "toolkit/timer.h"

#include "boxes.h"
#include "fifo_guard.h"

#include <QElapsedTimer>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <optional>

Q_DECLARE_METATYPE(toolkit::FileRead::Outcome)

namespace {

QImage rendered(QFrame& frame);

// Where a label's text is: the pixels inside its frame that differ from the background (the
// colour at the top-left corner inside the frame).
QRect inkBox(QLabel& label) {
    const QImage image = rendered(label);
    const QRect inside = label.contentsRect();
    const QRgb background = image.pixel(inside.topLeft());
    QRect box;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (image.pixel(x, y) != background)
                box |= QRect(x, y, 1, 1);
    return box;
}

// A frame painted by paintPanelFrame, to hold against QFrame's own painting.
class FastFrame : public QFrame {
protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (!toolkit::paintPanelFrame(painter, *this))
            drawFrame(&painter);
    }
};

QImage rendered(QFrame& frame) {
    QImage image(frame.size(), QImage::Format_RGB32);
    image.fill(Qt::magenta);
    frame.render(&image);
    return image;
}

} // namespace

class TestToolkit : public QObject {
    Q_OBJECT

private slots:
    void strToInt_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "300" << true << 300;
        QTest::newRow("leading blanks") << "  42" << true << 42;
        QTest::newRow("plus sign") << "+7" << true << 7;
        QTest::newRow("negative") << "-12" << true << -12;
        QTest::newRow("int min") << "-2147483648" << true << int(-2147483648LL);
        QTest::newRow("int max") << "2147483647" << true << 2147483647;
        QTest::newRow("overflow") << "2147483648" << false << 0;
        QTest::newRow("empty") << "" << false << 0;
        QTest::newRow("blank") << " " << false << 0;
        QTest::newRow("sign alone") << "-" << false << 0;
        QTest::newRow("trailing blank") << "5 " << false << 0;
        QTest::newRow("letters") << "12a" << false << 0;
        QTest::newRow("hex") << "0x1F" << false << 0;
        QTest::newRow("arabic-indic digit") << QString::fromUtf8("\u0661") << false << 0;
    }
    void strToInt() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QFETCH(int, value);
        try {
            const int got = toolkit::StrToInt(text);
            QVERIFY2(valid, "conversion should have failed");
            QCOMPARE(got, value);
        } catch (const toolkit::Failure& failure) {
            QVERIFY2(!valid, qPrintable(failure.text()));
            QCOMPARE(failure.text(), QStringLiteral("'%1' is not a valid integer value").arg(text));
        }
    }

    void fileErrors() {
        QCOMPARE(toolkit::fileErrorText(ENOENT), QStringLiteral("File not found"));
        QCOMPARE(toolkit::fileErrorText(EACCES), QStringLiteral("File access denied"));
        QCOMPARE(toolkit::fileErrorText(EPERM), QStringLiteral("File access denied"));
        QCOMPARE(toolkit::fileErrorText(EROFS), QStringLiteral("File access denied"));
        QCOMPARE(toolkit::fileErrorText(ENOSPC), QStringLiteral("I/O error %1").arg(ENOSPC));
    }

    // Only regular files up to the limit are read; anything else is refused at once, without
    // waiting for a FIFO's writer and without reading a huge file (1 TiB, sparse) or a device.
    void smallRegularFilesOnly_data() {
        using Outcome = toolkit::FileRead::Outcome;
        QTest::addColumn<QString>("kind");
        QTest::addColumn<qint64>("limit");
        QTest::addColumn<Outcome>("outcome");
        QTest::addColumn<QString>("reason");
        QTest::newRow("small") << "small" << qint64(64) << Outcome::Read << QString();
        QTest::newRow("at the limit") << "64 bytes" << qint64(64) << Outcome::Read << QString();
        QTest::newRow("one byte over") << "65 bytes" << qint64(64) << Outcome::TooLarge
                                       << "é grande demais (mais de 64 bytes)";
        QTest::newRow("1 TiB") << "1 TiB" << qint64(64 * 1024) << Outcome::TooLarge
                               << "é grande demais (mais de 64 KiB)";
        QTest::newRow("size unknown, over")
            << "/proc/self/status" << qint64(16) << Outcome::TooLarge
            << "é grande demais (mais de 16 bytes)";
        QTest::newRow("size unknown, under")
            << "/proc/self/status" << qint64(1024 * 1024) << Outcome::Read << QString();
        QTest::newRow("FIFO") << "fifo" << qint64(1024 * 1024) << Outcome::NotRegular
                              << "não é um arquivo comum";
        QTest::newRow("device") << "/dev/zero" << qint64(1024 * 1024) << Outcome::NotRegular
                                << "não é um arquivo comum";
        QTest::newRow("folder") << "folder" << qint64(64) << Outcome::Folder << "é uma pasta";
        QTest::newRow("missing") << "missing" << qint64(64) << Outcome::Missing << "não existe";
    }
    void smallRegularFilesOnly() {
        QFETCH(QString, kind);
        QFETCH(qint64, limit);
        QFETCH(toolkit::FileRead::Outcome, outcome);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("arquivo"));
        QByteArray contents;
        if (kind.startsWith(u'/')) {
            path = kind;
        } else if (kind == u"folder") {
            QVERIFY(QDir().mkdir(path));
        } else if (kind != u"missing" && kind != u"fifo") {
            contents = kind == u"small" ? QByteArray("linha 1\r\n\0linha 2", 17)
                                        : QByteArray(kind.section(u' ', 0, 0).toInt(), 'x');
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(contents), contents.size());
            if (kind == u"1 TiB")
                QVERIFY(file.resize(qint64(1) << 40));
        }
        std::optional<FifoGuard> fifo;
        if (kind == u"fifo") {
            fifo.emplace(path, QByteArray("escrito"));
            QVERIFY(fifo->made());
        }
        QElapsedTimer reading;
        reading.start();
        const toolkit::FileRead read = toolkit::readRegularFile(path, limit);
        QVERIFY2(reading.elapsed() < 1000, qPrintable(QString::number(reading.elapsed())));
        QVERIFY(!fifo || !fifo->readerWaited());
        QCOMPARE(read.outcome, outcome);
        QCOMPARE(read.reason(), reason);
        if (outcome == toolkit::FileRead::Outcome::Read && !kind.startsWith(u'/'))
            QCOMPARE(read.bytes, contents);
        if (outcome != toolkit::FileRead::Outcome::Read)
            QVERIFY(read.bytes.isEmpty());
    }

    void failureSkipsRestOfHandlerAndShowsOneBox() {
        BoxWatcher watcher;
        bool reachedEnd = false;
        toolkit::guarded([&] {
            toolkit::StrToInt(QStringLiteral("abc"));
            reachedEnd = true;
        });
        QVERIFY(!reachedEnd);
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].icon, QMessageBox::Critical);
        QCOMPARE(watcher.boxes()[0].title, QStringLiteral("K&V  ANEMÔMETROS"));
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("'abc' is not a valid integer value"));
    }

    void secondFailureWhileBoxOpenDoesNotStack() {
        // A timer keeps failing while the first error box is open: no second box may appear.
        toolkit::Timer failing(nullptr, 10, false);
        connect(&failing, &toolkit::Timer::timeout, this, [] {
            toolkit::guarded([] { throw toolkit::Failure(QStringLiteral("File not found")); });
        });
        BoxWatcher watcher([&](QMessageBox*) {
            failing.setEnabled(true);
            QTest::qWait(80);
            failing.setEnabled(false);
        });
        toolkit::guarded([] { throw toolkit::Failure(QStringLiteral("I/O error 5")); });
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].text, QStringLiteral("I/O error 5"));
        QCOMPARE(watcher.maxOpenAtOnce(), 1);
        QVERIFY(!toolkit::errorReportShowing());
    }

    // The fast label must look like the QLabel it replaces, for every kind of label the panels
    // and the status bar use: autosized readings, centred framed presets, the long poll trail.
    void textLabelPaintsLikeQLabel_data() {
        QTest::addColumn<QFont>("font");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("framed");
        QTest::addColumn<QSize>("size"); // empty: the label sizes itself to its text
        QTest::newRow("speed") << toolkit::arial(19) << QStringLiteral("32,6 km/h") << false
                               << QSize();
        QTest::newRow("caption") << toolkit::arial(19, true) << QStringLiteral("V:") << false
                                 << QSize();
        QTest::newRow("direction")
            << toolkit::arial(19) << QStringLiteral("NNO") << false << QSize();
        QTest::newRow("preset") << QFont() << QStringLiteral("> LIMITE kn") << true
                                << QSize(65, 33);
        QTest::newRow("trail") << QFont()
                               << QStringLiteral("N°: 1 - OK | N°: 2 - ERRO | N°: 3 - OK") << true
                               << QSize(560, 18);
        QTest::newRow("name with accents")
            << toolkit::arial(15, true) << QStringLiteral("ANEMÔMETRO ÇÃÉ") << true
            << QSize(161, 33);
        // A font whose ascent and descent add up to a fraction: QLabel rounds the sum up.
        QFont tile;
        tile.setPixelSize(14);
        QTest::newRow("site tile") << tile << QStringLiteral("estação sem resposta") << false
                                   << QSize();
    }

    void textLabelPaintsLikeQLabel() {
        QFETCH(QFont, font);
        QFETCH(QString, text);
        QFETCH(bool, framed);
        QFETCH(QSize, size);
        QLabel plain(text);
        toolkit::TextLabel fast(text);
        for (QLabel* label : std::initializer_list<QLabel*>{&plain, &fast}) {
            label->setFont(font);
            label->setTextFormat(Qt::PlainText);
            if (framed) {
                label->setFrameStyle(QFrame::Panel | QFrame::Raised);
                label->setAlignment(Qt::AlignCenter);
            }
            if (size.isEmpty())
                label->adjustSize();
            else
                label->resize(size);
        }
        QCOMPARE(fast.size(), plain.size());
        QVERIFY(!inkBox(plain).isEmpty());
        QCOMPARE(inkBox(fast), inkBox(plain));
    }

    // Text the glyph path cannot place (another script, a character the font lacks) falls back
    // to QLabel's own painting, and a new text or font is laid out again.
    void textLabelFallsBackAndFollowsChanges() {
        for (const QString& text : {QStringLiteral("风速 12"), QStringLiteral("a\u0301b"),
                                    QStringLiteral("ane\u00ADmo")}) {
            QLabel plain(text);
            toolkit::TextLabel fast(text);
            plain.adjustSize();
            fast.adjustSize();
            QCOMPARE(fast.size(), plain.size());
            QCOMPARE(rendered(fast), rendered(plain));
        }
        // Rich text stays QLabel's business.
        QLabel richPlain(QStringLiteral("<b>12</b>"));
        toolkit::TextLabel richFast(QStringLiteral("<b>12</b>"));
        richPlain.adjustSize();
        richFast.adjustSize();
        QCOMPARE(rendered(richFast), rendered(richPlain));

        toolkit::TextLabel label(QStringLiteral("1,0"));
        label.adjustSize();
        const QSize narrow = label.size();
        label.setText(QStringLiteral("100,0 km/h"));
        label.adjustSize();
        QVERIFY(label.width() > narrow.width());
        label.setFont(toolkit::arial(30));
        label.adjustSize();
        QVERIFY(label.height() > narrow.height());
    }

    // The trail grows by appending; the glyphs added (kerned against the last one kept) land
    // where a label given the whole text at once puts them.
    void textLabelGrowingByAppendsMatchesWholeText() {
        const QStringList steps{QStringLiteral("N°: 1"),    QStringLiteral(" - OK"),
                                QStringLiteral(" | N°: 2"), QStringLiteral(" - ERRO"),
                                QStringLiteral("AV"),       QStringLiteral("AWAY"),
                                QStringLiteral("风"),       QStringLiteral(" To")};
        toolkit::TextLabel grown;
        grown.setFrameStyle(QFrame::Panel | QFrame::Sunken);
        grown.setAlignment(Qt::AlignCenter);
        grown.resize(560, 18);
        QString whole;
        for (const QString& step : steps) {
            whole += step;
            grown.setText(whole);
            grown.repaint();
            toolkit::TextLabel fresh(whole);
            fresh.setFrameStyle(QFrame::Panel | QFrame::Sunken);
            fresh.setAlignment(Qt::AlignCenter);
            fresh.resize(560, 18);
            QCOMPARE(rendered(grown), rendered(fresh));
            QCOMPARE(grown.sizeHint(), fresh.sizeHint());
        }
    }

    // The port panel, 40 pixels wide, given a stable port name: its start and its end show,
    // as a QLabel shows the name elided in the middle; the label's text stays the whole name.
    void textLabelElidedInTheMiddle() {
        const QString name =
            QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0");
        toolkit::TextLabel fast(name);
        fast.setElidedInTheMiddle(true);
        QLabel plain;
        for (QLabel* label : std::initializer_list<QLabel*>{&plain, &fast}) {
            label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            label->setAlignment(Qt::AlignCenter);
            label->resize(40, 18);
        }
        const int room = plain.contentsRect().width();
        plain.setText(plain.fontMetrics().elidedText(name, Qt::ElideMiddle, room));
        QVERIFY(plain.text().startsWith(u'/') && plain.text().endsWith(u'0'));
        QCOMPARE(fast.text(), name);
        QCOMPARE(inkBox(fast), inkBox(plain));
        QCOMPARE(rendered(fast), rendered(plain));
        // A name that fits is painted whole.
        fast.setText(QStringLiteral("COM1"));
        plain.setText(QStringLiteral("COM1"));
        QCOMPARE(inkBox(fast), inkBox(plain));
    }

    void panelFramesPaintLikeQFrame_data() {
        QTest::addColumn<int>("style");
        QTest::addColumn<int>("lineWidth");
        QTest::addColumn<QSize>("size");
        QTest::newRow("station panel")
            << int(QFrame::Panel | QFrame::Raised) << 1 << QSize(161, 209);
        QTest::newRow("status panel") << int(QFrame::Panel | QFrame::Sunken) << 1 << QSize(40, 18);
        QTest::newRow("wide lines") << int(QFrame::Panel | QFrame::Raised) << 3 << QSize(30, 20);
        QTest::newRow("tiny") << int(QFrame::Panel | QFrame::Sunken) << 2 << QSize(3, 2);
        QTest::newRow("box: not a panel")
            << int(QFrame::Box | QFrame::Raised) << 1 << QSize(20, 20);
        QTest::newRow("plain panel") << int(QFrame::Panel | QFrame::Plain) << 1 << QSize(20, 20);
    }

    void panelFramesPaintLikeQFrame() {
        QFETCH(int, style);
        QFETCH(int, lineWidth);
        QFETCH(QSize, size);
        QFrame plain;
        FastFrame fast;
        for (QFrame* frame : std::initializer_list<QFrame*>{&plain, &fast}) {
            frame->setFrameStyle(style);
            frame->setLineWidth(lineWidth);
            frame->resize(size);
        }
        QCOMPARE(rendered(fast), rendered(plain));
    }

    // An export proposes its file in the home folder; a name typed without an extension
    // gets the export's own, one with an extension keeps it.
    void saveDialogProposesAndCompletesTheName() {
        QTemporaryDir home;
        const QByteArray previousHome = qgetenv("HOME");
        qputenv("HOME", home.path().toUtf8());
        const auto answer = [](const QString& typed) {
            QString proposed;
            QTimer::singleShot(50, [&proposed, typed] {
                auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                QVERIFY(dialog);
                auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
                QVERIFY(name);
                proposed = name->text();
                name->setText(typed);
                QTest::keyClick(name, Qt::Key_Return);
            });
            const QString chosen = toolkit::askSavePath(
                nullptr, QStringLiteral("Exportar"), QStringLiteral("Diagnóstico 07-12-2026.csv"),
                QStringLiteral("Arquivo CSV (*.csv)"), QStringLiteral("csv"));
            return std::pair{proposed, chosen};
        };
        const auto [proposed, chosen] = answer(QStringLiteral("diag"));
        QCOMPARE(proposed, QStringLiteral("Diagnóstico 07-12-2026.csv"));
        QCOMPARE(chosen, QDir(home.path()).filePath(QStringLiteral("diag.csv")));
        QCOMPARE(answer(QStringLiteral("relatorio.txt")).second,
                 QDir(home.path()).filePath(QStringLiteral("relatorio.txt")));
        QCOMPARE(toolkit::withExtension(QStringLiteral("/tmp/a.b/diag"), QStringLiteral("png")),
                 QStringLiteral("/tmp/a.b/diag.png"));
        qputenv("HOME", previousHome);
    }

    // A window that does not fit is moved just enough, never off the area's top-left corner.
    void windowsAreKeptWithinTheScreen() {
        const QRect area(0, 0, 1024, 740);
        QCOMPARE(toolkit::movedWithin(QRect(678, 263, 400, 528), area), QPoint(624, 212));
        QCOMPARE(toolkit::movedWithin(QRect(10, 20, 300, 200), area), QPoint(10, 20));
        QCOMPARE(toolkit::movedWithin(QRect(-50, -9, 2000, 900), area), QPoint(0, 0));
    }

    // A window the program adds opens beside the main window at its size where there is room,
    // beside it and smaller (never below its least size) where that is the room there is, and
    // where even its least size covers the panels, where it covers least of them. On a
    // 1024 × 740 area.
    void addedWindowsOpenBeside_data() {
        QTest::addColumn<QRect>("main");
        QTest::addColumn<QRect>("panels");
        QTest::addColumn<QSize>("preferred");
        QTest::addColumn<QSize>("least");
        QTest::addColumn<QRect>("place");
        const QRect main(100, 50, 737, 525);
        const QRect corner(0, 0, 737, 525);
        QTest::newRow("à direita")
            << main << main << QSize(180, 400) << QSize(180, 400) << QRect(837, 50, 180, 400);
        QTest::newRow("à esquerda")
            << QRect(300, 50, 737, 525) << QRect(300, 50, 737, 525) << QSize(200, 400)
            << QSize(200, 400) << QRect(100, 50, 200, 400);
        QTest::newRow("maior que a tela")
            << main << main << QSize(1000, 700) << QSize(1000, 700) << QRect(24, 40, 1000, 700);
        QTest::newRow("embaixo e menor")
            << corner << corner << QSize(1000, 560) << QSize(445, 178) << QRect(0, 525, 1000, 215);
        QTest::newRow("à direita e menor")
            << corner << corner << QSize(600, 700) << QSize(250, 178) << QRect(737, 0, 287, 700);
        QTest::newRow("cobrindo o mínimo")
            << corner << corner << QSize(1000, 640) << QSize(610, 311) << QRect(0, 429, 1000, 311);
        QTest::newRow("sobre a barra, não sobre os painéis")
            << corner << QRect(2, 25, 733, 470) << QSize(1000, 560) << QSize(445, 240)
            << QRect(0, 500, 1000, 240);
    }
    void addedWindowsOpenBeside() {
        QFETCH(QRect, main);
        QFETCH(QRect, panels);
        QFETCH(QSize, preferred);
        QFETCH(QSize, least);
        QFETCH(QRect, place);
        QCOMPARE(toolkit::besidePlace(main, panels, preferred, least, QRect(0, 0, 1024, 740)),
                 place);
    }

    // The next of a cascade keeps the title bar of the one under it in view, and the area.
    void cascadeStaysWithinTheArea() {
        QCOMPARE(
            toolkit::cascaded(QRect(0, 525, 1000, 215), QSize(445, 178), QRect(0, 0, 1024, 740)),
            QRect(toolkit::kCascadeStep, 525 + toolkit::kCascadeStep, 996, 187));
    }

    // Numbers with a decimal comma and no thousands separator, whatever the machine's locale.
    void decimalTexts() {
        const QLocale previous;
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QCOMPARE(toolkit::decimalText(qint64(5), 2), QStringLiteral("0,05"));
        QCOMPARE(toolkit::decimalText(qint64(123), 1), QStringLiteral("12,3"));
        QCOMPARE(toolkit::decimalText(qint64(-7), 1), QStringLiteral("-0,7"));
        QCOMPARE(toolkit::decimalText(qint64(1234567), 1), QStringLiteral("123456,7"));
        QCOMPARE(toolkit::decimalText(qint64(65535), 2), QStringLiteral("655,35"));
        QCOMPARE(toolkit::decimalText(1234.56, 1), QStringLiteral("1234,6"));
        QCOMPARE(toolkit::decimalText(100.0, 1), QStringLiteral("100,0"));
        QLocale::setDefault(previous);
    }

    void plainMessageHasTitleAndNoIcon() {
        BoxWatcher watcher;
        toolkit::showMessage(QStringLiteral("Selecione um arquivo na lista"));
        QCOMPARE(watcher.boxes().size(), std::size_t(1));
        QCOMPARE(watcher.boxes()[0].icon, QMessageBox::NoIcon);
        QCOMPARE(watcher.boxes()[0].title, QStringLiteral("K&V  ANEMÔMETROS"));
    }
};

QTEST_MAIN(TestToolkit)
#include "tst_toolkit.moc"
