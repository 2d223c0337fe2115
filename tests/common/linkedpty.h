#pragma once

#include "ptypair.h"

#include <QFile>

#include <memory>

namespace kelmor::test {

// A pseudo-terminal behind a path of the test's choosing, as udev names an adapter
// (/dev/ttyUSB0) or the simulator its link: plugging makes a new line and the link,
// pulling closes the far side and takes the link away.
class LinkedPty
{
public:
    explicit LinkedPty(const QString &link) : m_link(link) {}
    ~LinkedPty() { pull(); }
    LinkedPty(const LinkedPty &) = delete;
    LinkedPty &operator=(const LinkedPty &) = delete;

    bool plug()
    {
        m_pty = std::make_unique<PtyPair>();
        QFile::remove(m_link);
        return m_pty->isValid() && QFile::link(m_pty->slavePath(), m_link);
    }
    void pull()
    {
        if (!m_pty)
            return;
        QFile::remove(m_link);
        m_pty->closeMaster();
        m_pty.reset();
    }
    PtyPair &pty() { return *m_pty; }
    QString link() const { return m_link; }

private:
    QString m_link;
    std::unique_ptr<PtyPair> m_pty;
};

} // namespace kelmor::test
