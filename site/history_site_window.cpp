#include "site/history_site_window.h"

#include "site/history_load.h"
#include "site/history_report.h"
#include "site/history_table.h"
#include "site/history_trend.h"
#include "site/site_archive_client.h"
#include "toolkit/file_replace.h"
#include "toolkit/messages.h"
#include "toolkit/save_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDateTime>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace site {

namespace {

constexpr int kMonthsOffered = 24;
// The stations any month of the last years wrote: the series API reads the index only.
constexpr qint64 kStationsSinceMs = 400LL * 86'400'000;
constexpr int kReportPoints = 24 * 31; // an hour a point over a month
constexpr int kKeyRole = Qt::UserRole;

QString monthText(const QDate& first) {
    const QLocale portuguese(QLocale::Portuguese, QLocale::Brazil);
    return QStringLiteral("%1 de %2")
        .arg(portuguese.standaloneMonthName(first.month()))
        .arg(first.year());
}

} // namespace

SiteHistoryWindow::SiteHistoryWindow(ArchiveClient& client, std::function<qint64()> nowMs,
                                     QWidget* parent)
    : QWidget(parent, Qt::Window), client_(client), nowMs_(std::move(nowMs)),
      load_(new HistoryLoad(client, this)), reportLoad_(new HistoryLoad(client, this)) {
    setObjectName(QStringLiteral("HistoricoLocal"));
    setWindowTitle(QStringLiteral("Histórico do local - K&V ANEMÔMETROS"));
    resize(1200, 760);

    auto* layout = new QHBoxLayout(this);
    auto* left = new QVBoxLayout;
    auto* stationsLabel = new QLabel(QStringLiteral("Estações:"), this);
    stations_ = new QListWidget(this);
    stations_->setObjectName(QStringLiteral("EstacoesHistorico"));
    stations_->setAccessibleName(QStringLiteral("Estações"));
    stationsLabel->setBuddy(stations_);
    stations_->setMaximumWidth(320);
    left->addWidget(stationsLabel);
    left->addWidget(stations_, 1);
    layout->addLayout(left);

    auto* right = new QVBoxLayout;
    auto* top = new QHBoxLayout;
    const auto labelled = [&](const QString& caption, QWidget* widget) {
        auto* label = new QLabel(caption, this);
        label->setBuddy(widget);
        top->addWidget(label);
        top->addWidget(widget);
    };
    period_ = new QComboBox(this);
    period_->setObjectName(QStringLiteral("Periodo"));
    period_->addItems({QStringLiteral("Hoje"), QStringLiteral("Ontem"), QStringLiteral("7 dias"),
                       QStringLiteral("30 dias"), QStringLiteral("Mês"), QStringLiteral("De/Até")});
    labelled(QStringLiteral("Período:"), period_);
    month_ = new QComboBox(this);
    month_->setObjectName(QStringLiteral("Mes"));
    const QDate today = QDateTime::fromMSecsSinceEpoch(nowMs_()).date();
    for (int back = 0; back < kMonthsOffered; ++back) {
        const QDate first = QDate(today.year(), today.month(), 1).addMonths(-back);
        month_->addItem(monthText(first), first);
    }
    labelled(QStringLiteral("Mês:"), month_);
    from_ = new QDateEdit(today.addDays(-6), this);
    from_->setObjectName(QStringLiteral("De"));
    to_ = new QDateEdit(today, this);
    to_->setObjectName(QStringLiteral("Ate"));
    for (QDateEdit* edit : {from_, to_}) {
        edit->setCalendarPopup(true);
        edit->setDisplayFormat(QStringLiteral("dd/MM/yyyy"));
    }
    labelled(QStringLiteral("De:"), from_);
    labelled(QStringLiteral("Até:"), to_);
    presets_ = new QCheckBox(QStringLiteral("Presets"), this);
    presets_->setObjectName(QStringLiteral("Presets"));
    top->addWidget(presets_);
    top->addStretch();
    show_ = new QPushButton(QStringLiteral("Mostrar"), this);
    show_->setObjectName(QStringLiteral("Mostrar"));
    export_ = new QPushButton(QStringLiteral("Exportar"), this);
    export_->setObjectName(QStringLiteral("Exportar"));
    report_ = new QPushButton(QStringLiteral("Relatório"), this);
    report_->setObjectName(QStringLiteral("Relatorio"));
    report_->setToolTip(QStringLiteral("PDF do mês escolhido em \"Mês\" para as estações "
                                       "marcadas"));
    top->addWidget(show_);
    top->addWidget(export_);
    top->addWidget(report_);
    right->addLayout(top);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("AvisoHistorico"));
    note_->setWordWrap(true);
    note_->setTextFormat(Qt::PlainText);
    right->addWidget(note_);

    auto* split = new QSplitter(Qt::Vertical, this);
    trend_ = new HistoryTrend;
    QWidget* trendPage = history::chartViews().zoomablePage(trend_->chart(), split);
    trendPage->layout()->setContentsMargins(0, 0, 0, 0);
    table_ = new HistoryTable(this);
    tableView_ = new QTableView(split);
    tableView_->setObjectName(QStringLiteral("DiasHistorico"));
    tableView_->setAccessibleName(QStringLiteral("Dias das estações"));
    tableView_->setModel(table_);
    tableView_->verticalHeader()->hide();
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    split->addWidget(trendPage);
    split->addWidget(tableView_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    right->addWidget(split, 1);
    layout->addLayout(right, 1);

    connect(period_, &QComboBox::currentIndexChanged, this, &SiteHistoryWindow::periodChanged);
    connect(show_, &QPushButton::clicked, this, &SiteHistoryWindow::showChosen);
    connect(load_, &HistoryLoad::loaded, this, &SiteHistoryWindow::showData);
    connect(reportLoad_, &HistoryLoad::loaded, this, &SiteHistoryWindow::writeReport);
    connect(export_, &QPushButton::clicked, this, [this] {
        const QString path = toolkit::askSavePath(
            this, QStringLiteral("Exportar histórico do local"),
            historyFileName(table_->period(), QStringLiteral("csv")),
            QStringLiteral("Arquivo de texto separado por ponto e vírgula (*.csv)"),
            QStringLiteral("csv"));
        if (!path.isEmpty())
            toolkit::guarded([&] { exportTo(path); });
    });
    connect(report_, &QPushButton::clicked, this, [this] {
        const QDate first = month_->currentData().toDate();
        const QString path = toolkit::askSavePath(
            this, QStringLiteral("Relatório do mês"),
            historyFileName({first, first.addMonths(1).addDays(-1)}, QStringLiteral("pdf")),
            QStringLiteral("Documento PDF (*.pdf)"), QStringLiteral("pdf"));
        if (!path.isEmpty())
            reportTo(path);
    });
    periodChanged();
}

void SiteHistoryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!std::exchange(listedOnce_, true) && known_.isEmpty())
        listStations();
}

void SiteHistoryWindow::periodChanged() {
    const auto kind = PeriodKind(period_->currentIndex());
    month_->setEnabled(kind == PeriodKind::Month);
    from_->setEnabled(kind == PeriodKind::Between);
    to_->setEnabled(kind == PeriodKind::Between);
}

void SiteHistoryWindow::setNote(const QString& text, bool problem) {
    note_->setText(text);
    note_->setStyleSheet(problem ? QStringLiteral("color: rgb(200, 0, 0); font-weight: bold")
                                 : QString());
}

void SiteHistoryWindow::listStations() {
    const qint64 now = nowMs_();
    client_.series(QStringLiteral("anemometro_respondendo"), now - kStationsSinceMs, now,
                   [this](const ArchiveAnswer& answer) {
                       if (!answer.error.isEmpty())
                           setNote(answer.error, true);
                       else
                           setStations(stationsOf(answer));
                       emit stationsListed();
                   });
}

void SiteHistoryWindow::setStations(const QList<ArchiveStation>& stations) {
    const QList<ArchiveStation> chosen = chosenStations();
    known_ = stations;
    stations_->clear();
    for (int i = 0; i < known_.size(); ++i) {
        auto* item = new QListWidgetItem(known_[i].label(), stations_);
        item->setData(kKeyRole, i);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        const bool wasChosen =
            std::any_of(chosen.begin(), chosen.end(),
                        [&](const ArchiveStation& s) { return s.key == known_[i].key; });
        item->setCheckState(wasChosen ? Qt::Checked : Qt::Unchecked);
    }
    setNote(known_.isEmpty() ? QStringLiteral("O arquivo do local ainda não tem leituras de "
                                              "nenhuma estação.")
                             : QStringLiteral("Marque as estações, escolha o período e clique "
                                              "em Mostrar."),
            false);
}

QList<ArchiveStation> SiteHistoryWindow::chosenStations() const {
    QList<ArchiveStation> chosen;
    for (int row = 0; row < stations_->count(); ++row) {
        const QListWidgetItem* item = stations_->item(row);
        if (item->checkState() == Qt::Checked)
            chosen << known_.value(item->data(kKeyRole).toInt());
    }
    return chosen;
}

Period SiteHistoryWindow::chosenPeriod() const {
    const QDate today = QDateTime::fromMSecsSinceEpoch(nowMs_()).date();
    return periodOf(PeriodKind(period_->currentIndex()), today,
                    PeriodKind(period_->currentIndex()) == PeriodKind::Month
                        ? month_->currentData().toDate()
                        : from_->date(),
                    to_->date());
}

void SiteHistoryWindow::showChosen() {
    if (known_.isEmpty())
        listStations();
    const QList<ArchiveStation> chosen = chosenStations();
    if (chosen.isEmpty()) {
        setNote(QStringLiteral("Marque ao menos uma estação."), false);
        return;
    }
    setNote(QStringLiteral("Consultando o arquivo do local..."), false);
    asked_.start();
    load_->start({.stations = chosen,
                  .period = chosenPeriod(),
                  .nowMs = nowMs_(),
                  .trendPoints = std::max(200, trend_->widget()->width()),
                  .presets = presets_->isChecked()});
}

void SiteHistoryWindow::showData(const HistoryData& data) {
    if (!data.error.isEmpty()) {
        setNote(data.error, true);
        emit loaded();
        return;
    }
    data_ = data;
    trend_->show(data_, presets_->isChecked());
    table_->setData(data_);
    const QString shown = QStringLiteral("%1 de %2 a %3")
                              .arg(data.stations.size() == 1
                                       ? QStringLiteral("1 estação")
                                       : QStringLiteral("%1 estações").arg(data.stations.size()),
                                   data.period.first.toString(u"dd/MM/yyyy"),
                                   data.period.last.toString(u"dd/MM/yyyy"));
    setNote(asked_.isValid()
                ? QStringLiteral("%1, consultado em %2 ms.").arg(shown).arg(asked_.elapsed())
                : shown + u'.',
            false);
    emit loaded();
}

void SiteHistoryWindow::exportTo(const QString& path) {
    if (table_->rowCount() == 0) {
        setNote(QStringLiteral("Nada a exportar: mostre um período antes."), false);
        return;
    }
    toolkit::replaceFileContents(path, historyFile(*table_));
    setNote(QStringLiteral("Tabela exportada para %1.").arg(path), false);
}

void SiteHistoryWindow::reportTo(const QString& pdfPath) {
    const QList<ArchiveStation> chosen = chosenStations();
    if (chosen.isEmpty()) {
        setNote(QStringLiteral("Marque ao menos uma estação para o relatório."), false);
        emit reportDone(pdfPath, false);
        return;
    }
    const QDate first = month_->currentData().toDate();
    reportPath_ = pdfPath;
    setNote(QStringLiteral("Preparando o relatório de %1...").arg(month_->currentText()), false);
    reportLoad_->start({.stations = chosen,
                        .period = periodOf(PeriodKind::Month, first, first),
                        .nowMs = nowMs_(),
                        .trendPoints = kReportPoints,
                        .presets = true,
                        .alarmList = true});
}

void SiteHistoryWindow::writeReport(const HistoryData& data) {
    if (!data.error.isEmpty()) {
        setNote(QStringLiteral("O relatório não foi gerado. ") + data.error, true);
        emit reportDone(reportPath_, false);
        return;
    }
    bool written = false;
    toolkit::guarded([&] {
        site::writeReport(reportPath_, data, QDateTime::fromMSecsSinceEpoch(nowMs_()));
        written = true;
    });
    if (written)
        setNote(QStringLiteral("Relatório gravado em %1.").arg(reportPath_), false);
    emit reportDone(reportPath_, written);
}

} // namespace site
