#include "history/prepared.h"

#include <algorithm>

namespace history {

namespace {

const std::vector<Sample>& dayOf(const StationHistory& data, const QDate& day) {
    static const std::vector<Sample> none;
    const auto found = data.days.find(day);
    return found == data.days.end() ? none : found->second;
}

// The readings of the day chosen, or of the 24 hours from `start` on.
std::vector<Sample> chosenReadings(const StationHistory& data, const Choice& choice,
                                   const QDateTime& start, const QDateTime& now) {
    if (!choice.last24Hours)
        return dayOf(data, choice.day);
    std::vector<Sample> chosen;
    const int from = start.time().msecsSinceStartOfDay() / 1000;
    for (const Sample& sample : dayOf(data, start.date())) {
        if (sample.secondOfDay >= from)
            chosen.push_back(sample);
    }
    const std::vector<Sample>& today = dayOf(data, now.date());
    chosen.insert(chosen.end(), today.begin(), today.end());
    return chosen;
}

// The summary, the rose and the "> LIMITE" count of the readings chosen.
void summarizeChosen(Prepared& out, const QDate& last, const std::vector<Sample>& chosen,
                     const QString& unit) {
    out.chosen = summarize(last, chosen);
    out.dayRose = {};
    out.overLimit = 0;
    for (const Sample& sample : chosen) {
        out.dayRose.add(sample, unit);
        out.overLimit += sample.overLimit() ? 1 : 0;
    }
}

} // namespace

Prepared prepare(const StationHistory& data, const Choice& choice, const QDateTime& now) {
    Prepared out;
    out.start = choice.last24Hours ? now.addDays(-1) : choice.day.startOfDay();
    const std::vector<Sample> chosen = chosenReadings(data, choice, out.start, now);
    out.trend = TrendBuilder(out.start.toMSecsSinceEpoch(), sliceFor(chosen.size()));
    const QDate last = choice.last24Hours ? now.date() : choice.day;
    if (choice.last24Hours) {
        const std::vector<Sample>& yesterday = dayOf(data, out.start.date());
        out.trend.add(out.start.date(), yesterday, 0, gapMs(yesterday));
    }
    const std::vector<Sample>& lastDay = dayOf(data, last);
    out.todayGapMs = gapMs(lastDay);
    out.trend.add(last, lastDay, 0, out.todayGapMs);
    summarizeChosen(out, last, chosen, data.unit);
    for (int back = 0; back < Prepared::kWeekDays; ++back) {
        const QDate day = last.addDays(-back);
        const std::vector<Sample>& samples = dayOf(data, day);
        out.week[std::size_t(back)] = summarize(day, samples);
        for (const Sample& sample : samples)
            out.weekRose.add(sample, data.unit);
    }
    return out;
}

bool addToday(Prepared& prepared, const StationHistory& data, const Choice& choice,
              const QDateTime& now, std::size_t from) {
    const QDate today = now.date();
    const std::vector<Sample>& day = dayOf(data, today);
    if (gapMs(day) != prepared.todayGapMs)
        return false;
    prepared.trend.add(today, day, from, prepared.todayGapMs);
    if (prepared.trend.points() > 2 * std::size_t(kMostTrendPoints))
        return false;
    prepared.week[0] = summarize(today, day);
    for (std::size_t i = from; i < day.size(); ++i)
        prepared.weekRose.add(day[i], data.unit);
    if (choice.last24Hours) {
        prepared.start = now.addDays(-1);
        summarizeChosen(prepared, today, chosenReadings(data, choice, prepared.start, now),
                        data.unit);
        return true;
    }
    prepared.chosen = prepared.week[0];
    for (std::size_t i = from; i < day.size(); ++i) {
        prepared.dayRose.add(day[i], data.unit);
        prepared.overLimit += day[i].overLimit() ? 1 : 0;
    }
    return true;
}

} // namespace history
