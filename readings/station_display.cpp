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
    panel.setSpeedText(reading.speedText);
    panel.setDirectionText(reading.directionText);
    panel.loadIcon(StationPanel::Icon::Battery, batteryIconPath(reading.batteryValue));
    panel.setPresetText(1, reading.preset1Text);
    panel.setPresetText(2, reading.preset2Text);
    if (!reading.unitSuffix.isEmpty()) {
        panel.setSpeedText(panel.speedLabel()->text() + reading.unitSuffix);
        panel.setPresetText(1, panel.preset1()->text() + reading.unitSuffix);
        panel.setPresetText(2, panel.preset2()->text() + reading.unitSuffix);
    }
    if (!reading.directionValid)
        panel.setDirectionText(QStringLiteral("---"));
    panel.loadIcon(StationPanel::Icon::Sound,
                   iconPath(reading.soundAlarm ? "SOUND_ON" : "SOUND_OFF"));
    panel.setPresetColour(1, reading.preset1Alarm ? kColourAlarm : kColourNoAlarm);
    panel.setPresetColour(2, reading.preset2Alarm ? kColourAlarm : kColourNoAlarm);
    panel.loadIcon(StationPanel::Icon::Rf, iconPath(reading.rf ? "RF_ON" : "RF_OFF"));
}

} // namespace readings
