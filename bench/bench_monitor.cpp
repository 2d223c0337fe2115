// What the monitor costs while it watches a gauge: throughput, latency, CPU, memory and
// start-up of the real program (kelmor-bench-host: the window on an X server of its own
// through the X11 platform plugin, as on a desktop, or offscreen with --offscreen; the
// serial component on a pseudo-terminal; a monitoring run with its data log in a
// temporary home folder). This program plays the gauge on the pseudo-terminal's other
// side, watches the data log grow, and reads the monitor's CPU time, context switches and
// memory from /proc, and the X server's CPU time beside the monitor's.
// Every line it sends is numbered, and the log is checked record by record against them.
//
//   bench_monitor [--quick] [--offscreen] [--trend] [--host PATH] [--only PHASE]...
//                 [--wrap "COMMAND ARGS"]
//
// --quick shortens every phase (a smoke run; its figures mean little). --trend measures
// the monitor with its trend window open and following the run. --only runs the
// named phases alone. --wrap starts the monitor under a tool, for example
// --wrap "valgrind --tool=callgrind" (its figures are then the tool's). Build in Release
// for meaningful figures: scripts/bench.sh does.

#include "benchsupport.h"

#include "gaugestream.h"
#include "xvfbrun.h"

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char **environ;

namespace {

using kelmor::bench::formatted;
using kelmor::bench::kSecond;
using kelmor::bench::machineLine;
using kelmor::bench::now;
using kelmor::bench::Ns;
using kelmor::bench::procStats;
using kelmor::bench::ProcStats;
using kelmor::bench::readFile;
using kelmor::bench::rssMiB;
using kelmor::bench::sleepUntil;

// The monitor's own warnings go to this file, not into the table.
std::string g_hostErrors;
// A tool to start the monitor under (--wrap), split at blanks.
std::vector<std::string> g_wrapper;

[[noreturn]] void fail(const std::string &why)
{
    std::fprintf(stderr, "bench_monitor: %s\n", why.c_str());
    if (!g_hostErrors.empty())
        std::fprintf(stderr, "the monitor's own messages are in %s\n", g_hostErrors.c_str());
    std::exit(1);
}

// ------------------------------------------------------------------ the gauge's lines

// 38400 baud, 8N1: ten bit times a character.
constexpr double kBytesPerSecond = 38400.0 / 10.0;
// Numbers from here on have seven digits, which makes every line 60 characters + CR.
constexpr std::uint32_t kFirstNumber = 1000000;
constexpr std::size_t kLineBytes = 61;
constexpr double kLineRate = kBytesPerSecond / double(kLineBytes); // about 63 lines/s

// Line i (from 0): a measurement line as the gauge sends it, the pressure noisy and the
// life bit toggling.
std::string gaugeLine(std::uint32_t i)
{
    return kelmor::bench::gaugeLine(i);
}

std::string gaugeLines(std::uint32_t first, std::uint32_t count)
{
    std::string out;
    out.reserve(std::size_t(count) * kLineBytes);
    for (std::uint32_t i = first; i < first + count; ++i)
        out += gaugeLine(i);
    return out;
}

// ------------------------------------------------------------------ the pseudo-terminal

struct Pty
{
    int master = -1;
    int slave = -1; // kept open so the line never hangs up
    std::string slavePath;

    Pty()
    {
        char name[256] = {};
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
            fail(std::string("openpty: ") + std::strerror(errno));
        for (int fd : {master, slave}) {
            termios tio{};
            ::tcgetattr(fd, &tio);
            ::cfmakeraw(&tio);
            ::tcsetattr(fd, TCSANOW, &tio);
        }
        ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
        slavePath = name;
    }

    // Whatever the monitor sent ("SX1", "SX0"): not needed, but the line must not fill.
    void drain() const
    {
        char sink[4096];
        while (::read(master, sink, sizeof sink) > 0) {
        }
    }

    // Writes all of `bytes`, waiting while the line is full.
    void writeAll(std::string_view bytes) const
    {
        while (!bytes.empty()) {
            const ssize_t n = ::write(master, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(std::size_t(n));
            } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
                pollfd p{master, POLLOUT, 0};
                ::poll(&p, 1, 100);
            } else {
                fail(std::string("write to the pseudo-terminal: ") + std::strerror(errno));
            }
            drain();
        }
    }
};

// ------------------------------------------------------------------ the data log

// Follows the data log as the monitor appends to it, and checks each record against the
// lines sent: record k of the run must be line k, byte for byte.
class LogFollower
{
public:
    explicit LogFollower(const std::string &path) : m_path(path)
    {
        m_inotify = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_inotify < 0 || ::inotify_add_watch(m_inotify, path.c_str(), IN_MODIFY) < 0)
            fail("inotify on " + path + ": " + std::strerror(errno));
        m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (m_fd < 0)
            fail("open " + path + ": " + std::strerror(errno));
    }

    int notifyFd() const { return m_inotify; }

    // Reads what was appended since the last call; calls `onLine(i)` for each record
    // that is the next expected line i. Returns the number of such records.
    template <typename F> std::uint32_t poll(F &&onLine)
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
            const std::string expected = '"' + gaugeLine(m_next).substr(0, kLineBytes - 1) + '"';
            if (record != expected) {
                ++m_wrong;
                if (m_wrong <= 3)
                    std::fprintf(stderr, "bench_monitor: record %u is \"%.*s\"\n", m_next,
                                 int(record.size()), record.data());
                continue;
            }
            onLine(m_next);
            ++m_next;
            ++found;
        }
        m_pending.erase(0, at);
        return found;
    }

    std::uint32_t poll()
    {
        return poll([](std::uint32_t) {});
    }

    // Waits (following the file) until `count` lines have been recorded in all.
    void waitFor(std::uint32_t count, Ns timeout)
    {
        const Ns deadline = now() + timeout;
        while (m_next < count && now() < deadline) {
            pollfd p{m_inotify, POLLIN, 0};
            ::poll(&p, 1, 100);
            poll();
        }
        if (m_next < count)
            fail("only " + std::to_string(m_next) + " of " + std::to_string(count) +
                 " lines reached the data log");
    }

    std::uint32_t recorded() const { return m_next; }
    std::uint32_t wrong() const { return m_wrong; }

private:
    std::string m_path;
    int m_inotify = -1;
    int m_fd = -1;
    std::string m_pending;
    bool m_headerSeen = false;
    std::uint32_t m_next = 0;
    std::uint32_t m_wrong = 0;
};

// ------------------------------------------------------------------ the monitor's process

struct Child
{
    pid_t pid = -1;
    int in = -1;  // its standard input
    int out = -1; // its standard output

    // The next line the host reports, or nothing when it ends first or the time runs out.
    std::optional<std::string> readLine(Ns timeout)
    {
        const Ns deadline = now() + timeout;
        while (now() < deadline) {
            const std::size_t nl = m_buffer.find('\n');
            if (nl != std::string::npos) {
                std::string line = m_buffer.substr(0, nl);
                m_buffer.erase(0, nl + 1);
                return line;
            }
            pollfd p{out, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            char buf[512];
            const ssize_t n = ::read(out, buf, sizeof buf);
            if (n <= 0)
                return std::nullopt;
            m_buffer.append(buf, std::size_t(n));
        }
        return std::nullopt;
    }

    int finish()
    {
        if (in >= 0)
            ::close(in);
        in = -1;
        int status = 0;
        ::waitpid(pid, &status, 0);
        ::close(out);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    std::string m_buffer;
};

Child spawnHost(const std::string &host, const std::vector<std::string> &args,
                const std::vector<std::string> &env)
{
    int inPipe[2];
    int outPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(outPipe, O_CLOEXEC) != 0)
        fail("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, g_hostErrors.c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0600);
    std::vector<char *> argv;
    for (const std::string &w : g_wrapper)
        argv.push_back(const_cast<char *>(w.c_str()));
    argv.push_back(const_cast<char *>(host.c_str()));
    for (const std::string &a : args)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char *> envp;
    for (const std::string &e : env)
        envp.push_back(const_cast<char *>(e.c_str()));
    envp.push_back(nullptr);
    Child child;
    if (int err = ::posix_spawnp(&child.pid, argv[0], &actions, nullptr, argv.data(), envp.data()))
        fail(std::string("cannot start ") + argv[0] + ": " + std::strerror(err));
    posix_spawn_file_actions_destroy(&actions);
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    child.in = inPipe[1];
    child.out = outPipe[0];
    return child;
}

// ------------------------------------------------------------------ figures

double percentile(std::vector<Ns> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t index =
        std::min(values.size() - 1, std::size_t(p * double(values.size() - 1) + 0.5));
    return double(values[index]);
}

std::string withThousands(double value)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f", value);
    const std::string digits = buf;
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && digits[i - 1] != '-' && (digits.size() - i) % 3 == 0)
            out += ',';
        out += digits[i];
    }
    return out;
}

struct Row
{
    std::string phase;
    std::string measure;
    std::string figure;
    std::string target;
    bool met = true;
};

std::string defaultHost()
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (self.parent_path() / "kelmor-bench-host").string();
}

} // namespace

int main(int argc, char *argv[])
{
    const std::vector<std::string> allPhases{"headroom", "latency", "cpu-lines", "cpu-bytes",
                                             "idle",     "memory",  "startup"};
    bool quick = false;
    bool trendOpen = false;
    bool offscreen = false;
    std::string host = defaultHost();
    std::vector<std::string> only;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick")
            quick = true;
        else if (arg == "--trend")
            trendOpen = true;
        else if (arg == "--offscreen")
            offscreen = true;
        else if (arg == "--host" && i + 1 < argc)
            host = argv[++i];
        else if (arg == "--wrap" && i + 1 < argc) {
            std::istringstream words(argv[++i]);
            for (std::string w; words >> w;)
                g_wrapper.push_back(w);
        } else if (arg == "--only" && i + 1 < argc &&
                   std::find(allPhases.begin(), allPhases.end(), argv[i + 1]) != allPhases.end())
            only.emplace_back(argv[++i]);
        else
            fail("usage: bench_monitor [--quick] [--offscreen] [--trend] [--host PATH] "
                 "[--only PHASE]... [--wrap \"COMMAND ARGS\"]\n"
                 "PHASE: headroom, latency, cpu-lines, cpu-bytes, idle, memory, startup");
    }
    auto selected = [&](const std::string &phase) {
        return only.empty() || std::find(only.begin(), only.end(), phase) != only.end();
    };
    std::signal(SIGPIPE, SIG_IGN);

    // Phase sizes.
    const std::uint32_t headroomLines = quick ? 20000 : 200000;
    const std::uint32_t latencyLines = quick ? 200 : 2000;
    const Ns cpuPhase = (quick ? 5 : 60) * kSecond;
    const Ns idlePhase = (quick ? 3 : 30) * kSecond;
    const std::uint32_t memoryFirst = quick ? 20000 : 100000;
    const std::uint32_t memorySecond = quick ? 60000 : 1000000;
    const int startups = quick ? 3 : 10;

    const char *tmp = std::getenv("TMPDIR");
    std::string homeTemplate = std::string(tmp && *tmp ? tmp : "/tmp") + "/kelmor-bench-XXXXXX";
    if (!::mkdtemp(homeTemplate.data()))
        fail("mkdtemp");
    const std::string home = homeTemplate;
    const std::string runtime = home + "/xdg";
    ::mkdir(runtime.c_str(), 0700);
    const std::string logPath = home + "/KelmorLog.txt";
    g_hostErrors = home + "/monitor-stderr.txt";
    if (gaugeLine(0).size() != kLineBytes)
        fail("a gauge line is not " + std::to_string(kLineBytes) + " bytes");

    // The monitor's own X server, unless it draws offscreen.
    std::unique_ptr<kelmor::bench::XvfbServer> xServer;
    if (!offscreen) {
        if (!kelmor::bench::xvfbToolsInstalled())
            fail("needs Xvfb and xset (scripts/bench.sh installs them), or --offscreen");
        xServer = std::make_unique<kelmor::bench::XvfbServer>(g_hostErrors);
    }
    Pty pty;
    std::vector<std::string> env;
    for (char **e = environ; *e; ++e) {
        const std::string_view var(*e);
        if (var.rfind("HOME=", 0) != 0 && var.rfind("KELMOR_COM1=", 0) != 0 &&
            var.rfind("QT_QPA_PLATFORM=", 0) != 0 && var.rfind("XDG_RUNTIME_DIR=", 0) != 0 &&
            var.rfind("DISPLAY=", 0) != 0)
            env.emplace_back(var);
    }
    env.push_back("HOME=" + home);
    env.push_back("KELMOR_COM1=" + pty.slavePath);
    env.push_back(std::string("QT_QPA_PLATFORM=") + (xServer ? "xcb" : "offscreen"));
    if (xServer)
        env.push_back("DISPLAY=" + xServer->display());
    env.push_back("XDG_RUNTIME_DIR=" + runtime);

    std::vector<Row> rows;

    // Start-up, first: each start is a fresh process.
    if (selected("startup")) {
        std::vector<Ns> startTimes;
        for (int i = 0; i < startups; ++i) {
            const Ns started = now();
            Child child = spawnHost(host, {"--until-dialog"}, env);
            const auto line = child.readLine(30 * kSecond);
            if (!line || line->rfind("dialog ", 0) != 0)
                fail("the settings dialog did not show");
            startTimes.push_back(Ns(std::strtoll(line->c_str() + 7, nullptr, 10)) - started);
            if (child.finish() != 0)
                fail("the start-up run failed");
            pty.drain();
        }
        const double ms = percentile(startTimes, 0.5) / 1e6;
        rows.push_back(
            {"startup",
             "Start-up to the settings dialog shown, median of " + std::to_string(startups),
             formatted("%.0f ms (fastest %.0f ms, slowest %.0f ms)", ms,
                       percentile(startTimes, 0.0) / 1e6, percentile(startTimes, 1.0) / 1e6),
             "< 300 ms", ms < 300.0});
    }

    // The monitor for everything else: started, its run going, the log open.
    Child monitor = spawnHost(
        host, trendOpen ? std::vector<std::string>{"--trend"} : std::vector<std::string>{}, env);
    auto running = monitor.readLine(30 * kSecond);
    if (running && running->rfind("dialog ", 0) == 0)
        running = monitor.readLine(30 * kSecond);
    if (!running || *running != "running")
        fail("the monitoring run did not start");
    LogFollower log(logPath);
    const pid_t pid = monitor.pid;
    sleepUntil(now() + kSecond);
    pty.drain();
    const double rssStart = rssMiB(pid);

    // The X server's CPU time so far, to set beside the monitor's.
    auto serverCpu = [&]() -> Ns { return xServer ? procStats(xServer->pid()).cpu : 0; };
    auto serverShare = [&](Ns before, Ns elapsed) {
        return xServer ? formatted(" (its X server %.3f %%)",
                                   double(serverCpu() - before) / double(elapsed) * 100.0)
                       : std::string(" (offscreen)");
    };

    if (selected("idle")) {
        const ProcStats before = procStats(pid);
        const Ns serverBefore = serverCpu();
        sleepUntil(now() + idlePhase);
        const ProcStats after = procStats(pid);
        const double share = double(after.cpu - before.cpu) / double(idlePhase) * 100.0;
        rows.push_back(
            {"idle",
             "Idle, port open, nothing arriving, " + std::to_string(idlePhase / kSecond) + " s",
             formatted("%.3f %% of one core, ", share) +
                 std::to_string(after.voluntary - before.voluntary) +
                 " voluntary context switches" + serverShare(serverBefore, idlePhase),
             "< 0.1 %", share < 0.1});
    }

    std::uint32_t sent = 0;
    const Ns linePeriod = Ns(double(kSecond) / kLineRate);

    // Latency at the line rate: each line written whole, on the line's own schedule.
    if (selected("latency")) {
        std::vector<Ns> writtenAt(latencyLines, 0);
        std::vector<Ns> latencies;
        latencies.reserve(latencyLines);
        const std::uint32_t first = sent;
        const Ns start = now();
        std::uint32_t k = 0;
        while (log.recorded() < first + latencyLines) {
            const Ns due = start + Ns(k) * linePeriod;
            const Ns wait = k < latencyLines ? std::max<Ns>(0, due - now()) : 100 * 1000000;
            pollfd p{log.notifyFd(), POLLIN, 0};
            // poll() takes milliseconds; the rest of a short wait is slept precisely.
            if (::poll(&p, 1, int(wait / 1000000)) == 0 && k < latencyLines)
                sleepUntil(due);
            log.poll([&](std::uint32_t i) { latencies.push_back(now() - writtenAt[i - first]); });
            if (k < latencyLines && now() >= due) {
                const std::string line = gaugeLine(sent);
                writtenAt[k] = now();
                pty.writeAll(line);
                ++sent;
                ++k;
            }
            if (now() - start > Ns(latencyLines) * linePeriod + 30 * kSecond)
                fail("the latency phase did not finish");
        }
        const double p99 = percentile(latencies, 0.99) / 1e6;
        rows.push_back(
            {"latency",
             "Latency at " + withThousands(kLineRate) + " lines/s, write to record in the log, " +
                 withThousands(latencyLines) + " lines",
             formatted("p50 %.3f ms, p99 %.3f ms (max %.3f ms)", percentile(latencies, 0.5) / 1e6,
                       p99, percentile(latencies, 1.0) / 1e6),
             "p99 < 2 ms", p99 < 2.0});
    }

    // CPU at the line rate: the share of one core from the first byte to the last record.
    std::string serverFigure;
    auto cpuShare = [&](bool byteByByte) {
        const ProcStats before = procStats(pid);
        const Ns serverBefore = serverCpu();
        const Ns start = now();
        if (byteByByte) {
            const Ns bytePeriod = Ns(double(kSecond) / kBytesPerSecond);
            const auto lines = std::uint32_t(double(cpuPhase) / double(linePeriod));
            const std::string stream = gaugeLines(sent, lines);
            for (std::size_t i = 0; i < stream.size(); ++i) {
                sleepUntil(start + Ns(i) * bytePeriod);
                pty.writeAll(std::string_view(stream).substr(i, 1));
            }
            sent += lines;
        } else {
            for (Ns due = start; due < start + cpuPhase; due += linePeriod) {
                sleepUntil(due);
                pty.writeAll(gaugeLine(sent++));
            }
        }
        log.waitFor(sent, 30 * kSecond);
        // A frame still due after the last line belongs to the phase.
        sleepUntil(now() + kSecond / 10);
        const ProcStats after = procStats(pid);
        const Ns elapsed = now() - start;
        serverFigure = serverShare(serverBefore, elapsed);
        return double(after.cpu - before.cpu) / double(elapsed) * 100.0;
    };
    if (selected("cpu-lines")) {
        const double share = cpuShare(false);
        rows.push_back(
            {"cpu-lines",
             "CPU at the line rate, whole lines, " + std::to_string(cpuPhase / kSecond) + " s",
             formatted("%.2f %% of one core", share) + serverFigure, "< 1 % (the monitor alone)",
             share < 1.0});
    }
    if (selected("cpu-bytes")) {
        const double share = cpuShare(true);
        rows.push_back(
            {"cpu-bytes",
             "CPU at 38400 baud, byte by byte, " + std::to_string(cpuPhase / kSecond) + " s",
             formatted("%.2f %% of one core", share) + serverFigure, "< 2 %", share < 2.0});
    }

    // Full speed: as fast as the pseudo-terminal takes the lines, in large writes.
    auto flood = [&](std::uint32_t count) {
        const std::uint32_t target = sent + count;
        constexpr std::uint32_t kBatch = 2000;
        std::string chunk;
        std::size_t at = 0;
        while (log.recorded() < target) {
            if (at == chunk.size() && sent < target) {
                const std::uint32_t n = std::min(kBatch, target - sent);
                chunk = gaugeLines(sent, n);
                sent += n;
                at = 0;
            }
            pollfd p[2] = {{log.notifyFd(), POLLIN, 0},
                           {pty.master, short(at < chunk.size() ? POLLOUT : 0), 0}};
            ::poll(p, 2, 100);
            if (at < chunk.size()) {
                const ssize_t n = ::write(pty.master, chunk.data() + at, chunk.size() - at);
                if (n > 0)
                    at += std::size_t(n);
            }
            pty.drain();
            log.poll();
        }
    };

    // Memory after so many lines in all, with the headroom run in the middle.
    const bool memory = selected("memory");
    if (memory && sent < memoryFirst)
        flood(memoryFirst - sent);
    const double rssFirst = rssMiB(pid);

    if (selected("headroom")) {
        const std::uint32_t wrongBefore = log.wrong();
        const Ns start = now();
        flood(headroomLines);
        const double rate = headroomLines / (double(now() - start) / 1e9);
        const std::uint32_t wrong = log.wrong() - wrongBefore;
        rows.push_back(
            {"headroom",
             "Headroom: " + withThousands(headroomLines) + " lines as fast as the line takes them",
             withThousands(rate) + " lines/s, " + withThousands(rate / kLineRate) +
                 " x the line rate; " + std::to_string(wrong) + " lost, duplicated or out of order",
             ">= 10,000 lines/s, none lost", rate >= 10000 && wrong == 0});
    }

    if (memory) {
        if (sent < memorySecond)
            flood(memorySecond - sent);
        const double rssSecond = rssMiB(pid);
        rows.push_back({"memory",
                        "Memory (RSS) after start-up, " + withThousands(memoryFirst) + " and " +
                            withThousands(memorySecond) + " lines",
                        formatted("%.1f / %.1f / %.1f MiB", rssStart, rssFirst, rssSecond) +
                            formatted(" (growth %.2f MiB)", rssSecond - rssFirst),
                        "growth < 2 MB", (rssSecond - rssFirst) * 1.048576 < 2.0});
    }

    const int exitCode = monitor.finish();
    log.poll();

    // The table, as docs/benchmarks.md keeps it, in the order of the measures' list.
    std::printf("Machine: %s%s; the window %s%s\n\n", machineLine().c_str(),
                quick ? " (--quick: short phases)" : "",
                xServer ? "on Xvfb through the X11 platform plugin" : "offscreen",
                trendOpen ? ", the trend window open" : "");
    std::printf("| measure | figure | target | |\n|---|---|---|---|\n");
    for (const std::string &phase : allPhases) {
        for (const Row &row : rows) {
            if (row.phase == phase)
                std::printf("| %s | %s | %s | %s |\n", row.measure.c_str(), row.figure.c_str(),
                            row.target.c_str(), row.met ? "met" : "MISSED");
        }
    }
    std::printf("\nLines sent %u, recorded in order %u, wrong records %u; monitor exit code %d.\n",
                sent, log.recorded(), log.wrong(), exitCode);
    // The figures are for reading; only lost lines or a failing monitor end in an error.
    const bool sound = log.recorded() == sent && log.wrong() == 0 && exitCode == 0;
    if (sound)
        std::filesystem::remove_all(home);
    else
        std::fprintf(stderr, "bench_monitor: the log and the monitor's messages are kept in %s\n",
                     home.c_str());
    return sound ? 0 : 1;
}
