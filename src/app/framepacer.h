#pragma once

#include <QtGlobal>

#include <limits>

namespace kelmor {

// Decides when the window shows what changed, so that it draws at most about 30 frames a
// second however fast lines arrive, yet always ends on the newest state.
//
// A change that finds the last frame a frame's time ago is shown at once: at a slow line
// rate every line is shown the moment it arrives. A change that comes sooner is held;
// it is shown with the first later change that finds the frame's time gone by, or when
// the wait for it ends, whichever comes first. The wait is started by the first change
// held and never runs while nothing is held, so an idle window has no timer. At the
// gauge's 63 lines a second, lines themselves end the holds (every third line is shown)
// and the wait runs out only after the last line of a burst.
//
// Times are nanoseconds on a steady clock; the caller owns the clock and the timer.
class FramePacer
{
public:
    static constexpr qint64 kFrameNs = 33'000'000;       // at most about 30 frames a second
    static constexpr qint64 kLongestWaitNs = 36'000'000; // a held change is shown within this

    enum class Action {
        ShowNow, // show the newest state now (it covers anything held)
        Hold,    // keep it; show it at wakeAt() at the latest
    };

    // A change at `now`.
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
};

} // namespace kelmor
