#include "history/prepared.h"

#include <algorithm>

namespace history {

namespace {

const std::vector<Sample>& dayOf(const StationHistory& data, const QDate& day) {
    static const std::vector<Sample> none;
    const auto found = data.days.find(day);
    return found == data.days.end() ? none : found->second;
}

// A preset level is a step line: a new level starts where the old one ends.
void addLevel(QList<QPointF>& levels, qint64 at, std::uint16_t level) {
    if (level == Sample::kOverLimit || (!levels.isEmpty() && levels.last().y() == level))
        return;
    if (!levels.isEmpty())
        levels << QPointF(at, levels.last().y());
    levels << QPointF(at, level);
}

// The lowest and the highest reading of a slice of time, in the order they came.
void addSlice(QList<QPointF>& speed, qint64 lowAt, double low, qint64 highAt, double high) {
    const bool lowFirst = lowAt <= highAt;
    speed << QPointF(lowFirst ? lowAt : highAt, lowFirst ? low : high)
          << QPointF(lowFirst ? highAt : lowAt, lowFirst ? high : low);
}

// The trend's lines from one day's readings; a reading earlier than `startMs` is left out.
void addTrend(Prepared& out, const std::vector<Sample>& samples, const QDate& day, qint64 startMs) {
    const qint64 midnight = day.startOfDay().toMSecsSinceEpoch();
    const std::size_t step =
        std::max<std::size_t>(1, (samples.size() * 2 + kMostTrendPoints - 1) / kMostTrendPoints);
    Sample low{};
    Sample high{};
    qint64 lowAt = 0;
    qint64 highAt = 0;
    std::size_t inSlice = 0;
    for (const Sample& sample : samples) {
        const qint64 at = midnight + sample.secondOfDay * 1000LL;
        if (at < startMs)
            continue;
        addLevel(out.preset1, at, sample.preset1);
        addLevel(out.preset2, at, sample.preset2);
        if (sample.overLimit()) {
            ++out.overLimit;
            continue;
        }
        if (step == 1) {
            out.speed << QPointF(at, sample.speed);
            continue;
        }
        if (inSlice == 0 || sample.speed < low.speed)
            low = sample, lowAt = at;
        if (inSlice == 0 || sample.speed > high.speed)
            high = sample, highAt = at;
        if (++inSlice == step) {
            addSlice(out.speed, lowAt, low.speed, highAt, high.speed);
            inSlice = 0;
        }
    }
    if (inSlice > 0) // the newest readings, in a slice not yet full
        addSlice(out.speed, lowAt, low.speed, highAt, high.speed);
    // The line runs up to the newest reading.
    if (!samples.empty() && !samples.back().overLimit()) {
        const qint64 at = midnight + samples.back().secondOfDay * 1000LL;
        if (at >= startMs && (out.speed.isEmpty() || at > qint64(out.speed.last().x())))
            out.speed << QPointF(at, samples.back().speed);
    }
}

// The preset levels run on to the last reading.
void finishTrend(Prepared& out) {
    const qreal last =
        out.speed.isEmpty() ? qreal(out.start.toMSecsSinceEpoch()) : out.speed.last().x();
    for (QList<QPointF>* levels : {&out.preset1, &out.preset2}) {
        if (!levels->isEmpty())
            *levels << QPointF(last, levels->last().y());
    }
}

} // namespace

Prepared prepare(const StationHistory& data, const Choice& choice, const QDateTime& now) {
    Prepared out;
    std::vector<Sample> chosen;
    const qint64 startMs = choice.last24Hours ? now.addDays(-1).toMSecsSinceEpoch()
                                              : choice.day.startOfDay().toMSecsSinceEpoch();
    out.start = QDateTime::fromMSecsSinceEpoch(startMs);
    if (choice.last24Hours) {
        const QDate yesterday = out.start.date();
        const int from = out.start.time().msecsSinceStartOfDay() / 1000;
        for (const Sample& sample : dayOf(data, yesterday)) {
            if (sample.secondOfDay >= from)
                chosen.push_back(sample);
        }
        addTrend(out, chosen, yesterday, startMs);
        const std::vector<Sample>& today = dayOf(data, now.date());
        addTrend(out, today, now.date(), startMs);
        chosen.insert(chosen.end(), today.begin(), today.end());
    } else {
        chosen = dayOf(data, choice.day);
        addTrend(out, chosen, choice.day, startMs);
    }
    finishTrend(out);
    const QDate last = choice.last24Hours ? now.date() : choice.day;
    out.chosen = summarize(last, chosen);
    for (const Sample& sample : chosen)
        out.dayRose.add(sample, data.unit);
    for (int back = 0; back < Prepared::kWeekDays; ++back) {
        const QDate day = last.addDays(-back);
        const std::vector<Sample>& samples = dayOf(data, day);
        out.week[std::size_t(back)] = summarize(day, samples);
        for (const Sample& sample : samples)
            out.weekRose.add(sample, data.unit);
    }
    return out;
}

} // namespace history
