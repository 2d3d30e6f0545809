#include "history/history_window.h"

#include "history/charts.h"
#include "toolkit/cp1252.h"
#include "toolkit/file_replace.h"
#include "toolkit/messages.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace history {

namespace {

constexpr int kLiveRefreshMs = 5000;
const QString kToday = QStringLiteral("Hoje");
const QString kLast24Hours = QStringLiteral("Últimas 24 horas");
const QString kDatePattern = QStringLiteral("dd-MM-yyyy");
const QStringList kWeekColumns{QStringLiteral("Dia"),
                               QStringLiteral("Máxima"),
                               QStringLiteral("Hora da máxima"),
                               QStringLiteral("Média"),
                               QStringLiteral("Min. ≥ P1"),
                               QStringLiteral("Min. > P2"),
                               QStringLiteral("Leituras"),
                               QStringLiteral("Primeira"),
                               QStringLiteral("Última"),
                               QStringLiteral("Bateria início"),
                               QStringLiteral("Bateria fim")};

QString timeText(int secondOfDay) {
    return QTime(0, 0).addSecs(secondOfDay).toString(QStringLiteral("HH:mm:ss"));
}

QString volts(std::uint16_t hundredths) {
    return QStringLiteral("%1,%2 V")
        .arg(hundredths / 100)
        .arg(hundredths % 100, 2, 10, QLatin1Char('0'));
}

QString minutes(double value) {
    return QString::number(value, 'f', 1).replace(u'.', u',');
}

// The cells of one day's row of the summary, speeds in the unit shown.
QStringList summaryCells(const DaySummary& s, double factor, const QString& unit) {
    const QString withUnit = unit.isEmpty() ? QString() : u' ' + unit;
    if (s.readings == 0)
        return {s.day.toString(kDatePattern), QStringLiteral("-"), QStringLiteral("-"),
                QStringLiteral("-"),          QStringLiteral("-"), QStringLiteral("-"),
                QStringLiteral("0"),          QStringLiteral("-"), QStringLiteral("-"),
                QStringLiteral("-"),          QStringLiteral("-")};
    return {s.day.toString(kDatePattern),
            speedText(*s.maxSpeed, factor) + withUnit,
            timeText(s.maxSecond),
            s.meanSpeed ? speedText(std::uint16_t(std::lround(*s.meanSpeed)), factor) + withUnit
                        : QStringLiteral("-"),
            minutes(s.minutesAtOrAbovePreset1),
            minutes(s.minutesAbovePreset2),
            QString::number(s.readings),
            timeText(s.firstSecond),
            timeText(s.lastSecond),
            volts(s.batteryFirst),
            volts(s.batteryLast)};
}

} // namespace

HistoryWindow::HistoryWindow(Sources sources, QWidget* parent)
    : QWidget(parent, Qt::Window), sources_(std::move(sources)) {
    setObjectName(QStringLiteral("Historico"));
    setWindowTitle(QStringLiteral("Histórico - K&V ANEMÔMETROS"));
    resize(1000, 640);

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    const auto box = [&](const QString& caption, const char* name) {
        auto* label = new QLabel(caption, this);
        auto* combo = new QComboBox(this);
        combo->setObjectName(QLatin1String(name));
        label->setBuddy(combo);
        top->addWidget(label);
        top->addWidget(combo);
        return combo;
    };
    station_ = box(QStringLiteral("Estação:"), "Estacao");
    station_->setMinimumContentsLength(16);
    day_ = box(QStringLiteral("Dia:"), "Dia");
    unit_ = box(QStringLiteral("Unidade:"), "Unidade");
    unit_->addItems({QStringLiteral("da gravação"), QStringLiteral("m/s"), QStringLiteral("km/h"),
                     QStringLiteral("nós")});
    progress_ = new QProgressBar(this);
    progress_->setAccessibleName(QStringLiteral("Leitura dos arquivos"));
    progress_->setFormat(QStringLiteral("lendo %v de %m arquivos"));
    cancel_ = new QPushButton(QStringLiteral("Cancelar"), this);
    export_ = new QPushButton(QStringLiteral("Exportar"), this);
    export_->setObjectName(QStringLiteral("Exportar"));
    top->addStretch();
    top->addWidget(progress_);
    top->addWidget(cancel_);
    top->addWidget(export_);
    layout->addLayout(top);
    note_ = new QLabel(this);
    note_->setObjectName(QStringLiteral("Aviso"));
    note_->setWordWrap(true);
    layout->addWidget(note_);

    tabs_ = new QTabWidget(this);
    layout->addWidget(tabs_, 1);
    auto* trendPage = new QWidget;
    auto* trendLayout = new QVBoxLayout(trendPage);
    trend_ = new TrendView(trendPage);
    auto* resetZoom = new QPushButton(QStringLiteral("Restaurar zoom"), trendPage);
    trendLayout->addWidget(
        new QLabel(QStringLiteral("A roda do mouse aproxima e afasta o tempo."), trendPage));
    trendLayout->addWidget(trend_, 1);
    trendLayout->addWidget(resetZoom, 0, Qt::AlignLeft);
    tabs_->addTab(trendPage, QStringLiteral("Tendência"));

    auto* summaryPage = new QWidget;
    auto* summaryLayout = new QVBoxLayout(summaryPage);
    summary_ = new QLabel(summaryPage);
    summary_->setObjectName(QStringLiteral("Resumo"));
    summary_->setTextFormat(Qt::PlainText);
    summaryLayout->addWidget(summary_);
    summaryLayout->addWidget(new QLabel(QStringLiteral("Últimos 7 dias:"), summaryPage));
    week_ = new QTableWidget(0, int(kWeekColumns.size()), summaryPage);
    week_->setObjectName(QStringLiteral("Semana"));
    week_->setAccessibleName(QStringLiteral("Últimos 7 dias"));
    week_->setHorizontalHeaderLabels(kWeekColumns);
    week_->verticalHeader()->hide();
    week_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    week_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    summaryLayout->addWidget(week_, 1);
    tabs_->addTab(summaryPage, QStringLiteral("Resumo do dia"));

    auto* rosePage = new QWidget;
    auto* roseLayout = new QVBoxLayout(rosePage);
    auto* roseTop = new QHBoxLayout;
    roseSpan_ = new QComboBox(rosePage);
    roseSpan_->setObjectName(QStringLiteral("PeriodoRosa"));
    roseSpan_->addItems({QStringLiteral("Dia escolhido"), QStringLiteral("Últimos 7 dias")});
    auto* spanLabel = new QLabel(QStringLiteral("Período:"), rosePage);
    spanLabel->setBuddy(roseSpan_);
    roseTop->addWidget(spanLabel);
    roseTop->addWidget(roseSpan_);
    roseNote_ = new QLabel(rosePage);
    roseNote_->setObjectName(QStringLiteral("NotaRosa"));
    roseTop->addWidget(roseNote_, 1);
    roseLayout->addLayout(roseTop);
    rose_ = new RoseView(rosePage);
    roseLayout->addWidget(rose_, 1);
    tabs_->addTab(rosePage, QStringLiteral("Rosa dos ventos"));

    liveTimer_ = new QTimer(this);
    liveTimer_->setInterval(kLiveRefreshMs);
    connect(liveTimer_, &QTimer::timeout, this, &HistoryWindow::refreshLive);
    connect(&watcher_, &QFutureWatcher<Loaded>::progressRangeChanged, progress_,
            &QProgressBar::setRange);
    connect(&watcher_, &QFutureWatcher<Loaded>::progressValueChanged, progress_,
            &QProgressBar::setValue);
    connect(&watcher_, &QFutureWatcher<Loaded>::finished, this, &HistoryWindow::loaded);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        watcher_.cancel();
        note_->setText(QStringLiteral("Leitura cancelada."));
    });
    connect(station_, &QComboBox::activated, this, [this] { startLoading(); });
    connect(day_, &QComboBox::activated, this, [this] { startLoading(); });
    connect(unit_, &QComboBox::activated, this, [this] { showData(); });
    connect(roseSpan_, &QComboBox::activated, this, [this] { showData(); });
    connect(resetZoom, &QPushButton::clicked, trend_, &TrendView::resetZoom);
    connect(export_, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Exportar histórico"),
            QDir::home().filePath(QStringLiteral("Histórico %1.png").arg(station_->currentText())),
            QStringLiteral("Imagem PNG (*.png)"));
        if (!path.isEmpty())
            toolkit::guarded([&] { exportTo(path); });
    });
    progress_->hide();
    cancel_->hide();
}

HistoryWindow::~HistoryWindow() {
    watcher_.cancel();
    watcher_.waitForFinished();
}

QDate HistoryWindow::today() const {
    return QDateTime::fromMSecsSinceEpoch(sources_.nowMs()).date();
}

bool HistoryWindow::loading() const {
    return waitingForLoad_;
}

void HistoryWindow::reload() {
    const QString chosen = station_->currentText();
    std::map<QString, QList<QDate>> files;
    try {
        files = indexFolder(sources_.logFolder());
    } catch (const toolkit::Failure& failure) {
        note_->setText(
            QStringLiteral("A pasta dos registros não pode ser lida: %1").arg(failure.text()));
    }
    QStringList names;
    for (const auto& [name, days] : files)
        names << name;
    if (sources_.live) {
        for (const QString& name : sources_.live->names()) {
            if (!names.contains(name))
                names << name;
        }
    }
    names.sort();
    station_->clear();
    station_->addItems(names);
    station_->setCurrentIndex(std::max<int>(0, int(names.indexOf(chosen))));
    // The days: today and the last 24 hours, then every earlier day a file of any name has.
    QList<QDate> earlier;
    for (const auto& [name, days] : files) {
        for (const QDate& day : days) {
            if (day != today() && !earlier.contains(day))
                earlier << day;
        }
    }
    std::sort(earlier.begin(), earlier.end(), std::greater<>());
    const QString chosenDay = day_->currentText();
    day_->clear();
    day_->addItems({kToday, kLast24Hours});
    for (const QDate& day : earlier)
        day_->addItem(day.toString(kDatePattern));
    day_->setCurrentIndex(std::max<int>(0, day_->findText(chosenDay)));
    startLoading();
}

void HistoryWindow::startLoading() {
    watcher_.cancel();
    watcher_.waitForFinished();
    const QString station = station_->currentText();
    if (station.isEmpty()) {
        note_->setText(QStringLiteral("Não há registros na pasta nem leituras desde o início."));
        return;
    }
    const QDate last =
        day_->currentIndex() <= 1 ? today() : QDate::fromString(day_->currentText(), kDatePattern);
    QList<QDate> days;
    for (int back = Prepared::kWeekDays - 1; back >= 0; --back)
        days << last.addDays(-back);
    QString folder;
    try {
        folder = sources_.logFolder();
    } catch (const toolkit::Failure&) {
        // No log folder: today's readings in memory still show.
    }
    const LiveReadings::Day held =
        sources_.live ? sources_.live->readingsOf(station) : LiveReadings::Day{station, {}, {}};
    progress_->setRange(0, int(days.size()));
    progress_->setValue(0);
    progress_->show();
    cancel_->show();
    waitingForLoad_ = true;
    watcher_.setFuture(loadStation(folder, station, days, held, today(), choice(),
                                   QDateTime::fromMSecsSinceEpoch(sources_.nowMs())));
}

void HistoryWindow::loaded() {
    waitingForLoad_ = false;
    progress_->hide();
    cancel_->hide();
    if (watcher_.isCanceled() || watcher_.future().resultCount() == 0)
        return;
    const Loaded result = watcher_.result();
    data_ = result.data;
    prepared_ = result.prepared;
    showData();
}

Choice HistoryWindow::choice() const {
    if (day_->currentIndex() == 1)
        return {today(), true};
    return {day_->currentIndex() == 0 ? today()
                                      : QDate::fromString(day_->currentText(), kDatePattern),
            false};
}

// Today's readings held in memory come in every few seconds, prepared off this thread too.
void HistoryWindow::refreshLive() {
    if (!sources_.live || day_->currentIndex() > 1 || watcher_.isRunning() ||
        data_->station.isEmpty())
        return;
    LiveReadings::Day held = sources_.live->readingsOf(data_->station);
    if (held.samples.empty())
        return;
    waitingForLoad_ = true;
    watcher_.setFuture(refreshToday(data_, std::move(held), today(), choice(),
                                    QDateTime::fromMSecsSinceEpoch(sources_.nowMs())));
}

void HistoryWindow::showData() {
    const StationHistory& data = *data_;
    const auto shown = static_cast<ShownUnit>(unit_->currentIndex());
    const std::optional<double> factor = conversion(data.unit, shown);
    const double by = factor.value_or(1.0);
    const QString unit = factor ? unitText(data.unit, shown) : data.unit;
    QStringList notes;
    if (!factor)
        notes << QStringLiteral("Os arquivos desta estação não dizem a unidade: os valores "
                                "aparecem como gravados.");
    if (sources_.live && sources_.logged && sources_.live->names().contains(data.station) &&
        !sources_.logged(data.station))
        notes << QStringLiteral("%1 não está sendo gravada: hoje aparecem só as leituras "
                                "recebidas desde que o programa começou.")
                     .arg(data.station);
    if (data.skipped > 0)
        notes
            << QStringLiteral("%1 linhas que não são leituras foram ignoradas.").arg(data.skipped);
    if (prepared_.overLimit > 0)
        notes << QStringLiteral("%1 leituras \"> LIMITE\" ficam fora da linha de tendência.")
                     .arg(prepared_.overLimit);
    note_->setText(notes.join(u' '));

    const QString dayName = day_->currentText();
    const QStringList cells = summaryCells(prepared_.chosen, by, unit);
    const QString title = QStringLiteral("%1 - %2").arg(data.station, dayName);
    trend_->setData(prepared_.speed, prepared_.preset1, prepared_.preset2, prepared_.start,
                    prepared_.start.addDays(1), by, unit,
                    prepared_.chosen.readings == 0
                        ? title + QStringLiteral(": sem leituras")
                        : title + QStringLiteral(": máxima %1 às %2").arg(cells[1], cells[2]));
    summary_->setText(prepared_.chosen.readings == 0
                          ? QStringLiteral("%1: sem leituras.").arg(title)
                          : QStringLiteral("%1\nMáxima: %2 às %3\nMédia: %4\n"
                                           "Minutos em P1 ou acima: %5   Minutos acima de P2: %6\n"
                                           "Leituras: %7, da primeira às %8 à última às %9\n"
                                           "Bateria: %10 na primeira, %11 na última")
                                .arg(title, cells[1], cells[2], cells[3], cells[4], cells[5],
                                     cells[6], cells[7], cells[8])
                                .arg(cells[9], cells[10]));

    week_->setRowCount(Prepared::kWeekDays);
    for (int row = 0; row < Prepared::kWeekDays; ++row) {
        const QStringList dayCells = summaryCells(prepared_.week[std::size_t(row)], by, unit);
        for (int column = 0; column < dayCells.size(); ++column)
            week_->setItem(row, column, new QTableWidgetItem(dayCells[column]));
    }

    const bool week = roseSpan_->currentIndex() == 1;
    const WindRose& rose = week ? prepared_.weekRose : prepared_.dayRose;
    rose_->setData(rose, bandNames(data.unit),
                   QStringLiteral("%1 - %2").arg(
                       data.station, week ? QStringLiteral("últimos 7 dias") : dayName));
    roseNote_->setText(
        QStringLiteral("%1 leituras na rosa; %2 sem direção (\"---\") ficaram de fora.")
            .arg(rose.placed())
            .arg(rose.unknown));
}

void HistoryWindow::exportTo(const QString& pngPath) const {
    QWidget* chart =
        tabs_->currentIndex() == 2 ? static_cast<QWidget*>(rose_) : static_cast<QWidget*>(trend_);
    if (!chart->grab().save(pngPath, "PNG"))
        throw toolkit::Failure(QStringLiteral("File access denied"));
    QString csv;
    for (const QString& column : kWeekColumns)
        csv += column.toUpper() + u';';
    csv += QStringLiteral("\r\n");
    for (int row = 0; row < week_->rowCount(); ++row) {
        for (int column = 0; column < week_->columnCount(); ++column)
            csv += (week_->item(row, column) ? week_->item(row, column)->text() : QString()) + u';';
        csv += QStringLiteral("\r\n");
    }
    const QFileInfo png(pngPath);
    toolkit::replaceFileContents(png.path() + u'/' + png.completeBaseName() +
                                     QStringLiteral(".csv"),
                                 toolkit::toCp1252(csv));
}

void HistoryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    reload();
    liveTimer_->start();
}

void HistoryWindow::hideEvent(QHideEvent* event) {
    liveTimer_->stop();
    QWidget::hideEvent(event);
}

} // namespace history
