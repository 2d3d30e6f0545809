#pragma once

#include "history/history_loader.h"
#include "history/trend.h"
#include "history/wind_stats.h"

#include <QDateTime>

#include <array>

namespace history {

// What the window draws for the day chosen, made off its thread: the trend's three lines, the
// day's summary, the summaries of the 7 days that end with it, and the wind rose of the day
// and of those 7 days.
struct Prepared {
    static constexpr int kWeekDays = 7;

    QDateTime start; // where the trend begins: the day's midnight, or 24 hours ago
    TrendBuilder trend;
    qint64 todayGapMs = 0; // the gap the trend's last day was made with
    int overLimit = 0;     // readings shown as "> LIMITE", left out of the line
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

Prepared prepare(const StationHistory& data, const Choice& choice, const QDateTime& now);

// Today's readings from the `from`th on, come since `prepared` was made, added to it (today or
// the last 24 hours, which then end at `now`). False when the day is to be prepared anew: its
// readings' spacing moved the gaps, or the trend has grown past what a screen can show.
bool addToday(Prepared& prepared, const StationHistory& data, const Choice& choice,
              const QDateTime& now, std::size_t from);

// A station's data as read, with what the window draws of it.
struct Loaded {
    std::shared_ptr<StationHistory> data;
    Prepared prepared;
};

} // namespace history
