#include "gaugestream.h"

#include "pumpdown.h"
#include "simstatus.h"

#include <cmath>
#include <numbers>

namespace kelmor::bench {

namespace {

// splitmix64: a well-mixed value for each line number, so the noise needs no state.
std::uint64_t mixed(std::uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

} // namespace

double gaugePressure(std::uint32_t i)
{
    // Around 2E-04 mbar, drifting by a third over about a minute at the line rate.
    constexpr double kMeanMbar = 2e-4;
    constexpr double kDriftPeriodLines = 4000.0;
    const double trend =
        kMeanMbar * (1.0 + 0.33 * std::sin(2.0 * std::numbers::pi * i / kDriftPeriodLines));
    // Uniform in +-kNoise, as the simulator's own pressure.
    const double unit = double(mixed(i) >> 11) / double(1ull << 53);
    return trend * (1.0 + sim::PumpDownCurve::kNoise * (2.0 * unit - 1.0));
}

std::string gaugeLine(std::uint32_t i, sim::LineEnd end)
{
    const double pressure = gaugePressure(i);
    // The simulator's own gauge in its start-up state reports for this pressure.
    sim::StatusModel model;
    sim::GaugeReport report = model.nextLine(pressure);
    report.status =
        quint16((report.status & ~sim::bits::kLife) | ((i & 1u) ? 0 : sim::bits::kLife));
    const QByteArray line = sim::buildMeasurementLine(kFirstNumber + i, pressure, report,
                                                      sim::StatusModel::kInitialControlWord, end);
    return line.toStdString();
}

std::string gaugeRecord(std::uint32_t i)
{
    std::string line = gaugeLine(i);
    line.pop_back();
    return line;
}

std::string gaugeLines(std::uint32_t first, std::uint32_t count, sim::LineEnd end)
{
    std::string out;
    out.reserve(std::size_t(count) * (kLineBytes + 1));
    for (std::uint32_t i = first; i < first + count; ++i)
        out += gaugeLine(i, end);
    return out;
}

} // namespace kelmor::bench
