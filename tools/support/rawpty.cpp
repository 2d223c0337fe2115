#include "rawpty.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace kelmor::tools {

namespace {

bool makeRaw(int fd)
{
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    return ::tcsetattr(fd, TCSANOW, &tio) == 0;
}

bool addFlags(int fd, int getCommand, int setCommand, int flags)
{
    const int old = ::fcntl(fd, getCommand);
    return old != -1 && ::fcntl(fd, setCommand, old | flags) == 0;
}

} // namespace

RawPty::RawPty()
{
    if (::openpty(&m_master, &m_slave, nullptr, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        failed("openpty");
        return;
    }
    char name[256] = {};
    if (::ttyname_r(m_slave, name, sizeof name) != 0) {
        failed("ttyname");
        return;
    }
    m_slavePath = name;
    // Both sides: a cooked line would turn the monitor's CR into LF and echo it back.
    if (!makeRaw(m_slave) || !makeRaw(m_master)) {
        failed("tcsetattr");
        return;
    }
    if (!addFlags(m_master, F_GETFL, F_SETFL, O_NONBLOCK) ||
        !addFlags(m_master, F_GETFD, F_SETFD, FD_CLOEXEC) ||
        !addFlags(m_slave, F_GETFD, F_SETFD, FD_CLOEXEC))
        failed("fcntl");
}

RawPty::~RawPty()
{
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
}

void RawPty::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void RawPty::failed(const char *what)
{
    m_error = std::string(what) + ": " + std::strerror(errno);
    closeMaster();
    if (m_slave >= 0)
        ::close(m_slave);
    m_slave = -1;
    m_slavePath.clear();
}

} // namespace kelmor::tools
