#pragma once

#include "frame.h"
#include "main_window_link.h"
#include "polling.h"
#include "repeated_failures.h"
#include "reply.h"
#include "serial_port.h"
#include "station_panel.h"

#include <QMainWindow>

#include <array>
#include <span>

class QAction;
class QLabel;

namespace toolkit {
class Timer;
}

#include "stations.h"

// The main window: eight station panels, the status bar, the menu and the ten timers that
// drive the port, the polling cycle and the replies. It owns the port and the module state
// (station index, cycle pause, last request); the work itself is done by the subsystems.
class TForm1 : public QMainWindow, public config::MainWindowLink, public modbus::PollHost {
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

    // MainWindowLink: what the configuration window changes here.
    void showStationPanel(int station, bool visible) override;
    bool stationPanelShown(int station) const override;
    void setStationName(int station, const QString& name) override;
    void setOuterWidth(int width) override;
    void setOuterHeight(int height) override;
    void setStatusText(int panel, const QString& text) override;
    toolkit::Timer& controlTimer() override { return *timerControle_; }
    toolkit::Timer& openPortTimer() override { return *timerAbrePorta_; }
    int cyclePause() const override { return poll_.cyclePauseMs; }
    void setCyclePause(int ms) override { poll_.cyclePauseMs = ms; }

    // PollHost: what the polling cycle needs of this window.
    bool stationShown(int station) const override { return stationPanelShown(station); }
    QString addressText(int station) const override;
    QString pollTrail() const override { return statusText(2); }
    void setPollTrail(const QString& text) override { setStatusText(2, text); }
    void sendFrame(const modbus::RequestFrame& frame) override;
    void armReplyTimer(int station) override;

    readings::StationPanel& panel(int station) const;
    QString statusText(int panel) const;
    toolkit::Timer& replyTimer(int station) const;
    int stationIndex() const { return poll_.stationIndex; }
    void setStationIndex(int index) { poll_.stationIndex = index; }
    const modbus::LastRequest& lastRequest() const { return poll_.lastRequest; }
    const modbus::CrcRegister& crcRegister() const { return poll_.crc; }
    serial::SerialPort& port() { return port_; }
    QSize outerSize() const { return outerSize_; }

    // The web site of the maker, opened by "Web Site".
    static inline const QString kMakerHost = QStringLiteral("www.kv-anemometros.example.com");
    static inline const QString kManualPath = QStringLiteral("HELP/K&V_ZARERAZIRU.pdf");

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void buildMenu();
    void buildStatusBar();
    void buildTimers();
    void connectHandlers();
    void applyOuterSize();
    void replyTick(int station);
    void writeLog(int station, const readings::Reading& reading);
    void portLost();

    std::array<readings::StationPanel*, kStations> panels_{};
    std::array<QLabel*, 3> statusPanels_{};
    toolkit::Timer* timerAbrePorta_ = nullptr;
    toolkit::Timer* timerControle_ = nullptr;
    std::array<toolkit::Timer*, kStations> replyTimers_{};

    QAction* actionConfiguracoes_ = nullptr;
    QAction* actionGeral_ = nullptr;
    QAction* actionWebSite_ = nullptr;
    QAction* actionSobre_ = nullptr;
    QAction* actionSair_ = nullptr;

    // Module state: nothing is set before the creation handler runs.
    modbus::PollState poll_;
    logs::RepeatedFailures logFailures_;
    serial::SerialPort port_;
    // Set while an opening attempt is reporting a refused step: the opening timer keeps
    // ticking under the message box, and a second attempt must not start meanwhile.
    bool openingPort_ = false;
    // Set when the device vanished under an open port (a USB adapter pulled out): the port is
    // reopened every 5 s without a message until the device is back.
    bool reconnecting_ = false;
    QSize outerSize_{737, 525};
};

// The three windows, created once at start and kept until the program ends.
extern TForm1* Form1;
