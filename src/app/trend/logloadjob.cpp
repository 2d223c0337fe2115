#include "logloadjob.h"

namespace kelmor {

LogLoadJob::LogLoadJob(Kind kind, QString path, LogRun run, QObject *parent)
    : QObject(parent), m_kind(kind), m_path(std::move(path)), m_logRun(std::move(run))
{
}

LogLoadJob::~LogLoadJob()
{
    if (m_thread) {
        m_cancel = true;
        m_thread->wait();
        delete m_thread;
    }
}

void LogLoadJob::start()
{
    m_clock.start();
    m_thread = QThread::create([this] {
        LogReader reader;
        reader.setProgress([this](qint64 done, qint64 total) {
            m_done = done;
            m_total = total;
            return !m_cancel.load();
        });
        // Only this thread writes the results, and only the GUI thread reads them, after
        // finished().
        if (m_kind == Kind::Scan)
            m_index = reader.scan(m_path);
        else
            m_run = reader.load(m_path, m_logRun);
    });
    connect(m_thread, &QThread::finished, this, &LogLoadJob::finished);
    m_thread->start();
}

int LogLoadJob::progress() const
{
    const qint64 total = m_total;
    return total > 0 ? int(m_done * 1000 / total) : 0;
}

} // namespace kelmor
