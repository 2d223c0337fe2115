#include "linkwatch.h"

#include "receivedline.h"
#include "statusword.h"

namespace kelmor {

LinkWatch::LinkWatch(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<kelmor::LinkState>();
}

void LinkWatch::start(qint64 nowNs)
{
    m_watching = true;
    m_armed = false;
    m_lifeSeen = false;
    setState(LinkState::Idle, nowNs);
}

void LinkWatch::stop(qint64 nowNs)
{
    m_watching = false;
    m_armed = false;
    m_lifeSeen = false;
    setState(LinkState::Idle, nowNs);
}

void LinkWatch::lineReceived(const ReceivedLine &line)
{
    lineReceived(line.monotonicNs, line.isMeasurement, line.status);
}

void LinkWatch::lineReceived(qint64 nowNs, bool isMeasurement, quint16 status)
{
    if (!m_watching)
        return;
    m_armed = true;
    m_lastLineNs = nowNs;
    if (isMeasurement) {
        const bool lifeBit = status & kLifeBit;
        // The first measurement starts the clock: a life bit seen once has not yet had
        // the chance to change.
        if (!m_lifeSeen || lifeBit != m_lifeBit)
            m_lastLifeChangeNs = nowNs;
        m_lifeSeen = true;
        m_lifeBit = lifeBit;
    }
    check(nowNs);
}

void LinkWatch::check(qint64 nowNs)
{
    setState(stateAt(nowNs), nowNs);
}

LinkState LinkWatch::stateAt(qint64 nowNs) const
{
    if (!m_watching || !m_armed)
        return LinkState::Idle;
    if (nowNs - m_lastLineNs >= kSilentNs)
        return LinkState::Silent;
    if (m_lifeSeen && nowNs - m_lastLifeChangeNs >= kStuckNs)
        return LinkState::LifeBitStuck;
    return LinkState::Ok;
}

qint64 LinkWatch::nextDeadlineNs() const
{
    if (!m_watching || !m_armed)
        return -1;
    const qint64 silent = m_lastLineNs + kSilentNs;
    if (m_state == LinkState::Silent)
        return -1;
    if (m_lifeSeen && m_state != LinkState::LifeBitStuck)
        return std::min(silent, m_lastLifeChangeNs + kStuckNs);
    return silent;
}

void LinkWatch::setState(LinkState state, qint64 nowNs)
{
    if (state == m_state)
        return;
    m_state = state;
    emit stateChanged(state, nowNs);
}

QString LinkWatch::describe(LinkState state)
{
    switch (state) {
    case LinkState::Silent:
        return QStringLiteral("Keine Daten vom Messgerät seit mehr als 2 Sekunden");
    case LinkState::LifeBitStuck:
        return QStringLiteral("Lebensbit seit mehr als 5 Sekunden unverändert");
    case LinkState::Idle:
    case LinkState::Ok:
        break;
    }
    return {};
}

} // namespace kelmor
