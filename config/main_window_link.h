#pragma once

#include <QString>

namespace toolkit {
class Timer;
}

namespace config {

// What the configuration window changes on the main window: panel visibility and names, the
// window size, the status bar, the two timers it stops and restarts and the cycle pause.
class MainWindowLink {
public:
    virtual ~MainWindowLink() = default;

    virtual void showStationPanel(int station, bool visible) = 0;
    virtual bool stationPanelShown(int station) const = 0;
    virtual void setStationName(int station, const QString& name) = 0;
    virtual void setOuterWidth(int width) = 0;
    virtual void setOuterHeight(int height) = 0;
    virtual void setStatusText(int panel, const QString& text) = 0;
    virtual toolkit::Timer& controlTimer() = 0;
    virtual toolkit::Timer& openPortTimer() = 0;
    virtual int cyclePause() const = 0;
    virtual void setCyclePause(int ms) = 0;
};

} // namespace config
