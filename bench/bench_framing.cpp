// Feeds synthetic gauge traffic through the receive path (buffer, status word,
// pressure text) and prints throughput. Build in Release for meaningful figures.

#include "receivebuffer.h"
#include "statusword.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <cstdio>

using kelmor::ReceiveBuffer;

namespace {

constexpr qsizetype kKiB = 1024;
constexpr qsizetype kMiB = 1024 * kKiB;

struct Result
{
    qint64 nanoseconds = 0;
    qsizetype bytes = 0;
    qsizetype lines = 0;
    qsizetype longestLine = 0;
    quint64 checksum = 0; // keeps the work from being optimised away
};

// One 60-byte measurement line: pressure at 4..11, status at 47..51, CR last.
QByteArray measurementLine(int n)
{
    QByteArray line =
        "M1 " + QByteArray::number(1.0 + n % 9, 'f', 2) + "E-0" + QByteArray::number(n % 10) + '\t';
    line = line.leftJustified(46, '\t');
    line += QByteArray::number(0x8000 | (n & 0x7FFF), 16).toUpper() + ' ';
    line = line.leftJustified(59, '-');
    return line + '\r';
}

// Appends `stream` repeatedly in chunks of `chunkSize` until `total` bytes have gone in,
// taking every completed line after each append the way the receive handler does.
Result feed(const QByteArray &stream, qsizetype chunkSize, qsizetype total)
{
    Result result;
    ReceiveBuffer buffer;
    QElapsedTimer timer;
    timer.start();
    qsizetype at = 0;
    while (result.bytes < total) {
        const qsizetype length = qMin(chunkSize, stream.size() - at);
        buffer.append(QByteArrayView(stream).sliced(at, length));
        at = (at + length) % stream.size();
        result.bytes += length;
        while (auto answer = buffer.takeLine()) {
            ++result.lines;
            result.longestLine = qMax(result.longestLine, answer->line.size());
            if (answer->isMeasurement()) {
                result.checksum += kelmor::readStatusWord(answer->statusField);
                result.checksum += kelmor::pressureText(answer->pressureField).size();
            }
        }
    }
    result.checksum += buffer.size();
    result.nanoseconds = timer.nsecsElapsed();
    return result;
}

void print(const char *name, const Result &r)
{
    const double seconds = double(qMax<qint64>(r.nanoseconds, 1)) / 1e9;
    std::printf("%-44s %7.1f MB %8.3f s %9.1f MB/s %12.0f lines/s  longest %7lld  (%llu)\n", name,
                double(r.bytes) / double(kMiB), seconds, double(r.bytes) / double(kMiB) / seconds,
                double(r.lines) / seconds, static_cast<long long>(r.longestLine),
                static_cast<unsigned long long>(r.checksum));
}

} // namespace

int main()
{
    QByteArray lines;
    for (int n = 0; lines.size() < kMiB; ++n)
        lines += measurementLine(n);

    QByteArray oneMegabyteLine(kMiB, 'x');
    oneMegabyteLine += '\r';

    const QByteArray noLineEnd(kMiB, 'y');

    print("60-byte lines, 4 KiB chunks", feed(lines, 4 * kKiB, 50 * kMiB));
    print("60-byte lines, 1 MiB chunks", feed(lines, kMiB, 50 * kMiB));
    print("60-byte lines, 1-byte chunks", feed(lines, 1, 5 * kMiB));
    print("1 MiB line (bounded to 64 KiB), 4 KiB chunks",
          feed(oneMegabyteLine, 4 * kKiB, 50 * kMiB));
    print("1 MiB line in one chunk", feed(oneMegabyteLine, oneMegabyteLine.size(), 50 * kMiB));
    print("no CR, 4 KiB chunks", feed(noLineEnd, 4 * kKiB, 10 * kMiB));
    print("no CR, 1-byte chunks", feed(noLineEnd, 1, 10 * kMiB));
    return 0;
}
