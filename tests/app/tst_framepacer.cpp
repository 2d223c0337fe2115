// When the window shows a change: never more than about 30 frames a second, about 7
// while lines stream, the newest state always shown in the end and the last change of a
// burst within the longest wait, the wait started only by a change held (an idle window
// has no timer), and at the gauge's line rate the lines themselves end the holds instead
// of extra timer wake-ups.

#include "framepacer.h"

#include <QtTest>

#include <algorithm>

using namespace kelmor;

namespace {

constexpr qint64 kMs = 1'000'000;

struct Frame
{
    qint64 at = 0;
    bool byTimer = false;
    int newestChange = -1; // index of the newest change it shows
};

// Plays changes at the given times against the pacer, with a timer as the window runs
// it: armed (again) for the pacer's wake time whenever it holds a change, disarmed when
// a change is shown at once.
struct Playback
{
    QList<Frame> frames;
    bool timerArmedAtEnd = false;
    bool timerArmedWhileNothingHeld = false;

    explicit Playback(const QList<qint64> &changes)
    {
        FramePacer pacer;
        bool armed = false;
        qint64 timerAt = 0;
        int next = 0;
        while (next < changes.size() || armed) {
            if (armed && (next == changes.size() || timerAt <= changes[next])) {
                armed = false;
                if (pacer.waitEnded(timerAt))
                    frames.append({timerAt, true, next - 1});
            } else {
                const qint64 now = changes[next++];
                if (pacer.changed(now) == FramePacer::Action::ShowNow) {
                    armed = false;
                    frames.append({now, false, next - 1});
                } else {
                    armed = true;
                    timerAt = pacer.wakeAt();
                }
            }
            timerArmedWhileNothingHeld = timerArmedWhileNothingHeld || (armed && !pacer.holding());
        }
        timerArmedAtEnd = armed;
    }

    int timerFrames() const
    {
        return int(
            std::count_if(frames.begin(), frames.end(), [](const Frame &f) { return f.byTimer; }));
    }
};

QList<qint64> every(qint64 periodNs, int count, qint64 start = 0)
{
    QList<qint64> times;
    for (int i = 0; i < count; ++i)
        times << start + i * periodNs;
    return times;
}

} // namespace

class TestFramePacer : public QObject
{
    Q_OBJECT

private slots:
    void pacesFrames_data();
    void pacesFrames();
    void showingAnywayEndsTheHold();
};

void TestFramePacer::pacesFrames_data()
{
    QTest::addColumn<QList<qint64>>("changes");
    QTest::addColumn<int>("frames");      // -1: not fixed, only the rules below
    QTest::addColumn<int>("timerFrames"); // -1: not fixed
    // A bit toggled by every change looks different in every frame shown by a change.
    QTest::addColumn<bool>("toggleBlinks");

    const qint64 lineAt38400 = qint64(1e9 / (3840.0 / 61.0)); // 63 lines a second
    QTest::newRow("one change: shown at once") << QList<qint64>{5 * kMs} << 1 << 0 << false;
    QTest::newRow("10 lines a second: each at once") << every(100 * kMs, 10) << 10 << 0 << false;
    QTest::newRow("a line every 40 ms: each at once") << every(40 * kMs, 30) << 30 << 0 << false;
    // Every ninth line is shown when it arrives (the life bit, toggled by every line,
    // still changes from frame to frame); only the last hold ends by the timer.
    QTest::newRow("63 lines a second for a second") << every(lineAt38400, 63) << 8 << 1 << true;
    QTest::newRow("63 lines a second for a minute")
        << every(lineAt38400, 63 * 60) << 421 << 1 << true;
    QTest::newRow("a line every 34 ms") << every(34 * kMs, 30) << 9 << 1 << false;
    QTest::newRow("a burst of 100 lines in a millisecond") << every(10'000, 100) << 2 << 1 << false;
    QTest::newRow("18,000 lines a second") << every(55'555, 18000) << -1 << -1 << false;
    QTest::newRow("a line every 32 ms") << every(32 * kMs, 30) << -1 << -1 << false;
    QTest::newRow("a line every 35 ms after a first at 0")
        << (QList<qint64>{0} + every(35 * kMs, 10, 1 * kMs)) << -1 << -1 << false;
    QList<qint64> bursts = every(lineAt38400, 19);
    bursts += every(lineAt38400, 19, 2000 * kMs);
    bursts += every(1 * kMs, 5, 2500 * kMs);
    // The first two bursts end on a line shown at once.
    QTest::newRow("bursts with quiet between") << bursts << -1 << 1 << false;
    QTest::newRow("two changes at the same time")
        << QList<qint64>{7 * kMs, 7 * kMs} << 2 << 1 << false;
}

void TestFramePacer::pacesFrames()
{
    QFETCH(QList<qint64>, changes);
    QFETCH(int, frames);
    QFETCH(int, timerFrames);
    QFETCH(bool, toggleBlinks);

    const Playback play(changes);
    if (frames >= 0)
        QCOMPARE(play.frames.size(), frames);
    if (timerFrames >= 0)
        QCOMPARE(play.timerFrames(), timerFrames);

    // No two frames closer than the shortest frame time: about 30 a second at most.
    for (int i = 1; i < play.frames.size(); ++i)
        QVERIFY2(play.frames[i].at - play.frames[i - 1].at >= FramePacer::kMinFrameNs,
                 qPrintable(QStringLiteral("frames %1 and %2 are %3 ns apart")
                                .arg(i - 1)
                                .arg(i)
                                .arg(play.frames[i].at - play.frames[i - 1].at)));
    // Every change is shown, by the first frame at or after it: within a frame's time and
    // the longest wait while changes stream, the last one within the longest wait.
    int frame = 0;
    for (int c = 0; c < changes.size(); ++c) {
        while (frame < play.frames.size() && play.frames[frame].newestChange < c)
            ++frame;
        QVERIFY2(frame < play.frames.size(),
                 qPrintable(QStringLiteral("change %1 never shown").arg(c)));
        QVERIFY(play.frames[frame].at >= changes[c]);
        const qint64 limit = c + 1 == changes.size()
                                 ? FramePacer::kLongestWaitNs
                                 : FramePacer::kFrameNs + FramePacer::kLongestWaitNs;
        QVERIFY2(play.frames[frame].at - changes[c] <= limit,
                 qPrintable(QStringLiteral("change %1 shown after %2 ns")
                                .arg(c)
                                .arg(play.frames[frame].at - changes[c])));
    }
    if (toggleBlinks) {
        for (int i = 1; i < play.frames.size(); ++i) {
            if (!play.frames[i].byTimer)
                QVERIFY((play.frames[i].newestChange - play.frames[i - 1].newestChange) % 2);
        }
    }
    // The last frame shows the last change; then nothing waits.
    QCOMPARE(play.frames.last().newestChange, int(changes.size()) - 1);
    QVERIFY(!play.timerArmedAtEnd);
    QVERIFY(!play.timerArmedWhileNothingHeld);
    // The longest wait still allows the operator to see a burst's end in 40 ms.
    QVERIFY(FramePacer::kLongestWaitNs < 40 * kMs);
}

void TestFramePacer::showingAnywayEndsTheHold()
{
    FramePacer pacer;
    QCOMPARE(pacer.changed(0), FramePacer::Action::ShowNow);
    QCOMPARE(pacer.changed(10 * kMs), FramePacer::Action::Hold);
    QVERIFY(pacer.holding());
    pacer.shownAnyway(20 * kMs);
    QVERIFY(!pacer.holding());
    // The wait ending late finds nothing to show.
    QVERIFY(!pacer.waitEnded(46 * kMs));
    // What was shown anyway counts as a frame.
    QCOMPARE(pacer.changed(40 * kMs), FramePacer::Action::Hold);
    QCOMPARE(pacer.wakeAt(), 40 * kMs + FramePacer::kLongestWaitNs);
    QVERIFY(pacer.waitEnded(pacer.wakeAt()));
    QCOMPARE(pacer.changed(pacer.wakeAt() + FramePacer::kFrameNs), FramePacer::Action::ShowNow);
}

QTEST_MAIN(TestFramePacer)
#include "tst_framepacer.moc"
