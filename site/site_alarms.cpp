#include "site/site_alarms.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>

namespace site {

namespace {

bool waitsForAcknowledgement(const alarms::Entry& entry) {
    return entry.state == alarms::State::Active || entry.state == alarms::State::Normalized;
}

// The columns of free text (LOCAL, ESTAÇÃO, RECONHECIDO POR): cut short, with "…", before
// any other is; the others hold short texts of a fixed form that must read whole.
bool freeText(int column) {
    using Column = alarms::EntryTableModel::Column;
    return column == 0 || column == 1 + Column::Station || column == 1 + Column::AckBy;
}
constexpr int kLeastFreeTextPx = 48;

// The largest width that, given to every column wider than it, brings `widths` within
// `budget`; none when they fit as they are.
std::optional<int> widestFor(QList<int> widths, int budget) {
    std::sort(widths.begin(), widths.end());
    int used = 0;
    for (qsizetype i = 0; i < widths.size(); ++i) {
        const int rest = int(widths.size() - i);
        if (used + widths[i] * rest > budget)
            return std::max(kLeastFreeTextPx, (budget - used) / rest);
        used += widths[i];
    }
    return std::nullopt;
}

} // namespace

SiteAlarmModel::SiteAlarmModel(const SiteBook& book, QObject* parent)
    : EntryTableModel(/*withLocal=*/true, parent), book_(book) {
    refresh();
    connect(&book, &SiteBook::alarmsChanged, this, &SiteAlarmModel::refresh);
}

QVariant SiteAlarmModel::moreData(const Row& row, int column, int role) const {
    // The whole text of a column cut short.
    if (role != Qt::ToolTipRole || !freeText(column))
        return {};
    return column == 0 ? row.local : alarms::alarmCellText(row.entry, column - 1, row.stationName);
}

void SiteAlarmModel::refresh() {
    QList<Row> rows;
    for (const SiteAlarm& alarm : book_.alarms())
        rows.append({alarm.prefix, alarm.stationName, alarm.entry});
    setRows(std::move(rows));
}

SiteAlarmWindow::SiteAlarmWindow(SiteBook& book, QWidget* parent)
    : QWidget(parent, Qt::Window), book_(book), model_(new SiteAlarmModel(book, this)) {
    setObjectName(QStringLiteral("AlarmesDoLocal"));
    setWindowTitle(QStringLiteral("Alarmes do local - K&V ANEMÔMETROS"));
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("Alarmes"));
    table_->setAccessibleName(QStringLiteral("Alarmes"));
    table_->setModel(model_);
    alarms::keepSelectionByKey(table_, model_);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->verticalHeader()->hide();
    table_->setWordWrap(false);
    table_->viewport()->installEventFilter(this);
    acknowledge_ = new QPushButton(QStringLiteral("&RECONHECER"), this);
    acknowledge_->setObjectName(QStringLiteral("Reconhecer"));
    silence_ = new QPushButton(QStringLiteral("&SILENCIAR"), this);
    silence_->setObjectName(QStringLiteral("Silenciar"));
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("Nota"));
    note_->setWordWrap(true);
    buttons_ = new QHBoxLayout;
    buttons_->addWidget(acknowledge_);
    buttons_->addWidget(silence_);
    buttons_->addWidget(note_, 1);
    auto* column = new QVBoxLayout(this);
    column->addWidget(table_, 1);
    column->addLayout(buttons_);
    // Every column whole on a 1920-pixel screen with long names; on a 1024-pixel one, the
    // free texts cut short.
    resize(1240, 320);

    connect(acknowledge_, &QPushButton::clicked, this, &SiteAlarmWindow::acknowledgeClicked);
    connect(silence_, &QPushButton::clicked, this, [this] { book_.silence(); });
    connect(&book_, &SiteBook::alarmsChanged, this, &SiteAlarmWindow::updateButtons);
    connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &SiteAlarmWindow::updateButtons);
    connect(model_, &QAbstractItemModel::modelReset, this, &SiteAlarmWindow::updateButtons);
    connect(model_, &QAbstractItemModel::modelReset, this, &SiteAlarmWindow::fitColumns);
    updateButtons();
    fitColumns();
}

QSize SiteAlarmWindow::minimumSizeHint() const {
    const QSize laidOut = QWidget::minimumSizeHint();
    const int rows = table_->horizontalHeader()->sizeHint().height() +
                     kLeastRows * table_->verticalHeader()->defaultSectionSize();
    return {std::max(laidOut.width(), width()),
            laidOut.height() - table_->minimumSizeHint().height() + rows};
}

bool SiteAlarmWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == table_->viewport() && event->type() == QEvent::Resize)
        fitColumns();
    return QWidget::eventFilter(watched, event);
}

// Every column in view, REPETIÇÕES last included: the columns of free text give up what the
// others need, the widest first.
void SiteAlarmWindow::fitColumns() {
    table_->resizeColumnsToContents();
    const int room = table_->viewport()->width();
    QList<int> free;
    int fixed = 0;
    for (int column = 0; column < model_->columnCount(); ++column) {
        if (freeText(column))
            free << table_->columnWidth(column);
        else
            fixed += table_->columnWidth(column);
    }
    const std::optional<int> widest = widestFor(free, room - fixed);
    if (!widest)
        return;
    for (int column = 0; column < model_->columnCount(); ++column) {
        if (freeText(column) && table_->columnWidth(column) > *widest)
            table_->setColumnWidth(column, *widest);
    }
}

void SiteAlarmWindow::addButton(QPushButton* button) {
    buttons_->insertWidget(buttons_->indexOf(note_), button);
    setTabOrder(silence_, button);
}

void SiteAlarmWindow::setNote(const QString& text) {
    note_->setText(text);
}

void SiteAlarmWindow::acknowledgeClicked() {
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        const auto& alarm = model_->alarmAt(index.row());
        if (waitsForAcknowledgement(alarm.entry))
            emit acknowledgeRequested(alarm.local, alarm.entry.station, alarm.entry.kind);
    }
}

void SiteAlarmWindow::updateButtons() {
    bool any = false;
    for (const QModelIndex& index : table_->selectionModel()->selectedRows())
        any = any || waitsForAcknowledgement(model_->alarmAt(index.row()).entry);
    acknowledge_->setEnabled(any);
    silence_->setEnabled(book_.horn() != alarms::Horn::None);
}

} // namespace site
