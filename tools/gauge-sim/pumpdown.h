#pragma once

#include <QRandomGenerator>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace kelmor::sim {

// What happens once the vessel is closed off from the pump at the end of the pump-down: a
// leak lets the pressure rise in a straight line, and gas coming off the walls adds a rise
// that bends over towards an equilibrium.
struct RateOfRise
{
    double leakMbarPerSecond = 0.0;
    double outgasMbar = 0.0;    // what the walls add at most
    double outgasSeconds = 0.0; // time constant of that approach

    bool isClosedOff() const { return leakMbarPerSecond > 0.0 || outgasMbar > 0.0; }
    // The rise above the pressure the pump had reached, seconds after closing off.
    double riseAfter(double seconds) const;
};

// Reads the command line's "--rise MBAR_PER_S" and "--outgas MBAR,SECONDS" (either may be
// empty: not given). Nothing, with a message for the user in error, for values that are
// not finite, negative, or a zero time constant.
std::optional<RateOfRise> parseRateOfRise(const QString &rise, const QString &outgas,
                                          QString *error);

// A vessel pumped down from atmosphere: the roughing pump takes it to the IG range in
// the first quarter of the time, then the high-vacuum pump slows down towards the base
// pressure, which it reaches at the end and keeps, unless a rate of rise closes it off
// from the pump there.
class PumpDownCurve
{
public:
    static constexpr double kAtmosphereMbar = 1000.0;
    static constexpr double kBaseMbar = 1e-7;
    static constexpr double kRoughingShare = 0.25;
    static constexpr double kRoughingEndMbar = 1e-2;
    static constexpr double kNoise = 0.03; // relative, uniform in +-kNoise

    // A duration of zero or less starts at the base pressure.
    PumpDownCurve(double durationSeconds, quint32 seed, RateOfRise rise = {});

    // The pressure without noise, seconds after the pumps started.
    double trend(double seconds) const;
    // The pressure as measured: the trend with a little noise from the seeded generator,
    // never above atmosphere.
    double sample(double seconds);

    double duration() const { return m_duration; }
    const RateOfRise &rateOfRise() const { return m_rise; }

private:
    double m_duration = 180.0;
    RateOfRise m_rise;
    QRandomGenerator m_random;
};

} // namespace kelmor::sim
