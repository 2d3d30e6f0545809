#pragma once

#include "app/log_step.h"
#include "bus/station_bus.h"
#include "config/main_window_link.h"
#include "modbus/stations.h"

#include <QMainWindow>

#include <array>
#include <span>

class QAction;
class QLabel;

namespace readings {
class StationPanel;
}

// The main window: eight station panels, the status bar and the menu. The station bus it owns
// polls the stations with the ten timers of the design; the window shows what the bus tells
// and forwards its handlers to it.
class TForm1 : public QMainWindow,
               public config::MainWindowLink,
               public bus::Settings,
               public bus::View,
               public bus::OutcomeListener {
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

    bus::StationBus& stationBus() { return bus_; }
    app::LogStep& logStep() { return logStep_; }
    readings::StationPanel& panel(int station) const;
    QString statusText(int panel) const;

    // MainWindowLink: what the configuration window changes here.
    void showStationPanel(int station, bool visible) override;
    bool stationPanelShown(int station) const override;
    void setStationName(int station, const QString& name) override;
    void setOuterWidth(int width) override;
    void setOuterHeight(int height) override;
    void setStatusText(int panel, const QString& text) override;
    toolkit::Timer& controlTimer() override { return bus_.controlTimer(); }
    toolkit::Timer& openPortTimer() override { return bus_.openingTimer(); }
    int cyclePause() const override { return bus_.cyclePauseMs(); }
    void setCyclePause(int ms) override { bus_.setCyclePauseMs(ms); }

    // The web site of the maker, opened by "Web Site".
    static inline const QString kMakerHost = QStringLiteral("www.kv-anemometros.example.com");
    static inline const QString kManualPath = QStringLiteral("HELP/K&V_ZARERAZIRU.pdf");

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // bus::Settings: the panels shown here, the rest from the configuration window.
    bool stationShown(int station) const override { return stationPanelShown(station); }
    QString addressText(int station) const override;
    QString portName() const override;
    QString baudText() const override;
    // bus::View and bus::OutcomeListener: the status bar and the panels.
    QString portText() const override { return statusText(2); }
    void setPortText(const QString& text) override { setStatusText(2, text); }
    void showPortMessage(const QString& text) override;
    void showPortLost() override;
    void pollFinished(const bus::PollOutcome& outcome) override;

    void buildMenu();
    void connectHandlers();
    void applyOuterSize();

    bus::StationBus bus_;
    app::LogStep logStep_;
    std::array<readings::StationPanel*, kStations> panels_{};
    std::array<QLabel*, 3> statusPanels_{};
    QAction* actionConfiguracoes_ = nullptr;
    QAction* actionGeral_ = nullptr;
    QAction* actionWebSite_ = nullptr;
    QAction* actionSobre_ = nullptr;
    QAction* actionSair_ = nullptr;
    QSize outerSize_{737, 525};
};

// The three windows, created once at start and kept until the program ends.
extern TForm1* Form1;
