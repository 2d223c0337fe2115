// The receive path as the window drives it: chunks as the port delivers them, and after
// each chunk every waiting line taken and read.

#include "fuzzsupport.h"

#include "receivebuffer.h"

#include <string>

using kelmor::AnswerLine;
using kelmor::ReceiveBuffer;
using kelmor::fuzz::ChunkPlan;

namespace {

constexpr qsizetype kBound = ReceiveBuffer::kBound;

// The buffer as plain bytes, kept apart from the implementation: everything appended
// minus what lines took, with the oldest bytes dropped when a chunk without a CR would
// make a buffer without a CR longer than the bound, or when taking a line leaves more
// than the bound without a CR.
class ModelBuffer
{
public:
    void append(QByteArrayView chunk)
    {
        const auto crInChunk = qsizetype(chunk.count('\r'));
        const qsizetype live = size();
        if (m_crCount == 0 && crInChunk == 0 && live + chunk.size() > kBound) {
            const qsizetype drop = live + chunk.size() - kBound;
            if (drop >= live) {
                m_bytes.assign(chunk.data() + (drop - live), size_t(kBound));
                m_start = 0;
                m_dropped = true;
                return;
            }
            m_start += drop;
            m_dropped = true;
        }
        m_bytes.append(chunk.data(), size_t(chunk.size()));
        m_crCount += crInChunk;
        if (m_start > 65536 && m_start > size()) {
            m_bytes.erase(0, size_t(m_start));
            m_start = 0;
        }
    }

    bool hasCr() const { return m_crCount > 0; }
    qsizetype size() const { return qsizetype(m_bytes.size()) - m_start; }
    bool dropped() const { return m_dropped; }
    QByteArray content() const { return piece(0, size()); }

    // The first line and the two fields as cut from the buffer (positions 1-based: 4..11
    // and 47..51), then the line and its CR removed.
    AnswerLine take()
    {
        const size_t cr = m_bytes.find('\r', size_t(m_start));
        AnswerLine answer;
        answer.line = piece(0, qsizetype(cr) - m_start);
        answer.pressureField = piece(3, 8);
        answer.statusField = piece(46, 5);
        m_start = qsizetype(cr) + 1;
        --m_crCount;
        // What remains without a CR is held to the bound as well.
        if (m_crCount == 0 && size() > kBound) {
            m_start += size() - kBound;
            m_dropped = true;
        }
        return answer;
    }

private:
    QByteArray piece(qsizetype from, qsizetype length) const
    {
        if (from >= size())
            return {};
        length = qMin(length, size() - from);
        return QByteArray(m_bytes.data() + m_start + from, length);
    }

    std::string m_bytes;
    qsizetype m_start = 0;
    qsizetype m_crCount = 0;
    bool m_dropped = false;
};

// The two top header bits put one run of a byte of the payload, about as long as the
// bound, into the stream, so that short inputs reach the dropping of old bytes: 01 in
// front of the payload, 10 behind it, 11 in its middle; 00 leaves the payload as it is.
// Bits 4 and 5 move the run's length around the bound. The run holds no CR, which
// would only make it a stream of empty lines.
QByteArray streamFor(const ChunkPlan &plan)
{
    QByteArray stream = plan.payload.toByteArray();
    const int mode = plan.header >> 6;
    if (stream.isEmpty() || mode == 0)
        return stream;
    const qsizetype at = mode == 1 ? 0 : mode == 2 ? stream.size() : stream.size() / 2;
    char fill = stream.at(qMin(at, stream.size() - 1));
    if (fill == '\r')
        fill = 'x';
    const qsizetype length = kBound - 2 + ((plan.header >> 4) & 3) * 2;
    stream.insert(at, QByteArray(length, fill));
    return stream;
}

void checkPressureText(const QByteArray &field)
{
    const QByteArray text = kelmor::pressureText(field);
    FUZZ_CHECK(field.startsWith(text));
    FUZZ_CHECK(!text.contains('\t'));
    // Cut exactly at the first tab, not before it.
    FUZZ_CHECK(text.size() == field.size() || field.at(text.size()) == '\t');
}

void checkBound(const ReceiveBuffer &buffer)
{
    if (!buffer.hasLine())
        FUZZ_CHECK(buffer.size() <= kBound);
}

// Feeds the stream chunk by chunk, taking every waiting line after each chunk; returns
// the lines in order.
QList<QByteArray> feed(const QList<QByteArrayView> &chunks, bool collect)
{
    ReceiveBuffer buffer;
    ModelBuffer model;
    QList<QByteArray> lines;
    for (const QByteArrayView chunk : chunks) {
        buffer.append(chunk);
        model.append(chunk);
        FUZZ_CHECK(buffer.size() == model.size());
        FUZZ_CHECK(buffer.hasLine() == model.hasCr());
        checkBound(buffer);

        while (buffer.hasLine()) {
            const QByteArray &data = buffer.data();
            const qsizetype sizeBefore = data.size();
            const qsizetype cr = data.indexOf('\r');
            FUZZ_CHECK(cr >= 0);
            const QByteArray expectedLine = data.first(cr);
            const QByteArray expectedStatus = data.mid(46, 5);
            const QByteArray expectedPressure = data.mid(3, 8);

            const std::optional<AnswerLine> answer = buffer.takeLine();
            FUZZ_CHECK(answer.has_value());
            const AnswerLine expected = model.take();

            FUZZ_CHECK(answer->line == expectedLine);
            FUZZ_CHECK(answer->line == expected.line);
            FUZZ_CHECK(!answer->line.contains('\r'));
            FUZZ_CHECK(answer->statusField == expectedStatus);
            FUZZ_CHECK(answer->statusField == expected.statusField);
            FUZZ_CHECK(answer->pressureField == expectedPressure);
            FUZZ_CHECK(answer->pressureField == expected.pressureField);
            FUZZ_CHECK(answer->isMeasurement() == (sizeBefore >= 47));
            const qsizetype rest = sizeBefore - cr - 1;
            FUZZ_CHECK(buffer.size() == (buffer.hasLine() ? rest : qMin(rest, kBound)));
            FUZZ_CHECK(buffer.size() == model.size());
            checkPressureText(answer->pressureField);
            checkBound(buffer);

            if (collect)
                lines.append(answer->line);
        }
        FUZZ_CHECK(!buffer.takeLine().has_value());
    }
    FUZZ_CHECK(buffer.data() == model.content());
    FUZZ_CHECK(buffer.hasLine() == buffer.data().contains('\r'));
    if (!model.dropped()) {
        // Nothing dropped: the buffer keeps exactly what followed the last CR.
        QByteArray all;
        for (const QByteArrayView chunk : chunks)
            all.append(chunk);
        FUZZ_CHECK(buffer.data() == all.mid(all.lastIndexOf('\r') + 1));
    }
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const ChunkPlan plan = ChunkPlan::from(data, size);
    const QByteArray stream = streamFor(plan);
    const QList<QByteArrayView> chunks = plan.chunksOf(stream);

    const bool small = stream.size() < kBound;
    const QList<QByteArray> chunked = feed(chunks, small);
    if (small) {
        // Below the bound nothing can be dropped, so how the bytes were cut into reads
        // must not matter, and the lines are the stream split at each CR.
        const QList<QByteArray> whole = feed({QByteArrayView(stream)}, true);
        FUZZ_CHECK(chunked == whole);
        QList<QByteArray> split = stream.split('\r');
        split.removeLast(); // what follows the last CR is no line yet
        FUZZ_CHECK(chunked == split);
    }
    return 0;
}
