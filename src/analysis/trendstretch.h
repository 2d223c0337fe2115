#pragma once

#include "pressureunit.h"
#include "risefit.h"

#include <QtGlobal>

namespace kelmor {

class TrendStore;

// A marked stretch of the trend as the leak test takes it.
struct TrendStretch
{
    RiseStretch rise;
    // The store time its seconds count from (ms since the epoch, or a line number), so that
    // the fit can be drawn back onto the plot.
    qint64 origin = 0;
    // Seconds per unit of store time: 1/1000 for wall-clock milliseconds, 1 for line
    // numbers (whose real spacing the technician has to say).
    double secondsPerTime = 0.001;
};

// The samples with from <= time <= to. Pressures are taken to be in the gauge's unit and
// converted to mbar; every place inside the stretch where the store saw no connection to
// the sample before (monitoring stopped, the port closed, no line for a while) or the link
// watch saw the gauge silent counts as a gap.
TrendStretch trendStretch(const TrendStore &store, qint64 from, qint64 to,
                          UnitOfPressure gaugeUnit);

} // namespace kelmor
