// The windows the program adds, on the screen the test is given (1024 × 768 or 1920 × 1080, by
// the offscreen platform's configuration file): they leave the main window's panels readable
// where the screen has room for them, and their tables show every column without scrolling
// sideways.

#include "alarms/alarm_book.h"
#include "alarms/alarm_window.h"
#include "app/station_windows.h"
#include "health/diagnostics_window.h"
#include "history/history_window.h"
#include "publish/payloads.h"
#include "readings/station_panel.h"
#include "site/site_alarms.h"
#include "site/site_book.h"
#include "site/site_window.h"
#include "toolkit/screen_fit.h"

#include "pty_pair.h"
#include "station_env.h"

#include <QAction>
#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTest>

namespace {

QRect screenArea() {
    return QGuiApplication::primaryScreen()->availableGeometry();
}

QRect globalRect(const QWidget* widget) {
    return {widget->mapToGlobal(QPoint(0, 0)), widget->size()};
}

// Every visible table of `window` shows all its columns: no scroll bar sideways, the last
// column's right edge within the view.
void checkColumnsFit(const QWidget* window) {
    for (const QTableView* table : window->findChildren<QTableView*>()) {
        if (!table->isVisible())
            continue;
        const int last = table->model()->columnCount() - 1;
        QVERIFY2(!table->horizontalScrollBar()->isVisible(), qPrintable(table->objectName()));
        QVERIFY2(table->columnViewportPosition(last) + table->columnWidth(last) <=
                     table->viewport()->width(),
                 qPrintable(table->objectName()));
    }
}

} // namespace

class TestWindowPlaces : public QObject {
    Q_OBJECT

private slots:
    // Diagnóstico, Histórico and Alarmes opened one after the other beside the station's main
    // window with eight panels, all within the screen: one that fits beside the panels at its
    // least size covers none of them; one that does not leaves the first row in view. None
    // opens exactly over another, which would hide it whole.
    void addedWindowsLeaveThePanels() {
        StationEnv env;
        Pty pty;
        QList<QByteArray> config = env.configBytes().split('\n');
        config[0] = QByteArray::fromStdString(pty.path()) + '\r';
        env.writeConfig(config.join('\n'));
        StationWindows windows;
        TForm1& main = *windows.form1;
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QList<QRect> panels;
        QRect allPanels;
        for (int station = 1; station <= kStations; ++station) {
            panels << globalRect(&main.panel(station));
            allPanels |= panels.last();
        }
        QVERIFY(main.panel(8).isVisible());
        for (const char* name : {"Diagnostico1", "Historico1", "Alarmes1"})
            main.findChild<QAction*>(QString::fromLatin1(name))->trigger();
        const QRect area = screenArea();
        QList<QPoint> corners;
        for (QWidget* window : {static_cast<QWidget*>(windows.diagnostics.get()),
                                static_cast<QWidget*>(windows.history.get()),
                                static_cast<QWidget*>(windows.alarmWindow.get())}) {
            QVERIFY(QTest::qWaitForWindowExposed(window));
            const QRect frame = window->frameGeometry();
            const QString what = QStringLiteral("%1 at %2,%3 %4x%5")
                                     .arg(window->objectName())
                                     .arg(frame.x())
                                     .arg(frame.y())
                                     .arg(frame.width())
                                     .arg(frame.height());
            QVERIFY2(area.contains(frame), qPrintable(what));
            QVERIFY2(!corners.contains(frame.topLeft()), qPrintable(what));
            corners << frame.topLeft();
            const QSize least = window->minimumSizeHint() + (frame.size() - window->size());
            const bool room = least.width() <= area.right() - allPanels.right() ||
                              least.width() <= allPanels.left() - area.left() ||
                              least.height() <= area.bottom() - allPanels.bottom() ||
                              least.height() <= allPanels.top() - area.top();
            for (int station = 1; station <= (room ? kStations : 4); ++station)
                QVERIFY2(!frame.intersects(panels[station - 1]),
                         qPrintable(what + QStringLiteral(" over panel %1").arg(station)));
        }
    }

    // The site's alarm list brought up over the site view's full-screen window: every column,
    // REPETIÇÕES last, in view without a scroll bar sideways, also with long names; the texts
    // cut short are whole in their tool tips.
    void siteAlarmColumnsFit() {
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        const QString cranes = QStringLiteral("porto/guindastes-sul");
        site::SiteBook book({QStringLiteral("porto/cais-norte"), cranes});
        book.setBrokerConnected(true, now);
        site::SiteWindow window(book, QStringLiteral("central:1883"), [now] { return now; });
        site::SiteAlarmWindow list(book);
        alarms::Entry shelved;
        shelved.station = 8;
        shelved.kind = alarms::Kind::Preset2;
        shelved.state = alarms::State::Shelved;
        shelved.sinceMs = now - 3'600'000;
        shelved.shelvedUntilMs = now + 3'600'000;
        shelved.peak = 123.4;
        shelved.unit = QStringLiteral("km/h");
        shelved.repetitions = 12;
        alarms::Entry acknowledged;
        acknowledged.station = 8;
        acknowledged.kind = alarms::Kind::BatteryLow;
        acknowledged.state = alarms::State::Acknowledged;
        acknowledged.sinceMs = now - 7'200'000;
        acknowledged.acknowledgedBy = QStringLiteral("supervisor.turno2 (remoto)");
        acknowledged.acknowledgedAtMs = now - 600'000;
        book.message(cranes + QStringLiteral("/8/alarms"),
                     publish::alarmsPayload(8, QStringLiteral("ANEMÔMETRO GUINDASTE 8"),
                                            {shelved, acknowledged}));
        window.showMaximized();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        toolkit::showBeside(&list, &window, /*activate=*/true);
        QVERIFY(QTest::qWaitForWindowExposed(&list));
        QVERIFY(screenArea().contains(list.frameGeometry()));
        checkColumnsFit(&list);
        QTableView* table = list.table();
        const QAbstractItemView* view = table;
        for (int column = 0; column < table->model()->columnCount(); ++column) {
            if (table->columnWidth(column) >= view->sizeHintForColumn(column))
                continue;
            for (int row = 0; row < table->model()->rowCount(); ++row) {
                const QModelIndex cell = table->model()->index(row, column);
                QCOMPARE(cell.data(Qt::ToolTipRole).toString(), cell.data().toString());
            }
        }
    }
};

QTEST_MAIN(TestWindowPlaces)
#include "tst_window_places.moc"
