// The data-log reader on any bytes: listing the runs and loading each. Whatever the file
// holds, the reader finishes, finds the same records however its chunks fall, and every
// line it loads comes from inside one record.

#include "fuzzsupport.h"

#include "logreader.h"
#include "logrecord.h"
#include "receivebuffer.h"
#include "statusword.h"

#include <QBuffer>

#include <algorithm>

namespace {

// The records of a log as a plain search finds them, without the reader's code.
struct Reference
{
    struct Record
    {
        qsizetype begin;
        qsizetype next;
        bool quoted;
        QByteArray field;
    };
    QList<Record> records;
    qsizetype soundEnd = 0;
};

Reference referenceRecords(QByteArrayView bytes)
{
    static constexpr char kEnd[] = "\"\r\n";
    Reference ref;
    qsizetype pos = 0;
    while (pos < bytes.size()) {
        const char *from = bytes.data() + std::min(pos + 1, bytes.size());
        const char *found = std::search(from, bytes.data() + bytes.size(), kEnd, kEnd + 3);
        if (found == bytes.data() + bytes.size())
            break;
        const qsizetype close = found - bytes.data();
        const bool quoted = bytes.at(pos) == '"';
        ref.records.append(
            {pos, close + 3, quoted,
             quoted ? bytes.sliced(pos + 1, close - pos - 1).toByteArray() : QByteArray()});
        pos = close + 3;
    }
    ref.soundEnd = pos;
    return ref;
}

kelmor::LogIndex scanWith(QByteArray &bytes, qint64 chunk)
{
    QBuffer buffer(&bytes);
    FUZZ_CHECK(buffer.open(QIODevice::ReadOnly));
    kelmor::LogReader reader;
    reader.setChunkSize(chunk);
    return reader.scan(buffer);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the chunk size, the rest is the file.
    const qint64 chunk = 16 + data[0];
    QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));

    // The splitter stays inside the bytes and inside the record it was asked for, from
    // wherever it starts (the first positions only: each call may walk to the end).
    for (qsizetype pos = 0; pos < std::min<qsizetype>(bytes.size(), 64); ++pos) {
        const auto span = kelmor::nextLogRecord(bytes, pos);
        if (!span)
            continue;
        FUZZ_CHECK(span->begin == pos && span->next <= bytes.size() && span->next >= pos + 3);
        FUZZ_CHECK(bytes.sliced(span->next - 3, 3) == "\"\r\n");
        FUZZ_CHECK(span->quoted == (bytes.at(pos) == '"'));
        if (span->quoted)
            FUZZ_CHECK(span->fieldBegin == pos + 1 && span->fieldEnd == span->next - 3);
        else
            FUZZ_CHECK(span->fieldBegin == pos && span->fieldEnd == pos);
    }

    const Reference ref = referenceRecords(bytes);
    const kelmor::LogIndex index = scanWith(bytes, chunk);
    const kelmor::LogIndex whole = scanWith(bytes, 1 << 20);

    FUZZ_CHECK(!index.cancelled);
    FUZZ_CHECK(index.ok || !index.error.isEmpty());
    FUZZ_CHECK(index.size == bytes.size());
    FUZZ_CHECK(index.soundEnd == ref.soundEnd);
    FUZZ_CHECK(index.tornTail == (ref.soundEnd < bytes.size()));
    FUZZ_CHECK(index.records == ref.records.size());
    const auto malformed = std::count_if(ref.records.cbegin(), ref.records.cend(),
                                         [](const Reference::Record &r) { return !r.quoted; });
    FUZZ_CHECK(index.malformed == malformed);

    // However the chunks fall, the same runs.
    FUZZ_CHECK(whole.ok == index.ok && whole.runs.size() == index.runs.size());
    FUZZ_CHECK(whole.soundEnd == index.soundEnd && whole.malformed == index.malformed);
    qint64 previousEnd = 0;
    for (qsizetype r = 0; r < index.runs.size(); ++r) {
        const kelmor::LogRun &run = index.runs.at(r);
        const kelmor::LogRun &other = whole.runs.at(r);
        FUZZ_CHECK(run.dataBegin == other.dataBegin && run.dataEnd == other.dataEnd);
        FUZZ_CHECK(run.lines == other.lines && run.measurements == other.measurements);
        FUZZ_CHECK(run.header == other.header && run.number == r + 1);
        FUZZ_CHECK(previousEnd <= run.dataBegin && run.dataBegin <= run.dataEnd);
        FUZZ_CHECK(run.dataEnd <= index.soundEnd);
        FUZZ_CHECK(run.measurements <= run.lines);
        previousEnd = run.dataEnd;
    }
    if (!index.ok)
        return 0;

    // Every run loads exactly the lines of its records, each from inside its record.
    QBuffer buffer(&bytes);
    FUZZ_CHECK(buffer.open(QIODevice::ReadOnly));
    kelmor::LogReader reader;
    reader.setChunkSize(chunk);
    for (const kelmor::LogRun &run : index.runs) {
        const kelmor::RecordedRun recorded = reader.load(buffer, run);
        FUZZ_CHECK(recorded.ok && recorded.store);
        const kelmor::TrendStore &store = *recorded.store;
        FUZZ_CHECK(recorded.run.lines == run.lines);
        FUZZ_CHECK(store.size() == run.measurements);
        FUZZ_CHECK(qsizetype(store.markers().size()) == run.lines - run.measurements);

        qsizetype sample = 0;
        size_t marker = 0;
        qint64 line = 0;
        for (const Reference::Record &record : ref.records) {
            if (record.begin < run.dataBegin || record.next > run.dataEnd || !record.quoted)
                continue;
            ++line;
            const QByteArray &field = record.field;
            if (field.size() >= 46) {
                const kelmor::TrendSample &s = store.at(sample++);
                FUZZ_CHECK(s.time == line);
                const QByteArray text = kelmor::pressureText(field.mid(3, 8));
                FUZZ_CHECK(s.pressureText() == text.left(kelmor::TrendSample::kTextCapacity));
                FUZZ_CHECK(s.status == kelmor::readStatusWord(field.mid(46, 5)));
            } else {
                const kelmor::TrendMarker &m = store.markers()[marker++];
                FUZZ_CHECK(m.time == line);
                FUZZ_CHECK(m.text == field.left(kelmor::TrendMarker::kTextCapacity));
            }
        }
        FUZZ_CHECK(line == run.lines);
    }
    return 0;
}
