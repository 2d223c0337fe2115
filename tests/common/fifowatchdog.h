#pragma once

#include <QFile>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace kelmor::test {

// Opens the reading end of a FIFO if the test has not finished within the time given,
// so that a program waiting in open() for a reader gets one: the test then fails on what
// the program did instead of hanging until the test runner gives up.
class FifoWatchdog
{
public:
    FifoWatchdog(const QString &fifo, std::chrono::seconds patience)
        : m_path(QFile::encodeName(fifo)), m_thread([this, patience] {
              std::unique_lock lock(m_mutex);
              if (!m_done.wait_for(lock, patience, [this] { return m_finished; })) {
                  m_fd = ::open(m_path.constData(), O_RDONLY | O_NONBLOCK);
                  m_fired = true;
              }
          })
    {
    }
    ~FifoWatchdog()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_all();
        m_thread.join();
        if (m_fd >= 0)
            ::close(m_fd);
    }
    // True once the watchdog had to step in: something waited for a reader.
    bool fired()
    {
        std::lock_guard lock(m_mutex);
        return m_fired;
    }

private:
    QByteArray m_path;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    bool m_fired = false;
    int m_fd = -1;
    std::thread m_thread;
};

} // namespace kelmor::test
