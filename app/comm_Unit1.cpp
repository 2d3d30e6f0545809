#include "comm_Unit1.h"

#include "Unit2.h"
#include "Unit3.h"
#include "documents.h"
#include "failure.h"
#include "fonts.h"
#include "log_files.h"
#include "messages.h"
#include "open_messages.h"
#include "station_display.h"
#include "text_label.h"
#include "timer.h"

#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMenuBar>
#include <QResizeEvent>
#include <QStatusBar>
#include <QUrl>

TForm1* Form1 = nullptr;

namespace {

constexpr QSize kMinimumOuterSize{184, 300};
constexpr QSize kMaximumOuterSize{737, 525};
constexpr QSize kClientAsLaidOut{729, 471};

// Top-left corners of the eight station panels: two rows of four.
constexpr std::array<QPoint, kStations> kPanelPositions{{
    {8, 8},
    {192, 8},
    {376, 8},
    {560, 8},
    {8, 232},
    {192, 232},
    {376, 232},
    {560, 232},
}};

// Holds the last status panel and gives it its whole area at a fixed size.
class FillingHost : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            child->setFixedSize(size());
    }
};

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
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
    client->setMinimumSize(0, 0);
    setCentralWidget(client);
    for (int station = 1; station <= kStations; ++station) {
        auto* stationPanel = new readings::StationPanel(station, client);
        stationPanel->move(kPanelPositions[stationSlot(station)]);
        panels_[stationSlot(station)] = stationPanel;
    }

    buildMenu();
    buildStatusBar();
    buildTimers();
    connectHandlers();
    resize(kClientAsLaidOut.width(), kClientAsLaidOut.height() + menuBar()->sizeHint().height() +
                                         statusBar()->sizeHint().height());
    applyOuterSize();

    toolkit::guarded([this] { FormCreate(); });
}

TForm1::~TForm1() {
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::buildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("Menu"));
    QMenu* controle = bar->addMenu(QStringLiteral("Controle"));
    controle->setObjectName(QStringLiteral("Controle1"));
    actionConfiguracoes_ = controle->addAction(QStringLiteral("Configurações"));
    actionConfiguracoes_->setObjectName(QStringLiteral("N1"));
    controle->addSeparator()->setObjectName(QStringLiteral("Enviar1"));

    QMenu* ajuda = bar->addMenu(QStringLiteral("Ajuda"));
    ajuda->setObjectName(QStringLiteral("Ajuda1"));
    actionGeral_ = ajuda->addAction(QStringLiteral("Geral"));
    actionGeral_->setObjectName(QStringLiteral("Software1"));
    ajuda->addSeparator()->setObjectName(QStringLiteral("N2"));
    actionWebSite_ = ajuda->addAction(QStringLiteral("Web Site"));
    actionWebSite_->setObjectName(QStringLiteral("Sobre1"));
    ajuda->addSeparator()->setObjectName(QStringLiteral("N4"));
    actionSobre_ = ajuda->addAction(QStringLiteral("Sobre"));
    actionSobre_->setObjectName(QStringLiteral("Sobre2"));

    actionSair_ = bar->addAction(QStringLiteral("Sair"));
    actionSair_->setObjectName(QStringLiteral("Sair1"));
}

void TForm1::buildStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setObjectName(QStringLiteral("StatusBar"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(20);
    // Panels 0 and 1 are 40 pixels wide; panel 2 takes the rest so the poll trail stays readable.
    // Every panel keeps a fixed size, so the texts that change at every poll never make the
    // status bar lay itself out again (that was half the program's work per poll).
    for (std::size_t i = 0; i < statusPanels_.size(); ++i) {
        QWidget* host = i < 2 ? static_cast<QWidget*>(bar) : new FillingHost(bar);
        auto* label = new toolkit::TextLabel(host);
        label->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        label->setAlignment(Qt::AlignCenter);
        label->setTextFormat(Qt::PlainText); // port names come from the configuration file
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        // Opaque: a new trail text repaints the panel alone, not the status bar beneath it.
        label->setAutoFillBackground(true);
        if (i < 2) {
            label->setFixedSize(40, 18);
            bar->addWidget(label);
        } else {
            host->setMinimumWidth(100);
            bar->addWidget(host, 1);
        }
        statusPanels_[i] = label;
    }
}

void TForm1::buildTimers() {
    timerAbrePorta_ = new toolkit::Timer(this, 1000, true);
    timerAbrePorta_->setObjectName(QStringLiteral("TimerAbrePorta"));
    timerControle_ = new toolkit::Timer(this, 2000, false);
    timerControle_->setObjectName(QStringLiteral("TimerControle"));
    for (int station = 1; station <= kStations; ++station) {
        auto* timer = new toolkit::Timer(this, 100, false);
        timer->setObjectName(QStringLiteral("Timer%1").arg(station));
        replyTimers_[stationSlot(station)] = timer;
    }
}

void TForm1::connectHandlers() {
    const auto handle = [this](auto handler) {
        return [this, handler] { toolkit::guarded([this, handler] { (this->*handler)(); }); };
    };
    connect(actionConfiguracoes_, &QAction::triggered, this, handle(&TForm1::N1Click));
    connect(actionGeral_, &QAction::triggered, this, handle(&TForm1::Software1Click));
    connect(actionWebSite_, &QAction::triggered, this, handle(&TForm1::Sobre1Click));
    connect(actionSobre_, &QAction::triggered, this, handle(&TForm1::Sobre2Click));
    connect(actionSair_, &QAction::triggered, this, handle(&TForm1::Sair1Click));
    connect(timerAbrePorta_, &toolkit::Timer::timeout, this, handle(&TForm1::TimerAbrePortaTimer));
    connect(timerControle_, &toolkit::Timer::timeout, this, handle(&TForm1::TimerControleTimer));
    constexpr std::array<void (TForm1::*)(), kStations> replyHandlers{
        &TForm1::Timer1Timer, &TForm1::Timer2Timer, &TForm1::Timer3Timer, &TForm1::Timer4Timer,
        &TForm1::Timer5Timer, &TForm1::Timer6Timer, &TForm1::Timer7Timer, &TForm1::Timer8Timer,
    };
    for (int station = 1; station <= kStations; ++station)
        connect(replyTimers_[stationSlot(station)], &toolkit::Timer::timeout, this,
                handle(replyHandlers[stationSlot(station)]));
}

void TForm1::Timer1Timer() {
    replyTick(1);
}
void TForm1::Timer2Timer() {
    replyTick(2);
}
void TForm1::Timer3Timer() {
    replyTick(3);
}
void TForm1::Timer4Timer() {
    replyTick(4);
}
void TForm1::Timer5Timer() {
    replyTick(5);
}
void TForm1::Timer6Timer() {
    replyTick(6);
}
void TForm1::Timer7Timer() {
    replyTick(7);
}
void TForm1::Timer8Timer() {
    replyTick(8);
}

void TForm1::Calcula_CRC(int count, std::span<const int> cells) {
    modbus::Calcula_CRC(count, cells, poll_.crc);
}

void TForm1::N1Click() {
    reconnecting_ = false;
    timerAbrePorta_->setEnabled(false);
    timerControle_->setEnabled(false);
    port_.close();
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

void TForm1::Software1Click() {
    // The manual is looked up in the working folder, but the desktop needs an absolute URL.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QDir::current().absoluteFilePath(kManualPath)));
}

void TForm1::TimerControleTimer() {
    modbus::controlTick(*this, *timerControle_, poll_);
}

void TForm1::FormCreate() {
    poll_.stationIndex = 1;
    logs::prepareLogFolder(GetMyDocuments());
}

void TForm1::TimerAbrePortaTimer() {
    if (openingPort_)
        return;
    const QString portName = Form2->portName();
    const QString lineParameters = Form2->baudText() + QStringLiteral(",N,8,1");
    const serial::OpenResult result =
        port_.open(portName.toStdString(), lineParameters.toStdString());
    if (result.ok) {
        reconnecting_ = false;
        setStatusText(2, portName + QStringLiteral(" Aberta"));
        timerControle_->setEnabled(true);
        replyTimer(1).setInterval(150);
        timerAbrePorta_->setEnabled(false);
        return;
    }
    if (reconnecting_) {
        // Waiting for a vanished device to come back: try again quietly.
        port_.close();
        setStatusText(2, portName + QStringLiteral(" Fechada"));
        timerControle_->setEnabled(false);
        timerAbrePorta_->setInterval(5000);
        return;
    }
    const QString message = QString::fromStdString(serial::openFailureMessage(
        result.failedStep, portName.toStdString(), lineParameters.toStdString(), result.error));
    if (result.failedStep == serial::OpenStep::Open) {
        // The port is missing or held elsewhere: wait for the user, not for the timer.
        timerAbrePorta_->setEnabled(false);
        toolkit::showMessage(message);
    } else {
        openingPort_ = true;
        toolkit::showMessage(message);
        openingPort_ = false;
        port_.close();
    }
    setStatusText(2, portName + QStringLiteral(" Fechada"));
    timerControle_->setEnabled(false);
    timerAbrePorta_->setInterval(5000);
}

void TForm1::portLost() {
    port_.close();
    reconnecting_ = true;
    setStatusText(2, Form2->portName() + QStringLiteral(" Fechada"));
    timerControle_->setEnabled(false);
    timerAbrePorta_->setInterval(5000);
    timerAbrePorta_->setEnabled(true);
    // No station can answer now: no panel may go on showing its last reading as current. The
    // status bar tells that the port is closed, so the trail is not extended.
    for (int station = 1; station <= kStations; ++station) {
        if (stationPanelShown(station))
            readings::showFailure(panel(station), [](const QString&) {});
    }
}

void TForm1::FormClose() {
    port_.close();
}

QString TForm1::GetMyDocuments() const {
    return toolkit::documentsFolder();
}

void TForm1::replyTick(int station) {
    modbus::handOver(*replyTimers_[stationSlot(station)], station, poll_);
    const std::vector<std::uint8_t> reply = port_.read();
    readings::StationPanel& stationPanel = panel(station);
    const auto appendToTrail = [this](const QString& text) {
        setStatusText(2, statusText(2) + text);
    };
    if (readings::checkReply(reply, poll_.lastRequest, poll_.crc) != readings::ReplyOutcome::Good) {
        if (port_.deviceLost()) {
            portLost();
            return;
        }
        readings::showFailure(stationPanel, appendToTrail);
        return;
    }
    const readings::Reading reading = readings::decodeReply(reply, station);
    readings::showReading(stationPanel, reading, appendToTrail);
    if (!logs::shouldLog(Form2->logEnabled(station), reading.rfText))
        return;
    try {
        writeLog(station, reading);
    } catch (const toolkit::Failure& failure) {
        if (!logFailures_.isNews(station, failure.text())) {
            toolkit::reportToStandardError(failure.text());
            return;
        }
        // Shown only when no other box is open; otherwise it is news again at the next poll.
        if (!toolkit::errorReportShowing())
            logFailures_.shown(station, failure.text());
        throw;
    }
    logFailures_.lineWritten(station);
}

void TForm1::writeLog(int station, const readings::Reading& reading) {
    const readings::StationPanel& stationPanel = panel(station);
    logs::writeLogLine({
        .station = station,
        .indexFile = logs::indexFileName(station),
        .documentsFolder = GetMyDocuments(),
        .now = QDateTime::currentDateTime(),
        .stationName = stationPanel.name(),
        .unitText = reading.unitText,
        .fields = {.speed = reading.speedText,
                   .direction = stationPanel.directionLabel()->text(),
                   .preset1 = reading.preset1Text,
                   .preset2 = reading.preset2Text,
                   .sound = reading.soundText,
                   .battery = reading.batteryText},
    });
}

QString TForm1::addressText(int station) const {
    return Form2->addressText(station);
}

void TForm1::sendFrame(const modbus::RequestFrame& frame) {
    port_.write(frame);
}

void TForm1::armReplyTimer(int station) {
    replyTimers_[stationSlot(station)]->setEnabled(true);
}

void TForm1::showStationPanel(int station, bool visible) {
    panels_[stationSlot(station)]->setVisible(visible);
}

bool TForm1::stationPanelShown(int station) const {
    return !panels_[stationSlot(station)]->isHidden();
}

void TForm1::setStationName(int station, const QString& name) {
    panels_[stationSlot(station)]->setName(name);
}

void TForm1::setOuterWidth(int width) {
    outerSize_.setWidth(width);
    applyOuterSize();
}

void TForm1::setOuterHeight(int height) {
    outerSize_.setHeight(height);
    applyOuterSize();
}

void TForm1::applyOuterSize() {
    // The limits are the sizes for one station and for five to eight stations.
    const QSize outer = outerSize_.expandedTo(kMinimumOuterSize).boundedTo(kMaximumOuterSize);
    const QSize frame = frameGeometry().size() - geometry().size();
    setFixedSize(outer - frame);
}

void TForm1::setStatusText(int panel, const QString& text) {
    statusPanels_.at(static_cast<std::size_t>(panel))->setText(text);
}

QString TForm1::statusText(int panel) const {
    return statusPanels_.at(static_cast<std::size_t>(panel))->text();
}

readings::StationPanel& TForm1::panel(int station) const {
    return *panels_[stationSlot(station)];
}

toolkit::Timer& TForm1::replyTimer(int station) const {
    return *replyTimers_[stationSlot(station)];
}

void TForm1::closeEvent(QCloseEvent* event) {
    toolkit::guarded([this] { FormClose(); });
    event->accept();
}

void TForm1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    applyOuterSize(); // the frame is known only once the window is shown
}
