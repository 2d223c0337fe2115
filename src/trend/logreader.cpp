#include "logreader.h"

#include "logrecord.h"
#include "receivebuffer.h"
#include "receivedline.h"
#include "statusword.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <optional>

namespace kelmor {

namespace {

// A measurement line holds its status field from position 47 on; a logged line of 46
// characters was one too, as the CR behind it was its status field (which reads as 0).
constexpr qsizetype kMeasurementLength = 46;
constexpr qsizetype kStatusOffset = 46;
constexpr qsizetype kStatusLength = 5;
constexpr qsizetype kPressureOffset = 3;
constexpr qsizetype kPressureLength = 8;

QString systemReason(const QString &text, const QIODevice &device)
{
    return QStringLiteral("%1 (Systemmeldung: %2)").arg(text, device.errorString());
}

// Walks the whole records of [begin, end) of a device chunk by chunk and hands each to
// a visitor with its absolute offsets. Memory stays at about two chunks, however long
// the file and whatever it holds.
class RecordStream
{
public:
    enum class Result { Done, Cancelled, ReadFailed };

    struct Record
    {
        qint64 begin = 0;
        qint64 next = 0;
        bool quoted = false;
        QByteArrayView field;
    };

    RecordStream(QIODevice &device, qint64 begin, qint64 end, qint64 chunk,
                 const LogReader::Progress &progress)
        : m_device(device), m_begin(begin), m_end(end), m_chunk(chunk), m_progress(progress)
    {
    }

    template <typename Visit> Result run(Visit &&visit)
    {
        QByteArray buffer;
        qint64 base = m_begin; // file offset of buffer[0]
        qint64 readPos = m_begin;
        qsizetype pos = 0;
        bool skipping = false; // inside a record too long to keep
        m_soundEnd = m_begin;
        for (;;) {
            // Drop what has been handled, then read the next chunk behind the rest.
            buffer.remove(0, pos);
            base += pos;
            pos = 0;
            const qint64 want = m_end < 0 ? m_chunk : qMin(m_chunk, m_end - readPos);
            qint64 got = 0;
            if (want > 0) {
                const qsizetype kept = buffer.size();
                buffer.resize(kept + qsizetype(want));
                got = m_device.read(buffer.data() + kept, want);
                if (got < 0)
                    return Result::ReadFailed;
                buffer.resize(kept + qsizetype(got));
                readPos += got;
            }
            const bool atEnd = got == 0;

            if (skipping) {
                const qsizetype close = buffer.indexOf("\"\r\n");
                if (close < 0) {
                    pos = qMax<qsizetype>(0, buffer.size() - 2); // "\"\r" may straddle
                } else {
                    skipping = false;
                    ++m_oversized;
                    pos = close + 3;
                    m_soundEnd = base + pos;
                }
            }
            while (!skipping && pos < buffer.size()) {
                const std::optional<LogRecordSpan> span = nextLogRecord(buffer, pos);
                if (!span)
                    break;
                pos = span->next;
                if (span->next - span->begin > LogReader::kMaxRecord) {
                    // Skipped whole as well, however the chunks fell.
                    ++m_oversized;
                    m_soundEnd = base + span->next;
                    continue;
                }
                Record record;
                record.begin = base + span->begin;
                record.next = base + span->next;
                record.quoted = span->quoted;
                record.field = QByteArrayView(buffer).sliced(span->fieldBegin,
                                                             span->fieldEnd - span->fieldBegin);
                if (!visit(record))
                    return Result::Done;
                m_soundEnd = record.next;
            }
            if (atEnd)
                break;
            if (!skipping && buffer.size() - pos > LogReader::kMaxRecord) {
                skipping = true;
                pos = buffer.size() - 2;
            }
            if (m_progress && !m_progress(readPos - m_begin, m_end < 0 ? -1 : m_end - m_begin))
                return Result::Cancelled;
        }
        m_tornTail = m_soundEnd < readPos;
        m_read = readPos - m_begin;
        return Result::Done;
    }

    qint64 soundEnd() const { return m_soundEnd; }
    qint64 bytesRead() const { return m_read; }
    bool tornTail() const { return m_tornTail; }
    qsizetype oversized() const { return m_oversized; }

private:
    QIODevice &m_device;
    qint64 m_begin;
    qint64 m_end; // -1: to the end of the device
    qint64 m_chunk;
    const LogReader::Progress &m_progress;
    qint64 m_soundEnd = 0;
    qint64 m_read = 0;
    bool m_tornTail = false;
    qsizetype m_oversized = 0;
};

bool openForReading(QFile &file, const QString &path, QString *error)
{
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        // A device or a pipe never ends: reading one would hang the reader.
        *error = QStringLiteral("„%1“ ist keine Datei.").arg(QFileInfo(path).fileName());
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = systemReason(QStringLiteral("Die Datei konnte nicht geöffnet werden."), file);
        return false;
    }
    return true;
}

int digits(QByteArrayView text, qsizetype &pos, int most)
{
    int value = 0;
    int count = 0;
    while (pos < text.size() && count < most && text.at(pos) >= '0' && text.at(pos) <= '9') {
        value = value * 10 + (text.at(pos) - '0');
        ++pos;
        ++count;
    }
    return count == 0 ? -1 : value;
}

} // namespace

QDateTime LogReader::headerTime(QByteArrayView field)
{
    if (!isHeaderField(field))
        return {};
    qsizetype pos = 0;
    const int day = digits(field, pos, 2);
    ++pos;
    const int month = digits(field, pos, 2);
    ++pos;
    const int year = digits(field, pos, 2);
    ++pos;
    // Hours, minutes and seconds are parted by colons, or by dots in some locales.
    const auto separator = [&] {
        return pos < field.size() && (field.at(pos) == ':' || field.at(pos) == '.');
    };
    int hour = digits(field, pos, 2);
    if (!separator())
        return {};
    ++pos;
    const int minute = digits(field, pos, 2);
    int second = 0;
    if (separator()) {
        ++pos;
        second = digits(field, pos, 2);
    }
    while (pos < field.size() && field.at(pos) == ' ')
        ++pos;
    const QByteArrayView rest = field.sliced(pos);
    const bool pm = rest.startsWith("PM") || rest.startsWith("pm");
    const bool am = rest.startsWith("AM") || rest.startsWith("am");
    if (am || pm) {
        if (hour < 1 || hour > 12)
            return {};
        hour = hour % 12 + (pm ? 12 : 0);
    }
    const QDate date(2000 + year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid() || minute < 0 || second < 0)
        return {};
    return QDateTime(date, time);
}

LogIndex LogReader::scan(const QString &path) const
{
    QFile file(path);
    LogIndex index;
    if (!openForReading(file, path, &index.error))
        return index;
    return scan(file);
}

LogIndex LogReader::scan(QIODevice &device) const
{
    LogIndex index;
    const qint64 end = device.isSequential() ? -1 : device.size();
    if (!device.isSequential() && !device.seek(0)) {
        index.error =
            systemReason(QStringLiteral("Die Datei konnte nicht gelesen werden."), device);
        return index;
    }

    bool firstMalformed = false;
    RecordStream stream(device, 0, end, m_chunk, m_progress);
    const RecordStream::Result result = stream.run([&](const RecordStream::Record &record) {
        if (index.records == 0)
            firstMalformed = !record.quoted;
        ++index.records;
        if (!record.quoted) {
            ++index.malformed;
        } else if (isHeaderField(record.field)) {
            LogRun run;
            run.number = int(index.runs.size()) + 1;
            run.header = QString::fromLatin1(record.field);
            run.start = headerTime(record.field);
            run.dataBegin = run.dataEnd = record.next;
            index.runs.append(run);
            return true;
        } else {
            if (index.runs.isEmpty()) {
                LogRun run;
                run.number = 1;
                run.hasHeader = false;
                run.dataBegin = record.begin;
                index.runs.append(run);
            }
            LogRun &run = index.runs.last();
            ++run.lines;
            if (record.field.size() >= kMeasurementLength)
                ++run.measurements;
        }
        if (!index.runs.isEmpty())
            index.runs.last().dataEnd = record.next;
        return true;
    });
    index.size = stream.bytesRead();
    index.soundEnd = stream.soundEnd();
    index.tornTail = stream.tornTail();
    index.malformed += stream.oversized();
    index.records += stream.oversized();

    if (result == RecordStream::Result::Cancelled) {
        index.cancelled = true;
        index.error = QStringLiteral("Das Lesen wurde abgebrochen.");
        return index;
    }
    const bool anyHeader = std::any_of(index.runs.cbegin(), index.runs.cend(),
                                       [](const LogRun &run) { return run.hasHeader; });
    if (result == RecordStream::Result::ReadFailed) {
        const QString text = systemReason(
            QStringLiteral("Die Datei konnte nicht vollständig gelesen werden."), device);
        if (!anyHeader) {
            index.error = text;
            return index;
        }
        index.warnings << text;
    }
    if (index.records == 0 && !index.tornTail) {
        index.error = QStringLiteral("Die Datei ist leer.");
        return index;
    }
    if (!anyHeader && (index.runs.isEmpty() || firstMalformed)) {
        index.error = QStringLiteral("Die Datei ist kein Datenlog von Monitor_Kelmor: sie enthält "
                                     "keinen Kopfsatz mit Datum und Uhrzeit eines Laufs.");
        return index;
    }
    if (index.malformed > 0)
        index.warnings << QStringLiteral("%1 beschädigte Datensätze wurden übersprungen.")
                              .arg(index.malformed);
    if (index.tornTail)
        index.warnings << QStringLiteral(
            "Der letzte Datensatz ist unvollständig und wurde nicht gelesen.");
    index.ok = true;
    return index;
}

RecordedRun LogReader::load(const QString &path, const LogRun &run) const
{
    QFile file(path);
    RecordedRun recorded;
    if (!openForReading(file, path, &recorded.error))
        return recorded;
    return load(file, run);
}

RecordedRun LogReader::load(QIODevice &device, const LogRun &run) const
{
    RecordedRun recorded;
    recorded.run = run;
    if (run.dataBegin < 0 || run.dataEnd < run.dataBegin ||
        (!device.isSequential() && (run.dataEnd > device.size() || !device.seek(run.dataBegin)))) {
        recorded.error = QStringLiteral("Der Lauf ist nicht mehr in der Datei: sie wurde "
                                        "inzwischen verändert.");
        return recorded;
    }
    const qsizetype capacity = std::clamp<qsizetype>(run.lines, 1, kMaxRunLines);
    recorded.store = std::make_unique<TrendStore>(capacity, TrendStore::Axis::LineNumber);
    TrendStore &store = *recorded.store;
    store.setGapThreshold(0);

    qint64 line = 0;
    RecordStream stream(device, run.dataBegin, run.dataEnd, m_chunk, m_progress);
    const RecordStream::Result result = stream.run([&](const RecordStream::Record &record) {
        if (!record.quoted)
            return true;
        if (isHeaderField(record.field))
            return false; // the file changed under us: the next run begins here
        ++line;
        const QByteArrayView field = record.field;
        if (field.size() >= kMeasurementLength) {
            const QByteArray text = pressureText(field.sliced(kPressureOffset, kPressureLength));
            const quint16 status =
                readStatusWord(field.sliced(kStatusOffset)
                                   .first(qMin(kStatusLength, field.size() - kStatusOffset)));
            store.appendSample(line, readPressureMbar(text), status, text);
        } else {
            store.appendMarker(line, field);
        }
        return true;
    });
    recorded.droppedLines = store.dropped();
    recorded.run.lines = line;
    if (result == RecordStream::Result::Cancelled) {
        recorded.cancelled = true;
        recorded.error = QStringLiteral("Das Lesen wurde abgebrochen.");
        recorded.store.reset();
        return recorded;
    }
    if (result == RecordStream::Result::ReadFailed) {
        recorded.error = systemReason(
            QStringLiteral("Die Datei konnte nicht vollständig gelesen werden."), device);
        recorded.store.reset();
        return recorded;
    }
    recorded.ok = true;
    return recorded;
}

} // namespace kelmor
