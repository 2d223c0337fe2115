#include "trendstore.h"
#include "trendstretch.h"

#include <QTest>

#include <cmath>

using namespace kelmor;

Q_DECLARE_METATYPE(kelmor::UnitOfPressure)

namespace {

// Ten samples a second apart from time 1000 on, rising by 1e-6 per second; the sample at
// `gapAt` starts a new stretch, `unreadableAt` has no pressure.
std::unique_ptr<TrendStore> store(TrendStore::Axis axis, int gapAt = -1, int unreadableAt = -1)
{
    auto s = std::make_unique<TrendStore>(1024, axis);
    s->setGapThreshold(0);
    const qint64 step = axis == TrendStore::Axis::WallClock ? 1000 : 1;
    for (int i = 0; i < 10; ++i) {
        if (i == gapAt)
            s->markGap();
        const double p = i == unreadableAt ? std::nan("") : 1e-5 + 1e-6 * i;
        s->appendSample(1000 + i * step, p, 0, "x");
    }
    return s;
}

} // namespace

class TestTrendStretch : public QObject
{
    Q_OBJECT

private slots:
    void stretch_data();
    void stretch();
    void silentLinkIsAGap();
};

void TestTrendStretch::stretch_data()
{
    QTest::addColumn<bool>("lineNumbers");
    QTest::addColumn<qint64>("from");
    QTest::addColumn<qint64>("to");
    QTest::addColumn<int>("gapAt");
    QTest::addColumn<int>("unreadableAt");
    QTest::addColumn<UnitOfPressure>("unit");
    QTest::addColumn<int>("points");
    QTest::addColumn<int>("gaps");
    QTest::addColumn<double>("slope"); // mbar per second (per line for line numbers)

    QTest::newRow("all, wall clock") << false << qint64(0) << qint64(99999) << -1 << -1
                                     << UnitOfPressure::Mbar << 10 << 0 << 1e-6;
    QTest::newRow("inner, reversed") << false << qint64(7000) << qint64(2000) << -1 << -1
                                     << UnitOfPressure::Mbar << 6 << 0 << 1e-6;
    QTest::newRow("gap inside") << false << qint64(0) << qint64(99999) << 5 << -1
                                << UnitOfPressure::Mbar << 10 << 1 << 1e-6;
    // The first sample after a gap may start a stretch.
    QTest::newRow("gap at its start") << false << qint64(6000) << qint64(99999) << 5 << -1
                                      << UnitOfPressure::Mbar << 5 << 0 << 1e-6;
    QTest::newRow("unreadable") << false << qint64(0) << qint64(99999) << -1 << 4
                                << UnitOfPressure::Mbar << 10 << 0 << 1e-6;
    QTest::newRow("line numbers") << true << qint64(1000) << qint64(1009) << -1 << -1
                                  << UnitOfPressure::Mbar << 10 << 0 << 1e-6;
    QTest::newRow("gauge in Pa") << false << qint64(0) << qint64(99999) << -1 << -1
                                 << UnitOfPressure::Pa << 10 << 0 << 1e-8;
    QTest::newRow("nothing there") << false << qint64(50000) << qint64(60000) << -1 << -1
                                   << UnitOfPressure::Mbar << 0 << 0 << 0.0;
}

void TestTrendStretch::stretch()
{
    QFETCH(bool, lineNumbers);
    QFETCH(qint64, from);
    QFETCH(qint64, to);
    QFETCH(int, gapAt);
    QFETCH(int, unreadableAt);
    QFETCH(UnitOfPressure, unit);
    QFETCH(int, points);
    QFETCH(int, gaps);
    QFETCH(double, slope);

    const auto s = store(lineNumbers ? TrendStore::Axis::LineNumber : TrendStore::Axis::WallClock,
                         gapAt, unreadableAt);
    const TrendStretch t = trendStretch(*s, from, to, unit);
    QCOMPARE(int(t.rise.samples.size()), points);
    QCOMPARE(t.rise.gaps, gaps);
    QCOMPARE(t.secondsPerTime, lineNumbers ? 1.0 : 0.001);
    if (points == 0)
        return;
    QCOMPARE(t.origin, s->at(s->lowerBound(std::min(from, to))).time);
    QCOMPARE(t.rise.samples.first().seconds, 0.0);
    for (qsizetype i = 0; i < t.rise.samples.size(); ++i) {
        const bool readable = t.rise.samples[i].readable;
        QCOMPARE(readable, !std::isnan(t.rise.samples[i].mbar));
    }
    if (unreadableAt >= 0)
        QVERIFY(!t.rise.samples[unreadableAt].readable);
    else {
        const LineFit fit = fitLine(t.rise.samples, 0, t.rise.samples.size());
        // Stored as float: seven digits.
        QVERIFY2(std::abs(fit.slope - slope) < 1e-5 * slope,
                 qPrintable(QString::number(fit.slope)));
    }
}

void TestTrendStretch::silentLinkIsAGap()
{
    TrendStore s(1024, TrendStore::Axis::WallClock);
    s.setGapThreshold(0);
    for (int i = 0; i < 10; ++i) {
        if (i == 5) {
            s.setLinkState(LinkState::Silent, 1000 + 4500);
            s.setLinkState(LinkState::Ok, 1000 + 4900);
        }
        s.appendSample(1000 + i * 1000, 1e-5 + 1e-6 * i, 0, "x");
    }
    QCOMPARE(trendStretch(s, 0, 99999, UnitOfPressure::Mbar).rise.gaps, 1);
    // Before the silence, the stretch is whole.
    QCOMPARE(trendStretch(s, 0, 5000, UnitOfPressure::Mbar).rise.gaps, 0);
}

QTEST_APPLESS_MAIN(TestTrendStretch)
#include "tst_trendstretch.moc"
