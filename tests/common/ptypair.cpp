#include "ptypair.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <cerrno>
#include <unistd.h>

namespace kelmor::test {

bool PtyPair::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    // A loaded machine may take its time over every piece; only a program that stops
    // taking bytes altogether is a failure.
    QDeadlineTimer stalled(kStallLimitMs);
    const QDeadlineTimer overall(kOverallLimitMs);
    while (done < bytes.size() && m_pty.master() >= 0) {
        const ssize_t n =
            ::write(m_pty.master(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            stalled.setRemainingTime(kStallLimitMs);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            // The line is full: let the program read before going on.
            if (stalled.hasExpired() || overall.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        } else {
            return false;
        }
    }
    return done == bytes.size();
}

QByteArray PtyPair::readAvailable()
{
    QByteArray out;
    if (m_pty.master() < 0)
        return out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_pty.master(), buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    return out;
}

QByteArray PtyPair::read(int atLeast, int timeoutMs)
{
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    while (out.size() < atLeast && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        out += readAvailable();
        if (out.size() < atLeast)
            QThread::msleep(1);
    }
    return out;
}

} // namespace kelmor::test
