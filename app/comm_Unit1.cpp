#include "app/comm_Unit1.h"

#include "app/Unit3.h"
#include "app/main_menu.h"
#include "app/status_bar.h"
#include "config/Unit2.h"
#include "logs/log_files.h"
#include "readings/reply.h"
#include "readings/station_display.h"
#include "readings/station_panel.h"
#include "toolkit/documents.h"
#include "toolkit/failure.h"
#include "toolkit/fonts.h"
#include "toolkit/messages.h"
#include "toolkit/timer.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QUrl>

TForm1* Form1 = nullptr;

namespace {

constexpr QSize kMinimumOuterSize{184, 300};
constexpr QSize kMaximumOuterSize{737, 525};
constexpr QSize kClientAsLaidOut{729, 471};

// The outer size set as the station count reaches n: height 300 and width 184 at 1, the
// widths of two, three and four columns, then the second row's height at 5 (0: unchanged).
constexpr std::array<QSize, kStations> kSizeSteps{{
    {184, 300},
    {369, 0},
    {552, 0},
    {737, 0},
    {0, 525},
    {0, 0},
    {0, 0},
    {0, 0},
}};

// The station panels lie in two rows of four, 184 pixels apart across and 224 down.
QPoint panelPosition(int station) {
    const int slot = static_cast<int>(stationSlot(station));
    return {8 + 184 * (slot % 4), 8 + 224 * (slot / 4)};
}

} // namespace

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), bus_(settings_, *this, this),
      logStep_({
          .settings = settings_,
          .documentsFolder = [this] { return GetMyDocuments(); },
      }) {
    Form1 = this;
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("K&V - ANEMÔMETROS"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/app.ico")));
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint |
                   Qt::MSWindowsFixedSizeDialogHint);
    setFont(toolkit::msSansSerif(11));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("ClientArea"));
    client->setAutoFillBackground(true);
    QPalette pal = client->palette();
    pal.setColor(QPalette::Window, Qt::white); // the system button-highlight colour
    client->setPalette(pal);
    setCentralWidget(client);
    for (int station = 1; station <= kStations; ++station) {
        auto* stationPanel = new readings::StationPanel(station, client);
        stationPanel->move(panelPosition(station));
        panels_[stationSlot(station)] = stationPanel;
    }

    menu_ = app::buildMainMenu(menuBar());
    statusPanels_ = app::buildStatusPanels(statusBar());
    // The panels first, then the log step: a reading that cannot be shown is not logged.
    bus_.addListener(feed_);
    feed_.addListener(*this);
    feed_.addListener(logStep_);
    connectHandlers();
    followSettings();
    resize(kClientAsLaidOut.width(), kClientAsLaidOut.height() + menuBar()->sizeHint().height() +
                                         statusBar()->sizeHint().height());
    applyOuterSize();

    toolkit::guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::connectHandlers() {
    const auto handle = [this](auto handler) {
        return [this, handler] { toolkit::guarded([this, handler] { (this->*handler)(); }); };
    };
    connect(menu_.configuracoes, &QAction::triggered, this, handle(&TForm1::N1Click));
    connect(menu_.geral, &QAction::triggered, this, handle(&TForm1::Software1Click));
    connect(menu_.webSite, &QAction::triggered, this, handle(&TForm1::Sobre1Click));
    connect(menu_.sobre, &QAction::triggered, this, handle(&TForm1::Sobre2Click));
    connect(menu_.sair, &QAction::triggered, this, handle(&TForm1::Sair1Click));
    connect(&bus_.openingTimer(), &toolkit::Timer::timeout, this,
            handle(&TForm1::TimerAbrePortaTimer));
    connect(&bus_.controlTimer(), &toolkit::Timer::timeout, this,
            handle(&TForm1::TimerControleTimer));
    constexpr std::array<void (TForm1::*)(), kStations> replyHandlers{
        &TForm1::Timer1Timer, &TForm1::Timer2Timer, &TForm1::Timer3Timer, &TForm1::Timer4Timer,
        &TForm1::Timer5Timer, &TForm1::Timer6Timer, &TForm1::Timer7Timer, &TForm1::Timer8Timer,
    };
    for (int station = 1; station <= kStations; ++station)
        connect(&bus_.replyTimer(station), &toolkit::Timer::timeout, this,
                handle(replyHandlers[stationSlot(station)]));
}

void TForm1::followSettings() {
    connect(&settings_, &settings::StationSettings::polledChanged, this, &TForm1::showStationPanel);
    connect(&settings_, &settings::StationSettings::nameChanged, this,
            [this](int station, const QString& name) { panel(station).setName(name); });
    connect(&settings_, &settings::StationSettings::applied, this, &TForm1::showSettingsInForce);
}

void TForm1::Timer1Timer() {
    bus_.replyTick(1);
}
void TForm1::Timer2Timer() {
    bus_.replyTick(2);
}
void TForm1::Timer3Timer() {
    bus_.replyTick(3);
}
void TForm1::Timer4Timer() {
    bus_.replyTick(4);
}
void TForm1::Timer5Timer() {
    bus_.replyTick(5);
}
void TForm1::Timer6Timer() {
    bus_.replyTick(6);
}
void TForm1::Timer7Timer() {
    bus_.replyTick(7);
}
void TForm1::Timer8Timer() {
    bus_.replyTick(8);
}

void TForm1::Calcula_CRC(int count, std::span<const int> cells) {
    modbus::Calcula_CRC(count, cells, bus_.crcRegister());
}

void TForm1::N1Click() {
    bus_.stopForConfiguration();
    Form2->selectFirstPage();
    Form2->exec();
}

void TForm1::Sobre2Click() {
    Form3->exec();
}

void TForm1::Sair1Click() {
    close();
}

void TForm1::Sobre1Click() {
    LinkTo(kMakerHost);
}

void TForm1::LinkTo(const QString& address) {
    QDesktopServices::openUrl(QUrl(QStringLiteral("http://") + address));
}

// The manual is looked up in the working folder, but the desktop needs an absolute URL.
void TForm1::Software1Click() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::current().absoluteFilePath(kManualPath)));
}

void TForm1::TimerControleTimer() {
    bus_.controlTick();
}

void TForm1::FormCreate() {
    bus_.setStationIndex(1);
    logs::prepareLogFolder(GetMyDocuments());
}

void TForm1::TimerAbrePortaTimer() {
    bus_.openingTick();
}

void TForm1::FormClose() {
    bus_.close();
}

QString TForm1::GetMyDocuments() const {
    return toolkit::documentsFolder();
}

// The status bar shows the port and the rate in force: as loaded ("ttyUSB0 Fechada" until the
// port opens) or as just saved ("Salvo").
void TForm1::showSettingsInForce(settings::Applied how) {
    if (how == settings::Applied::Edited)
        return; // the port and the rate in force until the window closes
    setStatusText(0, settings_.portName());
    setStatusText(1, settings_.baudText());
    setStatusText(2, how == settings::Applied::Loaded
                         ? settings_.portName() + QStringLiteral(" Fechada")
                         : QStringLiteral("Salvo"));
}

void TForm1::showPortMessage(const QString& text) {
    toolkit::showMessage(text);
}

// No station can answer now: no panel may go on showing its last reading as current.
void TForm1::showPortLost() {
    for (int station = 1; station <= kStations; ++station) {
        if (stationPanelShown(station))
            readings::showFailure(panel(station), [](const QString&) {});
    }
}

void TForm1::pollFinished(const bus::PollOutcome& outcome, const readings::Reading* reading) {
    if (outcome.portLost)
        return; // the port text tells it, and every panel already shows it
    readings::StationPanel& stationPanel = panel(outcome.station);
    const auto appendToTrail = [this](const QString& text) { setPortText(portText() + text); };
    if (!reading)
        readings::showFailure(stationPanel, appendToTrail);
    else
        readings::showReading(stationPanel, *reading, appendToTrail);
}

// A station the count takes in shows its panel and sizes the window for it.
void TForm1::showStationPanel(int station, bool visible) {
    panels_[stationSlot(station)]->setVisible(visible);
    if (!visible)
        return;
    const QSize& step = kSizeSteps[stationSlot(station)];
    if (step.height() != 0)
        setOuterHeight(step.height());
    if (step.width() != 0)
        setOuterWidth(step.width());
}

void TForm1::setOuterWidth(int width) {
    outerSize_.setWidth(width);
    applyOuterSize();
}

void TForm1::setOuterHeight(int height) {
    outerSize_.setHeight(height);
    applyOuterSize();
}

bool TForm1::stationPanelShown(int station) const {
    return !panels_[stationSlot(station)]->isHidden();
}

void TForm1::applyOuterSize() {
    // The limits are the sizes for one station and for five to eight stations.
    const QSize outer = outerSize_.expandedTo(kMinimumOuterSize).boundedTo(kMaximumOuterSize);
    const QSize frame = frameGeometry().size() - geometry().size();
    setFixedSize(outer - frame);
}

void TForm1::setStatusText(int panel, const QString& text) {
    QLabel* label = statusPanels_.at(static_cast<std::size_t>(panel));
    label->setText(text);
    // The port's whole name, which its panel may show only in part.
    if (panel == 0)
        label->setToolTip(text);
}

QString TForm1::statusText(int panel) const {
    return statusPanels_.at(static_cast<std::size_t>(panel))->text();
}

readings::StationPanel& TForm1::panel(int station) const {
    return *panels_[stationSlot(station)];
}

void TForm1::closeEvent(QCloseEvent* event) {
    toolkit::guarded([this] { FormClose(); });
    event->accept();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    applyOuterSize(); // the frame is known only once the window is shown
}
