#include "site/site_window.h"

#include "alarms/alarm.h"
#include "alarms/alarm_texts.h"
#include "site/site_book.h"
#include "site/site_tile.h"
#include "site/site_trace.h"
#include "site/tile_grid.h"
#include "toolkit/ini_text.h"
#include "toolkit/messages.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>

namespace site {

namespace {

QLabel* headingLabel() {
    auto* heading = new QLabel;
    QFont font = heading->font();
    font.setBold(true);
    font.setPixelSize(kHeadingHeight - 4);
    heading->setFont(font);
    heading->setAutoFillBackground(true);
    return heading;
}

const QString kBrokerAway = QStringLiteral("servidor MQTT fora");

} // namespace

SiteWindow::SiteWindow(SiteBook& book, QString brokerName, std::function<qint64()> nowMs,
                       QWidget* parent)
    : QMainWindow(parent), book_(book), brokerName_(std::move(brokerName)),
      nowMs_(std::move(nowMs)) {
    setObjectName(QStringLiteral("Local"));
    setWindowTitle(QStringLiteral("K&V ANEMÔMETROS — Local"));
    buildMenu();
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    broker_ = new QLabel(central);
    broker_->setObjectName(QStringLiteral("Servidor"));
    broker_->setAutoFillBackground(true);
    broker_->setWordWrap(true);
    broker_->setMargin(6);
    QFont bold = broker_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.3);
    broker_->setFont(bold);
    paintColours(broker_, QColor(200, 0, 0), Qt::white);
    warning_ = new QLabel(central);
    warning_->setObjectName(QStringLiteral("Seguranca"));
    warning_->setAutoFillBackground(true);
    warning_->setWordWrap(true);
    warning_->setMargin(4);
    warning_->setTextFormat(Qt::PlainText);
    paintColours(warning_, QColor(255, 224, 130), Qt::black);
    warning_->hide();
    alarmButton_ = new QPushButton(central);
    alarmButton_->setObjectName(QStringLiteral("AlarmesDoLocal"));
    alarmButton_->setFont(bold);
    alarmButton_->setAutoFillBackground(true);
    connect(alarmButton_, &QPushButton::clicked, this, &SiteWindow::alarmsRequested);
    scroll_ = new QScrollArea(central);
    scroll_->setObjectName(QStringLiteral("Estacoes"));
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setFrameShape(QFrame::NoFrame);
    grid_ = new TileGrid;
    scroll_->setWidget(grid_);
    column->addWidget(broker_);
    column->addWidget(warning_);
    column->addWidget(alarmButton_);
    column->addWidget(scroll_, 1);
    setCentralWidget(central);
    ignored_ = new QLabel(this);
    ignored_->setObjectName(QStringLiteral("Ignoradas"));
    statusBar()->addWidget(ignored_, 1);
    ahead_ = new QLabel(this);
    ahead_->setObjectName(QStringLiteral("Adiantadas"));
    statusBar()->addWidget(ahead_, 1);
    resize(1024, 700);

    connect(&book_, &SiteBook::stationsChanged, this, &SiteWindow::rebuildSoon);
    connect(&book_, &SiteBook::stationChanged, this, [this](const QString& prefix, int station) {
        if (const SiteStation* known = book_.find(prefix, station))
            showStation(*known, nowMs_(), /*trace=*/true);
    });
    connect(&book_, &SiteBook::pcChanged, this, &SiteWindow::showPc);
    connect(&book_, &SiteBook::brokerChanged, this, &SiteWindow::refresh);
    connect(&book_, &SiteBook::alarmsChanged, this, &SiteWindow::showAlarmCount);
    auto* clock = new QTimer(this);
    connect(clock, &QTimer::timeout, this, &SiteWindow::refresh);
    clock->start(1000);
    refresh();
}

void SiteWindow::buildMenu() {
    QMenu* controle = menuBar()->addMenu(QStringLiteral("&Controle"));
    controle->setObjectName(QStringLiteral("Controle1"));
    QAction* alarms = controle->addAction(QStringLiteral("Alarmes"));
    alarms->setObjectName(QStringLiteral("Alarmes1"));
    connect(alarms, &QAction::triggered, this, &SiteWindow::alarmsRequested);
    controle->addSeparator();
    QAction* quit = controle->addAction(QStringLiteral("Sair"));
    quit->setObjectName(QStringLiteral("Sair1"));
    connect(quit, &QAction::triggered, this, &SiteWindow::quitRequested);
    controle_ = controle;
}

void SiteWindow::addHistoryItem() {
    controle_->addSeparator();
    QAction* history = controle_->addAction(QStringLiteral("Histórico"));
    history->setObjectName(QStringLiteral("HistoricoLocal1"));
    connect(history, &QAction::triggered, this, &SiteWindow::historyRequested);
}

void SiteWindow::closeEvent(QCloseEvent* event) {
    event->accept();
    emit quitRequested();
}

SiteTile* SiteWindow::tile(const QString& prefix, int station) const {
    return tiles_.value({prefix, station}, nullptr);
}

void SiteWindow::setConnectionWarning(const QString& text) {
    warning_->setText(text);
    warning_->setVisible(!text.isEmpty());
}

QLabel* SiteWindow::heading(const QString& prefix) const {
    const auto found = headings_.find(prefix);
    return found == headings_.end() ? nullptr : found->second;
}

void SiteWindow::setBrokerProblem(const QString& text) {
    brokerProblem_ = text;
    showBroker();
}

// Stations come in bursts (every retained state at a connection): the tiles are laid out once
// the burst has been read.
void SiteWindow::rebuildSoon() {
    if (std::exchange(rebuildDue_, true))
        return;
    QTimer::singleShot(0, this, &SiteWindow::rebuild);
}

void SiteWindow::rebuild() {
    rebuildDue_ = false;
    QHash<Key, SiteTile*> kept;
    std::map<QString, QLabel*> headings;
    std::vector<TileGrid::Group> groups;
    for (const SiteStation* station : book_.stations()) {
        if (groups.empty() || headings.find(station->prefix) == headings.end()) {
            QLabel* heading = headings_.contains(station->prefix)
                                  ? std::exchange(headings_[station->prefix], nullptr)
                                  : headingLabel();
            heading->setObjectName(QStringLiteral("Computador_") + station->prefix);
            headings[station->prefix] = heading;
            groups.push_back({heading, {}});
        }
        const Key key{station->prefix, station->station};
        SiteTile* tile = tiles_.take(key);
        if (!tile)
            tile = new SiteTile;
        tile->setObjectName(
            QStringLiteral("Estacao_%1_%2").arg(station->prefix).arg(station->station));
        kept.insert(key, tile);
        groups.back().tiles.push_back(tile);
    }
    // What is no longer published goes.
    for (SiteTile* tile : std::as_const(tiles_))
        delete tile;
    for (auto& [prefix, heading] : headings_)
        delete heading;
    tiles_ = std::move(kept);
    headings_ = std::move(headings);
    grid_->setGroups(std::move(groups));
    refresh();
}

QString SiteWindow::whyNotCurrent(const SiteStation& station, qint64 nowMs) const {
    switch (book_.whyNotCurrent(station, nowMs)) {
    case NotCurrent::No:
        return {};
    case NotCurrent::BrokerAway:
        return kBrokerAway;
    case NotCurrent::PcStopped:
        return QStringLiteral("computador da estação parado");
    case NotCurrent::StationSilent:
        return QStringLiteral("estação sem resposta");
    case NotCurrent::NoState:
        return QStringLiteral("nenhuma leitura recebida");
    case NotCurrent::ClockAhead:
        return QStringLiteral("relógio adiantado");
    case NotCurrent::NotHeard:
        return QStringLiteral("aguardando leitura nova");
    case NotCurrent::Old:
        return QStringLiteral("leitura antiga");
    }
    return {};
}

void SiteWindow::showStation(const SiteStation& station, qint64 nowMs, bool trace) {
    SiteTile* tile = this->tile(station.prefix, station.station);
    if (!tile)
        return; // laid out soon
    const QString whyNot = whyNotCurrent(station, nowMs);
    const bool current = whyNot.isEmpty();
    const quint64 before = tile->statesShown();
    tile->showStation(station, current, whyNot, nowMs);
    if (trace && tile->statesShown() != before && lcSite().isDebugEnabled()) {
        const StationState& state = *station.state;
        trace_.shown(station.prefix, station.station,
                     state.speed.overLimit ? std::nullopt : state.speed.number, state.battery,
                     traceClockMs());
        // The messages of one read of the broker come one after another: their lines leave
        // together after the last.
        if (!std::exchange(traceDue_, true))
            QTimer::singleShot(0, this, [this] {
                traceDue_ = false;
                trace_.write();
            });
    }
}

void SiteWindow::showPc(const QString& prefix) {
    const qint64 now = nowMs_();
    for (const SiteStation* station : book_.stations()) {
        if (station->prefix == prefix)
            showStation(*station, now, /*trace=*/false);
    }
    showHeading(prefix);
}

void SiteWindow::showHeading(const QString& prefix) {
    if (QLabel* heading = this->heading(prefix)) {
        // While the broker is away nothing is known of the station PC but that.
        const QString why = !book_.brokerConnected() ? kBrokerAway
                            : book_.pcOnline(prefix) == false
                                ? QStringLiteral("computador da estação parado")
                                : QString();
        heading->setText(why.isEmpty() ? prefix : QStringLiteral("%1 — %2").arg(prefix, why));
        paintColours(heading, palette().color(QPalette::Window),
                     why.isEmpty() ? QColor(Qt::black) : QColor(200, 0, 0));
    }
}

void SiteWindow::showBroker() {
    if (book_.brokerConnected()) {
        broker_->hide();
        return;
    }
    const qint64 away = nowMs_() - book_.brokerAwaySinceMs();
    QString text = QStringLiteral("SEM CONEXÃO COM O SERVIDOR MQTT %1 há %2; reconectando.")
                       .arg(brokerName_, alarms::durationText(std::max<qint64>(0, away)));
    // The client's reason ("conexão recusada, ...") as a sentence of its own.
    if (!brokerProblem_.isEmpty())
        text += u' ' + toolkit::sentenceStart(brokerProblem_) +
                (brokerProblem_.endsWith(u'.') ? QString() : QStringLiteral("."));
    broker_->setText(text);
    broker_->show();
}

void SiteWindow::showAlarmCount() {
    int waiting = 0;
    int listed = 0;
    for (const SiteAlarm& alarm : book_.alarms()) {
        ++listed;
        if (alarm.entry.state == alarms::State::Active ||
            alarm.entry.state == alarms::State::Normalized)
            ++waiting;
    }
    if (waiting > 0) {
        alarmButton_->setText(waiting == 1
                                  ? QStringLiteral("ALARMES: 1 NÃO RECONHECIDO")
                                  : QStringLiteral("ALARMES: %1 NÃO RECONHECIDOS").arg(waiting));
        paintColours(alarmButton_, QColor(220, 30, 30), Qt::white);
    } else {
        alarmButton_->setText(listed == 0 ? QStringLiteral("ALARMES: NENHUM")
                                          : QStringLiteral("ALARMES: %1 NA LISTA").arg(listed));
        paintColours(alarmButton_, palette().color(QPalette::Button), Qt::black);
    }
}

void SiteWindow::refresh() {
    if (closing_)
        return;
    const qint64 now = nowMs_();
    for (const SiteStation* station : book_.stations())
        showStation(*station, now, /*trace=*/false);
    for (const auto& [prefix, heading] : headings_)
        showHeading(prefix);
    showBroker();
    showAlarmCount();
    const qint64 ignored = book_.ignoredMessages();
    ignored_->setText(ignored == 0 ? QString()
                                   : QStringLiteral("Mensagens ignoradas: %1 (a última: %2)")
                                         .arg(ignored)
                                         .arg(book_.lastIgnored()));
    const qint64 ahead = book_.statesAhead();
    ahead_->setText(ahead == 0 ? QString()
                               : QStringLiteral("Leituras com relógio adiantado: %1 (a última: "
                                                "%2)")
                                     .arg(ahead)
                                     .arg(book_.lastAhead()));
}

} // namespace site
