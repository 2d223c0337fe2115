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

#include "benchsupport.h"

#include "gaugestream.h"
#include "xvfbrun.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace kelmor::bench;

namespace {

// In the order of the table, as docs/benchmarks.md keeps it.
const std::vector<std::string> kPhases{"headroom", "latency", "cpu-lines", "cpu-bytes",
                                       "idle",     "memory",  "startup"};

constexpr Ns kLinePeriod = Ns(double(kSecond) / kLineRate);

// The trend keeps this many of the last lines (TrendStore's default capacity), 24 bytes
// each: the program's memory grows by design until they are all there, and not after.
constexpr std::uint32_t kTrendStoreLines = 1u << 21;

struct Row
{
    std::string measure;
    std::string figure;
    std::string target;
    bool met = true;
};

// ------------------------------------------------------------------ the command line

std::string defaultHost()
{
    std::error_code ec;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (self.parent_path() / "kelmor-bench-host").string();
}

struct Options
{
    bool quick = false;
    bool trendOpen = false;
    bool offscreen = false;
    std::string host = defaultHost();
    std::vector<std::string> wrapper; // --wrap, split at blanks
    std::vector<std::string> only;

    bool selected(const std::string &phase) const
    {
        return only.empty() || std::find(only.begin(), only.end(), phase) != only.end();
    }
};

Options parseArguments(int argc, char *argv[])
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--quick")
            options.quick = true;
        else if (arg == "--trend")
            options.trendOpen = true;
        else if (arg == "--offscreen")
            options.offscreen = true;
        else if (arg == "--host" && i + 1 < argc)
            options.host = argv[++i];
        else if (arg == "--wrap" && i + 1 < argc) {
            std::istringstream words(argv[++i]);
            for (std::string w; words >> w;)
                options.wrapper.push_back(w);
        } else if (arg == "--only" && i + 1 < argc &&
                   std::find(kPhases.begin(), kPhases.end(), argv[i + 1]) != kPhases.end())
            options.only.emplace_back(argv[++i]);
        else
            fail("usage: bench_monitor [--quick] [--offscreen] [--trend] [--host PATH] "
                 "[--only PHASE]... [--wrap \"COMMAND ARGS\"]\n"
                 "PHASE: headroom, latency, cpu-lines, cpu-bytes, idle, memory, startup");
    }
    return options;
}

// How long each phase runs.
struct Sizes
{
    explicit Sizes(bool quick)
        : headroomLines(quick ? 20000 : 200000), latencyLines(quick ? 200 : 2000),
          cpuPhase((quick ? 5 : 60) * kSecond), idlePhase((quick ? 3 : 30) * kSecond),
          memoryFirst(quick ? 20000 : kTrendStoreLines + 100000),
          memorySecond(memoryFirst + (quick ? 40000 : 1000000)), startups(quick ? 3 : 10)
    {
    }
    std::uint32_t headroomLines;
    std::uint32_t latencyLines;
    Ns cpuPhase;
    Ns idlePhase;
    std::uint32_t memoryFirst;
    std::uint32_t memorySecond;
    int startups;
};

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

// ------------------------------------------------------------------ where the monitor runs

// A temporary home for the monitor's settings and data log, its own X server unless it
// draws offscreen, and the pseudo-terminal it opens as Com1.
struct Rig
{
    explicit Rig(const Options &options)
        : home(makeHome()), logPath(home + "/KelmorLog.txt"),
          hostErrors(home + "/monitor-stderr.txt"), wrapper(options.wrapper), host(options.host)
    {
        const std::string runtime = home + "/xdg";
        ::mkdir(runtime.c_str(), 0700);
        setFailureHint("the monitor's own messages are in " + hostErrors);
        if (!options.offscreen) {
            if (!xvfbToolsInstalled())
                fail("needs Xvfb and xset (scripts/bench.sh installs them), or --offscreen");
            xServer = std::make_unique<XvfbServer>(hostErrors);
        }
        std::vector<std::pair<std::string, std::string>> vars{
            {"HOME", home},
            {"KELMOR_COM1", pty.slavePath()},
            {"QT_QPA_PLATFORM", xServer ? "xcb" : "offscreen"},
            {"XDG_RUNTIME_DIR", runtime}};
        if (xServer)
            vars.emplace_back("DISPLAY", xServer->display());
        env = environmentWith(vars, {"DISPLAY"});
    }

    static std::string makeHome()
    {
        const char *tmp = std::getenv("TMPDIR");
        std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/kelmor-bench-XXXXXX";
        if (!::mkdtemp(path.data()))
            fail("mkdtemp");
        return path;
    }

    // The monitor, under the --wrap tool if one was given.
    Child startHost(const std::vector<std::string> &args) const
    {
        std::vector<std::string> argv = wrapper;
        argv.push_back(host);
        argv.insert(argv.end(), args.begin(), args.end());
        return Child(argv, env, hostErrors);
    }

    // The X server's CPU time so far, to set beside the monitor's.
    Ns serverCpu() const { return xServer ? procStats(xServer->pid()).cpu : 0; }
    std::string serverShare(Ns before, Ns elapsed) const
    {
        return xServer ? formatted(" (its X server %.3f %%)",
                                   double(serverCpu() - before) / double(elapsed) * 100.0)
                       : std::string(" (offscreen)");
    }

    const std::string home;
    const std::string logPath;
    const std::string hostErrors; // the monitor's own warnings, kept out of the table
    const std::vector<std::string> wrapper;
    const std::string host;
    std::unique_ptr<XvfbServer> xServer;
    Pty pty;
    std::vector<std::string> env;
};

// ------------------------------------------------------------------ the phases

// Each start is a fresh process, up to the settings dialog's first paint.
Row startupPhase(const Rig &rig, int startups)
{
    std::vector<Ns> startTimes;
    for (int i = 0; i < startups; ++i) {
        const Ns started = now();
        Child child = rig.startHost({"--until-dialog"});
        const auto line = child.readLine(30 * kSecond);
        if (!line || line->rfind("dialog ", 0) != 0)
            fail("the settings dialog did not show");
        startTimes.push_back(Ns(std::strtoll(line->c_str() + 7, nullptr, 10)) - started);
        if (child.finish() != 0)
            fail("the start-up run failed");
        rig.pty.drain();
    }
    const double ms = percentile(startTimes, 0.5) / 1e6;
    return {"Start-up to the settings dialog shown, median of " + std::to_string(startups),
            formatted("%.0f ms (fastest %.0f ms, slowest %.0f ms)", ms,
                      percentile(startTimes, 0.0) / 1e6, percentile(startTimes, 1.0) / 1e6),
            "< 300 ms", ms < 300.0};
}

Child startMonitor(const Rig &rig, bool trendOpen)
{
    Child monitor =
        rig.startHost(trendOpen ? std::vector<std::string>{"--trend"} : std::vector<std::string>{});
    auto running = monitor.readLine(30 * kSecond);
    if (running && running->rfind("dialog ", 0) == 0)
        running = monitor.readLine(30 * kSecond);
    if (!running || *running != "running")
        fail("the monitoring run did not start");
    return monitor;
}

// The monitor for every phase after start-up: started, its run going, its data log
// followed. Lines are numbered across the phases, so the log is checked as one.
class MonitorRun
{
public:
    MonitorRun(Rig &rig, bool trendOpen)
        : m_rig(rig), m_monitor(startMonitor(rig, trendOpen)), m_log(rig.logPath, gaugeRecord),
          m_pid(m_monitor.pid())
    {
        sleepUntil(now() + kSecond);
        m_rig.pty.drain();
        m_rssStart = rssMiB(m_pid);
    }

    Row idle(Ns phase)
    {
        const ProcStats before = procStats(m_pid);
        const Ns serverBefore = m_rig.serverCpu();
        sleepUntil(now() + phase);
        const ProcStats after = procStats(m_pid);
        const double share = double(after.cpu - before.cpu) / double(phase) * 100.0;
        return {"Idle, port open, nothing arriving, " + std::to_string(phase / kSecond) + " s",
                formatted("%.3f %% of one core, ", share) +
                    std::to_string(after.voluntary - before.voluntary) +
                    " voluntary context switches" + m_rig.serverShare(serverBefore, phase),
                "< 0.1 %", share < 0.1};
    }

    // Each line written whole, on the line's own schedule, timed until it is in the log.
    Row latency(std::uint32_t lines)
    {
        std::vector<Ns> writtenAt(lines, 0);
        std::vector<Ns> latencies;
        latencies.reserve(lines);
        const std::uint32_t first = m_sent;
        const Ns start = now();
        std::uint32_t k = 0;
        while (m_log.recorded() < first + lines) {
            const Ns due = start + Ns(k) * kLinePeriod;
            const Ns wait = k < lines ? std::max<Ns>(0, due - now()) : 100 * 1000000;
            pollfd p{m_log.notifyFd(), POLLIN, 0};
            // poll() takes milliseconds; the rest of a short wait is slept precisely.
            if (::poll(&p, 1, int(wait / 1000000)) == 0 && k < lines)
                sleepUntil(due);
            m_log.poll([&](std::uint32_t i) { latencies.push_back(now() - writtenAt[i - first]); });
            if (k < lines && now() >= due) {
                const std::string line = gaugeLine(m_sent);
                writtenAt[k] = now();
                m_rig.pty.writeAll(line);
                ++m_sent;
                ++k;
            }
            if (now() - start > Ns(lines) * kLinePeriod + 30 * kSecond)
                fail("the latency phase did not finish");
        }
        const double p99 = percentile(latencies, 0.99) / 1e6;
        return {"Latency at " + withThousands(kLineRate) +
                    " lines/s, write to record in the log, " + withThousands(lines) + " lines",
                formatted("p50 %.3f ms, p99 %.3f ms (max %.3f ms)",
                          percentile(latencies, 0.5) / 1e6, p99, percentile(latencies, 1.0) / 1e6),
                "p99 < 2 ms", p99 < 2.0};
    }

    Row cpuLines(Ns phase)
    {
        const CpuFigure cpu = cpuShare(false, phase);
        return {"CPU at the line rate, whole lines, " + std::to_string(phase / kSecond) + " s",
                formatted("%.2f %% of one core", cpu.share) + cpu.server,
                "< 1 % (the monitor alone)", cpu.share < 1.0};
    }

    Row cpuBytes(Ns phase)
    {
        const CpuFigure cpu = cpuShare(true, phase);
        return {"CPU at 38400 baud, byte by byte, " + std::to_string(phase / kSecond) + " s",
                formatted("%.2f %% of one core", cpu.share) + cpu.server, "< 2 %", cpu.share < 2.0};
    }

    Row headroom(std::uint32_t lines)
    {
        const std::uint32_t wrongBefore = m_log.wrong();
        const Ns start = now();
        flood(lines);
        const double rate = lines / (double(now() - start) / 1e9);
        const std::uint32_t wrong = m_log.wrong() - wrongBefore;
        return {"Headroom: " + withThousands(lines) + " lines as fast as the line takes them",
                withThousands(rate) + " lines/s, " + withThousands(rate / kLineRate) +
                    " x the line rate; " + std::to_string(wrong) +
                    " lost, duplicated or out of order",
                ">= 10,000 lines/s, none lost", rate >= 10000 && wrong == 0};
    }

    // Memory is read after start-up, after `first` lines in all and after `second`; the
    // headroom run, if any, falls between the last two. Once `first` is past the trend's
    // store, nothing is kept for longer than a line: the growth after it is a leak.
    void memoryFirstReading(std::uint32_t first)
    {
        if (m_sent < first)
            flood(first - m_sent);
        m_rssFirst = rssMiB(m_pid);
    }
    Row memory(std::uint32_t first, std::uint32_t second)
    {
        if (m_sent < second)
            flood(second - m_sent);
        const double rssSecond = rssMiB(m_pid);
        return {"Memory (RSS) after start-up, " + withThousands(first) + " and " +
                    withThousands(second) + " lines (the trend's store full at " +
                    withThousands(kTrendStoreLines) + ")",
                formatted("%.1f / %.1f / %.1f MiB", m_rssStart, m_rssFirst, rssSecond) +
                    formatted(" (growth %.2f MiB)", rssSecond - m_rssFirst),
                "growth < 2 MB", (rssSecond - m_rssFirst) * 1.048576 < 2.0};
    }

    // Ends the run as the operator does; the monitor's exit code.
    int finish()
    {
        const int exitCode = m_monitor.finish();
        m_log.poll();
        return exitCode;
    }

    std::uint32_t sent() const { return m_sent; }
    const LogFollower &log() const { return m_log; }

private:
    struct CpuFigure
    {
        double share; // of one core, in per cent
        std::string server;
    };

    // The share of one core from the first byte to the last record.
    CpuFigure cpuShare(bool byteByByte, Ns phase)
    {
        const ProcStats before = procStats(m_pid);
        const Ns serverBefore = m_rig.serverCpu();
        const Ns start = now();
        if (byteByByte) {
            const Ns bytePeriod = Ns(double(kSecond) / kBytesPerSecond);
            const auto lines = std::uint32_t(double(phase) / double(kLinePeriod));
            const std::string stream = gaugeLines(m_sent, lines);
            for (std::size_t i = 0; i < stream.size(); ++i) {
                sleepUntil(start + Ns(i) * bytePeriod);
                m_rig.pty.writeAll(std::string_view(stream).substr(i, 1));
            }
            m_sent += lines;
        } else {
            for (Ns due = start; due < start + phase; due += kLinePeriod) {
                sleepUntil(due);
                m_rig.pty.writeAll(gaugeLine(m_sent++));
            }
        }
        m_log.waitFor(m_sent, 30 * kSecond);
        // A frame still due after the last line belongs to the phase.
        sleepUntil(now() + kSecond / 10);
        const ProcStats after = procStats(m_pid);
        const Ns elapsed = now() - start;
        return {double(after.cpu - before.cpu) / double(elapsed) * 100.0,
                m_rig.serverShare(serverBefore, elapsed)};
    }

    // As fast as the pseudo-terminal takes the lines, in large writes.
    void flood(std::uint32_t count)
    {
        const std::uint32_t target = m_sent + count;
        constexpr std::uint32_t kBatch = 2000;
        const int master = m_rig.pty.master();
        std::string chunk;
        std::size_t at = 0;
        while (m_log.recorded() < target) {
            if (at == chunk.size() && m_sent < target) {
                const std::uint32_t n = std::min(kBatch, target - m_sent);
                chunk = gaugeLines(m_sent, n);
                m_sent += n;
                at = 0;
            }
            pollfd p[2] = {{m_log.notifyFd(), POLLIN, 0},
                           {master, short(at < chunk.size() ? POLLOUT : 0), 0}};
            ::poll(p, 2, 100);
            if (at < chunk.size()) {
                const ssize_t n = ::write(master, chunk.data() + at, chunk.size() - at);
                if (n > 0)
                    at += std::size_t(n);
            }
            m_rig.pty.drain();
            m_log.poll();
        }
    }

    Rig &m_rig;
    Child m_monitor;
    LogFollower m_log;
    const pid_t m_pid;
    double m_rssStart = 0.0;
    double m_rssFirst = 0.0;
    std::uint32_t m_sent = 0;
};

// ------------------------------------------------------------------ the report

void printTable(const Options &options, const Rig &rig, const std::map<std::string, Row> &rows)
{
    std::printf("Machine: %s%s; the window %s%s\n\n", machineLine().c_str(),
                options.quick ? " (--quick: short phases)" : "",
                rig.xServer ? "on Xvfb through the X11 platform plugin" : "offscreen",
                options.trendOpen ? ", the trend window open" : "");
    std::printf("| measure | figure | target | |\n|---|---|---|---|\n");
    for (const std::string &phase : kPhases) {
        if (const auto row = rows.find(phase); row != rows.end())
            std::printf("| %s | %s | %s | %s |\n", row->second.measure.c_str(),
                        row->second.figure.c_str(), row->second.target.c_str(),
                        row->second.met ? "met" : "MISSED");
    }
}

// The figures are for reading; only lost lines or a failing monitor end in an error.
int verdict(const Rig &rig, const MonitorRun &run, int exitCode)
{
    const LogFollower &log = run.log();
    std::printf("\nLines sent %u, recorded in order %u, wrong records %u; monitor exit code %d.\n",
                run.sent(), log.recorded(), log.wrong(), exitCode);
    const bool sound = log.recorded() == run.sent() && log.wrong() == 0 && exitCode == 0;
    if (sound)
        std::filesystem::remove_all(rig.home);
    else
        std::fprintf(stderr, "bench_monitor: the log and the monitor's messages are kept in %s\n",
                     rig.home.c_str());
    return sound ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    const Options options = parseArguments(argc, argv);
    const Sizes sizes(options.quick);
    std::signal(SIGPIPE, SIG_IGN);
    Rig rig(options);

    std::map<std::string, Row> rows;
    auto measure = [&](const std::string &phase, auto &&phaseRow) {
        if (options.selected(phase))
            rows.emplace(phase, phaseRow());
    };
    // Start-up first, before the monitor for the other phases runs.
    measure("startup", [&] { return startupPhase(rig, sizes.startups); });
    MonitorRun run(rig, options.trendOpen);
    measure("idle", [&] { return run.idle(sizes.idlePhase); });
    measure("latency", [&] { return run.latency(sizes.latencyLines); });
    measure("cpu-lines", [&] { return run.cpuLines(sizes.cpuPhase); });
    measure("cpu-bytes", [&] { return run.cpuBytes(sizes.cpuPhase); });
    if (options.selected("memory"))
        run.memoryFirstReading(sizes.memoryFirst);
    measure("headroom", [&] { return run.headroom(sizes.headroomLines); });
    measure("memory", [&] { return run.memory(sizes.memoryFirst, sizes.memorySecond); });
    const int exitCode = run.finish();

    printTable(options, rig, rows);
    return verdict(rig, run, exitCode);
}
