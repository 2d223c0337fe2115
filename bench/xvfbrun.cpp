#include "xvfbrun.h"

#include "benchsupport.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace kelmor::bench {

namespace {

bool onPath(const std::string &program)
{
    const char *path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && ::access((dir + '/' + program).c_str(), X_OK) == 0)
            return true;
    }
    return false;
}

} // namespace

bool xvfbToolsInstalled()
{
    return onPath("Xvfb") && onPath("xset") && onPath("xdotool");
}

XvfbServer::XvfbServer(const std::string &errorPath)
{
    // Xvfb picks a free display itself and writes its number to this pipe once it takes
    // connections.
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0)
        fail("pipe");
    constexpr int kReadyFd = 3;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ready[1], kReadyFd);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, errorPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::vector<std::string> argv{"Xvfb",      "-displayfd", std::to_string(kReadyFd),
                                  "-screen",   "0",          "1280x1024x24",
                                  "-nolisten", "tcp",        "-noreset"};
    std::vector<char *> args;
    for (std::string &a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    const int err = ::posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(ready[1]);
    if (err != 0) {
        ::close(ready[0]);
        m_pid = -1;
        fail(std::string("cannot start Xvfb: ") + std::strerror(err) +
             " (scripts/bench.sh installs it)");
    }

    std::string number;
    const Ns deadline = now() + 20 * kSecond;
    while (number.find('\n') == std::string::npos && now() < deadline) {
        pollfd p{ready[0], POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buf[32];
        const ssize_t n = ::read(ready[0], buf, sizeof buf);
        if (n <= 0)
            break;
        number.append(buf, std::size_t(n));
    }
    ::close(ready[0]);
    if (number.find('\n') == std::string::npos)
        fail("Xvfb did not start; its messages are in " + errorPath);
    m_display = ':' + number.substr(0, number.find('\n'));

    if (runCommand({"xset", "-display", m_display, "r", "off"}, environmentWith({})) != 0)
        fail("xset could not switch off key repeat on " + m_display);
}

XvfbServer::~XvfbServer()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
}

bool xdotool(const std::string &display, const std::vector<std::string> &args)
{
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return runCommand(argv, environmentWith({{"DISPLAY", display}})) == 0;
}

} // namespace kelmor::bench
