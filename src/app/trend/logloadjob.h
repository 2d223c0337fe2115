#pragma once

#include "logreader.h"

#include <QElapsedTimer>
#include <QObject>
#include <QThread>

#include <atomic>
#include <memory>

namespace kelmor {

// Reads a data log on a thread of its own, so the window stays responsive: first the
// list of runs, then the one run chosen. The GUI thread polls progress() and may cancel;
// finished() comes on the GUI thread with the result taken from scanResult() or
// loadResult(). Destroying the job cancels the reading and waits for it.
class LogLoadJob : public QObject
{
    Q_OBJECT

public:
    enum class Kind { Scan, Load };

    LogLoadJob(Kind kind, QString path, LogRun run = {}, QObject *parent = nullptr);
    ~LogLoadJob() override;

    void start();
    void cancel() { m_cancel = true; }
    bool isRunning() const { return m_thread && m_thread->isRunning(); }
    Kind kind() const { return m_kind; }
    QString path() const { return m_path; }
    // Per mille of the bytes read so far.
    int progress() const;
    qint64 elapsedMs() const { return m_clock.elapsed(); }

    LogIndex takeScanResult() { return std::move(m_index); }
    RecordedRun takeLoadResult() { return std::move(m_run); }

signals:
    void finished();

private:
    Kind m_kind;
    QString m_path;
    LogRun m_logRun;
    QThread *m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
    std::atomic<qint64> m_done{0};
    std::atomic<qint64> m_total{0};
    QElapsedTimer m_clock;
    LogIndex m_index;
    RecordedRun m_run;
};

} // namespace kelmor
