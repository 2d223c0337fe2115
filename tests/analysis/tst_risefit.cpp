#include "risecurves.h"
#include "risefit.h"

#include <QTest>

#include <cmath>
#include <limits>

using namespace kelmor;
using namespace risecurves;

Q_DECLARE_METATYPE(kelmor::RiseStretch)
Q_DECLARE_METATYPE(kelmor::RiseShape)
Q_DECLARE_METATYPE(kelmor::RiseInput)
Q_DECLARE_METATYPE(kelmor::LimitVerdict)

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

RiseStretch fromPoints(std::initializer_list<std::pair<double, double>> points)
{
    RiseStretch stretch;
    for (const auto &[t, p] : points)
        stretch.samples.append({t, p, true});
    return stretch;
}

bool near(double actual, double expected, double relative)
{
    return std::abs(actual - expected) <= relative * std::abs(expected);
}

} // namespace

class TestRiseFit : public QObject
{
    Q_OBJECT

private slots:
    void handComputedFit_data();
    void handComputedFit();
    void noisyRiseWithinItsError();
    void standardErrorMatchesScatter();
    void shape_data();
    void shape();
    void badInput_data();
    void badInput();
    void badSettingsKeepTheFit();
    void limit_data();
    void limit();
};

void TestRiseFit::handComputedFit_data()
{
    QTest::addColumn<RiseStretch>("stretch");
    QTest::addColumn<double>("slope");
    QTest::addColumn<double>("slopeError");
    QTest::addColumn<double>("intercept");

    QTest::newRow("exact line") << fromPoints({{0, 1}, {1, 3}, {2, 5}, {3, 7}, {4, 9}}) << 2.0
                                << 0.0 << 1.0;
    // Means 2 and 3.4, Sxx 10, Sxy 12: slope 1.2, intercept 1.0; residuals 0, -0.2, 0.6,
    // -0.6, 0.2 give 0.8, so the error is sqrt(0.8 / 3 / 10).
    QTest::newRow("scattered") << fromPoints({{0, 1}, {1, 2}, {2, 4}, {3, 4}, {4, 6}}) << 1.2
                               << std::sqrt(0.8 / 30.0) << 1.0;
    // The same in high vacuum, seconds on an epoch axis: the sums must be centred.
    const double t0 = 1.7e9;
    QTest::newRow("epoch seconds, 1e-6 mbar")
        << fromPoints({{t0, 1e-6}, {t0 + 1, 2e-6}, {t0 + 2, 4e-6}, {t0 + 3, 4e-6}, {t0 + 4, 6e-6}})
        << 1.2e-6 << std::sqrt(0.8 / 30.0) * 1e-6 << 1e-6 - 1.2e-6 * t0;
    QTest::newRow("uneven spacing")
        << fromPoints({{0, 0.5}, {0.5, 1.5}, {3, 6.5}, {3.5, 7.5}, {10, 20.5}}) << 2.0 << 0.0
        << 0.5;
}

void TestRiseFit::handComputedFit()
{
    QFETCH(RiseStretch, stretch);
    QFETCH(double, slope);
    QFETCH(double, slopeError);
    QFETCH(double, intercept);

    const LineFit fit = fitLine(stretch.samples, 0, stretch.samples.size());
    QCOMPARE(fit.points, int(stretch.samples.size()));
    QVERIFY2(near(fit.slope, slope, 1e-6), qPrintable(QString::number(fit.slope, 'g', 12)));
    QVERIFY2(std::abs(fit.slopeError - slopeError) <= 1e-6 * std::abs(slope),
             qPrintable(QString::number(fit.slopeError, 'g', 12)));
    QVERIFY2(std::abs(fit.intercept - intercept) <=
                 1e-6 * std::abs(slope) * 10 + 1e-9 * std::abs(intercept),
             qPrintable(QString::number(fit.intercept, 'g', 12)));

    const RiseResult result = analyseRise(stretch, {2.0, {}});
    QVERIFY(result.isValid());
    QVERIFY(near(result.leakRate, 2.0 * slope, 1e-6));
    QVERIFY(std::abs(result.leakRateError - 2.0 * slopeError) <= 1e-6 * slope);
    const RiseSample &first = stretch.samples.first();
    const RiseSample &last = stretch.samples.last();
    QCOMPARE(result.deltaMbar, last.mbar - first.mbar);
    QCOMPARE(result.durationSeconds, last.seconds - first.seconds);
}

// A leak of 2e-7 mbar/s in 200 s with a scatter of 1e-6 mbar: over many seeds the fitted
// rate lies within one standard error of the true one about two times in three, and never
// far outside. A wrong error (n instead of n - 2, a missing root) or a biased slope fails.
void TestRiseFit::noisyRiseWithinItsError()
{
    const double rate = 2e-7;
    int withinOne = 0;
    const int runs = 400;
    for (int seed = 1; seed <= runs; ++seed) {
        const RiseStretch stretch = sampled(leak(1e-4, rate), 100, 2.0, 1e-6, seed);
        const RiseResult result = analyseRise(stretch, {10.0, {}});
        QVERIFY(result.isValid());
        const double deviation = std::abs(result.whole.slope - rate);
        QVERIFY2(deviation < 4.5 * result.whole.slopeError, qPrintable(QString::number(seed)));
        if (deviation <= result.whole.slopeError)
            ++withinOne;
        QVERIFY(near(result.leakRate, 10.0 * result.whole.slope, 1e-12));
    }
    const double share = double(withinOne) / runs;
    QVERIFY2(share > 0.60 && share < 0.76, qPrintable(QString::number(share)));
}

// The standard error follows the scatter: sigma / sqrt(Sxx) for evenly spaced points.
void TestRiseFit::standardErrorMatchesScatter()
{
    const int n = 1000;
    const double step = 0.5;
    const double sigma = 2e-7;
    const RiseStretch stretch = sampled(leak(5e-5, 1e-8), n, step, sigma, 7);
    const LineFit fit = fitLine(stretch.samples, 0, n);
    const double sxx = step * step * n * (double(n) * n - 1) / 12.0;
    const double expected = sigma / std::sqrt(sxx);
    QVERIFY2(near(fit.slopeError, expected, 0.1), qPrintable(QString::number(fit.slopeError)));
}

void TestRiseFit::shape_data()
{
    QTest::addColumn<RiseStretch>("stretch");
    QTest::addColumn<RiseShape>("shape");

    QTest::newRow("leak with noise")
        << sampled(leak(1e-5, 1e-7), 240, 0.5, 2e-7, 3) << RiseShape::Straight;
    QTest::newRow("leak, noise-free") << sampled(leak(1e-5, 1e-7), 50, 1.0) << RiseShape::Straight;
    // Over two time constants the second half rises at a fraction of the first's rate.
    QTest::newRow("outgassing with noise")
        << sampled(outgassing(1e-5, 5e-5, 60.0), 240, 0.5, 2e-7, 4) << RiseShape::BendsOver;
    QTest::newRow("outgassing, five points")
        << sampled(outgassing(1e-5, 5e-5, 60.0), 5, 30.0) << RiseShape::BendsOver;
    // Outgassing that had settled long before the stretch leaves the leak's straight line.
    QTest::newRow("leak after outgassing settled")
        << sampled([](double t) { return outgassing(1e-5, 5e-5, 30.0)(t) + leak(0.0, 1e-7)(t); },
                   240, 0.5, 2e-7, 5, 600.0)
        << RiseShape::Straight;
    // A slight bend, far less than a tenth of the rate, is not called outgassing however
    // many points show it.
    QTest::newRow("leak with slight bend, many points")
        << sampled([](double t) { return outgassing(1e-5, 2e-6, 2000.0)(t) + leak(0.0, 1e-7)(t); },
                   2000, 0.1)
        << RiseShape::Straight;
    QTest::newRow("rise that speeds up")
        << sampled([](double t) { return 1e-5 + 1e-9 * t * t; }, 120, 1.0, 1e-7, 6)
        << RiseShape::Steepens;
    // Pure scatter on a slow leak: the halves' errors are large, their difference is not
    // clear.
    QTest::newRow("slow leak in heavy noise")
        << sampled(leak(1e-5, 1e-9), 60, 1.0, 1e-7, 8) << RiseShape::Straight;
}

void TestRiseFit::shape()
{
    QFETCH(RiseStretch, stretch);
    QFETCH(RiseShape, shape);
    const RiseResult result = analyseRise(stretch, {1.0, {}});
    QVERIFY2(result.stretchValid, qPrintable(result.messages(RiseInput::Stretch)));
    QCOMPARE(result.shape, shape);
    QVERIFY(result.firstHalf.points >= 3);
    QVERIFY(result.secondHalf.points >= 3);
    QCOMPARE(result.firstHalf.points + result.secondHalf.points - int(stretch.samples.size() % 2),
             int(stretch.samples.size()));
}

void TestRiseFit::badInput_data()
{
    QTest::addColumn<RiseStretch>("stretch");
    QTest::addColumn<double>("volume");
    QTest::addColumn<double>("limit"); // zero means no limit in this table
    QTest::addColumn<RiseInput>("input");
    QTest::addColumn<QString>("fragment");

    const RiseStretch good = sampled(leak(1e-5, 1e-7), 20, 1.0);
    const QString few = QStringLiteral("Zu wenige Messpunkte");

    QTest::newRow("four points") << sampled(leak(1e-5, 1e-7), 4, 1.0) << 1.0 << 0.0
                                 << RiseInput::Stretch << few;
    QTest::newRow("no points") << RiseStretch{} << 1.0 << 0.0 << RiseInput::Stretch << few;

    RiseStretch gap = good;
    gap.gaps = 1;
    QTest::newRow("gap") << gap << 1.0 << 0.0 << RiseInput::Stretch << QStringLiteral("Lücke");

    RiseStretch unreadable = good;
    unreadable.samples[7].readable = false;
    QTest::newRow("unreadable field")
        << unreadable << 1.0 << 0.0 << RiseInput::Stretch << QStringLiteral("1 unlesbare");
    RiseStretch nan = good;
    nan.samples[3].mbar = kNaN;
    nan.samples[4].mbar = -1e-6;
    QTest::newRow("NaN and negative pressure")
        << nan << 1.0 << 0.0 << RiseInput::Stretch << QStringLiteral("2 unlesbare");

    QTest::newRow("falling") << sampled(leak(1e-3, -1e-6), 20, 1.0) << 1.0 << 0.0
                             << RiseInput::Stretch << QStringLiteral("Der Druck fällt");
    QTest::newRow("flat") << sampled(leak(1e-3, 0.0), 20, 1.0) << 1.0 << 0.0 << RiseInput::Stretch
                          << QStringLiteral("Der Druck fällt");
    QTest::newRow("no duration") << sampled(leak(1e-3, 0.0), 20, 0.0) << 1.0 << 0.0
                                 << RiseInput::Stretch << QStringLiteral("keine Dauer");
    RiseStretch unordered = good;
    std::swap(unordered.samples[2].seconds, unordered.samples[9].seconds);
    QTest::newRow("times out of order")
        << unordered << 1.0 << 0.0 << RiseInput::Stretch << QStringLiteral("nicht geordnet");

    const QString volume = QStringLiteral("Kammervolumen");
    QTest::newRow("volume zero") << good << 0.0 << 0.0 << RiseInput::Volume << volume;
    QTest::newRow("volume negative") << good << -5.0 << 0.0 << RiseInput::Volume << volume;
    QTest::newRow("volume NaN") << good << kNaN << 0.0 << RiseInput::Volume << volume;
    QTest::newRow("volume infinite") << good << kInf << 0.0 << RiseInput::Volume << volume;

    const QString limit = QStringLiteral("Grenzwert");
    QTest::newRow("limit negative") << good << 1.0 << -1e-6 << RiseInput::Limit << limit;
    QTest::newRow("limit NaN") << good << 1.0 << kNaN << RiseInput::Limit << limit;
    QTest::newRow("limit infinite") << good << 1.0 << kInf << RiseInput::Limit << limit;
    QTest::newRow("limit minus infinite") << good << 1.0 << -kInf << RiseInput::Limit << limit;
}

void TestRiseFit::badInput()
{
    QFETCH(RiseStretch, stretch);
    QFETCH(double, volume);
    QFETCH(double, limit);
    QFETCH(RiseInput, input);
    QFETCH(QString, fragment);

    RiseSettings settings{volume, {}};
    if (limit != 0.0)
        settings.limitMbarLitre = limit;
    const RiseResult result = analyseRise(stretch, settings);
    QVERIFY(!result.isValid());
    QVERIFY2(result.messages(input).contains(fragment), qPrintable(result.messages(input)));
    // Nothing that could be read as a result.
    QVERIFY(std::isnan(result.leakRate));
    QVERIFY(std::isnan(result.leakRateError));
    QCOMPARE(result.verdict, LimitVerdict::NoLimit);
}

void TestRiseFit::badSettingsKeepTheFit()
{
    const RiseStretch stretch = sampled(leak(1e-5, 1e-7), 20, 1.0);
    const RiseResult result = analyseRise(stretch, {kNaN, 0.0});
    QVERIFY(!result.isValid());
    QVERIFY(result.stretchValid);
    QVERIFY(near(result.whole.slope, 1e-7, 1e-9));
    QVERIFY(!result.messages(RiseInput::Volume).isEmpty());
    QVERIFY(!result.messages(RiseInput::Limit).isEmpty());
    QVERIFY(result.messages(RiseInput::Stretch).isEmpty());

    // Exactly five points are enough.
    QVERIFY(analyseRise(sampled(leak(1e-5, 1e-7), 5, 1.0), {1.0, {}}).isValid());
}

void TestRiseFit::limit_data()
{
    QTest::addColumn<double>("noise");
    QTest::addColumn<double>("limit");
    QTest::addColumn<LimitVerdict>("verdict");
    QTest::addColumn<bool>("narrow");

    // 10 l at 2e-6 mbar/s: 2e-5 mbar·l/s.
    QTest::newRow("well below") << 0.0 << 3e-5 << LimitVerdict::Passed << false;
    QTest::newRow("well above") << 0.0 << 1e-5 << LimitVerdict::Failed << false;
    QTest::newRow("just below, noise-free") << 0.0 << 2.0001e-5 << LimitVerdict::Passed << false;
    QTest::newRow("within noise above") << 1e-5 << 1.98e-5 << LimitVerdict::Failed << true;
    QTest::newRow("within noise below") << 1e-5 << 2.02e-5 << LimitVerdict::Passed << true;
}

void TestRiseFit::limit()
{
    QFETCH(double, noise);
    QFETCH(double, limit);
    QFETCH(LimitVerdict, verdict);
    QFETCH(bool, narrow);

    RiseStretch stretch = sampled(leak(1e-4, 2e-6), 32, 1.0);
    if (noise > 0.0) {
        // Scatter that leaves the fitted line where it is: the pattern + - - + sums to
        // zero, and so does its product with the time over each group of four.
        for (qsizetype i = 0; i < stretch.samples.size(); ++i)
            stretch.samples[i].mbar += (i % 4 == 0 || i % 4 == 3 ? noise : -noise);
    }
    const RiseResult result = analyseRise(stretch, {10.0, limit});
    QVERIFY(result.isValid());
    QCOMPARE(result.verdict, verdict);
    QCOMPARE(result.verdictNarrow, narrow);
    QVERIFY(std::abs(result.margin - (limit - result.leakRate)) <= 1e-18);
    QVERIFY(near(result.leakRate, 2e-5, 1e-9));
}

QTEST_APPLESS_MAIN(TestRiseFit)
#include "tst_risefit.moc"
