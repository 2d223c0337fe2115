#include "pumpdown.h"

#include <algorithm>
#include <cmath>

namespace kelmor::sim {

PumpDownCurve::PumpDownCurve(double durationSeconds, quint32 seed)
    : m_duration(durationSeconds), m_random(seed)
{
}

double PumpDownCurve::trend(double seconds) const
{
    const double u = m_duration > 0.0 ? std::clamp(seconds / m_duration, 0.0, 1.0) : 1.0;
    const double top = std::log10(kAtmosphereMbar);
    const double middle = std::log10(kRoughingEndMbar);
    const double bottom = std::log10(kBaseMbar);

    double decade = 0.0;
    if (u <= kRoughingShare) {
        // Roughing: pressure falls exponentially, a straight line in decades.
        decade = top + (middle - top) * (u / kRoughingShare);
    } else {
        // High vacuum: fast at first, then ever slower as outgassing takes over.
        const double v = (u - kRoughingShare) / (1.0 - kRoughingShare);
        decade = middle + (bottom - middle) * (1.0 - (1.0 - v) * (1.0 - v));
    }
    return std::pow(10.0, decade);
}

double PumpDownCurve::sample(double seconds)
{
    const double r = m_random.generateDouble() * 2.0 - 1.0;
    return std::min(trend(seconds) * (1.0 + kNoise * r), kAtmosphereMbar);
}

} // namespace kelmor::sim
