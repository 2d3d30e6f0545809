#include "history/history_window.h"

#include "history/chart_views.h"
#include "history/day_texts.h"
#include "history/week_model.h"
#include "toolkit/day_text.h"
#include "toolkit/file_replace.h"
#include "toolkit/messages.h"
#include "toolkit/save_dialog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace history {

namespace {

constexpr int kLiveRefreshMs = 5000;
const QString kToday = QStringLiteral("Hoje");
const QString kLast24Hours = QStringLiteral("Últimas 24 horas");

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
    trendPlace_ = new QVBoxLayout(trendPage);
    trendPlace_->setContentsMargins(0, 0, 0, 0);
    tabs_->addTab(trendPage, QStringLiteral("Tendência"));

    auto* summaryPage = new QWidget;
    auto* summaryLayout = new QVBoxLayout(summaryPage);
    summary_ = new QLabel(summaryPage);
    summary_->setObjectName(QStringLiteral("Resumo"));
    summary_->setTextFormat(Qt::PlainText);
    summaryLayout->addWidget(summary_);
    summaryLayout->addWidget(new QLabel(QStringLiteral("Últimos 7 dias:"), summaryPage));
    week_ = new WeekModel(this);
    weekTable_ = new QTableView(summaryPage);
    weekTable_->setModel(week_);
    weekTable_->setObjectName(QStringLiteral("Semana"));
    weekTable_->setAccessibleName(QStringLiteral("Últimos 7 dias"));
    weekTable_->verticalHeader()->hide();
    weekTable_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    weekTable_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    summaryLayout->addWidget(weekTable_, 1);
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
    rosePlace_ = roseLayout;
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
    connect(unit_, &QComboBox::activated, this, [this] { showData(false); });
    connect(roseSpan_, &QComboBox::activated, this, [this] { showData(false); });
    connect(export_, &QPushButton::clicked, this, &HistoryWindow::exportChart);
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
        day_->addItem(toolkit::dayText(day));
    day_->setCurrentIndex(std::max<int>(0, day_->findText(chosenDay)));
    startLoading();
}

void HistoryWindow::startLoading(bool newView) {
    watcher_.cancel();
    watcher_.waitForFinished();
    const QString station = station_->currentText();
    if (station.isEmpty()) {
        note_->setText(QStringLiteral("Não há registros na pasta nem leituras desde o início."));
        return;
    }
    const QDate last =
        day_->currentIndex() <= 1 ? today() : toolkit::dayFromText(day_->currentText());
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
    shownToday_ = today();
    heldShown_ = held.samples.size();
    newViewOnLoad_ = newView;
    progress_->setRange(0, int(days.size()));
    progress_->setValue(0);
    progress_->show();
    cancel_->show();
    waitingForLoad_ = true;
    watcher_.setFuture(loadStation(folder, station, days, held, shownToday_, choice(),
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
    showData(newViewOnLoad_);
}

Choice HistoryWindow::choice() const {
    if (day_->currentIndex() == 1)
        return {today(), true};
    return {day_->currentIndex() == 0 ? today() : toolkit::dayFromText(day_->currentText()), false};
}

// Today's readings held in memory that came since the last look join the data and what is
// drawn of it; the view stays as the user left it.
void HistoryWindow::refreshLive() {
    if (!sources_.live || day_->currentIndex() > 1 || waitingForLoad_ || data_->station.isEmpty())
        return;
    if (today() != shownToday_) {
        reload(); // a new day
        return;
    }
    const QDateTime now = QDateTime::fromMSecsSinceEpoch(sources_.nowMs());
    const LiveReadings::Day more = sources_.live->readingsOf(data_->station, heldShown_);
    std::vector<Sample>& day = data_->days[shownToday_];
    // The first readings held of a station whose file was read before they came may be in
    // the file as well: the day is read again.
    if (heldShown_ == 0 && !more.samples.empty() && !day.empty() &&
        day.back().secondOfDay >= more.samples.front().secondOfDay) {
        startLoading(false);
        return;
    }
    const std::size_t from = day.size();
    day.insert(day.end(), more.samples.begin(), more.samples.end());
    heldShown_ += more.samples.size();
    if (!more.unit.isEmpty())
        data_->unit = more.unit;
    // The last 24 hours move on with the clock, new readings or not.
    if (more.samples.empty() && !choice().last24Hours)
        return;
    if (addToday(prepared_, *data_, choice(), now, from)) {
        showData(false);
        return;
    }
    newViewOnLoad_ = false;
    waitingForLoad_ = true;
    watcher_.setFuture(prepareAgain(data_, choice(), now));
}

// Whether a configured station of that name has its log on.
bool HistoryWindow::loggedNow(const QString& station) const {
    for (int n = 1; n <= kStations; ++n) {
        if (sources_.settings.polled(n) && sources_.settings.name(n) == station)
            return sources_.settings.logged(n);
    }
    return false;
}

QString HistoryWindow::notes(bool unitKnown) const {
    const StationHistory& data = *data_;
    QStringList notes;
    if (!unitKnown)
        notes << QStringLiteral("Os arquivos desta estação não dizem a unidade: os valores "
                                "aparecem como gravados.");
    if (sources_.live && sources_.live->names().contains(data.station) && !loggedNow(data.station))
        notes << QStringLiteral("%1 não está sendo gravada: hoje aparecem só as leituras "
                                "recebidas desde que o programa começou.")
                     .arg(data.station);
    // The lines skipped in the files of the days shown, each day by its name.
    const Choice shown = choice();
    QList<QDate> days{shown.day};
    if (shown.last24Hours)
        days.prepend(prepared_.start.date());
    for (const QDate& day : days) {
        const auto skipped = data.skipped.find(day);
        if (skipped != data.skipped.end())
            notes << countText(skipped->second,
                               QStringLiteral("%1 linha que não é leitura foi ignorada no "
                                              "arquivo de %2."),
                               QStringLiteral("%1 linhas que não são leituras foram ignoradas no "
                                              "arquivo de %2."))
                         .arg(toolkit::dayText(day));
    }
    if (prepared_.overLimit > 0)
        notes << countText(prepared_.overLimit,
                           QStringLiteral("%1 leitura \"> LIMITE\" fica fora da linha de "
                                          "tendência."),
                           QStringLiteral("%1 leituras \"> LIMITE\" ficam fora da linha de "
                                          "tendência."));
    return notes.join(u' ');
}

void HistoryWindow::makeCharts() const {
    if (trend_)
        return;
    const ChartViews& views = chartViews();
    trend_ = views.trend(nullptr);
    trendPlace_->addWidget(views.zoomablePage(trend_, nullptr));
    rose_ = views.rose(nullptr);
    rosePlace_->addWidget(rose_->widget(), 1);
}

TrendChart* HistoryWindow::trendChart() const {
    makeCharts();
    return trend_;
}

void HistoryWindow::showData(bool newView) {
    makeCharts();
    const StationHistory& data = *data_;
    const auto shown = static_cast<ShownUnit>(unit_->currentIndex());
    const std::optional<double> factor = conversion(data.unit, shown);
    const double by = factor.value_or(1.0);
    const QString unit = factor ? unitText(data.unit, shown) : data.unit;
    note_->setText(notes(factor.has_value()));

    const QString dayName = day_->currentText();
    const QStringList cells = summaryCells(prepared_.chosen, by, unit);
    const QString title = QStringLiteral("%1 - %2").arg(data.station, dayName);
    trend_->setLines(prepared_.trend.lines(), prepared_.start, prepared_.start.addDays(1), by, unit,
                     prepared_.chosen.readings == 0
                         ? title + QStringLiteral(": sem leituras")
                         : title + QStringLiteral(": máxima %1 às %2").arg(cells[1], cells[2]),
                     newView);
    summary_->setText(prepared_.chosen.readings == 0
                          ? QStringLiteral("%1: sem leituras.").arg(title)
                          : QStringLiteral("%1\nMáxima: %2 às %3\nMédia: %4\n"
                                           "Minutos em P1 ou acima: %5   Minutos acima de P2: %6\n"
                                           "Leituras: %7, da primeira às %8 à última às %9\n"
                                           "Bateria: %10 na primeira, %11 na última")
                                .arg(title, cells[1], cells[2], cells[3], cells[4], cells[5],
                                     cells[6], cells[7], cells[8])
                                .arg(cells[9], cells[10]));

    week_->setWeek(prepared_.week, by, unit);

    const bool week = roseSpan_->currentIndex() == 1;
    const WindRose& rose = week ? prepared_.weekRose : prepared_.dayRose;
    rose_->setPicture(rosePicture(
        rose, bandNames(data.unit),
        QStringLiteral("%1 - %2").arg(data.station,
                                      week ? QStringLiteral("últimos 7 dias") : dayName)));
    roseNote_->setText(countText(rose.placed(), QStringLiteral("%1 leitura na rosa"),
                                 QStringLiteral("%1 leituras na rosa")) +
                       QStringLiteral("; ") +
                       countText(rose.unknown,
                                 QStringLiteral("%1 sem direção (\"---\") ficou de fora."),
                                 QStringLiteral("%1 sem direção (\"---\") ficaram de fora.")));
}

void HistoryWindow::exportChart() {
    const Choice shown = choice();
    const QString day = shown.last24Hours
                            ? QStringLiteral("últimas 24 horas %1").arg(toolkit::dayText(shown.day))
                            : toolkit::dayText(shown.day);
    const QString path =
        toolkit::askSavePath(this, QStringLiteral("Exportar histórico"),
                             exportName(station_->currentText(), day, QStringLiteral("png")),
                             QStringLiteral("Imagem PNG (*.png)"), QStringLiteral("png"));
    if (!path.isEmpty())
        toolkit::guarded([&] { exportTo(path); });
}

void HistoryWindow::exportTo(const QString& pngPath) const {
    makeCharts();
    QWidget* chart = tabs_->currentIndex() == 2 ? rose_->widget() : trend_->widget();
    if (!chart->grab().save(pngPath, "PNG"))
        throw toolkit::Failure(QStringLiteral("File access denied"));
    const QFileInfo png(pngPath);
    toolkit::replaceFileContents(png.path() + u'/' + png.completeBaseName() +
                                     QStringLiteral(".csv"),
                                 summaryFile(data_->station, *week_));
}

QSize HistoryWindow::minimumSizeHint() const {
    makeCharts();
    return QWidget::minimumSizeHint();
}

void HistoryWindow::showEvent(QShowEvent* event) {
    makeCharts();
    QWidget::showEvent(event);
    reload();
    liveTimer_->start();
}

// Hidden, the window holds none of the days it read: showing it reads them again.
void HistoryWindow::hideEvent(QHideEvent* event) {
    liveTimer_->stop();
    watcher_.cancel();
    watcher_.waitForFinished();
    waitingForLoad_ = false;
    data_ = std::make_shared<StationHistory>();
    prepared_ = {};
    showData(true);
    QWidget::hideEvent(event);
}

} // namespace history
