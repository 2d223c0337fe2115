#pragma once

#include "rawpty.h"

#include <QByteArray>
#include <QString>

namespace kelmor::test {

// A raw pseudo-terminal standing in for a serial line: the program opens slavePath()
// as its device, the test plays the gauge on the master side.
class PtyPair
{
public:
    bool isValid() const { return m_pty.isOpen(); }
    QString slavePath() const { return QString::fromLocal8Bit(m_pty.slavePath()); }
    int masterFd() const { return m_pty.master(); }

    // Writes all bytes to the master side (what the gauge sends). While the line is full
    // it runs the event loop so the program can read; it gives up when the program has
    // taken nothing for kStallLimitMs, or after kOverallLimitMs in all.
    bool write(const QByteArray &bytes);
    static constexpr int kStallLimitMs = 30000;
    static constexpr int kOverallLimitMs = 240000;
    // Reads what the program has sent so far, waiting up to timeoutMs for at least
    // `atLeast` bytes while the Qt event loop keeps running.
    QByteArray read(int atLeast = 1, int timeoutMs = 2000);
    // Everything available right now, without waiting.
    QByteArray readAvailable();

    // Closes the master side: to the program it looks like an unplugged adapter.
    void closeMaster() { m_pty.closeMaster(); }

private:
    tools::RawPty m_pty;
};

} // namespace kelmor::test
