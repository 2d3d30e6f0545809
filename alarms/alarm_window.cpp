#include "alarms/alarm_window.h"

#include "alarms/alarm_record.h"
#include "alarms/alarm_table_model.h"
#include "toolkit/day_text.h"
#include "toolkit/messages.h"
#include "toolkit/save_dialog.h"

#include <QDateEdit>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <optional>
#include <utility>

namespace alarms {

namespace {

constexpr int kDurationRefreshMs = 1000;
const QString kDateFormat = QStringLiteral("dd/MM/yyyy");

void widenForTexts(QTableView* t, const QModelIndex& topLeft, const QModelIndex& bottomRight) {
    constexpr int kCellPadding = 10;
    const QFontMetrics metrics = t->fontMetrics();
    for (int column = topLeft.column(); column <= bottomRight.column(); ++column) {
        int width = t->columnWidth(column);
        for (int row = topLeft.row(); row <= bottomRight.row(); ++row) {
            const QString text = t->model()->index(row, column).data().toString();
            width = std::max(width, metrics.horizontalAdvance(text) + kCellPadding);
        }
        if (width > t->columnWidth(column))
            t->setColumnWidth(column, width);
    }
}

QTableView* table(QAbstractItemModel* model, const QString& name, QWidget* parent) {
    auto* t = new QTableView(parent);
    t->setModel(model);
    t->setObjectName(name);
    t->setAccessibleName(name);
    t->verticalHeader()->hide();
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->setSelectionMode(QAbstractItemView::ExtendedSelection);
    // Tab leaves the table for the buttons; the arrows move between rows.
    t->setTabKeyNavigation(false);
    t->setWordWrap(false);
    t->horizontalHeader()->setStretchLastSection(true);
    t->resizeColumnsToContents();
    QObject::connect(model, &QAbstractItemModel::modelReset, t,
                     &QTableView::resizeColumnsToContents);
    // A row updated in place ("ATIVO" becoming "SUPRIMIDO ATÉ 09:35") widens a column its new
    // text no longer fits; measuring only the changed cells keeps a steady table cheap.
    QObject::connect(model, &QAbstractItemModel::dataChanged, t,
                     [t](const QModelIndex& topLeft, const QModelIndex& bottomRight) {
                         widenForTexts(t, topLeft, bottomRight);
                     });
    return t;
}

QPushButton* button(const QString& text, const QString& name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    return b;
}

struct Period {
    QDate from;
    QDate to;
};

// "De" and "Até", both today unless changed; nothing when the user cancels.
std::optional<Period> askPeriod(QWidget* parent, const QDate& today) {
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("Periodo"));
    dialog.setWindowTitle(QStringLiteral("Exportar alarmes"));
    auto* layout = new QFormLayout(&dialog);
    const auto dateEdit = [&](const QString& name) {
        auto* edit = new QDateEdit(today, &dialog);
        edit->setObjectName(name);
        edit->setDisplayFormat(kDateFormat);
        edit->setCalendarPopup(true);
        edit->setMaximumDate(today);
        return edit;
    };
    QDateEdit* from = dateEdit(QStringLiteral("De"));
    QDateEdit* to = dateEdit(QStringLiteral("Ate"));
    layout->addRow(QStringLiteral("&De:"), from);
    layout->addRow(QStringLiteral("&Até:"), to);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Exportar"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    layout->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    // A period ends on or after its first day.
    QObject::connect(from, &QDateEdit::dateChanged, to, &QDateEdit::setMinimumDate);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return Period{from->date(), to->date()};
}

} // namespace

AlarmWindow::AlarmWindow(AlarmBook& book, const AlarmRecorder& recorder,
                         const settings::StationSettings& stations, std::function<qint64()> nowMs,
                         QString user, QWidget* parent)
    : QWidget(parent, Qt::Window), book_(book), recorder_(recorder), stations_(stations),
      nowMs_(std::move(nowMs)), user_(std::move(user)) {
    setObjectName(QStringLiteral("Alarmes"));
    setWindowTitle(QStringLiteral("Alarmes - K&V ANEMÔMETROS"));
    // Every column shows whole on a 1024 × 768 screen.
    resize(1000, 560);

    alarms_ = new AlarmTableModel(book, stations, this);
    history_ = new DayHistoryModel(book, stations, nowMs_, this);

    auto* layout = new QVBoxLayout(this);
    tabs_ = new QTabWidget(this);
    layout->addWidget(tabs_, 1);

    auto* alarmTab = new QWidget(tabs_);
    auto* alarmLayout = new QVBoxLayout(alarmTab);
    // The table takes the page's whole width: every column shows on a 1024-pixel screen.
    alarmLayout->setContentsMargins(0, 0, 0, 0);
    alarmTable_ = table(alarms_, QStringLiteral("Alarmes"), alarmTab);
    keepSelectionByKey(alarmTable_, alarms_);
    alarmLayout->addWidget(alarmTable_, 1);
    auto* buttons = new QHBoxLayout;
    acknowledge_ = button(QStringLiteral("&RECONHECER"), QStringLiteral("Reconhecer"), alarmTab);
    acknowledgeAll_ =
        button(QStringLiteral("RECONHECER &TODOS"), QStringLiteral("ReconhecerTodos"), alarmTab);
    silence_ = button(QStringLiteral("&SILENCIAR"), QStringLiteral("Silenciar"), alarmTab);
    shelve_ = button(QStringLiteral("S&UPRIMIR…"), QStringLiteral("Suprimir"), alarmTab);
    auto* shelveMenu = new QMenu(shelve_);
    shelveMenu->setObjectName(QStringLiteral("SuprimirPor"));
    const std::pair<const char*, qint64> durations[] = {{"&30 minutos", AlarmBook::kShelve30MinMs},
                                                        {"&1 hora", AlarmBook::kShelve1HourMs},
                                                        {"&8 horas", AlarmBook::kShelve8HoursMs}};
    for (const auto& [text, durationMs] : durations) {
        shelveMenu->addAction(QString::fromUtf8(text), this,
                              [this, ms = durationMs] { shelveSelected(ms); });
    }
    shelve_->setMenu(shelveMenu);
    // A shelving set by mistake can be undone before its time.
    unshelve_ =
        button(QStringLiteral("RETIRAR SU&PRESSÃO"), QStringLiteral("RetirarSupressao"), alarmTab);
    for (QPushButton* b : {acknowledge_, acknowledgeAll_, silence_, shelve_, unshelve_})
        buttons->addWidget(b);
    buttons->addStretch();
    alarmLayout->addLayout(buttons);
    tabs_->addTab(alarmTab, QStringLiteral("&Alarmes"));

    historyTable_ = table(history_, QStringLiteral("Histórico do dia"), tabs_);
    keepSelectionByKey(historyTable_, history_);
    tabs_->addTab(historyTable_, QStringLiteral("&Histórico do dia"));

    bottomRow_ = new QHBoxLayout;
    bottomRow_->addStretch();
    export_ = button(QStringLiteral("&Exportar"), QStringLiteral("Exportar"), this);
    bottomRow_->addWidget(export_);
    layout->addLayout(bottomRow_);

    setTabOrder(tabs_, alarmTable_);
    setTabOrder(alarmTable_, acknowledge_);
    setTabOrder(acknowledge_, acknowledgeAll_);
    setTabOrder(acknowledgeAll_, silence_);
    setTabOrder(silence_, shelve_);
    setTabOrder(shelve_, unshelve_);
    setTabOrder(unshelve_, export_);

    durationTimer_ = new QTimer(this);
    durationTimer_->setInterval(kDurationRefreshMs);
    connectAll();
    updateButtons();
}

void AlarmWindow::connectAll() {
    connect(acknowledge_, &QPushButton::clicked, this, &AlarmWindow::acknowledgeClicked);
    connect(acknowledgeAll_, &QPushButton::clicked, this, &AlarmWindow::acknowledgeAllClicked);
    connect(silence_, &QPushButton::clicked, this, &AlarmWindow::silenceClicked);
    connect(unshelve_, &QPushButton::clicked, this, &AlarmWindow::unshelveClicked);
    connect(export_, &QPushButton::clicked, this, &AlarmWindow::exportClicked);
    // After the models, which were connected first: the buttons follow the rows they show.
    connect(&book_, &AlarmBook::changed, this, &AlarmWindow::updateButtons);
    connect(alarmTable_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &AlarmWindow::updateButtons);
    connect(durationTimer_, &QTimer::timeout, history_, &DayHistoryModel::refreshDurations);
}

QList<Key> AlarmWindow::selectedKeys() const {
    QList<Key> keys;
    for (const QModelIndex& index : alarmTable_->selectionModel()->selectedRows())
        keys.append(alarms_->keyAt(index.row()));
    return keys;
}

void AlarmWindow::acknowledgeClicked() {
    book_.acknowledge(selectedKeys(), user_, nowMs_());
}

void AlarmWindow::acknowledgeAllClicked() {
    book_.acknowledgeAll(user_, nowMs_());
}

void AlarmWindow::silenceClicked() {
    book_.silence(user_);
}

void AlarmWindow::shelveSelected(qint64 durationMs) {
    const QList<Key> keys = selectedKeys();
    if (keys.size() == 1)
        book_.shelve(keys.constFirst(), durationMs, user_, nowMs_());
}

void AlarmWindow::unshelveClicked() {
    book_.unshelve(selectedKeys(), user_, nowMs_());
}

void AlarmWindow::updateButtons() {
    const auto acknowledgeable = [](const Entry& entry) {
        return entry.state == State::Active || entry.state == State::Normalized;
    };
    bool anySelected = false;
    for (const QModelIndex& index : alarmTable_->selectionModel()->selectedRows())
        anySelected = anySelected || acknowledgeable(alarms_->entryAt(index.row()));
    acknowledge_->setEnabled(anySelected);
    const QList<Entry>& entries = book_.entries();
    acknowledgeAll_->setEnabled(std::any_of(entries.begin(), entries.end(), acknowledgeable));
    silence_->setEnabled(book_.horn() != Horn::None);
    const QModelIndexList selected = alarmTable_->selectionModel()->selectedRows();
    shelve_->setEnabled(selected.size() == 1);
    unshelve_->setEnabled(std::any_of(selected.begin(), selected.end(), [this](const auto& index) {
        return alarms_->entryAt(index.row()).state == State::Shelved;
    }));
}

void AlarmWindow::addButton(QPushButton* button) {
    bottomRow_->insertWidget(0, button);
    setTabOrder(unshelve_, button);
    setTabOrder(button, export_);
}

void AlarmWindow::exportTo(QDate from, QDate to, const QString& path) const {
    recorder_.exportPeriod(from, to, path);
}

void AlarmWindow::exportClicked() {
    const QDate today = QDateTime::fromMSecsSinceEpoch(nowMs_()).date();
    const std::optional<Period> period = askPeriod(this, today);
    if (!period)
        return;
    const QString path =
        toolkit::askSavePath(this, QStringLiteral("Exportar alarmes"),
                             QStringLiteral("Alarmes %1 a %2.csv")
                                 .arg(toolkit::dayText(period->from), toolkit::dayText(period->to)),
                             QStringLiteral("Arquivo CSV (*.csv)"), QStringLiteral("csv"));
    if (!path.isEmpty())
        toolkit::guarded([&] { exportTo(period->from, period->to, path); });
}

void AlarmWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    history_->refreshDurations();
    durationTimer_->start();
}

void AlarmWindow::hideEvent(QHideEvent* event) {
    durationTimer_->stop();
    QWidget::hideEvent(event);
}

} // namespace alarms
