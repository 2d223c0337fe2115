#pragma once

#include <QtGlobal>

#include <limits>

namespace kelmor {

// Decides when the window shows what changed, so that it draws at most about 30 frames a
// second however fast lines arrive, no more often than the eye can follow while they
// stream, and always ends on the newest state.
//
// A change that comes after a pause (a slow line rate, the first line) is shown at once,
// a frame's minimum time after the last frame at the earliest: every line of a slow
// stream appears the moment it arrives. While changes follow closely on each other, they
// are held and shown with the first change that finds kFrameNs gone by since the last
// frame: a fast stream is drawn about 7 times a second. A held change that no newer one
// follows within kLongestWaitNs is shown when that wait ends, so the last line of a
// burst appears within it. The wait is started by a change held and never runs while
// nothing is held, so an idle window has no timer. At the gauge's 63 lines a second the
// lines themselves end the holds (every ninth line is shown, so the life bit, which
// toggles with every line, still blinks) and the wait runs out only after the last line
// of a burst.
//
// Times are nanoseconds on a steady clock; the caller owns the clock and the timer.
class FramePacer
{
public:
    static constexpr qint64 kMinFrameNs = 33'000'000;    // at most about 30 frames a second
    static constexpr qint64 kFrameNs = 135'000'000;      // the frame time while lines stream
    static constexpr qint64 kLongestWaitNs = 36'000'000; // the last change is shown within this

    enum class Action {
        ShowNow, // show the newest state now (it covers anything held)
        Hold,    // keep it; show it at wakeAt() at the latest
    };

    // A change at `now`. When it is held, wakeAt() may have moved: the caller's timer
    // follows it.
    Action changed(qint64 now);
    // The wait ended at `now`: true when something held is to be shown now.
    bool waitEnded(qint64 now);
    // The newest state was shown some other way at `now` (for example before the window
    // changes its display for another reason): nothing is held any more.
    void shownAnyway(qint64 now);

    bool holding() const { return m_holding; }
    // When the held change must be shown; meaningful while holding().
    qint64 wakeAt() const { return m_wakeAt; }

private:
    bool m_holding = false;
    qint64 m_wakeAt = 0;
    qint64 m_lastFrame = std::numeric_limits<qint64>::min() / 2;
    qint64 m_lastChange = std::numeric_limits<qint64>::min() / 2;
};

} // namespace kelmor
