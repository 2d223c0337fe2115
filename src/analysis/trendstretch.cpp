#include "trendstretch.h"

#include "trendstore.h"

namespace kelmor {

TrendStretch trendStretch(const TrendStore &store, qint64 from, qint64 to, UnitOfPressure gaugeUnit)
{
    TrendStretch out;
    out.secondsPerTime = store.axis() == TrendStore::Axis::WallClock ? 0.001 : 1.0;
    if (to < from)
        std::swap(from, to);
    const TrendRange range = store.range(from, to);
    if (range.isEmpty())
        return out;

    out.origin = store.at(range.begin).time;
    out.rise.samples.reserve(range.size());
    for (qsizetype i = range.begin; i < range.end; ++i) {
        const TrendSample &s = store.at(i);
        if (i > range.begin && s.gapBefore())
            ++out.rise.gaps;
        RiseSample sample;
        sample.seconds = double(s.time - out.origin) * out.secondsPerTime;
        sample.readable = s.hasPressure();
        sample.mbar = convertPressure(double(s.pressure), gaugeUnit, UnitOfPressure::Mbar);
        out.rise.samples.append(sample);
    }
    // A silence shorter than the store's gap threshold still means the gauge stopped.
    const qint64 first = store.at(range.begin).time;
    const qint64 last = store.at(range.end - 1).time;
    for (const TrendInterval &interval : store.intervals()) {
        if (interval.state != LinkState::Silent)
            continue;
        const qint64 end = interval.ongoing ? last : interval.to;
        if (interval.from < last && end > first)
            ++out.rise.gaps;
    }
    return out;
}

} // namespace kelmor
