#pragma once

#include "history/trend.h"

#include <QDateTime>
#include <QList>
#include <QPen>
#include <QString>
#include <QStringList>

#include <array>

class QWidget;

namespace history {

// The charts are Qt Charts views in a module of their own beside the program (anemo_charts), so
// that Qt Charts and the OpenGL libraries it brings in are loaded when a window first draws a
// chart, not by every station at start. The windows know them by these interfaces; each chart
// is a widget owned by its parent, and the interface lives as long as the widget.

// A chart over time: the mouse wheel zooms the time around the pointer and dragging moves it.
class ZoomableChart {
public:
    virtual QWidget* widget() = 0;
    // Shows the whole span again.
    virtual void resetZoom() = 0;

protected:
    ~ZoomableChart() = default;
};

// A station's speed with the levels of its two presets, broken where no reading came.
class TrendChart : public ZoomableChart {
public:
    // Shows the lines (y in tenths of the file's unit, speeds times `factor`) over the span
    // from `from` to `to`. What is already drawn only grows by what is new, and a time the
    // user zoomed into or moved to stays, unless `newView`.
    virtual void setLines(const TrendLines& lines, const QDateTime& from, const QDateTime& to,
                          double factor, const QString& unit, const QString& title,
                          bool newView) = 0;
    virtual int pointsShown() const = 0;

protected:
    ~TrendChart() = default;
};

// The wind rose as drawn: every figure and text worked out by the window.
struct RosePicture {
    static constexpr int kSectors = 16;
    static constexpr int kBands = 6;
    std::array<std::array<double, kBands>, kSectors> shares{}; // percent, by point and band
    QStringList compassNames;                                  // "N" first, clockwise
    QStringList bandNames;
    QStringList pointTexts; // each point's whole share, "12,5 %"
    QString calmText;       // the calm share, "3,0 %"
    QString title;
};

struct WindRose;
// The rose of `rose` with its bands' names and its title.
RosePicture rosePicture(const WindRose& rose, const QStringList& bandNames, const QString& title);

class RoseChart {
public:
    virtual QWidget* widget() = 0;
    virtual void setPicture(const RosePicture& picture) = 0;

protected:
    ~RoseChart() = default;
};

// Lines of several stations over one span, each drawn in its runs.
struct LinesPicture {
    struct Line {
        QString name;
        Runs runs;
        QPen pen;
        bool inLegend = true; // one entry for the whole line
    };
    QList<Line> lines;
    QString valueTitle;
    QString title;
    qint64 fromMs = 0;
    qint64 toMs = 0;
};

class LinesChart : public ZoomableChart {
public:
    // Drawn anew, the whole span in sight.
    virtual void setPicture(const LinesPicture& picture) = 0;

protected:
    ~LinesChart() = default;
};

struct ChartViews {
    TrendChart* (*trend)(QWidget* parent);
    RoseChart* (*rose)(QWidget* parent);
    LinesChart* (*lines)(QWidget* parent);
    // The page a zoomable chart stands on: how to zoom above it, "Restaurar zoom" below it.
    QWidget* (*zoomablePage)(ZoomableChart* chart, QWidget* parent);
};

// The module's charts, opened the first time they are asked for; without the module, stand-ins
// that say there is no chart and why.
const ChartViews& chartViews();

} // namespace history
