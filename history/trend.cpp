#include "history/trend.h"

#include <algorithm>

namespace history {

namespace {

constexpr qint64 kShortestGapMs = 10'000;
constexpr qint64 kSpacingsInAGap = 3;

// A step line: a new level starts where the old one ends.
void addLevel(QList<QPointF>& run, qint64 at, std::uint16_t level) {
    if (level == Sample::kOverLimit || (!run.isEmpty() && run.last().y() == level))
        return;
    if (!run.isEmpty())
        run << QPointF(at, run.last().y());
    run << QPointF(at, level);
}

// The level held on up to the newest reading.
void holdLevel(QList<QPointF>& run, qint64 newestAt) {
    if (!run.isEmpty() && run.last().x() < newestAt)
        run << QPointF(newestAt, run.last().y());
}

void dropEmptyRuns(Runs& runs) {
    runs.removeIf([](const QList<QPointF>& run) { return run.isEmpty(); });
}

} // namespace

qint64 gapMs(const std::vector<Sample>& day) {
    if (day.size() < 2)
        return kShortestGapMs;
    std::vector<int> spacings;
    spacings.reserve(day.size() - 1);
    for (std::size_t i = 1; i < day.size(); ++i)
        spacings.push_back(day[i].secondOfDay - day[i - 1].secondOfDay);
    const auto middle = spacings.begin() + std::ptrdiff_t(spacings.size() / 2);
    std::nth_element(spacings.begin(), middle, spacings.end());
    return std::max(kShortestGapMs, kSpacingsInAGap * 1000 * qint64(*middle));
}

std::size_t sliceFor(std::size_t readings) {
    return std::max<std::size_t>(1, (readings * 2 + kMostTrendPoints - 1) / kMostTrendPoints);
}

void TrendBuilder::add(const QDate& day, const std::vector<Sample>& samples, std::size_t from,
                       qint64 gapMs) {
    const qint64 midnight = day.startOfDay().toMSecsSinceEpoch();
    for (std::size_t i = from; i < samples.size(); ++i)
        add(midnight + samples[i].secondOfDay * 1000LL, samples[i], gapMs);
}

void TrendBuilder::add(qint64 at, const Sample& sample, qint64 gapMs) {
    if (at < startMs_)
        return;
    if (newestAt_ && at - *newestAt_ > gapMs)
        endRun();
    addLevel(done_.preset1.last(), at, sample.preset1);
    addLevel(done_.preset2.last(), at, sample.preset2);
    newestAt_ = at;
    if (sample.overLimit())
        return;
    const Point point{at, sample.speed};
    if (inSlice_ == 0 || point.speed < low_.speed)
        low_ = point;
    if (inSlice_ == 0 || point.speed > high_.speed)
        high_ = point;
    newest_ = point;
    if (++inSlice_ == slice_)
        endSlice();
}

QList<QPointF> TrendBuilder::openSlice() const {
    QList<QPointF> points;
    if (inSlice_ == 0)
        return points;
    const bool lowFirst = low_.at <= high_.at;
    const Point& first = lowFirst ? low_ : high_;
    const Point& second = lowFirst ? high_ : low_;
    points << QPointF(first.at, first.speed);
    if (second.at != first.at || second.speed != first.speed)
        points << QPointF(second.at, second.speed);
    return points;
}

void TrendBuilder::reachNewest(QList<QPointF>& run) const {
    if (newest_ && (run.isEmpty() || qint64(run.last().x()) < newest_->at))
        run << QPointF(newest_->at, newest_->speed);
}

void TrendBuilder::endSlice() {
    if (inSlice_ == 0)
        return;
    const bool lowFirst = low_.at <= high_.at;
    const Point& first = lowFirst ? low_ : high_;
    const Point& second = lowFirst ? high_ : low_;
    QList<QPointF>& run = done_.speed.last();
    run << QPointF(first.at, first.speed);
    ++points_;
    if (second.at != first.at || second.speed != first.speed) {
        run << QPointF(second.at, second.speed);
        ++points_;
    }
    inSlice_ = 0;
}

void TrendBuilder::endRun() {
    endSlice();
    reachNewest(done_.speed.last());
    newest_.reset();
    holdLevel(done_.preset1.last(), *newestAt_);
    holdLevel(done_.preset2.last(), *newestAt_);
    for (Runs* runs : {&done_.speed, &done_.preset1, &done_.preset2}) {
        if (!runs->last().isEmpty())
            runs->append(QList<QPointF>{});
    }
}

TrendLines TrendBuilder::lines() const {
    TrendLines lines = done_;
    lines.speed.last() << openSlice();
    reachNewest(lines.speed.last());
    if (newestAt_) {
        holdLevel(lines.preset1.last(), *newestAt_);
        holdLevel(lines.preset2.last(), *newestAt_);
    }
    dropEmptyRuns(lines.speed);
    dropEmptyRuns(lines.preset1);
    dropEmptyRuns(lines.preset2);
    return lines;
}

} // namespace history
