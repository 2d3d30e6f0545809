#include "readings/station_display.h"

#include "readings/station_panel.h"

#include <QLabel>

namespace readings {

namespace {

const QString kImages = QStringLiteral("IMAGES/");

QString iconPath(const char* name) {
    return kImages + QLatin1String(name) + QStringLiteral(".ICO");
}

} // namespace

void showFailure(StationPanel& panel, const TrailAppender& appendToTrail) {
    panel.loadIcon(StationPanel::Icon::Communication, iconPath("COM_OFF"));
    panel.setPresetColour(1, kColourSilver);
    panel.setPresetColour(2, kColourSilver);
    appendToTrail(QStringLiteral(" - ERRO"));
}

void showReading(StationPanel& panel, const Reading& reading, const TrailAppender& appendToTrail) {
    panel.loadIcon(StationPanel::Icon::Communication, iconPath("COM_OK"));
    appendToTrail(QStringLiteral(" - OK"));
    // Each text is set once, as it ends up: a label set twice in a poll is laid out and painted
    // for nothing.
    panel.setSpeedText(reading.speedText + reading.unitSuffix);
    panel.setDirectionText(reading.directionValid ? reading.directionText : QStringLiteral("---"));
    try {
        panel.loadIcon(StationPanel::Icon::Battery, batteryIconPath(reading.batteryValue));
    } catch (...) {
        // The rest of the reading is not shown: speed and direction stay as the station sent
        // them, without the unit and the invalid mark.
        panel.setSpeedText(reading.speedText);
        panel.setDirectionText(reading.directionText);
        throw;
    }
    panel.setPresetText(1, reading.preset1Text + reading.unitSuffix);
    panel.setPresetText(2, reading.preset2Text + reading.unitSuffix);
    panel.loadIcon(StationPanel::Icon::Sound,
                   iconPath(reading.soundAlarm ? "SOUND_ON" : "SOUND_OFF"));
    panel.setPresetColour(1, reading.preset1Alarm ? kColourAlarm : kColourNoAlarm);
    panel.setPresetColour(2, reading.preset2Alarm ? kColourAlarm : kColourNoAlarm);
    panel.loadIcon(StationPanel::Icon::Rf, iconPath(reading.rf ? "RF_ON" : "RF_OFF"));
}

} // namespace readings
