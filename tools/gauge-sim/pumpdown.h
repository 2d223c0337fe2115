#pragma once

#include <QRandomGenerator>
#include <QtGlobal>

namespace kelmor::sim {

// A vessel pumped down from atmosphere: the roughing pump takes it to the IG range in
// the first quarter of the time, then the high-vacuum pump slows down towards the base
// pressure, which it reaches at the end and keeps.
class PumpDownCurve
{
public:
    static constexpr double kAtmosphereMbar = 1000.0;
    static constexpr double kBaseMbar = 1e-7;
    static constexpr double kRoughingShare = 0.25;
    static constexpr double kRoughingEndMbar = 1e-2;
    static constexpr double kNoise = 0.03; // relative, uniform in +-kNoise

    // A duration of zero or less starts at the base pressure.
    PumpDownCurve(double durationSeconds, quint32 seed);

    // The pressure without noise, seconds after the pumps started.
    double trend(double seconds) const;
    // The pressure as measured: the trend with a little noise from the seeded generator,
    // never above atmosphere.
    double sample(double seconds);

    double duration() const { return m_duration; }

private:
    double m_duration = 180.0;
    QRandomGenerator m_random;
};

} // namespace kelmor::sim
