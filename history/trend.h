#pragma once

#include "history/log_reader.h"

#include <QDate>
#include <QList>
#include <QPointF>

#include <optional>
#include <vector>

namespace history {

// A line of the trend in runs (x in milliseconds since 1970, y in tenths of the file's unit):
// each run is drawn on its own, and nothing between two runs, where no reading came.
using Runs = QList<QList<QPointF>>;

struct TrendLines {
    Runs speed;
    Runs preset1;
    Runs preset2;
};

// Two readings of a day further apart than this leave a gap in its trend: three times the
// median spacing of the day's readings, and never less than 10 s.
qint64 gapMs(const std::vector<Sample>& day);

// More points than a screen can show are thinned to the lowest and highest of each slice of
// readings, so that a day at one reading every 1.8 s still draws at once with every gust in it.
inline constexpr int kMostTrendPoints = 4000;
// Readings in a slice for `readings` readings.
std::size_t sliceFor(std::size_t readings);

// The trend's lines, made from readings in the order they came and grown as more come (today's
// readings held in memory). A slice never straddles a gap.
class TrendBuilder {
public:
    TrendBuilder() = default;
    // Readings earlier than `startMs` are left out.
    TrendBuilder(qint64 startMs, std::size_t slice) : startMs_(startMs), slice_(slice) {}

    // The readings of `day` from the `from`th on, with the day's gap.
    void add(const QDate& day, const std::vector<Sample>& samples, std::size_t from, qint64 gapMs);
    // The lines as they stand: the slice not yet full and the preset levels up to the newest
    // reading included.
    TrendLines lines() const;
    std::size_t slice() const { return slice_; }
    // The points made so far, for when they have grown past what a screen can show.
    std::size_t points() const { return points_; }

private:
    struct Point {
        qint64 at;
        std::uint16_t speed;
    };
    void add(qint64 at, const Sample& sample, qint64 gapMs);
    void endSlice();
    void endRun();
    // The open slice's points in the order they came.
    QList<QPointF> openSlice() const;
    // The run's line goes on to its newest reading with a number.
    void reachNewest(QList<QPointF>& run) const;

    qint64 startMs_ = 0;
    std::size_t slice_ = 1;
    TrendLines done_{{{}}, {{}}, {{}}};
    std::optional<qint64> newestAt_; // of any reading, "> LIMITE" ones too
    std::size_t inSlice_ = 0;
    Point low_{};
    Point high_{};
    std::optional<Point> newest_; // the newest reading with a number in the run
    std::size_t points_ = 0;
};

} // namespace history
