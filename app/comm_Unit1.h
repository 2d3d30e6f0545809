#pragma once

#include "app/main_menu.h"
#include "bus/station_bus.h"
#include "logs/log_step.h"
#include "modbus/stations.h"
#include "readings/reading_feed.h"
#include "settings/station_settings.h"

#include <QMainWindow>

#include <array>
#include <span>

class QAction;
class QLabel;

namespace readings {
class StationPanel;
}

namespace toolkit {
class Timer;
}

// The main window: eight station panels, the status bar and the menu. The station bus it owns
// polls the stations with the ten timers of the design; the window shows what the bus tells
// and forwards its handlers to it. The station settings it owns say which panels show, their
// names and the window's size; the configuration window writes them.
class TForm1 : public QMainWindow, public bus::View, public readings::ReadingListener {
    Q_OBJECT

public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Handlers and operations, under the names the station's design gives them.
    void Timer1Timer();
    void Calcula_CRC(int count, std::span<const int> cells);
    void N1Click();
    void Sobre2Click();
    void Sair1Click();
    void Sobre1Click();
    void LinkTo(const QString& address);
    void Software1Click();
    void TimerControleTimer();
    void Timer2Timer();
    void FormCreate();
    void Timer3Timer();
    void Timer4Timer();
    void Timer5Timer();
    void Timer6Timer();
    void Timer7Timer();
    void Timer8Timer();
    void TimerAbrePortaTimer();
    void FormClose();
    QString GetMyDocuments() const;

    settings::StationSettings& stationSettings() { return settings_; }
    bus::StationBus& stationBus() { return bus_; }
    // Every poll with its reading: the panels and the log step listen here, and so does
    // everything that watches the stations.
    readings::ReadingFeed& readingFeed() { return feed_; }
    logs::LogStep& logStep() { return logStep_; }
    readings::StationPanel& panel(int station) const;
    QString statusText(int panel) const;

    bool stationPanelShown(int station) const;
    // The outer size, held between the sizes for one station and for five to eight.
    void setOuterWidth(int width);
    void setOuterHeight(int height);
    void setStatusText(int panel, const QString& text);
    toolkit::Timer& controlTimer() { return bus_.controlTimer(); }
    toolkit::Timer& openPortTimer() { return bus_.openingTimer(); }
    int cyclePause() const { return settings_.cyclePauseMs(); }
    void setCyclePause(int ms) { settings_.setCyclePauseMs(ms); }

    // The web site of the maker, opened by "Web Site".
    static inline const QString kMakerHost = QStringLiteral("www.kv-anemometros.example.com");
    static inline const QString kManualPath = QStringLiteral("HELP/K&V_ZARERAZIRU.pdf");

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // bus::View and readings::ReadingListener: the status bar and the panels.
    QString portText() const override { return statusText(2); }
    void setPortText(const QString& text) override { setStatusText(2, text); }
    void showPortMessage(const QString& text) override;
    void showPortLost() override;
    void pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) override;

    void connectHandlers();
    void followSettings();
    void showStationPanel(int station, bool visible);
    void showSettingsInForce(settings::Applied how);
    void applyOuterSize();

    settings::StationSettings settings_;
    bus::StationBus bus_;
    readings::ReadingFeed feed_;
    logs::LogStep logStep_;
    std::array<readings::StationPanel*, kStations> panels_{};
    std::array<QLabel*, 3> statusPanels_{};
    app::MainMenu menu_;
    QSize outerSize_{737, 525};
};

// The three windows, created once at start and kept until the program ends.
extern TForm1* Form1;
