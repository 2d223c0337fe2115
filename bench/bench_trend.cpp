// The trend's data at a shift's size: appending at 10 and at 1.8 million lines, the
// memory those lines take, decimating them for a plot, and reading a 100 MB data log.
// Build in Release for meaningful figures.
//   bench_trend [--log-mb N] [--keep-log PATH]

#include "logreader.h"
#include "logrecord.h"
#include "receivedline.h"
#include "simline.h"
#include "trendcsv.h"
#include "trendstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace kelmor;

namespace {

constexpr qsizetype kShift = 1'814'400; // 8 hours at 63 lines a second
constexpr qint64 kLinePeriodMs = 16;
constexpr qint64 kT0 = 1'796'000'000'000;

// CPU time of this thread: on a machine shared with other builds the wall clock also
// counts the time the benchmark waited for a core.
qint64 cpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

long residentKiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    }
    return -1;
}

double pressureAt(qsizetype i)
{
    // A pump-down from atmosphere with a degas bump, so min/max have work to do.
    const double t = double(i) / 63.0;
    return 1000.0 * std::exp(-t / 300.0) + 1e-7 + (std::fmod(t, 3600.0) < 60 ? 1e-5 : 0.0);
}

ReceivedLine lineAt(qsizetype i)
{
    ReceivedLine line;
    line.isMeasurement = true;
    line.pressureMbar = pressureAt(i);
    line.pressureText = QStringLiteral("1.23E-05");
    line.status = quint16(0x0019 | ((i & 1) << 15));
    line.wallClock = QDateTime::fromMSecsSinceEpoch(kT0 + i * kLinePeriodMs);
    line.monotonicNs = 1 + i * kLinePeriodMs * 1'000'000;
    return line;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void appendCost()
{
    // Lines are built before each timed batch: only the store's work is timed, in CPU
    // time of this thread.
    constexpr int kBatch = 1000;
    std::vector<ReceivedLine> lines;
    for (int i = 0; i < kBatch; ++i)
        lines.push_back(lineAt(i));

    // What reading the clock twice costs, taken off the short measurement below.
    std::vector<double> clockPairs;
    for (int round = 0; round < 2000; ++round) {
        const qint64 start = cpuNs();
        clockPairs.push_back(double(cpuNs() - start));
    }
    const double clockNs = median(clockPairs);

    // At 10 lines: a fresh store each time, lines 10 to 19 timed.
    std::vector<double> early;
    for (int round = 0; round < 2000; ++round) {
        TrendStore store;
        for (int i = 0; i < 10; ++i)
            store.append(lines[size_t(i)]);
        const qint64 start = cpuNs();
        for (int i = 10; i < 20; ++i)
            store.append(lines[size_t(i)]);
        early.push_back((double(cpuNs() - start) - clockNs) / 10);
    }

    // Filling to a shift, then on past the capacity.
    TrendStore store;
    std::vector<double> late;
    std::vector<double> all;
    qsizetype n = 0;
    const qsizetype target = store.capacity() + 200'000;
    while (n < target) {
        for (int i = 0; i < kBatch; ++i) {
            lines[size_t(i)].wallClock =
                QDateTime::fromMSecsSinceEpoch(kT0 + (n + i) * kLinePeriodMs);
            lines[size_t(i)].monotonicNs = 1 + (n + i) * kLinePeriodMs * 1'000'000;
        }
        const qint64 start = cpuNs();
        for (int i = 0; i < kBatch; ++i)
            store.append(lines[size_t(i)]);
        const double ns = double(cpuNs() - start) / kBatch;
        all.push_back(ns);
        if (n >= kShift && n < kShift + 100'000)
            late.push_back(ns);
        n += kBatch;
    }
    std::sort(all.begin(), all.end());
    std::printf("append at 10 lines          %8.1f ns/line (CPU, median of 2000 rounds, less %.0f "
                "ns for the "
                "clock)\n",
                median(early), clockNs);
    std::printf("append at 1.8M lines        %8.1f ns/line (CPU, median of the batches of 1000 "
                "over lines 1.81M-1.91M)\n",
                median(late));
    std::printf("append, all %lld lines     %8.1f ns/line median, %.1f p99, %.1f worst batch "
                "(new blocks, then wrapping)\n",
                static_cast<long long>(target), all[all.size() / 2], all[all.size() * 99 / 100],
                all.back());
}

void memoryAndDecimation()
{
    const long before = residentKiB();
    auto store = std::make_unique<TrendStore>();
    for (qsizetype i = 0; i < kShift; ++i)
        store->appendSample(kT0 + i * kLinePeriodMs, pressureAt(i), quint16(0x0019 | (i & 1) << 15),
                            "1.23E-05");
    const long after = residentKiB();
    std::printf("memory for %lld lines   %8.1f MB resident (%zu bytes a sample, capacity %lld)\n",
                static_cast<long long>(kShift), double(after - before) / 1024.0,
                sizeof(TrendSample), static_cast<long long>(store->capacity()));

    for (const int columns : {800, 1920, 3840}) {
        std::vector<double> ms;
        quint64 check = 0;
        std::vector<double> cpuMs;
        for (int round = 0; round < 21; ++round) {
            QElapsedTimer timer;
            timer.start();
            const qint64 cpuStart = cpuNs();
            const std::vector<TrendColumn> result =
                store->decimate(store->first().time, store->last().time + 1, columns);
            cpuMs.push_back(double(cpuNs() - cpuStart) / 1e6);
            ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            check += quint64(result.back().count);
        }
        std::printf("decimate 1.8M lines, %4d columns %6.2f ms CPU, %6.2f ms wall (medians of 21; "
                    "check %llu)\n",
                    columns, median(cpuMs), median(ms), static_cast<unsigned long long>(check));
    }
    std::vector<double> searchNs;
    for (int round = 0; round < 1000; ++round) {
        QElapsedTimer timer;
        timer.start();
        const TrendRange r = store->range(kT0 + round * 1000, kT0 + round * 1000 + 3'600'000);
        searchNs.push_back(double(timer.nsecsElapsed()) + double(r.size() & 0));
    }
    std::printf("range() over 1.8M lines     %8.0f ns (median of 1000)\n", median(searchNs));

    QTemporaryDir dir;
    QFile csv(dir.filePath(QStringLiteral("trend.csv")));
    if (csv.open(QIODevice::WriteOnly)) {
        QElapsedTimer timer;
        timer.start();
        const qint64 cpuStart = cpuNs();
        const bool ok = TrendCsv::write(csv, *store, {0, store->size()});
        const double cpuMs = double(cpuNs() - cpuStart) / 1e6;
        const double wallMs = double(timer.nsecsElapsed()) / 1e6;
        std::printf("CSV of 1.8M lines           %8.0f ms CPU, %.0f ms wall, %.0f MB%s\n", cpuMs,
                    wallMs, double(csv.size()) / (1024.0 * 1024.0), ok ? "" : " (failed)");
    }
}

void readLog(qint64 megabytes, const QString &keepPath)
{
    QTemporaryDir dir;
    const QString path =
        keepPath.isEmpty() ? dir.filePath(QStringLiteral("KelmorLog.txt")) : keepPath;
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            std::printf("cannot write %s\n", qPrintable(path));
            return;
        }
        // Runs of an hour each, lines from the simulated gauge, every 200th an answer.
        QByteArray chunk;
        qint64 written = 0;
        quint32 counter = 0;
        int run = 0;
        sim::GaugeReport report;
        while (written < megabytes * 1024 * 1024) {
            if (counter % (63 * 3600) == 0)
                chunk += formatRecord(QStringLiteral("%1-12-26 08:00:00")
                                          .arg(1 + run++ % 28, 2, 10, QLatin1Char('0'))
                                          .toLatin1());
            report.status = quint16(0x0019 | ((counter & 1) << 15));
            QByteArray line = sim::buildMeasurementLine(counter, pressureAt(counter), report,
                                                        0x0009, sim::LineEnd::Cr);
            line.chop(1);
            chunk += formatRecord(counter % 200 == 0 ? QByteArray("RV 1.02") : line);
            ++counter;
            if (chunk.size() > (1 << 20)) {
                written += file.write(chunk);
                chunk.clear();
            }
        }
        written += file.write(chunk);
    }
    const qint64 size = QFileInfo(path).size();

    LogReader reader;
    int progressCalls = 0;
    reader.setProgress([&](qint64, qint64) {
        ++progressCalls;
        return true;
    });
    QElapsedTimer timer;
    timer.start();
    const LogIndex index = reader.scan(path);
    const double scanMs = double(timer.nsecsElapsed()) / 1e6;
    const auto biggest =
        std::max_element(index.runs.cbegin(), index.runs.cend(),
                         [](const LogRun &a, const LogRun &b) { return a.lines < b.lines; });
    timer.restart();
    const RecordedRun recorded = reader.load(path, *biggest);
    const double loadMs = double(timer.nsecsElapsed()) / 1e6;
    std::printf("data log of %.1f MB: scan %.0f ms (%lld runs, %lld records, %d progress calls), "
                "load the longest run (%lld lines) %.0f ms, together %.0f ms (file in the page "
                "cache)\n",
                double(size) / (1024.0 * 1024.0), scanMs, static_cast<long long>(index.runs.size()),
                static_cast<long long>(index.records), progressCalls,
                static_cast<long long>(biggest->lines), loadMs, scanMs + loadMs);
    if (!recorded.ok || !index.ok)
        std::printf("  reading failed: %s %s\n", qPrintable(index.error),
                    qPrintable(recorded.error));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qint64 megabytes = 100;
    QString keep;
    const QStringList args = app.arguments();
    for (qsizetype i = 1; i + 1 < args.size(); ++i) {
        if (args.at(i) == u"--log-mb")
            megabytes = args.at(i + 1).toLongLong();
        else if (args.at(i) == u"--keep-log")
            keep = args.at(i + 1);
    }
    memoryAndDecimation(); // first, before freed memory blurs the resident figure
    appendCost();
    readLog(megabytes, keep);
    return 0;
}
