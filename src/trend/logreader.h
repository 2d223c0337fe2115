#pragma once

#include "trendstore.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QIODevice;

namespace kelmor {

// One monitoring run in a data log: its header record and the records up to the next
// header or the end of what could be read.
struct LogRun
{
    int number = 0;             // 1 for the file's first run
    bool hasHeader = true;      // false for records before the file's first header
    QString header;             // the header field as written ("06-12-26 14:05:09")
    QDateTime start;            // read from the header; invalid when it does not read
    qint64 dataBegin = 0;       // file offset of the run's first data record
    qint64 dataEnd = 0;         // file offset behind its last record
    qsizetype lines = 0;        // data records
    qsizetype measurements = 0; // of those, measurement lines
};

// What a scan of a data log found.
struct LogIndex
{
    bool ok = false; // false: nothing usable, error says why
    bool cancelled = false;
    QString error;           // German, for the operator
    QStringList warnings;    // German: what was skipped or not read
    qint64 size = 0;         // bytes looked at
    qint64 soundEnd = 0;     // offset behind the last whole record
    qsizetype records = 0;   // whole records, malformed ones included
    qsizetype malformed = 0; // records without their opening quote, skipped
    bool tornTail = false;   // the bytes end inside a record, which was not read
    QList<LogRun> runs;
};

// One run's lines, on an axis of line numbers: line n of the run is sample (or, when it
// is no measurement, marker) n, counted from 1.
struct RecordedRun
{
    bool ok = false;
    bool cancelled = false;
    QString error;
    LogRun run;
    qsizetype droppedLines = 0; // the run had more lines than a store holds; the first went
    std::unique_ptr<TrendStore> store;
};

// Reads data logs written by this program, which grow by a run a day and reach hundreds
// of megabytes: in chunks, never the whole file at once, and never by mapping it (the
// monitor may cut a torn record off the very file while it is read). Runs in any thread;
// the callbacks are called in the reading thread.
class LogReader
{
public:
    // Told the bytes done and the bytes in all now and then; false stops the reading.
    using Progress = std::function<bool(qint64 done, qint64 total)>;

    static constexpr qint64 kDefaultChunk = 4 * 1024 * 1024;
    // A record longer than this is no line of the gauge's (the receive buffer holds
    // lines of 64 KiB at most): it is skipped without being kept in memory.
    static constexpr qsizetype kMaxRecord = 128 * 1024;
    // The most lines a recorded run keeps (24 bytes each); the newest are kept.
    static constexpr qsizetype kMaxRunLines = qsizetype(1) << 23;

    void setProgress(Progress progress) { m_progress = std::move(progress); }
    void setChunkSize(qint64 bytes) { m_chunk = qMax<qint64>(16, bytes); }

    // Finds the runs of the log in a file, or in any readable device from its start.
    LogIndex scan(const QString &path) const;
    LogIndex scan(QIODevice &device) const;

    // Reads one run found by scan() of the same file or device.
    RecordedRun load(const QString &path, const LogRun &run) const;
    RecordedRun load(QIODevice &device, const LogRun &run) const;

    // The header's start time: "dd-mm-yy" (20yy) and a time "H:mm:ss" (or "H.mm.ss"),
    // with "AM"/"PM" after it under an English locale; invalid when the text does not
    // read so, as when a locale put a word before the time.
    static QDateTime headerTime(QByteArrayView field);

private:
    Progress m_progress;
    qint64 m_chunk = kDefaultChunk;
};

} // namespace kelmor
