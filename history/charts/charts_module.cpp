// The charts module: Qt Charts views behind the interfaces the windows know.

#include "history/chart_views.h"
#include "history/charts/lines_view.h"
#include "history/charts/rose_view.h"
#include "history/charts/trend_view.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace history {

namespace {

QWidget* zoomablePage(ZoomableChart* chart, QWidget* parent) {
    auto* page = new QWidget(parent);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(new QLabel(
        QStringLiteral("A roda do mouse aproxima e afasta o tempo; arrastando, ele anda."), page));
    layout->addWidget(chart->widget(), 1);
    auto* resetZoom = new QPushButton(QStringLiteral("Restaurar zoom"), page);
    resetZoom->setObjectName(QStringLiteral("RestaurarZoom"));
    layout->addWidget(resetZoom, 0, Qt::AlignLeft);
    QObject::connect(resetZoom, &QPushButton::clicked, chart->widget(),
                     [chart] { chart->resetZoom(); });
    return page;
}

} // namespace

} // namespace history

extern "C" Q_DECL_EXPORT const history::ChartViews* anemo_chart_views() {
    static const history::ChartViews views{
        .trend = [](QWidget* parent) -> history::TrendChart* {
            return new history::TrendView(parent);
        },
        .rose = [](QWidget* parent) -> history::RoseChart* {
            return new history::RoseView(parent);
        },
        .lines = [](QWidget* parent) -> history::LinesChart* {
            return new history::LinesView(parent);
        },
        .zoomablePage = history::zoomablePage,
    };
    return &views;
}
