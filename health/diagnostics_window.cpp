#include "health/diagnostics_window.h"

#include "health/health_monitor.h"
#include "toolkit/cp1252.h"
#include "toolkit/file_replace.h"
#include "toolkit/messages.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace health {

namespace {

const QStringList kStationColumns{
    QStringLiteral("Estação"),         QStringLiteral("Endereço"),
    QStringLiteral("Estado"),          QStringLiteral("Última leitura boa"),
    QStringLiteral("Sucesso (1 h)"),   QStringLiteral("Sem resposta"),
    QStringLiteral("CRC inválido"),    QStringLiteral("Endereço errado"),
    QStringLiteral("Função inválida"), QStringLiteral("Resposta curta"),
    QStringLiteral("Leituras")};
const QStringList kJournalColumns{QStringLiteral("Hora"), QStringLiteral("Estação"),
                                  QStringLiteral("Evento"), QStringLiteral("Detalhe")};
constexpr int kRefreshMs = 1000;

QTableWidget* table(const QStringList& columns, QWidget* parent) {
    auto* t = new QTableWidget(0, int(columns.size()), parent);
    t->setHorizontalHeaderLabels(columns);
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

void setCell(QTableWidget* t, int row, int column, const QString& text) {
    QTableWidgetItem* item = t->item(row, column);
    if (!item)
        t->setItem(row, column, new QTableWidgetItem(text));
    else if (item->text() != text)
        item->setText(text); // only what changed, so a steady table costs nothing to show
}

QString stateText(const StationHealth& health) {
    if (health.sinceStart().polls == 0)
        return QStringLiteral("Aguardando");
    return health.answering() ? QStringLiteral("Respondendo") : QStringLiteral("Sem resposta");
}

// The rows of a table as semicolon lines, its header first.
QString csvOf(const QTableWidget* t) {
    QString text;
    for (int column = 0; column < t->columnCount(); ++column)
        text += t->horizontalHeaderItem(column)->text().toUpper() + u';';
    text += QStringLiteral("\r\n");
    for (int row = 0; row < t->rowCount(); ++row) {
        for (int column = 0; column < t->columnCount(); ++column) {
            const QTableWidgetItem* item = t->item(row, column);
            text += (item ? item->text().replace(u';', u',') : QString()) + u';';
        }
        text += QStringLiteral("\r\n");
    }
    return text;
}

} // namespace

DiagnosticsWindow::DiagnosticsWindow(const HealthMonitor& monitor, Stations stations,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), monitor_(monitor), stations_(std::move(stations)) {
    setObjectName(QStringLiteral("Diagnostico"));
    setWindowTitle(QStringLiteral("Diagnóstico - K&V ANEMÔMETROS"));
    resize(900, 560);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* periodLabel = new QLabel(QStringLiteral("Contagens:"), this);
    period_ = new QComboBox(this);
    period_->setObjectName(QStringLiteral("Periodo"));
    period_->addItems({QStringLiteral("Última hora"), QStringLiteral("Desde o início")});
    periodLabel->setBuddy(period_);
    export_ = new QPushButton(QStringLiteral("Exportar"), this);
    export_->setObjectName(QStringLiteral("Exportar"));
    top->addWidget(periodLabel);
    top->addWidget(period_);
    top->addStretch();
    top->addWidget(export_);
    layout->addLayout(top);

    stationTable_ = table(kStationColumns, this);
    stationTable_->setObjectName(QStringLiteral("Estacoes"));
    stationTable_->setAccessibleName(QStringLiteral("Estações"));
    layout->addWidget(stationTable_, 1);
    auto* journalLabel =
        new QLabel(QStringLiteral("Eventos do dia (mais recentes primeiro):"), this);
    layout->addWidget(journalLabel);
    journalTable_ = table(kJournalColumns, this);
    journalTable_->setObjectName(QStringLiteral("Eventos"));
    journalTable_->setAccessibleName(QStringLiteral("Eventos do dia"));
    layout->addWidget(journalTable_, 1);

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setInterval(kRefreshMs);
    connect(refreshTimer_, &QTimer::timeout, this, &DiagnosticsWindow::refresh);
    connect(period_, &QComboBox::currentIndexChanged, this, &DiagnosticsWindow::refresh);
    connect(export_, &QPushButton::clicked, this, &DiagnosticsWindow::exportClicked);
    connect(&monitor_, &HealthMonitor::eventNoted, this, [this](const Event& event) {
        if (isVisible())
            addEvent(event);
    });
}

QString DiagnosticsWindow::lastGoodText(std::optional<qint64> lastGoodMs, qint64 nowMs) {
    if (!lastGoodMs)
        return QStringLiteral("nenhuma");
    const QString time =
        QDateTime::fromMSecsSinceEpoch(*lastGoodMs).time().toString(QStringLiteral("HH:mm:ss"));
    return QStringLiteral("%1 (há %2 s)")
        .arg(time)
        .arg(std::max<qint64>(0, nowMs - *lastGoodMs) / 1000);
}

QString DiagnosticsWindow::percentText(std::optional<double> percent) {
    if (!percent)
        return QStringLiteral("-");
    return QString::number(*percent, 'f', 1).replace(u'.', u',') + QStringLiteral(" %");
}

void DiagnosticsWindow::refresh() {
    const qint64 now = monitor_.nowMs();
    const bool lastHour = period_->currentIndex() == 0;
    int row = 0;
    for (int station = 1; station <= kStations; ++station) {
        if (!stations_.shown(station))
            continue;
        if (row >= stationTable_->rowCount())
            stationTable_->insertRow(row);
        const StationHealth& health = monitor_.station(station);
        const Counts counts = lastHour ? health.lastHour(now) : health.sinceStart();
        const QStringList cells{stations_.name(station),
                                stations_.address(station),
                                stateText(health),
                                lastGoodText(health.lastGoodMs(), now),
                                percentText(health.lastHour(now).successPercent()),
                                QString::number(counts.noReply),
                                QString::number(counts.badCrc),
                                QString::number(counts.wrongAddress),
                                QString::number(counts.wrongFunction),
                                QString::number(counts.tooShort),
                                QString::number(counts.polls)};
        for (int column = 0; column < cells.size(); ++column)
            setCell(stationTable_, row, column, cells[column]);
        ++row;
    }
    stationTable_->setRowCount(row);
    if (QDateTime::fromMSecsSinceEpoch(now).date() != journalDay_)
        loadJournal();
}

void DiagnosticsWindow::loadJournal() {
    journalDay_ = QDateTime::fromMSecsSinceEpoch(monitor_.nowMs()).date();
    journalTable_->setRowCount(0);
    QList<Event> events;
    try {
        events = journal::read(stations_.logFolder(), journalDay_);
    } catch (const toolkit::Failure&) {
        // No journal to read: what this run noted still shows.
        for (const Event& event : monitor_.events()) {
            if (event.at.date() == journalDay_)
                events.append(event);
        }
    }
    for (const Event& event : events)
        addEvent(event);
}

void DiagnosticsWindow::addEvent(const Event& event) {
    if (event.at.date() != journalDay_)
        return;
    journalTable_->insertRow(0);
    const QStringList cells{event.at.time().toString(QStringLiteral("HH:mm:ss")), event.station,
                            event.event, event.detail};
    for (int column = 0; column < cells.size(); ++column)
        journalTable_->setItem(0, column, new QTableWidgetItem(cells[column]));
}

void DiagnosticsWindow::exportTo(const QString& path) const {
    const QString text = csvOf(stationTable_) + QStringLiteral("\r\n") + csvOf(journalTable_);
    toolkit::replaceFileContents(path, toolkit::toCp1252(text));
}

void DiagnosticsWindow::exportClicked() {
    const QString day = QDate::currentDate().toString(QStringLiteral("dd-MM-yyyy"));
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Exportar diagnóstico"),
        QDir::home().filePath(QStringLiteral("Diagnóstico %1.csv").arg(day)),
        QStringLiteral("Arquivo CSV (*.csv)"));
    if (!path.isEmpty())
        toolkit::guarded([&] { exportTo(path); });
}

void DiagnosticsWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    loadJournal();
    refresh();
    refreshTimer_->start();
}

void DiagnosticsWindow::hideEvent(QHideEvent* event) {
    refreshTimer_->stop();
    QWidget::hideEvent(event);
}

namespace {

class ToolTips : public QObject {
public:
    ToolTips(const HealthMonitor& monitor, const std::array<QWidget*, kStations>& panels)
        : QObject(panels[0]), monitor_(monitor), panels_(panels) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip)
            return false;
        for (int station = 1; station <= kStations; ++station) {
            if (panels_[stationSlot(station)] != watched)
                continue;
            const StationHealth& health = monitor_.station(station);
            const qint64 now = monitor_.nowMs();
            panels_[stationSlot(station)]->setToolTip(
                QStringLiteral("Última leitura boa: %1\nSucesso na última hora: %2")
                    .arg(DiagnosticsWindow::lastGoodText(health.lastGoodMs(), now),
                         DiagnosticsWindow::percentText(health.lastHour(now).successPercent())));
        }
        return false;
    }

private:
    const HealthMonitor& monitor_;
    std::array<QWidget*, kStations> panels_;
};

} // namespace

void installPanelToolTips(const HealthMonitor& monitor,
                          const std::array<QWidget*, kStations>& panels) {
    auto* tips = new ToolTips(monitor, panels);
    for (QWidget* panel : panels)
        panel->installEventFilter(tips);
}

} // namespace health
