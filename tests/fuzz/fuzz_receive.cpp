// The receive path as the window drives it: chunks as the port delivers them, and after
// each chunk every waiting line taken and read.

#include "fuzzsupport.h"

#include "receivebuffer.h"

using kelmor::AnswerLine;
using kelmor::ReceiveBuffer;
using kelmor::fuzz::ChunkPlan;

namespace {

constexpr qsizetype kBound = ReceiveBuffer::kBound;

// The stream as the buffer must hold it, written plainly and apart from the
// implementation: every stretch between two CRs keeps only its newest kBound bytes,
// however the stream was cut into chunks.
QList<QByteArray> boundedPieces(const QByteArray &stream)
{
    QList<QByteArray> pieces = stream.split('\r');
    for (QByteArray &piece : pieces)
        piece = piece.right(kBound);
    return pieces; // the last piece is the open line
}

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

// Feeds the stream chunk by chunk, taking every waiting line after each chunk and
// checking each against the buffer it was cut from; returns the lines in order and
// leaves what is still open in `open`.
QList<QByteArray> feed(const QList<QByteArrayView> &chunks, QByteArray *open)
{
    ReceiveBuffer buffer;
    QList<QByteArray> lines;
    for (const QByteArrayView chunk : chunks) {
        buffer.append(chunk);
        checkBound(buffer);
        FUZZ_CHECK(buffer.hasLine() == buffer.data().contains('\r'));

        while (buffer.hasLine()) {
            const QByteArray data = buffer.data();
            const qsizetype cr = data.indexOf('\r');
            FUZZ_CHECK(cr >= 0);
            FUZZ_CHECK(cr <= kBound);

            const std::optional<AnswerLine> answer = buffer.takeLine();
            FUZZ_CHECK(answer.has_value());
            FUZZ_CHECK(answer->line == data.first(cr));
            FUZZ_CHECK(!answer->line.contains('\r'));
            // The fields come from the buffer by position and never reach past it.
            FUZZ_CHECK(answer->statusField == data.mid(46, 5));
            FUZZ_CHECK(answer->pressureField == data.mid(3, 8));
            FUZZ_CHECK(answer->statusField.size() <= qMax<qsizetype>(0, data.size() - 46));
            FUZZ_CHECK(answer->pressureField.size() <= qMax<qsizetype>(0, data.size() - 3));
            FUZZ_CHECK(answer->isMeasurement() == (data.size() >= 47));
            FUZZ_CHECK(buffer.data() == data.mid(cr + 1));
            checkPressureText(answer->pressureField);
            checkBound(buffer);
            lines.append(answer->line);
        }
        FUZZ_CHECK(!buffer.takeLine().has_value());
    }
    *open = buffer.data();
    return lines;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const ChunkPlan plan = ChunkPlan::from(data, size);
    const QByteArray stream = streamFor(plan);
    const QList<QByteArrayView> chunks = plan.chunksOf(stream);

    // However the bytes were cut into reads, the lines and the open rest are those of
    // the stream split at each CR with every stretch held to the bound.
    QList<QByteArray> expected = boundedPieces(stream);
    const QByteArray expectedOpen = expected.takeLast();

    QByteArray open;
    FUZZ_CHECK(feed(chunks, &open) == expected);
    FUZZ_CHECK(open == expectedOpen);
    FUZZ_CHECK(feed({QByteArrayView(stream)}, &open) == expected);
    FUZZ_CHECK(open == expectedOpen);
    return 0;
}
