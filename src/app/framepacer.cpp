#include "framepacer.h"

namespace kelmor {

FramePacer::Action FramePacer::changed(qint64 now)
{
    const qint64 sinceChange = now - m_lastChange;
    const qint64 sinceFrame = now - m_lastFrame;
    m_lastChange = now;
    // After a pause nothing newer is near: waiting would only delay it.
    const bool afterPause = sinceChange >= kLongestWaitNs && sinceFrame >= kMinFrameNs;
    if (sinceFrame >= kFrameNs || afterPause) {
        // Whatever was held is covered by this newer state.
        m_holding = false;
        m_lastFrame = now;
        return Action::ShowNow;
    }
    // Shown with a newer change that finds the frame's time gone by, or when none
    // follows soon; later than the minimum frame time after the last frame either way.
    m_holding = true;
    m_wakeAt = now + kLongestWaitNs;
    return Action::Hold;
}

bool FramePacer::waitEnded(qint64 now)
{
    if (!m_holding)
        return false;
    m_holding = false;
    m_lastFrame = now;
    return true;
}

void FramePacer::shownAnyway(qint64 now)
{
    m_holding = false;
    m_lastFrame = now;
}

} // namespace kelmor
