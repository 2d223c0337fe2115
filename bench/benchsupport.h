#pragma once

// What the benchmarks share: a steady clock, pseudo-terminals to play the gauge on,
// child processes with an environment of their own, their CPU time from /proc, and a
// follower that checks a data log record by record as the monitor appends to it.

#include "rawpty.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <sys/types.h>

namespace kelmor::bench {

using Ns = std::int64_t;
constexpr Ns kSecond = 1000000000;

Ns now(); // CLOCK_MONOTONIC
void sleepUntil(Ns when);

// Ends the benchmark with a message on standard error, and a hint where to look when one
// was given with setFailureHint().
[[noreturn]] void fail(const std::string &why);
void setFailureHint(std::string hint);

std::string readFile(const std::string &path);

// A pseudo-terminal in raw mode: the benchmark writes to its master side, the program
// under measurement opens the slave by its path.
class Pty
{
public:
    Pty();

    const std::string &slavePath() const { return m_pty.slavePath(); }
    int master() const { return m_pty.master(); }
    // Throws away what the program sent ("SX1", "SX0"), so the line never fills.
    void drain() const;
    // Writes all of `bytes`, waiting while the line is full.
    void writeAll(std::string_view bytes) const;

private:
    tools::RawPty m_pty;
};

struct ProcStats
{
    Ns cpu = 0;                  // on-CPU time of all threads
    std::uint64_t voluntary = 0; // voluntary context switches of all threads
};
ProcStats procStats(pid_t pid);
double rssMiB(pid_t pid);
// The share of one core that `after - before` took in `elapsed`, in per cent.
double cpuPercent(const ProcStats &before, const ProcStats &after, Ns elapsed);

// The current environment with the named variables replaced (or added), and those
// named in `without` left out unless `vars` sets them.
std::vector<std::string>
environmentWith(const std::vector<std::pair<std::string, std::string>> &vars,
                const std::vector<std::string> &without = {});

// A program started with its standard input and output on pipes.
class Child
{
public:
    // `argv[0]` is looked up in PATH. Standard error goes to `errorPath` (appended).
    Child(const std::vector<std::string> &argv, const std::vector<std::string> &env,
          const std::string &errorPath);
    ~Child();
    Child(Child &&other) noexcept;
    Child &operator=(Child &&) = delete;
    Child(const Child &) = delete;

    pid_t pid() const { return m_pid; }
    // The next line it writes, or nothing when it ends first or the time runs out.
    std::optional<std::string> readLine(Ns timeout);
    // Closes its standard input and waits for its end; the exit code, or 128 + signal.
    int finish();
    // Asks it to end (SIGTERM) and waits; 128 + signal when the signal ended it.
    int terminate();

private:
    int wait();

    pid_t m_pid = -1;
    int m_in = -1;
    int m_out = -1;
    std::string m_buffer;
};

// Runs a command to its end; its exit code (127 when it cannot start).
int runCommand(const std::vector<std::string> &argv, const std::vector<std::string> &env);

// Follows a data log as the monitor appends to it: after the run's header, record k must
// be "\"" + expected(k) + "\"", byte for byte. Anything else counts as wrong (lost,
// duplicated, reordered or torn).
class LogFollower
{
public:
    LogFollower(const std::string &path, std::function<std::string(std::uint32_t)> expected);
    ~LogFollower();
    LogFollower(const LogFollower &) = delete;
    LogFollower &operator=(const LogFollower &) = delete;

    int notifyFd() const { return m_inotify; }
    // Reads what was appended; calls onLine(k) for each record that is the next line k.
    std::uint32_t poll(const std::function<void(std::uint32_t)> &onLine = {});
    // Waits, following the file, until `count` lines have been recorded in all.
    void waitFor(std::uint32_t count, Ns timeout);
    std::uint32_t recorded() const { return m_next; }
    std::uint32_t wrong() const { return m_wrong; }

private:
    std::string m_path;
    std::function<std::string(std::uint32_t)> m_expected;
    int m_inotify = -1;
    int m_fd = -1;
    std::string m_pending;
    bool m_headerSeen = false;
    std::uint32_t m_next = 0;
    std::uint32_t m_wrong = 0;
};

std::string machineLine();
std::string formatted(const char *fmt, double a, double b = 0.0, double c = 0.0);

} // namespace kelmor::bench
