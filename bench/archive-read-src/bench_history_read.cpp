// bench/archive_read's reader: "Histórico do local" (offscreen) against a filled archive.
//   bench_history_read URL RUNS
// Opens the window, waits for its station list, then RUNS times marks the 8 stations of one
// station PC (pc1, pc2, ... in turn, so that no run finds the one before in a cache) with
// "30 dias" and clicks "Mostrar": the time from the click to the table and the chart filled.
// Then the report of 8 stations over the last 30 days, RUNS times (each PC in turn): from the
// request to the PDF written. One line per figure: "open <ms> <rows>", "report <ms> <bytes>".
#include "site/history_load.h"
#include "site/history_report.h"
#include "site/history_site_window.h"
#include "site/history_trend.h"
#include "site/site_archive_client.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

void waitFor(auto* sender, auto signal) {
    QEventLoop loop;
    QObject::connect(sender, signal, &loop, &QEventLoop::quit);
    QTimer::singleShot(120'000, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s URL RUNS\n", argv[0]);
        return 2;
    }
    const int runs = QString::fromLocal8Bit(argv[2]).toInt();
    site::ArchiveClient client({QString::fromLocal8Bit(argv[1]), {}, {}, {}});
    const auto now = [] { return QDateTime::currentMSecsSinceEpoch(); };
    site::SiteHistoryWindow window(client, now);
    window.resize(1600, 900);
    window.show();
    waitFor(&window, &site::SiteHistoryWindow::stationsListed);
    QListWidget* list = window.stationList();
    std::printf("stations %d\n", list->count());
    const auto choosePc = [&](int pc) {
        const QString prefix = QStringLiteral("pc%1 - ").arg(pc);
        for (int row = 0; row < list->count(); ++row) {
            const bool mine = list->item(row)->text().startsWith(prefix);
            list->item(row)->setCheckState(mine ? Qt::Checked : Qt::Unchecked);
        }
    };
    window.periodBox()->setCurrentText(QStringLiteral("30 dias"));
    for (int run = 0; run < runs; ++run) {
        choosePc(run % 8 + 1);
        QElapsedTimer clock;
        clock.start();
        window.showButton()->click();
        waitFor(&window, &site::SiteHistoryWindow::loaded);
        // The table and the chart laid out and painted once.
        window.table()->viewport()->repaint();
        window.trend()->widget()->repaint();
        const qint64 ms = clock.elapsed();
        std::printf("open %lld %d %s\n", (long long)ms, window.table()->model()->rowCount(),
                    qPrintable(window.trend()->widget()->accessibleDescription().left(60)));
        std::fflush(stdout);
    }

    // The report's own work, over the last 30 days (a month full of data).
    QTemporaryDir dir;
    const QDate today = QDate::currentDate();
    for (int run = 0; run < runs; ++run) {
        site::HistoryLoad load(client);
        site::HistoryData data;
        QObject::connect(&load, &site::HistoryLoad::loaded,
                         [&data](const site::HistoryData& d) { data = d; });
        const QString path = dir.filePath(QStringLiteral("relatorio%1.pdf").arg(run));
        QElapsedTimer clock;
        clock.start();
        site::HistoryRequest request;
        const QString prefix = QStringLiteral("pc%1").arg((run + 3) % 8 + 1);
        for (int number = 1; number <= 8; ++number)
            request.stations << site::ArchiveStation{{prefix, number},
                                                     QStringLiteral("ANEMÔMETRO %1").arg(number),
                                                     QStringLiteral("km/h")};
        request.period = site::periodOf(site::PeriodKind::Last30Days, today);
        request.nowMs = now();
        request.trendPoints = 24 * 31;
        request.presets = true;
        request.alarmList = true;
        load.start(request);
        waitFor(&load, &site::HistoryLoad::loaded);
        const qint64 loadedMs = clock.elapsed();
        if (!data.error.isEmpty()) {
            std::printf("report-error %s\n", qPrintable(data.error));
            return 1;
        }
        site::writeReport(path, data, QDateTime::currentDateTime());
        std::printf("report %lld %lld loaded-in %lld alarms %lld\n", (long long)clock.elapsed(),
                    (long long)QFileInfo(path).size(), (long long)loadedMs,
                    (long long)data.alarms.size());
        std::fflush(stdout);
    }
    return 0;
}
