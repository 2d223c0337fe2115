#pragma once

#include "linkwatch.h"
#include "receivedline.h"
#include "trendstore.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace kelmor {

// The trend of the program's whole life: every handled line goes into the store whether
// or not the trend window is open, and the link watch looks at the same lines. Lives as
// long as the main window; the trend window only views it.
class LiveTrend : public QObject
{
    Q_OBJECT

public:
    explicit LiveTrend(QObject *parent = nullptr);

    // A handled line. Cheap: the store appends, the watch notes the time; nothing draws.
    void addLine(const ReceivedLine &line);
    // Lines stop on purpose (the run ended, the port closed or failed): the next line
    // starts a new stretch in the plot, and silence until then is no trouble.
    void linesEnded();

    const TrendStore &store() const { return m_store; }
    TrendStore &store() { return m_store; }
    LinkState linkState() const { return m_watch.state(); }
    // Incremented with every line: the window redraws when it changed.
    quint64 revision() const { return m_revision; }

    // The steady clock that ReceivedLine::monotonicNs is read from.
    static qint64 steadyNowNs();

signals:
    void linkStateChanged(kelmor::LinkState state);
    // At most once per event-loop pass: lines were added.
    void linesAdded();

private:
    void armWatchTimer();
    void watchChanged(LinkState state, qint64 nowNs);

    TrendStore m_store;
    LinkWatch m_watch;
    QTimer m_watchTimer;
    QElapsedTimer m_endedAt;
    static constexpr int kSettleMs = 500;
    quint64 m_revision = 0;
};

} // namespace kelmor
