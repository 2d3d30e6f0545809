#include "screenshots.h"

#include "history_picture.h"
#include "site_picture.h"

#include "alarms/alarm_book.h"
#include "alarms/alarm_record.h"
#include "alarms/alarm_window.h"
#include "app/comm_Unit1.h"
#include "config/Unit2.h"
#include "config/scan_panel.h"
#include "health/diagnostics_window.h"
#include "health/health_monitor.h"
#include "history/history_window.h"
#include "logs/log_files.h"
#include "logs/log_format.h"
#include "logs/log_step.h"
#include "modbus/rtu.h"
#include "readings/reply.h"
#include "readings/station_display.h"
#include "readings/station_panel.h"
#include "toolkit/screen_fit.h"
#include "toolkit/timer.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <stdexcept>
#include <thread>

#include <poll.h>
#include <pty.h>
#include <unistd.h>
#include <vector>

namespace manualgen {

namespace {

namespace bits = modbus::status;
constexpr std::uint8_t kMetresPerSecond = 0;
constexpr std::uint8_t kKilometresPerHour = 1;
constexpr std::uint8_t kKnots = 2;
constexpr std::uint8_t kValidRf = bits::kDirectionValid | bits::kRf;
constexpr std::uint8_t kBothAlarms = bits::kSoundAlarm | bits::kPreset1Alarm | bits::kPreset2Alarm;

// One station's sample (speed, battery, direction, preset 1, preset 2, status) and whether
// the last poll of the cycle went unanswered.
struct Sample {
    modbus::StationValues values;
    bool silentNow = false;
};

const std::array<Sample, kStations> kSamples{{
    {{54, 382, 1, 80, 120, kValidRf | kMetresPerSecond}},
    {{238, 365, 10, 200, 400,
      kValidRf | bits::kSoundAlarm | bits::kPreset1Alarm | kKilometresPerHour}},
    {{112, 355, 4, 150, 250, kValidRf | kKnots}},
    {{131, 371, 13, 80, 120, kValidRf | kBothAlarms | kMetresPerSecond}},
    {{154, 368, 7, 300, 500, kValidRf | kKilometresPerHour}, true},
    {{64, 344, 15, 150, 250, bits::kDirectionValid | kKnots}},
    {{0, 375, 0, 80, 120, bits::kRf | kMetresPerSecond}},
    {{98, 331, 8, 300, 500, kValidRf | kKilometresPerHour}},
}};

// The stations' side of the line: a pseudo-terminal whose slave the program opens as its port.
class StationLine {
public:
    StationLine() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0)
            throw std::runtime_error("no pseudo-terminal");
        path_ = QString::fromLocal8Bit(name);
    }
    ~StationLine() {
        stopAnswering();
        ::close(slave_);
        ::close(master_);
    }
    StationLine(const StationLine&) = delete;
    StationLine& operator=(const StationLine&) = delete;

    const QString& path() const { return path_; }

    // Takes the request the program sent and answers it with `reply`, if any.
    void answer(const modbus::Bytes& reply) {
        std::array<char, modbus::kRequestBytes> request{};
        if (::read(master_, request.data(), request.size()) != modbus::kRequestBytes)
            throw std::runtime_error("no request on the line");
        if (!reply.empty() && ::write(master_, reply.data(), reply.size()) != ssize_t(reply.size()))
            throw std::runtime_error("the reply did not go out");
    }

    // Plays stations at `addresses` on the line, from a thread of its own, until stopped: the
    // bus search blocks the window's thread while it waits for each reply.
    void answerInBackground(std::vector<std::uint8_t> addresses) {
        answering_ = true;
        responder_ = std::thread([this, addresses] {
            std::array<std::uint8_t, modbus::kRequestBytes> request{};
            while (answering_) {
                pollfd entry{master_, POLLIN, 0};
                if (::poll(&entry, 1, 20) <= 0 ||
                    ::read(master_, request.data(), request.size()) != ssize_t(request.size()))
                    continue;
                if (std::find(addresses.begin(), addresses.end(), request[0]) == addresses.end())
                    continue;
                const modbus::Bytes reply =
                    modbus::encodeReply(request[0], kSamples[request[0] % kStations].values);
                [[maybe_unused]] const ssize_t sent = ::write(master_, reply.data(), reply.size());
            }
        });
    }
    void stopAnswering() {
        answering_ = false;
        if (responder_.joinable())
            responder_.join();
    }

private:
    int master_ = -1;
    int slave_ = -1;
    QString path_;
    std::atomic<bool> answering_ = false;
    std::thread responder_;
};

// One real poll of `station`: the control tick sends the request, the sample answers on the
// line (or stays silent) and the reply tick reads, checks and shows it.
void pollStation(TForm1& form1, StationLine& line, int station) {
    bus::StationBus& stations = form1.stationBus();
    stations.setStationIndex(station);
    form1.TimerControleTimer();
    // Only these ticks run: the timers would poll on by themselves.
    stations.controlTimer().setEnabled(false);
    const Sample& sample = kSamples[stationSlot(station)];
    line.answer(sample.silentNow ? modbus::Bytes{}
                                 : modbus::encodeReply(stations.lastRequest()[0], sample.values));
    stations.replyTick(station);
    // The read waits in the message loop; the panel shows the outcome once it has ended.
    if (stations.replyPending()) {
        QEventLoop readEnded;
        QObject::connect(&stations, &bus::StationBus::replyRead, &readEnded, &QEventLoop::quit);
        readEnded.exec();
    }
}

// The panels of a station that answered before and is silent now keep its last values.
void showEarlierReadings(TForm1& form1) {
    for (int station = 1; station <= kStations; ++station) {
        const Sample& sample = kSamples[stationSlot(station)];
        if (sample.silentNow)
            readings::showReading(form1.panel(station), readings::readingOf(sample.values, station),
                                  [](const QString&) {});
    }
}

// Three days of log files for the logged stations, so that the LOGS tab has something to list.
void writeSampleLogs(const TForm1& form1) {
    const QDate firstDay(2026, 3, 5);
    for (int day = 0; day < 3; ++day) {
        for (int station : {1, 2, 5}) {
            const Sample& sample = kSamples[stationSlot(station)];
            const readings::Reading reading = readings::readingOf(sample.values, station);
            logs::writeLogLine(logs::logRequest(station, reading, form1.panel(station).name(),
                                                form1.GetMyDocuments(),
                                                QDateTime(firstDay.addDays(day), QTime(14, 5, 9))));
        }
    }
}

// The diagnostics window after two more cycles, in which station 5 stays silent.
QImage diagnosticsPicture(TForm1& form1, StationLine& line, const health::HealthMonitor& monitor,
                          qint64& clock) {
    for (int cycle = 0; cycle < 2; ++cycle) {
        for (int station = 1; station <= kStations; ++station) {
            clock += 200;
            pollStation(form1, line, station);
        }
    }
    clock += 1500;
    health::DiagnosticsWindow window(
        monitor,
        {.settings = form1.stationSettings(),
         .logFolder = [&form1] { return logs::logFolder(form1.GetMyDocuments()); }},
        &form1);
    // As it opens on a 1024 × 768 screen: every column within 1000 pixels.
    window.resize(1000, 560);
    window.show();
    return grabbed(&window);
}

// A 1024 × 768 screen: the configuration window moved from its usual place (678, 263) just
// enough to show whole, over the main window.
QImage smallScreenPicture(TForm1& form1, TForm2& form2) {
    const QRect screen(0, 0, 1024, 768);
    const QImage main = grabbed(&form1);
    const QImage config = grabbed(&form2);
    // The windows' pictures are grabbed at the manual's pixel ratio; the screen gets the same.
    const qreal ratio = config.devicePixelRatio();
    QImage picture(screen.size() * ratio, QImage::Format_RGB32);
    picture.setDevicePixelRatio(ratio);
    picture.fill(QColor(58, 110, 165));
    QPainter painter(&picture);
    painter.drawImage(QPoint(0, 0), main);
    const QRect usual(QPoint(678, 263), config.deviceIndependentSize().toSize());
    painter.drawImage(toolkit::movedWithin(usual, screen), config);
    painter.setPen(QPen(Qt::black, 1));
    painter.drawRect(screen.adjusted(0, 0, -1, -1));
    return picture;
}

// A bus search under way on the CONEXÃO tab, with stations at 3, 17 and 200 on the line.
QImage searchPicture(TForm2& form2, StationLine& line) {
    const QString configuredPort = form2.portName();
    form2.comboBoxPorta()->setEditText(line.path());
    line.answerInBackground({3, 17, 200});
    form2.pageControl()->setCurrentIndex(0);
    form2.show();
    config::ScanPanel* scan = form2.scanPanel();
    scan->start();
    form2.comboBoxPorta()->setEditText(configuredPort);
    QElapsedTimer waited;
    waited.start();
    while (scan->progress()->value() < 24 && waited.elapsed() < 20000)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    const QImage picture = grabbed(&form2);
    scan->cancel();
    line.stopAnswering();
    form2.hide();
    if (scan->found().size() != 2)
        throw std::runtime_error("the bus search did not find stations 3 and 17");
    return picture;
}

// A day of readings at one a minute for station 3, with an afternoon gust front, and the days
// before it thinner, for the history's pictures.
void writeHistoryLogs(const TForm1& form1, const QDate& day) {
    const QString name = form1.panel(3).name();
    for (int back = 0; back < 3; ++back) {
        for (int minute = 0; minute < 24 * 60; minute += back == 0 ? 1 : 10) {
            const double hour = minute / 60.0;
            const double front = std::exp(-std::pow((hour - 15.5) / 1.6, 2));
            const int speed = int(90 + 60 * std::sin(hour / 24 * 6.283 - 1.2) + 260 * front +
                                  (minute * 37 % 53) - back * 20);
            modbus::StationValues values = kSamples[1].values;
            values.speed = std::uint16_t(std::max(0, speed));
            values.direction = std::uint16_t(int(9 + 3 * std::sin(hour / 4) + 4 * front) % 16);
            values.status = std::uint8_t(bits::kRf | bits::kDirectionValid | kKilometresPerHour |
                                         (values.speed > values.preset1 ? bits::kPreset1Alarm : 0));
            logs::writeLogLine(
                logs::logRequest(3, readings::readingOf(values, 3), name, form1.GetMyDocuments(),
                                 QDateTime(day.addDays(-back), QTime(0, 0).addSecs(minute * 60))));
        }
    }
}

// "Histórico" over those files: the trend of the day and its wind rose.
void historyPictures(TForm1& form1, Pictures& pictures) {
    const QDate day(2026, 3, 7);
    writeHistoryLogs(form1, day);
    const qint64 now = QDateTime(day, QTime(23, 30)).toMSecsSinceEpoch();
    history::HistoryWindow window(
        {.logFolder = [&form1] { return logs::logFolder(form1.GetMyDocuments()); },
         .live = nullptr,
         .settings = form1.stationSettings(),
         .nowMs = [now] { return now; }},
        &form1);
    window.resize(900, 560);
    window.show();
    const auto waitForLoad = [&] {
        QElapsedTimer waited;
        waited.start();
        while (window.loading() && waited.elapsed() < 20000)
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    };
    waitForLoad();
    window.stationBox()->setCurrentIndex(window.stationBox()->findText(form1.panel(3).name()));
    emit window.stationBox()->activated(window.stationBox()->currentIndex());
    waitForLoad();
    pictures.insert(QStringLiteral("historico-tendencia.png"), grabbed(&window));
    window.tabs()->setCurrentIndex(1);
    pictures.insert(QStringLiteral("historico-resumo.png"), grabbed(&window));
    window.tabs()->setCurrentIndex(2);
    pictures.insert(QStringLiteral("historico-rosa.png"), grabbed(&window));
    window.hide();
}

// The Alarmes window with an alarm in each state, on the manual's clock.
QImage alarmsPicture(TForm1& form1, qint64 clock) {
    using alarms::Kind;
    alarms::AlarmBook book;
    const qint64 minute = 60'000;
    book.setActive(5, Kind::NoAnswer, true, clock - 42 * minute);
    for (int again = 0; again < 2; ++again) {
        book.setActive(5, Kind::NoAnswer, false, clock - (40 - 6 * again) * minute);
        book.setActive(5, Kind::NoAnswer, true, clock - (38 - 6 * again) * minute);
    }
    book.setActive(5, Kind::NoAnswer, false, clock - 30 * minute);
    book.setActive(2, Kind::BatteryLow, true, clock - 25 * minute);
    book.shelve({2, Kind::BatteryLow}, alarms::AlarmBook::kShelve8HoursMs,
                QStringLiteral("operador"), clock - 24 * minute);
    book.setActive(1, Kind::Preset1, true, clock - 12 * minute, 41.5, QStringLiteral("km/h"));
    book.setActive(1, Kind::Preset1, true, clock - 11 * minute, 47.2, QStringLiteral("km/h"));
    book.acknowledge({{1, Kind::Preset1}}, QStringLiteral("operador"), clock - 10 * minute);
    book.setActive(3, Kind::Preset2, true, clock - 2 * minute, 23.8, QStringLiteral("m/s"));
    book.setActive(3, Kind::Preset2, true, clock - minute, 25.1, QStringLiteral("m/s"));
    const alarms::AlarmRecorder recorder(
        book, form1.stationSettings(), [&form1] { return logs::logFolder(form1.GetMyDocuments()); },
        [clock] { return clock; });
    alarms::AlarmWindow window(
        book, recorder, form1.stationSettings(), [clock] { return clock; },
        QStringLiteral("operador"));
    window.show();
    settle();
    return grabbed(&window);
}

} // namespace

void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

QImage grabbed(QWidget* widget) {
    settle();
    return widget->grab().toImage();
}

Pictures takeScreenshots() {
    Pictures pictures;
    StationLine line;
    TForm1 form1;
    // The station's health as the diagnostics window shows it, on a clock of the manual's own.
    qint64 clock = QDateTime(QDate(2026, 3, 5), QTime(14, 5, 0)).toMSecsSinceEpoch();
    health::HealthMonitor monitor({
        .settings = form1.stationSettings(),
        .logFolder = [&form1] { return logs::logFolder(form1.GetMyDocuments()); },
        .nowMs = [&clock] { return clock; },
    });
    form1.readingFeed().addWatcher(monitor);
    // The port is opened here, once; the opening timer stays out of it.
    form1.openPortTimer().setEnabled(false);
    form1.show();
    TForm2 form2(form1.stationSettings(), form1.stationBus(), &form1);
    // The pictures show the configured port; the line is a pseudo-terminal behind it.
    const QString configuredPort = form2.portName();
    form2.comboBoxPorta()->setEditText(line.path());
    form1.TimerAbrePortaTimer();
    form2.comboBoxPorta()->setEditText(configuredPort);
    if (!form1.stationBus().portOpen())
        throw std::runtime_error("the station's port did not open");

    showEarlierReadings(form1);
    for (int station = 1; station <= kStations; ++station) {
        clock += 200;
        pollStation(form1, line, station);
    }
    pictures.insert(QStringLiteral("janela-principal.png"), grabbed(&form1));
    pictures.insert(QStringLiteral("barra-de-estado.png"), grabbed(form1.statusBar()));
    pictures.insert(QStringLiteral("painel-ok.png"), grabbed(&form1.panel(2)));
    pictures.insert(QStringLiteral("painel-erro.png"), grabbed(&form1.panel(5)));
    pictures.insert(QStringLiteral("diagnostico.png"),
                    diagnosticsPicture(form1, line, monitor, clock));
    pictures.insert(QStringLiteral("alarmes.png"), alarmsPicture(form1, clock));
    form1.FormClose();

    for (int station : {1, 2, 5})
        form2.logBox(station)->setChecked(true);
    writeSampleLogs(form1);
    form2.BT_ProcurarClick();
    form2.logList()->setCurrentRow(0);

    form2.show();
    const std::array<const char*, 3> tabs{"config-conexao.png", "config-anemometros.png",
                                          "config-logs.png"};
    for (int page = 0; page < static_cast<int>(tabs.size()); ++page) {
        form2.pageControl()->setCurrentIndex(page);
        pictures.insert(QString::fromLatin1(tabs[static_cast<std::size_t>(page)]), grabbed(&form2));
    }
    form2.pageControl()->setCurrentIndex(0);
    pictures.insert(QStringLiteral("tela-pequena.png"), smallScreenPicture(form1, form2));
    form2.hide();
    pictures.insert(QStringLiteral("procurar-estacoes.png"), searchPicture(form2, line));
    historyPictures(form1, pictures);
    form1.hide();
    sitePictures(pictures);
    historyPicture(pictures);
    return pictures;
}

Pictures loadPanelIcons() {
    Pictures icons;
    const QDir images(QStringLiteral("IMAGES"));
    for (const QString& file : images.entryList({QStringLiteral("*.ICO")}, QDir::Files)) {
        const QIcon icon(images.filePath(file));
        const qreal ratio = qApp->devicePixelRatio();
        QImage picture = icon.pixmap(QSize(32, 32), ratio).toImage();
        if (picture.isNull())
            throw std::runtime_error("cannot read " + file.toStdString());
        picture.setDevicePixelRatio(ratio);
        icons.insert(QFileInfo(file).baseName() + QStringLiteral(".png"), picture);
    }
    return icons;
}

} // namespace manualgen
