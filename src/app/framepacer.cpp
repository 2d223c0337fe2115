#include "framepacer.h"

namespace kelmor {

FramePacer::Action FramePacer::changed(qint64 now)
{
    if (now - m_lastFrame >= kFrameNs) {
        // Whatever was held is covered by this newer state.
        m_holding = false;
        m_lastFrame = now;
        return Action::ShowNow;
    }
    if (!m_holding) {
        m_holding = true;
        // Later than a frame after the last one, since that lies before now.
        m_wakeAt = now + kLongestWaitNs;
    }
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
