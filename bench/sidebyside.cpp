// The monitor beside a generic serial terminal (CuteCom, Debian's Qt serial terminal) on
// the same stream of gauge lines, at the same time: each program on its own X server
// (Xvfb, drawn through the X11 platform plugin as on a desktop) and its own
// pseudo-terminal, each writing its log. It reports what each program and its X server
// took of one core, and the ratio of the monitor's pair to CuteCom's.
//
//   bench_sidebyside [--quick] [--seconds S] [--runs N] [--rate LINES_PER_SECOND] [--bytes]
//                    [--host PATH[=LABEL]]... [--no-cutecom] [--wrap "COMMAND ARGS"]
//
// --bytes sends the stream one character at a time at 38400 baud, as a gauge's UART
// does, instead of a line at a time; the line rate is then that of the characters.
//
// --host may be given more than once, for example to run the program before and after a
// change side by side in one run (each gets its own X server and pseudo-terminal);
// without it the kelmor-bench-host beside this program is used. Every line each monitor
// records is checked: nothing may be lost, duplicated or reordered, and CuteCom's log
// must hold exactly the bytes sent. Only such a fault, or a program that fails, ends in
// a non-zero exit status; the figures are for reading. --wrap starts the monitors under a
// tool, for example --wrap "valgrind --tool=callgrind" (the figures are then the tool's).

#include "benchsupport.h"
#include "gaugestream.h"
#include "xvfbrun.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

using namespace kelmor::bench;
using kelmor::sim::LineEnd;

namespace {

struct Options
{
    bool quick = false;
    Ns duration = 60 * kSecond;
    int runs = 1;
    double rate = kLineRate;
    bool bytes = false;
    std::vector<std::pair<std::string, std::string>> hosts; // path, label
    bool cutecom = true;
    std::vector<std::string> wrapper; // --wrap, split at blanks
};

// CuteCom's window under Xvfb without a window manager: it sits at the top left.
constexpr const char *kCuteComLogBox[] = {"206", "640"};
constexpr const char *kCuteComOpen[] = {"50", "43"};

// One program under measurement with its own X server and line.
struct Contender
{
    std::string label;
    bool isCuteCom = false;
    std::string home;
    std::unique_ptr<XvfbServer> x;
    std::unique_ptr<Pty> pty;
    std::unique_ptr<Child> process;
    std::unique_ptr<LogFollower> log; // the monitor's data log
    std::string logPath;              // CuteCom's
    std::size_t bytesSent = 0;

    LineEnd lineEnd() const { return isCuteCom ? LineEnd::CrLf : LineEnd::Cr; }
};

struct Sample
{
    double process = 0.0;
    double server = 0.0;
    double both() const { return process + server; }
};

std::string makeDir(const std::string &path)
{
    std::filesystem::create_directories(path);
    ::chmod(path.c_str(), 0700);
    return path;
}

void startMonitor(Contender &c, const std::string &host, const std::vector<std::string> &wrapper,
                  const std::string &errors)
{
    const auto env = environmentWith({{"HOME", c.home},
                                      {"KELMOR_COM1", c.pty->slavePath()},
                                      {"QT_QPA_PLATFORM", "xcb"},
                                      {"DISPLAY", c.x->display()},
                                      {"XDG_RUNTIME_DIR", makeDir(c.home + "/xdg")}});
    std::vector<std::string> argv = wrapper;
    argv.push_back(host);
    c.process = std::make_unique<Child>(argv, env, errors);
    auto line = c.process->readLine(60 * kSecond);
    if (line && line->rfind("dialog ", 0) == 0)
        line = c.process->readLine(60 * kSecond);
    if (!line || *line != "running")
        fail(c.label + ": the monitoring run did not start");
    c.log = std::make_unique<LogFollower>(c.home + "/KelmorLog.txt",
                                          [](std::uint32_t i) { return gaugeRecord(i); });
}

bool hasOpen(pid_t pid, const std::string &path)
{
    std::error_code ec;
    for (const auto &fd :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code linkError;
        if (std::filesystem::read_symlink(fd.path(), linkError).string() == path)
            return true;
    }
    return false;
}

void startCuteCom(Contender &c, const std::string &errors)
{
    // A session on our line, so the fresh home starts on it.
    makeDir(c.home + "/.config/CuteCom");
    std::ofstream conf(c.home + "/.config/CuteCom/CuteCom5.conf");
    conf << "[sessions]\n1\\BaudRate=38400\n1\\Device=" << c.pty->slavePath()
         << "\n1\\name=Default\nsize=1\n";
    conf.close();
    c.logPath = c.home + "/cutecom.log";
    const auto env = environmentWith({{"HOME", c.home},
                                      {"DISPLAY", c.x->display()},
                                      {"QT_QPA_PLATFORM", "xcb"},
                                      {"XDG_RUNTIME_DIR", makeDir(c.home + "/xdg")}});
    c.process = std::make_unique<Child>(std::vector<std::string>{"cutecom"}, env, errors);

    const Ns deadline = now() + 60 * kSecond;
    while (!xdotool(c.x->display(), {"search", "--onlyvisible", "--name", "CuteCom"})) {
        if (now() > deadline)
            fail("CuteCom's window did not show");
        sleepUntil(now() + kSecond / 5);
    }
    sleepUntil(now() + kSecond / 2);
    // The log box first, then Open. On a pseudo-terminal CuteCom then says that it cannot
    // set the modem lines, in a modal box; dismissing it would close the port, so it stays.
    for (const auto *at : {kCuteComLogBox, kCuteComOpen}) {
        if (!xdotool(c.x->display(), {"mousemove", at[0], at[1], "click", "1"}))
            fail("xdotool could not click into CuteCom");
        sleepUntil(now() + kSecond / 2);
    }
    while (!hasOpen(c.process->pid(), c.pty->slavePath()) || !std::filesystem::exists(c.logPath)) {
        if (now() > deadline)
            fail(
                "CuteCom did not open its port and its log (are the click positions still right?)");
        sleepUntil(now() + kSecond / 10);
    }
}

// Sends lines first .. first + count - 1 to every contender at `rate`, each line to all
// at once; with `bytes`, each character to all at once, at 38400 baud.
void play(std::vector<Contender> &all, std::uint32_t first, std::uint32_t count, double rate,
          bool bytes)
{
    const Ns start = now();
    if (bytes) {
        std::vector<std::string> streams;
        std::size_t longest = 0;
        for (Contender &c : all) {
            streams.push_back(gaugeLines(first, count, c.lineEnd()));
            longest = std::max(longest, streams.back().size());
            c.bytesSent += streams.back().size();
        }
        const Ns bytePeriod = Ns(double(kSecond) / kBytesPerSecond);
        for (std::size_t i = 0; i < longest; ++i) {
            sleepUntil(start + Ns(i) * bytePeriod);
            for (std::size_t n = 0; n < all.size(); ++n) {
                if (i < streams[n].size())
                    all[n].pty->writeAll(std::string_view(streams[n]).substr(i, 1));
            }
        }
        return;
    }
    const Ns period = Ns(double(kSecond) / rate);
    for (std::uint32_t k = 0; k < count; ++k) {
        sleepUntil(start + Ns(k) * period);
        for (Contender &c : all) {
            const std::string line = gaugeLine(first + k, c.lineEnd());
            c.pty->writeAll(line);
            c.bytesSent += line.size();
        }
    }
}

// Waits until every contender has logged everything sent.
void waitForLogs(std::vector<Contender> &all, std::uint32_t sent)
{
    for (Contender &c : all) {
        if (c.log) {
            c.log->waitFor(sent, 30 * kSecond);
            continue;
        }
        const Ns deadline = now() + 30 * kSecond;
        while (std::filesystem::file_size(c.logPath) < c.bytesSent) {
            if (now() > deadline)
                fail(c.label + " logged " + std::to_string(std::filesystem::file_size(c.logPath)) +
                     " of " + std::to_string(c.bytesSent) + " bytes");
            sleepUntil(now() + kSecond / 20);
        }
    }
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty()      ? 0.0
           : v.size() % 2 ? v[v.size() / 2]
                          : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

Options parse(int argc, char *argv[])
{
    Options o;
    bool seconds = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--quick") {
            o.quick = true;
        } else if (arg == "--seconds" && hasValue) {
            o.duration = Ns(std::stod(argv[++i]) * double(kSecond));
            seconds = true;
        } else if (arg == "--runs" && hasValue) {
            o.runs = std::max(1, std::stoi(argv[++i]));
        } else if (arg == "--rate" && hasValue) {
            o.rate = std::stod(argv[++i]);
        } else if (arg == "--bytes") {
            o.bytes = true;
        } else if (arg == "--host" && hasValue) {
            const std::string value = argv[++i];
            const std::size_t eq = value.find('=');
            o.hosts.emplace_back(value.substr(0, eq),
                                 eq == std::string::npos ? "monitor" : value.substr(eq + 1));
        } else if (arg == "--no-cutecom") {
            o.cutecom = false;
        } else if (arg == "--wrap" && hasValue) {
            std::istringstream words(argv[++i]);
            for (std::string w; words >> w;)
                o.wrapper.push_back(w);
        } else {
            fail("usage: bench_sidebyside [--quick] [--seconds S] [--runs N] [--rate "
                 "LINES_PER_SECOND] [--bytes]\n"
                 "                        [--host PATH[=LABEL]]... [--no-cutecom] [--wrap "
                 "\"COMMAND ARGS\"]");
        }
    }
    if (o.quick && !seconds)
        o.duration = 5 * kSecond;
    if (o.bytes)
        o.rate = kLineRate;
    if (o.rate <= 0.0 || o.rate > 1000.0)
        fail("--rate must be above 0 and at most 1000 lines a second");
    if (o.hosts.empty()) {
        std::error_code ec;
        const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
        o.hosts.emplace_back((self.parent_path() / "kelmor-bench-host").string(), "monitor");
    }
    return o;
}

} // namespace

int main(int argc, char *argv[])
{
    const Options options = parse(argc, argv);
    std::signal(SIGPIPE, SIG_IGN);
    if (!xvfbToolsInstalled())
        fail("needs Xvfb, xset and xdotool (scripts/bench.sh installs them)");
    if (options.cutecom && runCommand({"sh", "-c", "command -v cutecom"}, environmentWith({})) != 0)
        fail("needs cutecom (scripts/bench.sh installs it), or --no-cutecom");

    char baseTemplate[] = "/tmp/kelmor-sidebyside-XXXXXX";
    if (!::mkdtemp(baseTemplate))
        fail("mkdtemp");
    const std::string base = baseTemplate;
    const std::string errors = base + "/messages.txt";
    setFailureHint("the programs' own messages and the logs are kept in " + base);

    std::vector<Contender> all;
    for (const auto &[path, label] : options.hosts) {
        Contender c;
        c.label = label;
        c.home = makeDir(base + "/" + std::to_string(all.size()) + "-" + label);
        c.x = std::make_unique<XvfbServer>(errors);
        c.pty = std::make_unique<Pty>();
        startMonitor(c, path, options.wrapper, errors);
        all.push_back(std::move(c));
    }
    if (options.cutecom) {
        Contender c;
        c.label = "CuteCom";
        c.isCuteCom = true;
        c.home = makeDir(base + "/cutecom");
        c.x = std::make_unique<XvfbServer>(errors);
        c.pty = std::make_unique<Pty>();
        startCuteCom(c, errors);
        all.push_back(std::move(c));
    }

    // Warm-up: every program has drawn a few lines and written its log before the clock
    // starts.
    std::uint32_t sent = 0;
    const auto warmUp = std::uint32_t(options.rate * (options.quick ? 1.0 : 3.0));
    play(all, sent, warmUp, options.rate, options.bytes);
    sent += warmUp;
    waitForLogs(all, sent);

    std::vector<std::vector<Sample>> samples(all.size());
    const auto perRun = std::uint32_t(double(options.duration) / double(kSecond) * options.rate);
    for (int run = 0; run < options.runs; ++run) {
        std::vector<ProcStats> before;
        for (Contender &c : all) {
            c.pty->drain();
            before.push_back(procStats(c.process->pid()));
            before.push_back(procStats(c.x->pid()));
        }
        const Ns start = now();
        play(all, sent, perRun, options.rate, options.bytes);
        sent += perRun;
        waitForLogs(all, sent);
        // A repaint still due after the last line belongs to the run.
        sleepUntil(now() + kSecond / 10);
        const Ns elapsed = now() - start;
        for (std::size_t i = 0; i < all.size(); ++i) {
            const Sample s{cpuPercent(before[2 * i], procStats(all[i].process->pid()), elapsed),
                           cpuPercent(before[2 * i + 1], procStats(all[i].x->pid()), elapsed)};
            samples[i].push_back(s);
        }
    }

    // The end: the monitors stop their runs when their input closes.
    bool sound = true;
    for (Contender &c : all) {
        if (c.isCuteCom) {
            const std::string logged = readFile(c.logPath);
            if (logged != gaugeLines(0, sent, LineEnd::CrLf)) {
                std::fprintf(stderr, "bench_sidebyside: CuteCom's log is not the stream sent\n");
                sound = false;
            }
            c.process->terminate();
            continue;
        }
        const int exitCode = c.process->finish();
        c.log->poll();
        if (exitCode != 0 || c.log->wrong() != 0 || c.log->recorded() != sent) {
            std::fprintf(
                stderr,
                "bench_sidebyside: %s: exit code %d, %u of %u lines in order, %u wrong records\n",
                c.label.c_str(), exitCode, c.log->recorded(), sent, c.log->wrong());
            sound = false;
        }
    }

    std::printf("Machine: %s\n", machineLine().c_str());
    std::printf(
        "Stream: %.1f lines/s of %zu characters (pressure with noise, life bit toggling)%s, "
        "%d run(s) of %.0f s, each program on its own Xvfb\n\n",
        options.rate, kLineChars, options.bytes ? ", byte by byte at 38400 baud" : "", options.runs,
        double(options.duration) / double(kSecond));
    std::printf(
        "| program | process, %% of one core | its X server | together |\n|---|---|---|---|\n");
    auto cell = [](const std::vector<Sample> &s, double (*pick)(const Sample &)) {
        std::vector<double> v;
        for (const Sample &x : s)
            v.push_back(pick(x));
        std::string text = formatted("%.2f", median(v));
        if (v.size() > 1)
            text += formatted(" (%.2f-%.2f)", *std::min_element(v.begin(), v.end()),
                              *std::max_element(v.begin(), v.end()));
        return text;
    };
    for (std::size_t i = 0; i < all.size(); ++i) {
        std::printf("| %s | %s | %s | %s |\n", all[i].label.c_str(),
                    cell(samples[i], [](const Sample &s) { return s.process; }).c_str(),
                    cell(samples[i], [](const Sample &s) { return s.server; }).c_str(),
                    cell(samples[i], [](const Sample &s) { return s.both(); }).c_str());
    }
    if (options.cutecom) {
        const std::vector<Sample> &cute = samples.back();
        for (std::size_t i = 0; i + 1 < all.size(); ++i) {
            std::vector<double> ratios;
            for (int run = 0; run < options.runs; ++run)
                ratios.push_back(samples[i][run].both() / std::max(1e-9, cute[run].both()));
            const double r = median(ratios);
            std::printf(
                "\n%s with its X server / CuteCom with its X server: %.2f (target <= 0.50: %s)",
                all[i].label.c_str(), r, r <= 0.5 ? "met" : "MISSED");
        }
        std::printf("\n");
    }
    std::printf("\nLines sent to each %u; every log complete and in order: %s.\n", sent,
                sound ? "yes" : "NO");
    all.clear();
    if (sound)
        std::filesystem::remove_all(base);
    else
        std::fprintf(stderr, "bench_sidebyside: the logs and messages are kept in %s\n",
                     base.c_str());
    return sound ? 0 : 1;
}
