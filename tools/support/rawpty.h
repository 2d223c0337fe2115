#pragma once

// A pseudo-terminal standing in for a serial line: whoever plays the gauge keeps the
// master side, the monitor opens the slave by its path. Both sides are raw, so every
// byte passes as it was written: CR stays CR, all eight bits, no echo, no signal or
// flow-control characters, nothing held back for a line end. The master is
// non-blocking, and neither side is inherited by a started program. Plain libc, so the
// simulator, the tests and the benchmarks all open their lines here.

#include <string>

namespace kelmor::tools {

class RawPty
{
public:
    // Opens the pair; isOpen() tells whether that worked and error() why not.
    RawPty();
    ~RawPty();
    RawPty(const RawPty &) = delete;
    RawPty &operator=(const RawPty &) = delete;

    bool isOpen() const { return m_master >= 0; }
    const std::string &error() const { return m_error; }
    int master() const { return m_master; }
    int slave() const { return m_slave; }
    const std::string &slavePath() const { return m_slavePath; }

    // To whoever has the slave open this looks like an unplugged adapter.
    void closeMaster();

private:
    void failed(const char *what);

    int m_master = -1;
    // Held open for the pair's whole life, so the line does not hang up each time the
    // monitor closes the port and opens it again.
    int m_slave = -1;
    std::string m_slavePath;
    std::string m_error;
};

} // namespace kelmor::tools
