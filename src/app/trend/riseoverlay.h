#pragma once

#include "risefit.h"

#include <QObject>

class QCPGraph;
class QCPItemRect;

namespace kelmor {

class TrendPlot;

// What the leak test draws over the pressure plot: the marked stretch as a shaded band,
// the straight line fitted through it and the two halves' lines, so that the technician
// sees at once whether the rise is straight.
class RiseOverlay : public QObject
{
    Q_OBJECT

public:
    explicit RiseOverlay(TrendPlot *plot);

    // The stretch from key `from` to key `to` on the plot's key axis.
    void showStretch(double from, double to);
    // The fits, whose seconds count from key `origin` at `keysPerSecond`; pressures are
    // multiplied by `scale` to reach the plot's unit.
    void showFits(const RiseResult &result, double origin, double keysPerSecond, double scale);
    void clear();

    bool isShown() const;
    QCPGraph *wholeFit() const { return m_whole; }
    QCPGraph *firstHalfFit() const { return m_first; }
    QCPGraph *secondHalfFit() const { return m_second; }

private:
    TrendPlot *m_plot = nullptr;
    QCPItemRect *m_band = nullptr;
    QCPGraph *m_whole = nullptr;
    QCPGraph *m_first = nullptr;
    QCPGraph *m_second = nullptr;
};

} // namespace kelmor
