#include "livetrend.h"

#include <QDateTime>

#include <chrono>

namespace kelmor {

LiveTrend::LiveTrend(QObject *parent) : QObject(parent)
{
    m_watchTimer.setSingleShot(true);
    m_watchTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_watchTimer, &QTimer::timeout, this, [this] {
        m_watch.check(steadyNowNs());
        armWatchTimer();
    });
    connect(&m_watch, &LinkWatch::stateChanged, this, &LiveTrend::watchChanged);
}

qint64 LiveTrend::steadyNowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void LiveTrend::addLine(const ReceivedLine &line)
{
    m_store.append(line);
    ++m_revision;
    if (!m_watch.isWatching() && line.isMeasurement &&
        (!m_endedAt.isValid() || m_endedAt.elapsed() >= kSettleMs)) {
        // A stream of measurements arms the watch; an answer to a command does not (the
        // gauge says nothing more after it), nor a line still under way when the stream
        // was stopped.
        m_watch.start(line.monotonicNs);
    }
    m_watch.lineReceived(line);
    // One timer for the watch, armed once and moved on only when it fires: restarting
    // it for every line would cost more than the line itself.
    if (!m_watchTimer.isActive())
        armWatchTimer();
    emit linesAdded();
}

void LiveTrend::linesEnded()
{
    m_store.markGap();
    m_endedAt.start();
    m_watch.stop(steadyNowNs());
    m_watchTimer.stop();
}

void LiveTrend::armWatchTimer()
{
    const qint64 deadline = m_watch.nextDeadlineNs();
    if (deadline < 0)
        return;
    const qint64 waitMs = (deadline - steadyNowNs()) / 1'000'000 + 1;
    m_watchTimer.start(int(std::clamp<qint64>(waitMs, 0, 60'000)));
}

void LiveTrend::watchChanged(LinkState state, qint64 nowNs)
{
    // The store keeps wall-clock time; the trouble began a limit's length before it was
    // noticed.
    qint64 wall = QDateTime::currentMSecsSinceEpoch() - (steadyNowNs() - nowNs) / 1'000'000;
    if (state == LinkState::Silent)
        wall -= LinkWatch::kSilentNs / 1'000'000;
    else if (state == LinkState::LifeBitStuck)
        wall -= LinkWatch::kStuckNs / 1'000'000;
    m_store.setLinkState(state, wall);
    emit linkStateChanged(state);
}

} // namespace kelmor
