#pragma once

// Helpers shared by the libFuzzer targets.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace kelmor::fuzz {

// An invariant that does not hold is a finding: say which and abort, so that libFuzzer
// keeps the input as a crash.
[[noreturn]] inline void fail(const char *file, int line, const char *what)
{
    std::fprintf(stderr, "%s:%d: invariant violated: %s\n", file, line, what);
    std::fflush(stderr);
    std::abort();
}

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::kelmor::fuzz::fail(__FILE__, __LINE__, #condition);                                  \
    } while (false)

// Input laid out as: one byte n, then (n % 16) chunk-size bytes, then the payload.
// The payload is cut into chunks whose sizes cycle through the size bytes; a size byte
// of 0 stands for "everything that is left", so a single huge read can be tried too.
// Without size bytes the payload is one chunk.
struct ChunkPlan
{
    QByteArrayView payload;
    QByteArray sizes;
    std::uint8_t header = 0;

    static ChunkPlan from(const std::uint8_t *data, std::size_t size)
    {
        ChunkPlan plan;
        const QByteArrayView all(reinterpret_cast<const char *>(data), qsizetype(size));
        if (all.isEmpty())
            return plan;
        plan.header = std::uint8_t(all.at(0));
        const qsizetype count = qMin<qsizetype>(plan.header % 16, all.size() - 1);
        plan.sizes = all.sliced(1, count).toByteArray();
        plan.payload = all.sliced(1 + count);
        return plan;
    }

    // The chunks of any byte stream by this plan's sizes.
    QList<QByteArrayView> chunksOf(QByteArrayView stream) const
    {
        QList<QByteArrayView> chunks;
        qsizetype pos = 0;
        qsizetype k = 0;
        while (pos < stream.size()) {
            qsizetype length = stream.size() - pos;
            if (!sizes.isEmpty()) {
                const auto wanted = qsizetype(std::uint8_t(sizes.at(k++ % sizes.size())));
                if (wanted != 0)
                    length = qMin(length, wanted);
            }
            chunks.append(stream.sliced(pos, length));
            pos += length;
        }
        return chunks;
    }
};

} // namespace kelmor::fuzz
