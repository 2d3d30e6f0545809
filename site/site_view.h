#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace publish {
class MqttClient;
}

namespace alarms {
class HornPlayer;
}

namespace notify {
class Notifier;
}

namespace toolkit {
struct IniFile;
}

namespace site {

class ArchiveClient;
class SiteAlarmWindow;
class SiteBook;
class SiteHistoryWindow;
class SiteWindow;

// The site view: every station of the station PCs that anemometros.ini's [mqtt] group follows
// (prefixos, or its prefix), read from the broker only. It opens no serial port; it sends the
// broker nothing but the acknowledgements the operator asks for. With [notificacoes] it tells
// the alarms of every PC followed, and keeps its queue in the working folder.
class SiteView : public QObject {
    Q_OBJECT

public:
    // Reads anemometros.ini in the working folder. Without a broker to read from, says why in a
    // box and ends the program with status 1.
    SiteView();
    ~SiteView() override;

    bool started() const { return window_ != nullptr; }
    SiteWindow* window() const { return window_.get(); }
    SiteAlarmWindow* alarmWindow() const { return alarmWindow_.get(); }
    SiteBook* book() const { return book_.get(); }
    // "Histórico do local", made when first asked for; none without [arquivo] url.
    SiteHistoryWindow* historyWindow() const { return historyWindow_.get(); }

    // Says goodbye to the broker and ends the message loop.
    void end();

private:
    void acknowledge(const QString& prefix, int station, int kind);
    void showAlarms(bool activate);
    void startNotifications(const toolkit::IniFile& ini);
    void startArchive(const toolkit::IniFile& ini);
    void showHistory();

    std::unique_ptr<SiteBook> book_;
    std::unique_ptr<publish::MqttClient> client_;
    std::unique_ptr<SiteWindow> window_;
    std::unique_ptr<SiteAlarmWindow> alarmWindow_;
    alarms::HornPlayer* horn_ = nullptr;
    std::unique_ptr<notify::Notifier> notifier_;
    std::unique_ptr<ArchiveClient> archive_;
    std::unique_ptr<SiteHistoryWindow> historyWindow_;
    bool ended_ = false;
};

} // namespace site
