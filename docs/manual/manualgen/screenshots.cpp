#include "screenshots.h"

#include "Unit2.h"
#include "comm_Unit1.h"
#include "frame.h"
#include "log_files.h"
#include "reply.h"
#include "station_display.h"
#include "timer.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QStatusBar>
#include <QTabWidget>

#include <array>
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace manualgen {

namespace {

// Status byte bits of a reply: unit code 0..3, then the flags.
constexpr int kMetresPerSecond = 0;
constexpr int kKilometresPerHour = 1;
constexpr int kKnots = 2;
constexpr int kDirectionValid = 0x04;
constexpr int kSound = 0x08;
constexpr int kPreset1Alarm = 0x10;
constexpr int kPreset2Alarm = 0x20;
constexpr int kRf = 0x80;

// One station's sample: registers 0..5 (speed, battery, direction, preset 1, preset 2,
// status) and whether the last poll of the cycle went unanswered.
struct Sample {
    std::array<int, 6> registers;
    bool silentNow = false;
};

const std::array<Sample, kStations> kSamples{{
    {{54, 382, 1, 80, 120, kRf | kDirectionValid | kMetresPerSecond}},
    {{238, 365, 10, 200, 400, kRf | kDirectionValid | kSound | kPreset1Alarm | kKilometresPerHour}},
    {{112, 355, 4, 150, 250, kRf | kDirectionValid | kKnots}},
    {{131, 371, 13, 80, 120,
      kRf | kDirectionValid | kSound | kPreset1Alarm | kPreset2Alarm | kMetresPerSecond}},
    {{154, 368, 7, 300, 500, kRf | kDirectionValid | kKilometresPerHour}, true},
    {{64, 344, 15, 150, 250, kDirectionValid | kKnots}},
    {{0, 375, 0, 80, 120, kRf | kMetresPerSecond}},
    {{98, 331, 8, 300, 500, kRf | kDirectionValid | kKilometresPerHour}},
}};

// A station's 17-byte answer: address, function 3, byte count 12, six registers high byte
// first, CRC low byte first.
std::vector<std::uint8_t> replyBytes(std::uint8_t address, const std::array<int, 6>& registers) {
    std::vector<int> cells{address, modbus::kReadHoldingRegisters, 2 * modbus::kRegisterCount};
    for (int value : registers) {
        cells.push_back((value >> 8) & 0xFF);
        cells.push_back(value & 0xFF);
    }
    modbus::CrcRegister crc;
    modbus::Calcula_CRC(static_cast<int>(cells.size()), cells, crc);
    std::vector<std::uint8_t> bytes(cells.begin(), cells.end());
    bytes.push_back(crc.low);
    bytes.push_back(crc.high);
    return bytes;
}

void settle() {
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

// One poll of `station` as the control tick makes it (the trail and the request), answered
// by the sample through the real reply check and display.
void pollStation(TForm1& form1, int station) {
    form1.setStationIndex(station);
    form1.TimerControleTimer();
    // The timers would read the closed port; the sample answers instead.
    form1.controlTimer().setEnabled(false);
    form1.replyTimer(station).setEnabled(false);
    form1.setStationIndex(station + 1);

    const Sample& sample = kSamples[stationSlot(station)];
    const auto reply = replyBytes(form1.lastRequest()[0], sample.registers);
    modbus::CrcRegister crc;
    if (readings::checkReply(reply, form1.lastRequest(), crc) != readings::ReplyOutcome::Good)
        throw std::runtime_error("sample reply rejected");
    readings::StationPanel& panel = form1.panel(station);
    const auto appendToTrail = [&form1](const QString& text) {
        form1.setStatusText(2, form1.statusText(2) + text);
    };
    if (sample.silentNow)
        readings::showFailure(panel, appendToTrail);
    else
        readings::showReading(panel, readings::decodeReply(reply, station), appendToTrail);
}

// The panels of a station that answered before and is silent now keep its last values.
void showEarlierReadings(TForm1& form1) {
    for (int station = 1; station <= kStations; ++station) {
        const Sample& sample = kSamples[stationSlot(station)];
        if (!sample.silentNow)
            continue;
        const auto reply = replyBytes(1, sample.registers);
        readings::showReading(form1.panel(station), readings::decodeReply(reply, station),
                              [](const QString&) {});
    }
}

// Three days of log files for the logged stations, so that the LOGS tab has something to list.
void writeSampleLogs(const TForm1& form1) {
    const QDate firstDay(2026, 3, 5);
    for (int day = 0; day < 3; ++day) {
        for (int station : {1, 2, 5}) {
            const Sample& sample = kSamples[stationSlot(station)];
            const readings::Reading reading =
                readings::decodeReply(replyBytes(1, sample.registers), station);
            logs::writeLogLine({
                .station = station,
                .indexFile = logs::indexFileName(station),
                .documentsFolder = form1.GetMyDocuments(),
                .now = QDateTime(firstDay.addDays(day), QTime(14, 5, 9)),
                .stationName = form1.panel(station).name(),
                .unitText = reading.unitText,
                .fields = {.speed = reading.speedText,
                           .direction = reading.directionText,
                           .preset1 = reading.preset1Text,
                           .preset2 = reading.preset2Text,
                           .sound = reading.soundText,
                           .battery = reading.batteryText},
            });
        }
    }
}

QImage grabbed(QWidget* widget) {
    settle();
    return widget->grab().toImage();
}

} // namespace

Pictures takeScreenshots() {
    Pictures pictures;
    TForm1 form1;
    // No port is opened here: the opening timer would show a message box and wait for it.
    form1.openPortTimer().setEnabled(false);
    form1.show();
    TForm2 form2(form1, &form1);

    showEarlierReadings(form1);
    for (int station = 1; station <= kStations; ++station)
        pollStation(form1, station);
    pictures.insert(QStringLiteral("janela-principal.png"), grabbed(&form1));
    pictures.insert(QStringLiteral("barra-de-estado.png"), grabbed(form1.statusBar()));
    pictures.insert(QStringLiteral("painel-ok.png"), grabbed(&form1.panel(2)));
    pictures.insert(QStringLiteral("painel-erro.png"), grabbed(&form1.panel(5)));

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
    form2.hide();
    form1.hide();
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
