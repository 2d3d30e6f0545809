#include "health/diagnostics_window.h"

#include "health/health_monitor.h"
#include "health/journal_model.h"
#include "health/station_table_model.h"
#include "toolkit/cp1252.h"
#include "toolkit/csv_writer.h"
#include "toolkit/day_text.h"
#include "toolkit/file_replace.h"
#include "toolkit/messages.h"
#include "toolkit/save_dialog.h"

#include <QComboBox>
#include <QEvent>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QStaticText>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>
#include <utility>

namespace health {

namespace {

constexpr int kRefreshMs = 1000;
constexpr int kRefreshesPerJournalUpdate = 5;

// Draws a cell's text from glyphs laid out once per text: the style's own delegate lays out
// every cell's text at every paint, which made a refresh a second cost more than a poll.
class CellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        if (selected)
            painter->fillRect(option.rect, option.palette.highlight());
        else if (option.features & QStyleOptionViewItem::Alternate)
            painter->fillRect(option.rect, option.palette.alternateBase());
        const QString text = index.data().toString();
        if (cache_.size() > kMostTexts)
            cache_.clear();
        QStaticText& laidOut = cache_[text];
        if (laidOut.text() != text) {
            laidOut.setText(text);
            laidOut.setTextFormat(Qt::PlainText);
            laidOut.prepare(QTransform(), option.font);
        }
        painter->setFont(option.font);
        painter->setPen(
            option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        const int top =
            option.rect.top() + (option.rect.height() - int(laidOut.size().height())) / 2;
        painter->save();
        painter->setClipRect(option.rect);
        painter->drawStaticText(option.rect.left() + 4, top, laidOut);
        painter->restore();
    }

private:
    static constexpr qsizetype kMostTexts = 4000;
    mutable QHash<QString, QStaticText> cache_;
};

void setUpTable(QTableView* t) {
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setWordWrap(false);
    t->setItemDelegate(new CellDelegate(t));
    // Rows told apart by their shade, not by grid lines: the lines cost as much to paint as
    // the texts.
    t->setShowGrid(false);
    t->setAlternatingRowColors(true);
    // Column widths are measured when rows come or go, not at every refresh: measuring all
    // cells each second cost more than the whole poll.
    t->horizontalHeader()->setStretchLastSection(true);
    t->verticalHeader()->setDefaultSectionSize(t->fontMetrics().height() + 6);
    t->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
}

// Widens a column measured on the texts of the moment ("Aguardando") for the texts it will
// hold later ("Sem resposta"), so that they are not cut.
void fitColumn(QTableView* t, int column, std::initializer_list<QString> texts) {
    constexpr int kPadding = 16;
    int width = 0;
    for (const QString& text : texts)
        width = std::max(width, t->fontMetrics().horizontalAdvance(text) + kPadding);
    if (t->columnWidth(column) < width)
        t->setColumnWidth(column, width);
}

// The diagnostics file as it has always been written: titles in capitals, a ';' after every
// cell, a ';' inside a cell as ','.
constexpr toolkit::CsvOptions kFileFormat{
    .capitalTitles = true, .closingSeparator = true, .commaForSeparator = true};

} // namespace

DiagnosticsWindow::DiagnosticsWindow(const HealthMonitor& monitor, Stations stations,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), monitor_(monitor), stations_(std::move(stations)) {
    setObjectName(QStringLiteral("Diagnostico"));
    setWindowTitle(QStringLiteral("Diagnóstico - K&V ANEMÔMETROS"));
    resize(1180, 600);

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

    stationRows_ = new StationTableModel(monitor_, stations_.settings, this);
    stationTable_ = new QTableView(this);
    stationTable_->setModel(stationRows_);
    setUpTable(stationTable_);
    stationTable_->setObjectName(QStringLiteral("Estacoes"));
    stationTable_->setAccessibleName(QStringLiteral("Estações"));
    layout->addWidget(stationTable_, 1);
    auto* journalLabel =
        new QLabel(QStringLiteral("Eventos do dia (mais recentes primeiro):"), this);
    layout->addWidget(journalLabel);
    journal_ = new JournalModel(this);
    journalTable_ = new QTableView(this);
    journalTable_->setModel(journal_);
    setUpTable(journalTable_);
    journalTable_->setObjectName(QStringLiteral("Eventos"));
    journalTable_->setAccessibleName(QStringLiteral("Eventos do dia"));
    layout->addWidget(journalTable_, 1);
    connection_ = new QLabel(this);
    connection_->setObjectName(QStringLiteral("Conexao"));
    connection_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    connection_->setWordWrap(true); // a long sentence must not widen the window
    connection_->hide();
    layout->addWidget(connection_);
    notifications_ = new QLabel(this);
    notifications_->setObjectName(QStringLiteral("Notificacoes"));
    notifications_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notifications_->setTextFormat(Qt::PlainText);
    notifications_->setWordWrap(true);
    notifications_->hide();
    layout->addWidget(notifications_);
    archive_ = new QLabel(this);
    archive_->setObjectName(QStringLiteral("Arquivo"));
    archive_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    archive_->setTextFormat(Qt::PlainText);
    archive_->setWordWrap(true);
    archive_->hide();
    layout->addWidget(archive_);

    refreshTimer_ = new QTimer(this);
    refreshTimer_->setInterval(kRefreshMs);
    connect(refreshTimer_, &QTimer::timeout, this, &DiagnosticsWindow::refresh);
    connect(period_, &QComboBox::currentIndexChanged, this, &DiagnosticsWindow::refresh);
    connect(export_, &QPushButton::clicked, this, &DiagnosticsWindow::exportClicked);
    // New events wait for the next refresh: one repaint a second, however many events come.
    connect(&monitor_, &HealthMonitor::eventNoted, this, [this](const Event& event) {
        if (isVisible())
            pendingEvents_.append(event);
    });
}

void DiagnosticsWindow::setConnectionText(const QString& text) {
    connection_->setText(text);
    connection_->setVisible(!text.isEmpty());
}

void DiagnosticsWindow::setNotificationText(const QString& text) {
    notifications_->setText(text);
    notifications_->setVisible(!text.isEmpty());
}

void DiagnosticsWindow::setArchiveText(const QString& text) {
    archive_->setText(text);
    archive_->setVisible(!text.isEmpty());
}

QString DiagnosticsWindow::lastGoodText(std::optional<qint64> lastGoodMs, qint64 nowMs) {
    return health::lastGoodText(lastGoodMs, nowMs);
}

QString DiagnosticsWindow::percentText(std::optional<double> percent) {
    return health::percentText(percent);
}

void DiagnosticsWindow::refresh() {
    const qint64 now = monitor_.nowMs();
    if (stationRows_->refresh(now, period_->currentIndex() == 0)) {
        stationTable_->resizeColumnsToContents();
        fitColumn(stationTable_, StationTableModel::kStateColumn,
                  {QStringLiteral("Aguardando"), QStringLiteral("Respondendo"),
                   QStringLiteral("Sem resposta"), QStringLiteral("Porta fechada")});
        fitColumn(stationTable_, StationTableModel::kLastGoodColumn,
                  {QStringLiteral("00:00:00 (há 99999 s)")});
    }
    // A new event at the top moves every row below it, so the whole list is drawn again: new
    // events join the list every few seconds, not at every refresh.
    if (++refreshesSinceEvents_ >= kRefreshesPerJournalUpdate || !isVisible()) {
        refreshesSinceEvents_ = 0;
        QList<Event> today;
        for (const Event& event : std::exchange(pendingEvents_, {})) {
            if (event.at.date() == journalDay_)
                today.append(event);
        }
        if (!today.isEmpty()) {
            addToJournal(today);
            // Only the rows in view are measured; the detail, last, keeps the rest.
            for (int column = 0; column < journal_->columnCount({}) - 1; ++column)
                journalTable_->resizeColumnToContents(column);
        }
    }
    if (QDateTime::fromMSecsSinceEpoch(now).date() != journalDay_)
        loadJournal();
}

// The newest event stays in view; a user who scrolled down to older events keeps looking at the
// same ones while newer come in above them.
void DiagnosticsWindow::addToJournal(const QList<Event>& events) {
    const QScrollBar* bar = journalTable_->verticalScrollBar();
    const int topRow = journalTable_->rowAt(0);
    const bool atTop = topRow <= 0 && bar->value() == bar->minimum();
    journal_->add(events);
    journalTable_->doItemsLayout();
    if (atTop)
        journalTable_->scrollToTop();
    else
        journalTable_->scrollTo(journal_->index(topRow + int(events.size()), 0),
                                QAbstractItemView::PositionAtTop);
}

void DiagnosticsWindow::loadJournal() {
    pendingEvents_.clear(); // the file holds them
    journalDay_ = QDateTime::fromMSecsSinceEpoch(monitor_.nowMs()).date();
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
    journal_->reset(std::move(events));
    journalTable_->resizeColumnsToContents();
}

void DiagnosticsWindow::exportTo(const QString& path) const {
    const QString text = toolkit::csvText(*stationRows_, kFileFormat) + QStringLiteral("\r\n") +
                         toolkit::csvText(*journal_, kFileFormat);
    toolkit::replaceFileContents(path, toolkit::toCp1252(text));
}

void DiagnosticsWindow::exportClicked() {
    const QString day = toolkit::dayText(QDate::currentDate());
    const QString path = toolkit::askSavePath(
        this, QStringLiteral("Exportar diagnóstico"), QStringLiteral("Diagnóstico %1.csv").arg(day),
        QStringLiteral("Arquivo CSV (*.csv)"), QStringLiteral("csv"));
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

// A child of the monitor it reads: it goes with it, and Qt takes it off the panels then.
class ToolTips : public QObject {
public:
    ToolTips(HealthMonitor& monitor, const std::array<QWidget*, kStations>& panels)
        : QObject(&monitor), monitor_(monitor) {
        for (int station = 1; station <= kStations; ++station)
            panels_[stationSlot(station)] = panels[stationSlot(station)];
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::ToolTip)
            return false;
        for (int station = 1; station <= kStations; ++station) {
            QWidget* panel = panels_[stationSlot(station)];
            if (!panel || panel != watched)
                continue;
            const StationHealth& health = monitor_.station(station);
            const qint64 now = monitor_.nowMs();
            // The port being closed comes first: the reading below is not current.
            const QString closed =
                monitor_.portClosedFor(station) ? monitor_.stateText(station) + u'\n' : QString();
            panel->setToolTip(
                closed +
                QStringLiteral("Última leitura boa: %1\nSucesso na última hora: %2")
                    .arg(DiagnosticsWindow::lastGoodText(health.lastGoodMs(), now),
                         DiagnosticsWindow::percentText(health.lastHour(now).successPercent())));
        }
        return false;
    }

private:
    const HealthMonitor& monitor_;
    std::array<QPointer<QWidget>, kStations> panels_;
};

} // namespace

void installPanelToolTips(HealthMonitor& monitor, const std::array<QWidget*, kStations>& panels) {
    auto* tips = new ToolTips(monitor, panels);
    for (QWidget* panel : panels)
        panel->installEventFilter(tips);
}

} // namespace health
