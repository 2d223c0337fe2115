#pragma once

#include <QList>
#include <QString>

#include <cmath>
#include <limits>
#include <optional>

namespace kelmor {

// One reading of a rate-of-rise stretch: seconds on any steady axis, pressure in mbar.
// A line whose pressure field did not read as a number is kept, unreadable, so that a
// stretch with read errors is recognised as such instead of silently thinned out.
struct RiseSample
{
    double seconds = 0.0;
    double mbar = std::numeric_limits<double>::quiet_NaN();
    bool readable = true;
};

// The stretch the technician marked, in time order, and how many times the data stopped
// inside it (link lost, monitoring stopped, gauge unplugged) as the caller's store knows.
struct RiseStretch
{
    QList<RiseSample> samples;
    int gaps = 0;
};

struct RiseSettings
{
    double volumeLitres = std::numeric_limits<double>::quiet_NaN();
    // The allowed leak rate in mbar·l/s; none means no pass/fail verdict.
    std::optional<double> limitMbarLitre;
};

// An ordinary least-squares straight line p = intercept + slope * t.
struct LineFit
{
    int points = 0;
    double firstSeconds = 0.0;
    double lastSeconds = 0.0;
    double slope = std::numeric_limits<double>::quiet_NaN(); // mbar/s
    // Standard error of the slope from the scatter about the line (needs three points).
    double slopeError = std::numeric_limits<double>::quiet_NaN();
    double intercept = std::numeric_limits<double>::quiet_NaN(); // mbar at t = 0

    bool isValid() const { return points >= 2 && std::isfinite(slope); }
    double at(double seconds) const { return intercept + slope * seconds; }
};

// Fits the readable samples in [begin, end). Fewer than two distinct times give an
// invalid fit.
LineFit fitLine(const QList<RiseSample> &samples, qsizetype begin, qsizetype end);

// How the rise bends, from the two halves' rates.
enum class RiseShape {
    Straight,  // the halves agree: a leak rises in a straight line
    BendsOver, // the second half is clearly slower: outgassing (or a virtual leak)
    Steepens,  // the second half is clearly faster: something changed during the test
};

enum class LimitVerdict { NoLimit, Passed, Failed };

// Which input a problem belongs to, so that the window shows it next to that input.
enum class RiseInput { Stretch, Volume, Limit };

struct RiseProblem
{
    RiseInput input = RiseInput::Stretch;
    QString message; // German, for the technician
};

struct RiseResult
{
    QList<RiseProblem> problems;
    // The stretch itself was sound and the fits below hold, even if the volume or the
    // limit were not: the window may draw the lines, but shows no leak rate.
    bool stretchValid = false;

    int points = 0;
    double durationSeconds = std::numeric_limits<double>::quiet_NaN();
    double firstMbar = std::numeric_limits<double>::quiet_NaN(); // first and last reading
    double lastMbar = std::numeric_limits<double>::quiet_NaN();
    double deltaMbar = std::numeric_limits<double>::quiet_NaN();

    LineFit whole;
    LineFit firstHalf;
    LineFit secondHalf;
    RiseShape shape = RiseShape::Straight;
    // The slope is less than twice its standard error: the rise is barely above the scatter.
    bool barelyMeasurable = false;

    double volumeLitres = std::numeric_limits<double>::quiet_NaN();
    double leakRate = std::numeric_limits<double>::quiet_NaN(); // mbar·l/s
    double leakRateError = std::numeric_limits<double>::quiet_NaN();

    std::optional<double> limitMbarLitre;
    LimitVerdict verdict = LimitVerdict::NoLimit;
    double margin = std::numeric_limits<double>::quiet_NaN(); // limit - leak rate, mbar·l/s
    // The leak rate lies within two standard errors of the limit: the verdict could turn
    // with a longer stretch.
    bool verdictNarrow = false;

    bool isValid() const { return problems.isEmpty(); }
    QString messages(RiseInput input) const;
};

inline constexpr int kMinimumRisePoints = 5;
// The halves' rates differ "clearly" when the difference exceeds this many of its
// combined standard errors and is at least kMaterialShare of the first half's rate.
inline constexpr double kClearlySigmas = 3.0;
inline constexpr double kMaterialShare = 0.1;

RiseResult analyseRise(const RiseStretch &stretch, const RiseSettings &settings);

} // namespace kelmor
