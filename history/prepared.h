#pragma once

#include "history/history_loader.h"
#include "history/wind_stats.h"

#include <QDateTime>
#include <QList>
#include <QPointF>

#include <array>

namespace history {

// What the window draws for the day chosen, made off its thread: the trend's three lines (x in
// milliseconds since 1970, y in tenths of the file's unit), the day's summary, the summaries of
// the 7 days that end with it, and the wind rose of the day and of those 7 days.
struct Prepared {
    static constexpr int kWeekDays = 7;

    QDateTime start; // where the trend begins: the day's midnight, or 24 hours ago
    QList<QPointF> speed;
    QList<QPointF> preset1;
    QList<QPointF> preset2;
    int overLimit = 0; // readings shown as "> LIMITE", left out of the line
    DaySummary chosen;
    std::array<DaySummary, kWeekDays> week{}; // the chosen day first, then back
    WindRose dayRose;
    WindRose weekRose;
};

// The day shown: one calendar day, or the 24 hours up to `now`.
struct Choice {
    QDate day;
    bool last24Hours = false;
};

// More points than a screen can show are thinned to the lowest and highest of each slice of
// time, so that a day at one reading every 1.8 s still draws at once with every gust in it.
inline constexpr int kMostTrendPoints = 4000;

Prepared prepare(const StationHistory& data, const Choice& choice, const QDateTime& now);

// A station's data as read, with what the window draws of it.
struct Loaded {
    std::shared_ptr<const StationHistory> data;
    Prepared prepared;
};

} // namespace history
