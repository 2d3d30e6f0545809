#include "history/chart_views.h"

#include "history/wind_stats.h"
#include "toolkit/library_calls.h"
#include "toolkit/numbers.h"

#include <QLabel>
#include <QLibrary>
#include <QVBoxLayout>

namespace history {

namespace {

const ChartViews* opened(QString* why);

// Without the module, each chart is a line saying so; the rest of the window works as ever.
class NoChart : public QLabel {
public:
    explicit NoChart(QWidget* parent) : QLabel(parent) {
        setAlignment(Qt::AlignCenter);
        setWordWrap(true);
        QString why;
        opened(&why);
        setText(QStringLiteral("Gráfico indisponível: %1").arg(why));
    }
};

class NoTrend final : public NoChart, public TrendChart {
public:
    using NoChart::NoChart;
    QWidget* widget() override { return this; }
    void resetZoom() override {}
    void setLines(const TrendLines&, const QDateTime&, const QDateTime&, double, const QString&,
                  const QString&, bool) override {}
    int pointsShown() const override { return 0; }
};

class NoRose final : public NoChart, public RoseChart {
public:
    using NoChart::NoChart;
    QWidget* widget() override { return this; }
    void setPicture(const RosePicture&) override {}
};

class NoLines final : public NoChart, public LinesChart {
public:
    using NoChart::NoChart;
    QWidget* widget() override { return this; }
    void resetZoom() override {}
    void setPicture(const LinesPicture&) override {}
};

QWidget* plainPage(ZoomableChart* chart, QWidget* parent) {
    auto* page = new QWidget(parent);
    (new QVBoxLayout(page))->addWidget(chart->widget());
    return page;
}

const ChartViews kNoCharts{
    .trend = [](QWidget* parent) -> TrendChart* { return new NoTrend(parent); },
    .rose = [](QWidget* parent) -> RoseChart* { return new NoRose(parent); },
    .lines = [](QWidget* parent) -> LinesChart* { return new NoLines(parent); },
    .zoomablePage = plainPage,
};

toolkit::OpenedLibrary<ChartViews> open() {
    return toolkit::openModule<ChartViews>("anemo_charts", [](QLibrary& library, ChartViews& api) {
        const ChartViews* (*views)() = nullptr;
        if (!toolkit::resolve(library, "anemo_chart_views", views))
            return false;
        api = *views();
        return true;
    });
}

const ChartViews* opened(QString* why) {
    return toolkit::openOnce<ChartViews>(open, why);
}

} // namespace

const ChartViews& chartViews() {
    const ChartViews* views = opened(nullptr);
    return views ? *views : kNoCharts;
}

RosePicture rosePicture(const WindRose& rose, const QStringList& bandNames, const QString& title) {
    static_assert(RosePicture::kSectors == WindRose::kSectors &&
                  RosePicture::kBands == WindRose::kBands);
    const auto percentText = [](double percent) {
        return toolkit::decimalText(percent, 1) + QStringLiteral(" %");
    };
    RosePicture picture;
    for (int sector = 0; sector < WindRose::kSectors; ++sector) {
        double whole = 0;
        for (int band = 0; band < WindRose::kBands; ++band) {
            const double share = rose.share(sector, band);
            picture.shares[std::size_t(sector)][std::size_t(band)] = share;
            whole = whole + share;
        }
        picture.compassNames << compassNames()[sector];
        picture.pointTexts << percentText(whole);
    }
    picture.bandNames = bandNames;
    picture.calmText = percentText(rose.calmShare());
    picture.title = title;
    return picture;
}

} // namespace history
