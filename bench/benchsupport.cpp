#include "benchsupport.h"

#include <QtGlobal>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace kelmor::bench {

namespace {

std::string g_failureHint;

std::vector<char *> pointers(const std::vector<std::string> &strings)
{
    std::vector<char *> out;
    out.reserve(strings.size() + 1);
    for (const std::string &s : strings)
        out.push_back(const_cast<char *>(s.c_str()));
    out.push_back(nullptr);
    return out;
}

std::uint64_t statusField(const std::string &status, const char *name)
{
    const std::size_t at = status.find(name);
    if (at == std::string::npos)
        return 0;
    return std::strtoull(status.c_str() + at + std::strlen(name), nullptr, 10);
}

} // namespace

Ns now()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return Ns(ts.tv_sec) * kSecond + ts.tv_nsec;
}

void sleepUntil(Ns when)
{
    timespec ts{time_t(when / kSecond), long(when % kSecond)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

void setFailureHint(std::string hint)
{
    g_failureHint = std::move(hint);
}

void fail(const std::string &why)
{
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, why.c_str());
    if (!g_failureHint.empty())
        std::fprintf(stderr, "%s\n", g_failureHint.c_str());
    std::exit(1);
}

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// ------------------------------------------------------------------ Pty

Pty::Pty()
{
    if (!m_pty.isOpen())
        fail(m_pty.error());
}

void Pty::drain() const
{
    char sink[4096];
    while (::read(master(), sink, sizeof sink) > 0) {
    }
}

void Pty::writeAll(std::string_view bytes) const
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(master(), bytes.data(), bytes.size());
        if (n > 0) {
            bytes.remove_prefix(std::size_t(n));
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{master(), POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else {
            fail(std::string("write to the pseudo-terminal: ") + std::strerror(errno));
        }
        drain();
    }
}

// ------------------------------------------------------------------ /proc

ProcStats procStats(pid_t pid)
{
    ProcStats stats;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(tasks, ec)) {
        const std::string dir = entry.path().string();
        stats.cpu += Ns(std::strtoll(readFile(dir + "/schedstat").c_str(), nullptr, 10));
        stats.voluntary += statusField(readFile(dir + "/status"), "voluntary_ctxt_switches:");
    }
    if (ec)
        fail("process " + std::to_string(pid) + " is gone");
    return stats;
}

double rssMiB(pid_t pid)
{
    const std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
    return double(statusField(status, "VmRSS:")) / 1024.0;
}

double cpuPercent(const ProcStats &before, const ProcStats &after, Ns elapsed)
{
    return elapsed > 0 ? double(after.cpu - before.cpu) / double(elapsed) * 100.0 : 0.0;
}

std::vector<std::string>
environmentWith(const std::vector<std::pair<std::string, std::string>> &vars,
                const std::vector<std::string> &without)
{
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string_view var(*e);
        bool replaced = false;
        for (const auto &[name, value] : vars)
            replaced = replaced || var.rfind(name + '=', 0) == 0;
        for (const std::string &name : without)
            replaced = replaced || var.rfind(name + '=', 0) == 0;
        if (!replaced)
            env.emplace_back(var);
    }
    for (const auto &[name, value] : vars)
        env.push_back(name + '=' + value);
    return env;
}

// ------------------------------------------------------------------ child processes

Child::Child(const std::vector<std::string> &argv, const std::vector<std::string> &env,
             const std::string &errorPath)
{
    int inPipe[2];
    int outPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(outPipe, O_CLOEXEC) != 0)
        fail("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::vector<char *> args = pointers(argv);
    std::vector<char *> envp = pointers(env);
    const int err = ::posix_spawnp(&m_pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    m_in = inPipe[1];
    m_out = outPipe[0];
    if (err != 0)
        fail("cannot start " + argv[0] + ": " + std::strerror(err));
}

Child::Child(Child &&other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_in(std::exchange(other.m_in, -1)),
      m_out(std::exchange(other.m_out, -1)), m_buffer(std::move(other.m_buffer))
{
}

Child::~Child()
{
    if (m_pid > 0)
        terminate();
}

std::optional<std::string> Child::readLine(Ns timeout)
{
    const Ns deadline = now() + timeout;
    while (now() < deadline) {
        const std::size_t nl = m_buffer.find('\n');
        if (nl != std::string::npos) {
            std::string line = m_buffer.substr(0, nl);
            m_buffer.erase(0, nl + 1);
            return line;
        }
        pollfd p{m_out, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buf[512];
        const ssize_t n = ::read(m_out, buf, sizeof buf);
        if (n <= 0)
            return std::nullopt;
        m_buffer.append(buf, std::size_t(n));
    }
    return std::nullopt;
}

int Child::wait()
{
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    ::close(m_out);
    m_out = -1;
    if (m_in >= 0)
        ::close(m_in);
    m_in = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

int Child::finish()
{
    if (m_in >= 0)
        ::close(m_in);
    m_in = -1;
    return wait();
}

int Child::terminate()
{
    ::kill(m_pid, SIGTERM);
    return wait();
}

int runCommand(const std::vector<std::string> &argv, const std::vector<std::string> &env)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<char *> args = pointers(argv);
    std::vector<char *> envp = pointers(env);
    pid_t pid = -1;
    const int err = ::posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0)
        return 127;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// ------------------------------------------------------------------ the data log

LogFollower::LogFollower(const std::string &path,
                         std::function<std::string(std::uint32_t)> expected)
    : m_path(path), m_expected(std::move(expected))
{
    m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_inotify < 0 || ::inotify_add_watch(m_inotify, path.c_str(), IN_MODIFY) < 0)
        fail("inotify on " + path + ": " + std::strerror(errno));
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0)
        fail("open " + path + ": " + std::strerror(errno));
}

LogFollower::~LogFollower()
{
    ::close(m_fd);
    ::close(m_inotify);
}

std::uint32_t LogFollower::poll(const std::function<void(std::uint32_t)> &onLine)
{
    char events[4096];
    while (::read(m_inotify, events, sizeof events) > 0) {
    }
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = ::read(m_fd, buf, sizeof buf);
        if (n <= 0)
            break;
        m_pending.append(buf, std::size_t(n));
    }
    std::uint32_t found = 0;
    std::size_t at = 0;
    for (;;) {
        const std::size_t end = m_pending.find("\r\n", at);
        if (end == std::string::npos)
            break;
        const std::string_view record(m_pending.data() + at, end - at);
        at = end + 2;
        if (!m_headerSeen) {
            // The run's header: the date and time.
            m_headerSeen = true;
            continue;
        }
        const std::string expected = '"' + m_expected(m_next) + '"';
        if (record != expected) {
            ++m_wrong;
            if (m_wrong <= 3)
                std::fprintf(stderr, "%s: record %u is \"%.*s\"\n", program_invocation_short_name,
                             m_next, int(record.size()), record.data());
            continue;
        }
        if (onLine)
            onLine(m_next);
        ++m_next;
        ++found;
    }
    m_pending.erase(0, at);
    return found;
}

void LogFollower::waitFor(std::uint32_t count, Ns timeout)
{
    const Ns deadline = now() + timeout;
    while (m_next < count && now() < deadline) {
        pollfd p{m_inotify, POLLIN, 0};
        ::poll(&p, 1, 100);
        poll();
    }
    if (m_next < count)
        fail("only " + std::to_string(m_next) + " of " + std::to_string(count) +
             " lines reached the data log " + m_path);
}

// ------------------------------------------------------------------ figures

std::string machineLine()
{
    std::string model = "unknown CPU";
    std::ifstream cpuinfo("/proc/cpuinfo");
    for (std::string line; std::getline(cpuinfo, line);) {
        if (line.rfind("model name", 0) == 0) {
            model = line.substr(line.find(':') + 2);
            break;
        }
    }
    utsname u{};
    ::uname(&u);
    return model + ", " + std::to_string(::sysconf(_SC_NPROCESSORS_ONLN)) + " cores, Linux " +
           u.release + ", Qt " + qVersion();
}

std::string formatted(const char *fmt, double a, double b, double c)
{
    char buf[256];
    std::snprintf(buf, sizeof buf, fmt, a, b, c);
    return buf;
}

} // namespace kelmor::bench
