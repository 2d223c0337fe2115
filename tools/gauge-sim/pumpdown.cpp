#include "pumpdown.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace kelmor::sim {

double RateOfRise::riseAfter(double seconds) const
{
    if (!(seconds > 0.0))
        return 0.0;
    double rise = leakMbarPerSecond * seconds;
    if (outgasMbar > 0.0 && outgasSeconds > 0.0)
        rise += outgasMbar * -std::expm1(-seconds / outgasSeconds);
    return rise;
}

std::optional<RateOfRise> parseRateOfRise(const QString &rise, const QString &outgas,
                                          QString *error)
{
    RateOfRise result;
    bool ok = true;
    if (!rise.isEmpty()) {
        result.leakMbarPerSecond = rise.toDouble(&ok);
        if (!ok || !std::isfinite(result.leakMbarPerSecond) || result.leakMbarPerSecond < 0.0) {
            *error = QStringLiteral("--rise wants mbar per second, 0 or more (e.g. 1e-5)");
            return std::nullopt;
        }
    }
    if (!outgas.isEmpty()) {
        const QStringList parts = outgas.split(QLatin1Char(','));
        bool amountOk = false;
        bool tauOk = false;
        if (parts.size() == 2) {
            result.outgasMbar = parts[0].toDouble(&amountOk);
            result.outgasSeconds = parts[1].toDouble(&tauOk);
        }
        if (!amountOk || !tauOk || !std::isfinite(result.outgasMbar) || result.outgasMbar < 0.0 ||
            !std::isfinite(result.outgasSeconds) || !(result.outgasSeconds > 0.0)) {
            *error = QStringLiteral("--outgas wants MBAR,SECONDS: the most the walls add, 0 or "
                                    "more, and a time constant above 0 (e.g. 2e-4,20)");
            return std::nullopt;
        }
    }
    return result;
}

PumpDownCurve::PumpDownCurve(double durationSeconds, quint32 seed, RateOfRise rise)
    : m_duration(durationSeconds), m_rise(rise), m_random(seed)
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
    const double pumped = std::pow(10.0, decade);
    if (!m_rise.isClosedOff())
        return pumped;
    const double closedFor = seconds - std::max(m_duration, 0.0);
    return std::min(pumped + m_rise.riseAfter(closedFor), kAtmosphereMbar);
}

double PumpDownCurve::sample(double seconds)
{
    const double r = m_random.generateDouble() * 2.0 - 1.0;
    return std::min(trend(seconds) * (1.0 + kNoise * r), kAtmosphereMbar);
}

} // namespace kelmor::sim
