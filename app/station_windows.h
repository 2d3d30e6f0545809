#pragma once

#include "app/Unit3.h"
#include "app/comm_Unit1.h"
#include "config/Unit2.h"
#include "toolkit/ini_text.h"
#include "toolkit/timer.h"

#include <QDateTime>

#include <functional>
#include <memory>

namespace health {
class DiagnosticsWindow;
class HealthMonitor;
} // namespace health

namespace alarms {
class AlarmBook;
class AlarmStore;
class AlarmWatch;
class AlarmWindow;
} // namespace alarms

namespace app {
class ServiceNotifier;
}

namespace publish {
class Publisher;
}

namespace notify {
class Notifier;
}

namespace archive {
class Archiver;
}

namespace history {
class HistoryWindow;
class LiveReadings;
} // namespace history

// The station: the three windows of the design, created in their fixed order (the main
// window, made visible, then the configuration window and the about window, both hidden), and
// what watches the stations beside them: the health monitor and its diagnostics window, under
// "Controle → Diagnóstico", the wind history, under "Controle → Histórico", and the
// publisher that an anemometros.ini may switch on. No timer ticks
// while they are built, even under a box that a creation handler raises: the first ticks come from
// the message loop, once all exist.
class StationWindows {
public:
    StationWindows();
    ~StationWindows();
    StationWindows(const StationWindows&) = delete;
    StationWindows& operator=(const StationWindows&) = delete;

    // Ends the program as "Sair" does, also from under a box or the configuration window: the
    // service manager hears that it stops, the port closes, the message loop and every loop of
    // a box end, and the destructor writes FIM and says goodbye to the broker.
    void endProgram();

private:
    toolkit::StartupHold startup_;
    // anemometros.ini, read once at start for every group's reader (after the windows: a box
    // of theirs comes first, as always).
    toolkit::IniFile settingsFile_;
    // Milliseconds since 1970: the one clock every part of the station reads.
    const std::function<qint64()> clock_ = [] { return QDateTime::currentMSecsSinceEpoch(); };

public:
    // Destroyed in reverse: the dialogs before the main window that is their parent.
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TForm3> form3;
    std::unique_ptr<health::HealthMonitor> monitor;
    std::unique_ptr<health::DiagnosticsWindow> diagnostics;
    std::unique_ptr<history::LiveReadings> live;
    std::unique_ptr<history::HistoryWindow> history;
    // The wind alarms: the list, what drives it, and its file in the station folder.
    std::unique_ptr<alarms::AlarmBook> alarmBook;
    std::unique_ptr<alarms::AlarmWatch> alarmWatch;
    std::unique_ptr<alarms::AlarmStore> alarmStore;
    std::unique_ptr<alarms::AlarmWindow> alarmWindow;
    // Publishing to an MQTT broker, when anemometros.ini in the station folder names one.
    std::unique_ptr<publish::Publisher> publisher;
    // The alarms told by e-mail, webhook or a command, when [notificacoes] sets a channel.
    std::unique_ptr<notify::Notifier> notifier;
    // Every reading and alarm event written to the site's database, when [arquivo] sets a url.
    std::unique_ptr<archive::Archiver> archiver;
    // What systemd hears of the program, when it runs as a service.
    std::unique_ptr<app::ServiceNotifier> serviceNotifier;

private:
    void addWindowToMenu(QWidget* window, const QString& caption, const QString& name);
    void showBesideMain(QWidget* window, bool activate);
    void startPublishing();
    void startAlarms();
    void startNotifications();
    void startArchive();
    // "Local": the station PC's MQTT prefix, else its host name.
    QString siteName() const;
    void startServiceNotifier();
};
