#include "receivedline.h"
#include "trendstore.h"

#include <QPoint>
#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

#include <algorithm>
#include <cmath>
#include <limits>

using namespace kelmor;

namespace {

constexpr qint64 kT0 = 1'796'000'000'000; // a wall-clock time in December 2026, in ms
const double kNaN = std::numeric_limits<double>::quiet_NaN();

ReceivedLine measurement(qint64 ms, double mbar, quint16 status, const QString &text = {})
{
    ReceivedLine line;
    line.raw = "PR=" + text.toLatin1();
    line.pressureText = text;
    line.pressureMbar = mbar;
    line.status = status;
    line.isMeasurement = true;
    line.wallClock = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
    return line;
}

ReceivedLine answer(qint64 ms, const QByteArray &raw)
{
    ReceivedLine line;
    line.raw = raw;
    line.wallClock = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
    return line;
}

// Steps of a feeding sequence: 'm' a measurement at the given offset, 'g' markGap(),
// 'a' an answer line at the given offset.
struct Step
{
    char kind;
    qint64 offsetMs;
};

using Steps = QList<Step>;

// A straightforward model of decimate(), to check the store against.
std::vector<TrendColumn> naiveDecimate(const std::vector<TrendSample> &samples, qint64 from,
                                       qint64 to, int columns)
{
    std::vector<TrendColumn> result;
    result.resize(size_t(columns));
    for (const TrendSample &s : samples) {
        if (s.time < from || s.time >= to)
            continue;
        const int c = int((s.time - from) * columns / (to - from));
        TrendColumn &col = result[size_t(c)];
        if (col.count == 0) {
            col.gapBefore = s.gapBefore();
            col.first = s.pressure;
            col.firstTime = s.time;
            col.statusAll = 0xFFFF;
        } else if (s.gapBefore()) {
            col.gapInside = true;
        }
        ++col.count;
        col.last = s.pressure;
        col.lastTime = s.time;
        col.statusAny |= s.status;
        col.statusAll &= s.status;
        if (s.hasPressure()) {
            col.min = col.readable ? std::min(col.min, s.pressure) : s.pressure;
            col.max = col.readable ? std::max(col.max, s.pressure) : s.pressure;
            ++col.readable;
        }
    }
    return result;
}

bool sameFloat(float a, float b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

// Fills a store with a pump-down that has gaps, unreadable pressures and a clock that
// goes back once, and keeps a copy of what the store should hold.
std::vector<TrendSample> fillRandom(TrendStore &store, qsizetype count, quint32 seed)
{
    QRandomGenerator random(seed);
    std::vector<TrendSample> all;
    qint64 ms = kT0;
    for (qsizetype i = 0; i < count; ++i) {
        ms += random.bounded(40);
        if (random.bounded(500) == 0)
            ms += 5000; // a stretch without lines
        if (random.bounded(700) == 0)
            store.markGap();
        const qint64 wall = random.bounded(900) == 0 ? ms - 3000 : ms; // clock set back
        const double mbar = random.bounded(50) == 0 ? kNaN : 1000.0 * std::exp(-double(i) / 2000.0);
        store.append(measurement(wall, mbar, quint16(random.bounded(65536)), "1.00E-03"));
    }
    for (qsizetype i = 0; i < store.size(); ++i)
        all.push_back(store.at(i));
    return all;
}

} // namespace

Q_DECLARE_METATYPE(Steps)

class TestTrendStore : public QObject
{
    Q_OBJECT

private slots:
    void timesAndGaps_data();
    void timesAndGaps();

    void steadyClockBetweenReadings_data();
    void steadyClockBetweenReadings();

    void sampleFields_data();
    void sampleFields();

    void ringDropsOldest_data();
    void ringDropsOldest();
    void wrappedStoreDropsOldMarkersAndIntervals();

    void rangeMatchesLinearSearch_data();
    void rangeMatchesLinearSearch();

    void decimateMatchesModel_data();
    void decimateMatchesModel();
    void decimateColumnsKeepGapsApart();

    void linkIntervals_data();
    void linkIntervals();

    void markersKeepAnswersBounded();
    void clearStartsAfresh();
};

void TestTrendStore::timesAndGaps_data()
{
    QTest::addColumn<Steps>("steps");
    QTest::addColumn<qint64>("threshold");
    QTest::addColumn<QList<qint64>>("times");   // offsets of the stored samples
    QTest::addColumn<QList<bool>>("gapBefore"); // per stored sample

    QTest::newRow("steady stream, only the first starts a stretch")
        << Steps{{'m', 0}, {'m', 16}, {'m', 32}, {'m', 48}} << qint64(2000)
        << QList<qint64>{0, 16, 32, 48} << QList<bool>{true, false, false, false};
    QTest::newRow("a pause longer than the threshold is a gap")
        << Steps{{'m', 0}, {'m', 16}, {'m', 2017}, {'m', 2033}} << qint64(2000)
        << QList<qint64>{0, 16, 2017, 2033} << QList<bool>{true, false, true, false};
    QTest::newRow("a pause of exactly the threshold is not")
        << Steps{{'m', 0}, {'m', 2000}} << qint64(2000) << QList<qint64>{0, 2000}
        << QList<bool>{true, false};
    QTest::newRow("an answer in a pause does not bridge it")
        << Steps{{'m', 0}, {'a', 1500}, {'m', 3000}} << qint64(2000) << QList<qint64>{0, 3000}
        << QList<bool>{true, true};
    QTest::newRow("marked gap") << Steps{{'m', 0}, {'m', 16}, {'g', 0}, {'m', 32}, {'m', 48}}
                                << qint64(2000) << QList<qint64>{0, 16, 32, 48}
                                << QList<bool>{true, false, true, false};
    QTest::newRow("two marks before one sample make one gap")
        << Steps{{'m', 0}, {'g', 0}, {'g', 0}, {'m', 16}, {'m', 32}} << qint64(2000)
        << QList<qint64>{0, 16, 32} << QList<bool>{true, true, false};
    QTest::newRow("clock set back: the axis waits for it")
        << Steps{{'m', 1000}, {'m', 1016}, {'m', 500}, {'m', 516}, {'m', 1030}} << qint64(2000)
        << QList<qint64>{1000, 1016, 1016, 1016, 1030}
        << QList<bool>{true, false, false, false, false};
    QTest::newRow("answer ahead of the samples holds them back too")
        << Steps{{'m', 0}, {'a', 100}, {'m', 50}} << qint64(2000) << QList<qint64>{0, 100}
        << QList<bool>{true, false};
    QTest::newRow("threshold off: only marks split")
        << Steps{{'m', 0}, {'m', 100000}, {'g', 0}, {'m', 100001}} << qint64(0)
        << QList<qint64>{0, 100000, 100001} << QList<bool>{true, false, true};
}

void TestTrendStore::timesAndGaps()
{
    QFETCH(Steps, steps);
    QFETCH(qint64, threshold);
    QFETCH(QList<qint64>, times);
    QFETCH(QList<bool>, gapBefore);

    TrendStore store;
    store.setGapThreshold(threshold);
    for (const Step &step : steps) {
        if (step.kind == 'm')
            store.append(measurement(kT0 + step.offsetMs, 1e-3, 0x8000, "1.00E-03"));
        else if (step.kind == 'a')
            store.append(answer(kT0 + step.offsetMs, "RV 1.02"));
        else
            store.markGap();
    }
    QCOMPARE(store.size(), times.size());
    for (qsizetype i = 0; i < store.size(); ++i) {
        QCOMPARE(store.at(i).time - kT0, times.at(i));
        QCOMPARE(store.at(i).gapBefore(), gapBefore.at(i));
    }
}

void TestTrendStore::steadyClockBetweenReadings_data()
{
    // Lines as (wall-clock offset ms, steady clock ms); 0 on the steady clock: not set.
    QTest::addColumn<QList<QPoint>>("lines");
    QTest::addColumn<QList<qint64>>("times");

    QTest::newRow("wall clock read once, steady clock in between")
        << QList<QPoint>{{0, 500}, {0, 516}, {0, 532}, {0, 1499}} << QList<qint64>{0, 16, 32, 999};
    QTest::newRow("read again after a second")
        << QList<QPoint>{{0, 500}, {900, 1400}, {1777, 1500}, {1777, 1516}}
        << QList<qint64>{0, 900, 1777, 1793};
    QTest::newRow("clock stepped forward shows within a second")
        << QList<QPoint>{{0, 500}, {60000, 1000}, {60000, 1500}, {60016, 1516}}
        << QList<qint64>{0, 500, 60000, 60016};
    QTest::newRow("steady clock going back reads the wall clock")
        << QList<QPoint>{{0, 5000}, {40, 4000}, {56, 4016}} << QList<qint64>{0, 40, 56};
    QTest::newRow("no steady clock: every line's wall clock")
        << QList<QPoint>{{0, 0}, {16, 0}, {5, 0}, {40, 0}} << QList<qint64>{0, 16, 16, 40};
}

void TestTrendStore::steadyClockBetweenReadings()
{
    QFETCH(QList<QPoint>, lines);
    QFETCH(QList<qint64>, times);

    TrendStore store;
    for (const QPoint &p : lines) {
        ReceivedLine line = measurement(kT0 + p.x(), 1e-3, 0x8000);
        line.monotonicNs = qint64(p.y()) * 1'000'000;
        store.append(line);
    }
    QCOMPARE(store.size(), times.size());
    for (qsizetype i = 0; i < times.size(); ++i)
        QCOMPARE(store.at(i).time - kT0, times.at(i));
}

void TestTrendStore::sampleFields_data()
{
    QTest::addColumn<double>("mbar");
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint16>("status");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QByteArray>("storedText");
    QTest::addColumn<bool>("cut");

    QTest::newRow("gauge reading")
        << 1.23e-5 << "1.23E-05" << quint16(0x8409) << true << QByteArray("1.23E-05") << false;
    QTest::newRow("unreadable field")
        << kNaN << "  OFF " << quint16(0x0002) << false << QByteArray("  OFF ") << false;
    QTest::newRow("infinite counts as unreadable")
        << std::numeric_limits<double>::infinity() << "9E999999" << quint16(0) << false
        << QByteArray("9E999999") << false;
    QTest::newRow("empty text") << kNaN << "" << quint16(0xFFFF) << false << QByteArray() << false;
    QTest::newRow("longer text is cut to eight")
        << 1000.0 << "1.00E+03 mbar" << quint16(0x0003) << true << QByteArray("1.00E+03") << true;
    QTest::newRow("Latin-1 kept byte for byte")
        << kNaN << QString::fromLatin1("\xb5\xe4\x09") << quint16(1) << false
        << QByteArray("\xb5\xe4\x09") << false;
}

void TestTrendStore::sampleFields()
{
    QFETCH(double, mbar);
    QFETCH(QString, text);
    QFETCH(quint16, status);
    QFETCH(bool, readable);
    QFETCH(QByteArray, storedText);
    QFETCH(bool, cut);

    TrendStore store;
    store.append(measurement(kT0, mbar, status, text));
    QCOMPARE(store.size(), 1);
    const TrendSample &s = store.first();
    QCOMPARE(s.hasPressure(), readable);
    if (readable)
        QCOMPARE(s.pressure, float(mbar));
    QCOMPARE(s.status, status);
    QCOMPARE(s.pressureText().toByteArray(), storedText);
    QCOMPARE(bool(s.flags & TrendSample::TextCut), cut);
    QVERIFY(store.markers().empty());
}

void TestTrendStore::ringDropsOldest_data()
{
    QTest::addColumn<qsizetype>("extra"); // lines beyond the capacity

    QTest::newRow("exactly full") << qsizetype(0);
    QTest::newRow("one over") << qsizetype(1);
    QTest::newRow("almost once round") << qsizetype(65535);
    QTest::newRow("once round") << qsizetype(65536);
    QTest::newRow("twice round and a bit") << qsizetype(2 * 65536 + 7);
}

void TestTrendStore::ringDropsOldest()
{
    QFETCH(qsizetype, extra);

    TrendStore store(65536);
    QCOMPARE(store.capacity(), 65536);
    const qsizetype total = store.capacity() + extra;
    for (qsizetype i = 0; i < total; ++i)
        store.appendSample(i, double(i), quint16(i), QByteArray::number(i % 1000));

    QCOMPARE(store.size(), store.capacity());
    QCOMPARE(store.dropped(), extra);
    for (const qsizetype i : {qsizetype(0), qsizetype(1), store.size() / 2, store.size() - 1}) {
        const qint64 n = extra + i;
        QCOMPARE(store.at(i).time, n);
        QCOMPARE(store.at(i).pressure, float(n));
        QCOMPARE(store.at(i).status, quint16(n));
        QCOMPARE(store.at(i).pressureText().toByteArray(), QByteArray::number(n % 1000));
    }
    for (qsizetype i = 1; i < store.size(); ++i)
        QVERIFY(store.at(i).time == store.at(i - 1).time + 1);
    // Whatever came before the oldest kept sample is gone: nothing connects to it.
    QVERIFY(store.first().gapBefore());
    QCOMPARE(store.lowerBound(extra), 0);
    QCOMPARE(store.lowerBound(total - 1), store.size() - 1);
}

void TestTrendStore::wrappedStoreDropsOldMarkersAndIntervals()
{
    TrendStore store(65536);
    store.appendMarker(5, "RV 1.02");
    store.setLinkState(LinkState::Silent, 6);
    store.setLinkState(LinkState::Ok, 7);
    store.appendSample(7, 1.0, 0, "1");
    store.appendMarker(40000, "RV 1.03");
    for (qint64 t = 8; t < 65536 + 100; ++t)
        store.appendSample(t, 1.0, 0, "1");
    QCOMPARE(store.markers().size(), size_t(1));
    QCOMPARE(store.markers().front().text, QByteArray("RV 1.03"));
    QVERIFY(store.intervals().empty());
}

void TestTrendStore::rangeMatchesLinearSearch_data()
{
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<quint32>("seed");

    QTest::newRow("empty") << qsizetype(0) << 1u;
    QTest::newRow("one sample") << qsizetype(1) << 2u;
    QTest::newRow("a few") << qsizetype(37) << 3u;
    QTest::newRow("spans blocks") << qsizetype(150000) << 4u;
    QTest::newRow("wrapped ring") << qsizetype(200000) << 5u;
}

void TestTrendStore::rangeMatchesLinearSearch()
{
    QFETCH(qsizetype, count);
    QFETCH(quint32, seed);

    TrendStore store(131072);
    const std::vector<TrendSample> all = fillRandom(store, count, seed);
    QVERIFY(std::is_sorted(all.begin(), all.end(), [](const TrendSample &a, const TrendSample &b) {
        return a.time < b.time;
    }));

    QRandomGenerator random(seed * 7);
    const qint64 first = all.empty() ? kT0 : all.front().time;
    const qint64 last = all.empty() ? kT0 : all.back().time;
    for (int k = 0; k < 200; ++k) {
        qint64 from = first - 100 + qint64(random.bounded(double(last - first + 200)));
        qint64 to = from + qint64(random.bounded(double(last - first + 1)));
        if (k % 10 == 0 && !all.empty()) // exactly on a sample's time, which may repeat
            from = to = all[size_t(random.bounded(int(all.size())))].time;
        const auto linearLower = [&](qint64 t) {
            return qsizetype(std::count_if(all.begin(), all.end(),
                                           [t](const TrendSample &s) { return s.time < t; }));
        };
        const auto linearUpper = [&](qint64 t) {
            return qsizetype(std::count_if(all.begin(), all.end(),
                                           [t](const TrendSample &s) { return s.time <= t; }));
        };
        QCOMPARE(store.lowerBound(from), linearLower(from));
        QCOMPARE(store.upperBound(to), linearUpper(to));
        const TrendRange r = store.range(from, to);
        QCOMPARE(r.begin, linearLower(from));
        QCOMPARE(r.end, linearUpper(to));
    }
    QVERIFY(store.range(last, first - 1).isEmpty());
}

void TestTrendStore::decimateMatchesModel_data()
{
    QTest::addColumn<qsizetype>("count");
    QTest::addColumn<int>("columns");
    QTest::addColumn<qint64>("fromOffset"); // from the first sample's time
    QTest::addColumn<qint64>("span");       // 0: up to just behind the last sample

    QTest::newRow("everything in 800 columns")
        << qsizetype(100000) << 800 << qint64(0) << qint64(0);
    QTest::newRow("wrapped ring, one column") << qsizetype(150000) << 1 << qint64(0) << qint64(0);
    QTest::newRow("zoomed in: more columns than samples")
        << qsizetype(100000) << 3000 << qint64(60000) << qint64(1000);
    QTest::newRow("range before the data")
        << qsizetype(1000) << 100 << qint64(-100000) << qint64(50000);
    QTest::newRow("range beyond the data")
        << qsizetype(1000) << 100 << qint64(10'000'000) << qint64(50000);
    QTest::newRow("odd width") << qsizetype(20000) << 997 << qint64(12345) << qint64(300007);
}

void TestTrendStore::decimateMatchesModel()
{
    QFETCH(qsizetype, count);
    QFETCH(int, columns);
    QFETCH(qint64, fromOffset);
    QFETCH(qint64, span);

    TrendStore store(131072);
    const std::vector<TrendSample> all = fillRandom(store, count, quint32(count + columns));
    const qint64 from = all.front().time + fromOffset;
    const qint64 to = span > 0 ? from + span : all.back().time + 1;

    const std::vector<TrendColumn> got = store.decimate(from, to, columns);
    const std::vector<TrendColumn> want = naiveDecimate(all, from, to, columns);
    QCOMPARE(got.size(), want.size());
    qsizetype total = 0;
    for (size_t c = 0; c < got.size(); ++c) {
        const TrendColumn &g = got[c];
        const TrendColumn &w = want[c];
        const QByteArray where = "column " + QByteArray::number(qulonglong(c));
        QVERIFY2(g.count == w.count, where);
        total += g.count;
        if (w.count == 0)
            continue;
        QVERIFY2(g.readable == w.readable, where);
        QVERIFY2(sameFloat(g.min, w.min) && sameFloat(g.max, w.max), where);
        QVERIFY2(sameFloat(g.first, w.first) && sameFloat(g.last, w.last), where);
        QVERIFY2(g.firstTime == w.firstTime && g.lastTime == w.lastTime, where);
        QVERIFY2(g.statusAny == w.statusAny && g.statusAll == w.statusAll, where);
        QVERIFY2(g.gapBefore == w.gapBefore && g.gapInside == w.gapInside, where);
    }
    QCOMPARE(total, store.lowerBound(to) - store.lowerBound(from));
}

void TestTrendStore::decimateColumnsKeepGapsApart()
{
    TrendStore store;
    // Two stretches 10 s apart, each 1 s long at 63 lines a second.
    for (int i = 0; i < 63; ++i)
        store.append(measurement(kT0 + i * 16, 1e-3, 0x8000));
    for (int i = 0; i < 63; ++i)
        store.append(measurement(kT0 + 11000 + i * 16, 1e-5, 0x0040));
    const std::vector<TrendColumn> columns = store.decimate(kT0, kT0 + 12000, 12);
    QCOMPARE(columns[0].count, 63);
    QVERIFY(columns[0].gapBefore);
    for (int c = 1; c < 11; ++c)
        QCOMPARE(columns[size_t(c)].count, 0);
    QCOMPARE(columns[11].count, 63);
    QVERIFY(columns[11].gapBefore);
    QCOMPARE(columns[11].statusAny, quint16(0x0040));
    QCOMPARE(columns[0].statusAll, quint16(0x8000));

    // A view over all of time still puts every sample somewhere, in order.
    constexpr qint64 kMin = std::numeric_limits<qint64>::min();
    constexpr qint64 kMax = std::numeric_limits<qint64>::max();
    const std::vector<TrendColumn> all = store.decimate(kMin, kMax, 4);
    QCOMPARE(all.size(), size_t(4));
    QCOMPARE(all[0].count + all[1].count + all[3].count, 0);
    QCOMPARE(all[2].count, 126);
    QVERIFY(all[2].gapInside);
}

void TestTrendStore::linkIntervals_data()
{
    QTest::addColumn<QList<int>>("states");   // LinkState values, one per second
    QTest::addColumn<QList<int>>("expected"); // per interval: state, from, to, ongoing

    using S = LinkState;
    QTest::newRow("nothing wrong")
        << QList<int>{int(S::Idle), int(S::Ok), int(S::Ok)} << QList<int>{};
    QTest::newRow("silent, then lines again")
        << QList<int>{int(S::Ok), int(S::Silent), int(S::Silent), int(S::Ok)}
        << QList<int>{int(S::Silent), 1, 3, 0};
    QTest::newRow("stuck still going") << QList<int>{int(S::Ok), int(S::Ok), int(S::LifeBitStuck)}
                                       << QList<int>{int(S::LifeBitStuck), 2, 2, 1};
    QTest::newRow("stuck turns silent: two stretches")
        << QList<int>{int(S::LifeBitStuck), int(S::Silent), int(S::Idle)}
        << QList<int>{int(S::LifeBitStuck), 0, 1, 0, int(S::Silent), 1, 2, 0};
    QTest::newRow("port closed while silent ends it")
        << QList<int>{int(S::Silent), int(S::Idle), int(S::Idle), int(S::Silent)}
        << QList<int>{int(S::Silent), 0, 1, 0, int(S::Silent), 3, 3, 1};
}

void TestTrendStore::linkIntervals()
{
    QFETCH(QList<int>, states);
    QFETCH(QList<int>, expected);

    TrendStore store;
    for (qsizetype i = 0; i < states.size(); ++i)
        store.setLinkState(LinkState(states.at(i)), kT0 + i * 1000);
    QCOMPARE(qsizetype(store.intervals().size()), expected.size() / 4);
    for (size_t k = 0; k < store.intervals().size(); ++k) {
        const TrendInterval &interval = store.intervals()[k];
        QCOMPARE(int(interval.state), expected.at(qsizetype(4 * k)));
        QCOMPARE(interval.from, kT0 + 1000 * expected.at(qsizetype(4 * k + 1)));
        QCOMPARE(interval.to, kT0 + 1000 * expected.at(qsizetype(4 * k + 2)));
        QCOMPARE(interval.ongoing, bool(expected.at(qsizetype(4 * k + 3))));
    }
}

void TestTrendStore::markersKeepAnswersBounded()
{
    TrendStore store;
    store.append(answer(kT0, "RV 1.02"));
    store.append(answer(kT0 + 5, QByteArray(500, 'x')));
    for (qsizetype i = 0; i < TrendStore::kMarkerCapacity; ++i)
        store.appendMarker(kT0 + 10 + i, "OK");
    QVERIFY(store.isEmpty());
    QCOMPARE(qsizetype(store.markers().size()), TrendStore::kMarkerCapacity);
    QCOMPARE(store.markers().front().time, kT0 + 10);

    TrendStore fresh;
    fresh.append(answer(kT0, QByteArray(500, 'x')));
    QCOMPARE(fresh.markers().front().text, QByteArray(TrendMarker::kTextCapacity, 'x'));
}

void TestTrendStore::clearStartsAfresh()
{
    TrendStore store(65536);
    for (qint64 t = 0; t < 70000; ++t)
        store.appendSample(kT0 + t, 1.0, 0, "1");
    store.appendMarker(kT0 + 70000, "RV");
    store.clear();
    QVERIFY(store.isEmpty());
    QCOMPARE(store.dropped(), 0);
    QVERIFY(store.markers().empty());
    // The clock of the old data no longer holds new samples back.
    store.appendSample(5, 1.0, 0, "1");
    QCOMPARE(store.first().time, 5);
    QVERIFY(store.first().gapBefore());
}

QTEST_GUILESS_MAIN(TestTrendStore)
#include "tst_trendstore.moc"
