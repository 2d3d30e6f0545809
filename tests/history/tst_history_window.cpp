// The history window over real log files and live readings: gaps in the trend, the zoom kept
// while today's readings come in, what "Exportar" writes and the texts of counts.

#include "history/chart_views.h"
#include "history/history_window.h"
#include "history/live_readings.h"
#include "history_files.h"
#include "named_stations.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QXYSeries>

#include <cmath>

using namespace history_test;

namespace {

namespace bits = modbus::status;

qint64 at(const QDate& day, const QTime& time) {
    return QDateTime(day, time).toMSecsSinceEpoch();
}

// The trend's chart as the module draws it.
QChartView* trendView(const history::HistoryWindow& window) {
    return qobject_cast<QChartView*>(window.trendChart()->widget());
}

// What a line draws: each of its series joins every point to the next, whatever the pen (a
// point of no number breaks only a solid pen's line, so none is taken).
QList<QList<QPointF>> drawnRuns(QChartView* view, const QString& line) {
    QList<QList<QPointF>> runs;
    for (QAbstractSeries* series : view->chart()->series()) {
        if (series->name() != line)
            continue;
        const QList<QPointF> points = static_cast<QXYSeries*>(series)->points();
        for (const QPointF& point : points) {
            if (!std::isfinite(point.x()) || !std::isfinite(point.y()))
                qWarning("a point of no number in %s", qPrintable(line));
        }
        if (!points.isEmpty())
            runs << points;
    }
    return runs;
}

QXYSeries* seriesNamed(QChartView* view, const QString& name) {
    for (QAbstractSeries* series : view->chart()->series()) {
        if (series->name() == name)
            return static_cast<QXYSeries*>(series);
    }
    return nullptr;
}

// Coloured pixels (the lines; the grid and the labels are grey) in the plot at a time.
int colouredPixelsAt(QChartView* view, const QDateTime& time) {
    const QImage image = view->grab().toImage();
    const QRectF area = view->chart()->plotArea();
    const QPointF position = view->chart()->mapToPosition(
        QPointF(double(time.toMSecsSinceEpoch()), 0), view->chart()->series().front());
    int coloured = 0;
    for (int y = int(area.top()) + 1; y < int(area.bottom()); ++y) {
        const QPoint at = view->mapFromScene(view->chart()->mapToScene(QPointF(position.x(), y)));
        coloured += image.pixelColor(at).hsvSaturation() > 80 ? 1 : 0;
    }
    return coloured;
}

// The legend's entries in sight: one for each line, however many runs it has.
QStringList legendShown(QChartView* view) {
    QStringList labels;
    for (const QLegendMarker* marker : view->chart()->legend()->markers()) {
        if (marker->isVisible())
            labels << marker->label();
    }
    return labels;
}

QDateTimeAxis* timeAxis(QChartView* view) {
    return qobject_cast<QDateTimeAxis*>(view->chart()->axes(Qt::Horizontal).value(0));
}

QPoint plotCentre(QChartView* view) {
    return view->mapFromScene(view->chart()->mapToScene(view->chart()->plotArea().center()));
}

bus::PollOutcome goodPoll(int station, std::uint16_t speed) {
    bus::PollOutcome outcome;
    outcome.station = station;
    outcome.kind = modbus::ReplyKind::Good;
    outcome.values = modbus::StationValues{
        speed, 370, 4, 100, 200, std::uint8_t(bits::kRf | bits::kDirectionValid | 1)};
    return outcome;
}

} // namespace

class TestHistoryWindow : public QObject {
    Q_OBJECT

    QTemporaryDir work_;
    QByteArray previousHome_ = qgetenv("HOME");

    QString documents() const { return work_.filePath(QStringLiteral("Documents")); }

private slots:
    void init() {
        QVERIFY(QDir(work_.path()).removeRecursively());
        QVERIFY(QDir().mkpath(logs::logFolder(documents())));
        qputenv("HOME", work_.path().toUtf8());
        QDir::setCurrent(work_.path());
    }
    void cleanupTestCase() { qputenv("HOME", previousHome_); }

    // Where no reading came the trend draws nothing: no segment of any line spans the gap,
    // and the lines run up to either side of it. A pause shorter than three spacings (at
    // least 10 s) is no gap.
    void trendBreaksWhereNoReadingCame_data() {
        QTest::addColumn<QDate>("fileDay");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("dayShown");
        QTest::addColumn<QTime>("gapFrom");
        QTest::addColumn<QTime>("gapTo");
        QTest::addColumn<int>("speedRuns");
        const QDate yesterday = kDay.addDays(-1);
        QTest::newRow("two hours without readings on a past day")
            << yesterday
            << history_test::readings(QTime(8, 0), QTime(10, 0), 10, "5,0") +
                   history_test::readings(QTime(12, 0), QTime(14, 0), 10, "7,0", "15,0")
            << yesterday.toString("dd-MM-yyyy") << QTime(10, 0) << QTime(12, 0) << 2;
        QTest::newRow("last 24 hours, yesterday without a file")
            << kDay
            << history_test::readings(QTime(0, 0), QTime(0, 0, 20), 2, "5,0") +
                   history_test::readings(QTime(8, 0), QTime(15, 0), 2, "7,0")
            << QStringLiteral("Últimas 24 horas") << QTime(0, 0, 20) << QTime(8, 0) << 2;
        QTest::newRow("a pause of 50 s in readings 20 s apart")
            << yesterday
            << history_test::readings(QTime(8, 0), QTime(9, 0), 20, "5,0") +
                   history_test::readings(QTime(9, 0, 50), QTime(10, 0), 20, "7,0")
            << yesterday.toString("dd-MM-yyyy") << QTime(9, 0) << QTime(9, 0, 50) << 1;
    }
    void trendBreaksWhereNoReadingCame() {
        QFETCH(QDate, fileDay);
        QFETCH(QStringList, lines);
        QFETCH(QString, dayShown);
        QFETCH(QTime, gapFrom);
        QFETCH(QTime, gapTo);
        QFETCH(int, speedRuns);
        writeLog(documents(), QStringLiteral("NORTE"), fileDay, lines);
        history::HistoryWindow window(fromLogFiles(documents(), at(kDay, QTime(15, 0, 10))),
                                      nullptr);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 5000);
        choose(window, window.dayBox(), dayShown);

        const double from = double(at(fileDay, gapFrom));
        const double to = double(at(fileDay, gapTo));
        const bool gap = speedRuns > 1;
        for (const char* name : {"Velocidade", "Preset 1", "Preset 2"}) {
            const QList<QList<QPointF>> runs =
                drawnRuns(trendView(window), QString::fromUtf8(name));
            QVERIFY2(!runs.isEmpty(), name);
            QCOMPARE(runs.size(), speedRuns);
            for (const QList<QPointF>& run : runs) {
                for (qsizetype i = 1; gap && i < run.size(); ++i)
                    QVERIFY2(
                        run[i - 1].x() >= to || run[i].x() <= from,
                        qPrintable(QStringLiteral("%1 joins %2 to %3")
                                       .arg(QString::fromUtf8(name),
                                            QDateTime::fromMSecsSinceEpoch(qint64(run[i - 1].x()))
                                                .toString(),
                                            QDateTime::fromMSecsSinceEpoch(qint64(run[i].x()))
                                                .toString())));
            }
            // From the first reading, up to the last one before the gap and on from the
            // first one after it (a steady preset level draws only its ends).
            const QTime first = QTime::fromString(lines.front().left(8), "HH:mm:ss");
            QCOMPARE(runs.front().front().x(), double(at(fileDay, first)));
            bool before = false;
            bool after = false;
            for (const QList<QPointF>& run : runs) {
                for (const QPointF& point : run) {
                    before = before || point.x() == from;
                    after = after || point.x() == to;
                }
            }
            if (gap || QByteArray(name) == "Velocidade") {
                QVERIFY2(before, name);
                QVERIFY2(after, name);
            }
        }
        // Nothing is painted in the middle of a gap, dashed lines included.
        if (gap) {
            window.resize(1000, 640);
            const QDateTime middle = QDateTime::fromMSecsSinceEpoch(qint64(from + (to - from) / 2));
            QTRY_COMPARE(colouredPixelsAt(trendView(window), middle), 0);
            QTRY_COMPARE(legendShown(trendView(window)),
                         (QStringList{"Velocidade", "Preset 1", "Preset 2"}));
            QVERIFY(colouredPixelsAt(trendView(window),
                                     QDateTime::fromMSecsSinceEpoch(qint64(to + 600'000))) >= 3);
        }
    }

    // Today's readings join the trend while the user looks at a part of the day: the time
    // the user zoomed into or moved to stays, the line grows, "Restaurar zoom" shows the day.
    void zoomOnTodayStaysWhileReadingsCome() {
        qint64 now = at(kDay, QTime(10, 0));
        NamedStations stations; // station 3 is "SUL", its log off
        stations.setName(3, QStringLiteral("SUL"));
        history::LiveReadings live({.settings = stations, .nowMs = [&now] { return now; }});
        for (int second = 0; second <= 600; second += 2) {
            now = at(kDay, QTime(10, 0).addSecs(second));
            readings::tell(live, goodPoll(3, std::uint16_t(50 + second % 7)));
        }
        history::HistoryWindow window({.logFolder = [this] { return logs::logFolder(documents()); },
                                       .live = &live,
                                       .settings = stations,
                                       .nowMs = [&now] { return now; }},
                                      nullptr);
        window.resize(1000, 640);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 5000);
        QCOMPARE(window.dayBox()->currentText(), QStringLiteral("Hoje"));
        QChartView* view = trendView(window);
        QCOMPARE(timeAxis(view)->min(), kDay.startOfDay());
        QCOMPARE(timeAxis(view)->max(), kDay.addDays(1).startOfDay());

        // Three notches of the wheel, then a drag of the chart to the right (earlier times).
        for (int notch = 0; notch < 3; ++notch) {
            const QPoint centre = plotCentre(view);
            QWheelEvent wheel(centre, view->viewport()->mapToGlobal(centre), {}, {0, 120},
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(view->viewport(), &wheel);
        }
        const QDateTime zoomedFrom = timeAxis(view)->min();
        const qint64 zoomedSpan = zoomedFrom.msecsTo(timeAxis(view)->max());
        QVERIFY2(zoomedSpan < 86'400'000 / 1.9, qPrintable(QString::number(zoomedSpan)));
        const QPoint centre = plotCentre(view);
        QTest::mousePress(view->viewport(), Qt::LeftButton, {}, centre);
        QMouseEvent drag(QEvent::MouseMove, centre + QPoint(100, 0),
                         view->viewport()->mapToGlobal(centre + QPoint(100, 0)), Qt::NoButton,
                         Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(view->viewport(), &drag);
        QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, centre + QPoint(100, 0));
        const QDateTime shownFrom = timeAxis(view)->min();
        const QDateTime shownTo = timeAxis(view)->max();
        // 100 pixels of a plot about 900 wide: a ninth of the span, give or take.
        const qint64 moved = shownFrom.msecsTo(zoomedFrom);
        QVERIFY2(moved > zoomedSpan / 12 && moved < zoomedSpan / 6,
                 qPrintable(QString::number(moved)));
        QCOMPARE(shownFrom.msecsTo(shownTo), zoomedSpan);

        QXYSeries* speed = seriesNamed(view, QStringLiteral("Velocidade"));
        QVERIFY(speed);
        const qsizetype before = speed->count();
        for (int refresh = 1; refresh <= 3; ++refresh) {
            for (int second = 2; second <= 10; second += 2) {
                now = at(kDay, QTime(10, 10).addSecs((refresh - 1) * 10 + second));
                readings::tell(live, goodPoll(3, 80));
            }
            window.refreshLive();
            QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 5000);
            QCOMPARE(timeAxis(view)->min(), shownFrom);
            QCOMPARE(timeAxis(view)->max(), shownTo);
        }
        QVERIFY(view->chart()->series().contains(speed)); // the same line, grown
        QCOMPARE(speed->count(), before + 15);
        QCOMPARE(speed->points().last(), QPointF(at(kDay, QTime(10, 10, 30)), 8.0));
        QVERIFY(window.summaryLabel()->text().contains(QStringLiteral("Leituras: 316")));

        auto* reset = window.findChild<QPushButton*>(QStringLiteral("RestaurarZoom"));
        QVERIFY(reset);
        QTest::mouseClick(reset, Qt::LeftButton);
        QCOMPARE(timeAxis(view)->min(), kDay.startOfDay());
        QCOMPARE(timeAxis(view)->max(), kDay.addDays(1).startOfDay());
    }

    // "Exportar" proposes the station (as a file name may hold it), the day and the
    // extension, and adds the extension to a name typed without one; the table goes out as
    // numbers a spreadsheet can use, the unit in the column headers and a first line naming
    // the station.
    void exportNamesItsFilesAndWritesNumbers() {
        writeLog(documents(), QStringLiteral("NORTE"), kDay,
                 {logLine(QTime(8, 0), "2,0"), logLine(QTime(9, 0), "70,0", "N", "50,0", "60,0")});
        qint64 now = at(kDay, QTime(15, 0));
        NamedStations stations; // station 3 is "SUL/2", its log off
        stations.setName(3, QStringLiteral("SUL/2"));
        history::LiveReadings live({.settings = stations, .nowMs = [&now] { return now; }});
        readings::tell(live, goodPoll(3, 20));
        history::HistoryWindow window({.logFolder = [this] { return logs::logFolder(documents()); },
                                       .live = &live,
                                       .settings = stations,
                                       .nowMs = [&now] { return now; }},
                                      nullptr);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 5000);
        choose(window, window.stationBox(), QStringLiteral("SUL/2"));

        QString proposed;
        QTimer::singleShot(100, [&proposed] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            proposed = name->text();
            name->setText(QStringLiteral("diag"));
            QTest::keyClick(name, Qt::Key_Return);
        });
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("Exportar")),
                          Qt::LeftButton);
        QCOMPARE(proposed, QStringLiteral("Histórico SUL_2 07-12-2026.png"));
        QVERIFY(!QImage(work_.filePath(QStringLiteral("diag.png"))).isNull());
        QVERIFY(QFile::exists(work_.filePath(QStringLiteral("diag.csv"))));
        QVERIFY(!QFile::exists(work_.filePath(QStringLiteral("diag"))));

        choose(window, window.stationBox(), QStringLiteral("NORTE"));
        // A day picked in the table stays picked while the unit changes; the table shows the
        // unit after the number, the file below the bare number.
        const QTableView* week = window.weekTable();
        const QModelIndex picked = week->model()->index(0, 1);
        week->selectionModel()->setCurrentIndex(picked, QItemSelectionModel::ClearAndSelect);
        window.unitBox()->setCurrentIndex(3); // knots, the file's km/h converted
        emit window.unitBox()->activated(3);
        QCOMPARE(picked.data().toString(), QStringLiteral("37,8 kn"));
        QVERIFY(week->selectionModel()->isSelected(picked));
        const QString png = work_.filePath(QStringLiteral("norte.png"));
        window.exportTo(png);
        QFile csv(work_.filePath(QStringLiteral("norte.csv")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.size(), 2 + 7 + 1);
        QCOMPARE(lines[0], QByteArray("ESTA\xC7\xC3O;NORTE;UNIDADE;kn\r"));
        QCOMPARE(lines[1], QByteArray("DIA;M\xC1XIMA (kn);HORA DA M\xC1XIMA;M\xC9"
                                      "DIA (kn);MIN. >= P1;MIN. > P2;LEITURAS;PRIMEIRA;\xDALTIMA;"
                                      "BATERIA IN\xCD"
                                      "CIO (V);BATERIA FIM (V)\r"));
        QCOMPARE(lines[2], QByteArray("07-12-2026;37,8;09:00:00;19,4;0,0;0,0;2;08:00:00;09:00:00;"
                                      "3,70;3,70\r"));
        QCOMPARE(lines[3], QByteArray("06-12-2026;;;;;;0;;;;\r"));
        QVERIFY(lines.back().isEmpty());
    }

    // Every count the window writes is in the singular for one; "> LIMITE" has no unit after
    // it; the lines a file held that are not readings are told on that file's day, named.
    void countTextsAndOverLimitWording_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("skippedText");
        QTest::addColumn<QString>("overLimitText");
        QTest::addColumn<QString>("roseText");
        QTest::newRow("one") << 1
                             << "1 linha que não é leitura foi ignorada no arquivo de 06-12-2026."
                             << "1 leitura \"> LIMITE\" fica fora da linha de tendência."
                             << "1 leitura na rosa; 1 sem direção (\"---\") ficou de fora.";
        QTest::newRow("two")
            << 2 << "2 linhas que não são leituras foram ignoradas no arquivo de 06-12-2026."
            << "2 leituras \"> LIMITE\" ficam fora da linha de tendência."
            << "2 leituras na rosa; 2 sem direção (\"---\") ficaram de fora.";
    }
    void countTextsAndOverLimitWording() {
        QFETCH(int, count);
        QFETCH(QString, skippedText);
        QFETCH(QString, overLimitText);
        QFETCH(QString, roseText);
        QStringList lines;
        for (int i = 1; i <= count; ++i)
            lines << logLine(QTime(14, 0, i), "> LIMITE", "N");
        for (int i = 1; i <= count; ++i)
            lines << logLine(QTime(15, 0, i), "5,0", "---") << QStringLiteral("uma linha estranha");
        writeLog(documents(), QStringLiteral("NORTE"), kDay.addDays(-1), lines);
        writeLog(documents(), QStringLiteral("NORTE"), kDay,
                 {logLine(QTime(8, 0), "3,0"), logLine(QTime(8, 0, 2), "3,0")});
        history::HistoryWindow window(fromLogFiles(documents(), at(kDay, QTime(16, 0))), nullptr);
        window.show();
        QTRY_VERIFY_WITH_TIMEOUT(!window.loading(), 5000);
        QVERIFY2(!window.noteLabel()->text().contains(QStringLiteral("ignorad")),
                 qPrintable(window.noteLabel()->text()));

        choose(window, window.dayBox(), QStringLiteral("06-12-2026"));
        const QString note = window.noteLabel()->text();
        QVERIFY2(note.contains(skippedText), qPrintable(note));
        QVERIFY2(note.contains(overLimitText), qPrintable(note));
        QCOMPARE(window.roseNote()->text(), roseText);
        QCOMPARE(trendView(window)->chart()->title(),
                 QStringLiteral("NORTE - 06-12-2026: máxima > LIMITE às 14:00:01"));
        QVERIFY2(window.summaryLabel()->text().contains(
                     QStringLiteral("Máxima: > LIMITE às 14:00:01\n")),
                 qPrintable(window.summaryLabel()->text()));
        QCOMPARE(window.weekTable()->model()->index(0, 1).data().toString(),
                 QStringLiteral("> LIMITE"));
        QCOMPARE(window.weekTable()->model()->index(0, 3).data().toString(),
                 QStringLiteral("5,0 km/h"));
    }
};

QTEST_MAIN(TestHistoryWindow)
#include "tst_history_window.moc"
