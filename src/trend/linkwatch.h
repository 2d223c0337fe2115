#pragma once

#include "linkstate.h"

#include <QObject>
#include <QtGlobal>

namespace kelmor {

struct ReceivedLine;

// Watches the line from the gauge for two kinds of trouble: no line at all for the
// silence limit, or lines whose life bit (status bit 15) has not changed for the stuck
// limit. Knows no clock and no timer: every call takes the time on the steady clock of
// ReceivedLine::monotonicNs, so the window drives it from a timer and tests from a table.
//
// Watching starts with start() (the port opened) and is armed by the first line after
// it; stop() (the port closed, or the run that made the gauge send ended) ends it.
// Silence wins over a stuck life bit; either clears as soon as lines, or the life bit's
// changes, come back.
class LinkWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 kSilentNs = 2'000'000'000;
    static constexpr qint64 kStuckNs = 5'000'000'000;

    explicit LinkWatch(QObject *parent = nullptr);

    void start(qint64 nowNs);
    void stop(qint64 nowNs);
    bool isWatching() const { return m_watching; }

    // A handled line; only measurement lines carry the life bit.
    void lineReceived(const ReceivedLine &line);
    void lineReceived(qint64 nowNs, bool isMeasurement, quint16 status);

    // Re-reads the state at `nowNs`: call it from a timer while watching.
    void check(qint64 nowNs);

    LinkState state() const { return m_state; }
    // When the state next changes unless a line comes first; -1 when it will not.
    qint64 nextDeadlineNs() const;

    // German text for the operator, empty for Idle and Ok.
    static QString describe(LinkState state);

signals:
    void stateChanged(kelmor::LinkState state, qint64 nowNs);

private:
    LinkState stateAt(qint64 nowNs) const;
    void setState(LinkState state, qint64 nowNs);

    bool m_watching = false;
    bool m_armed = false;    // a line has come since start()
    bool m_lifeSeen = false; // a measurement line has come since start()
    bool m_lifeBit = false;
    qint64 m_lastLineNs = 0;
    qint64 m_lastLifeChangeNs = 0;
    LinkState m_state = LinkState::Idle;
};

} // namespace kelmor
