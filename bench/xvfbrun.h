#pragma once

// An X server of its own for one program under measurement: Xvfb on a free display, so
// the program draws through the X11 platform plugin as on a desktop, and the server's own
// CPU time can be counted with the program's.

#include <string>
#include <vector>

#include <sys/types.h>

namespace kelmor::bench {

class XvfbServer
{
public:
    // Starts Xvfb (1280x1024, 24 bits, no window manager) and waits until it takes
    // connections; ends the benchmark when it cannot. Keyboard auto-repeat is switched
    // off: a key that a driving tool leaves down would otherwise send the window about 25
    // key events a second for ever and falsify every figure.
    explicit XvfbServer(const std::string &errorPath);
    ~XvfbServer();
    XvfbServer(const XvfbServer &) = delete;
    XvfbServer &operator=(const XvfbServer &) = delete;

    const std::string &display() const { return m_display; } // ":N"
    pid_t pid() const { return m_pid; }

private:
    pid_t m_pid = -1;
    std::string m_display;
};

// True when Xvfb and the tools to drive a window on it (xset, xdotool) are installed.
bool xvfbToolsInstalled();

// Runs xdotool on the display with these arguments; true when it succeeded.
bool xdotool(const std::string &display, const std::vector<std::string> &args);

} // namespace kelmor::bench
