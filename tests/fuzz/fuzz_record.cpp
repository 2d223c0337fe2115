// Log records: the format of one record, what the data log appends to its file for it,
// and the simulator's replay reader reading the records back.

#include "fuzzsupport.h"

#include "datalog.h"
#include "logrecord.h"
#include "replaylog.h"

#include <QDateTime>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTimeZone>

#include <memory>

namespace {

QByteArray expectedRecord(QByteArrayView field)
{
    return QByteArray("\"") + field.toByteArray() + QByteArray("\"\r\n");
}

// One log in a temporary directory for the whole run, started afresh once it has grown.
class LogFixture
{
public:
    LogFixture() : m_path(m_dir.filePath(QStringLiteral("KelmorLog.txt"))) { reopen(); }

    // Writes the field as a data record and returns the bytes the file grew by.
    QByteArray appendAndReadBack(QByteArrayView field)
    {
        if (QFile(m_path).size() > 4 * 1024 * 1024)
            reopen();
        const qint64 before = QFile(m_path).size();
        FUZZ_CHECK(m_log->writeRecord(field));
        QFile file(m_path);
        FUZZ_CHECK(file.open(QIODevice::ReadOnly));
        FUZZ_CHECK(file.seek(before));
        return file.readAll();
    }

private:
    void reopen()
    {
        m_log.reset();
        QFile::remove(m_path);
        m_log = std::make_unique<kelmor::DataLog>(m_path);
        const QDateTime start(QDate(2026, 12, 6), QTime(14, 5, 9), QTimeZone::utc());
        FUZZ_CHECK(m_dir.isValid());
        FUZZ_CHECK(m_log->open(start, QLocale(QLocale::German, QLocale::Germany)));
        QFile file(m_path);
        FUZZ_CHECK(file.open(QIODevice::ReadOnly));
        FUZZ_CHECK(file.readAll() == "\"06-12-26 14:05:09\"\r\n");
    }

    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<kelmor::DataLog> m_log;
};

// A cheap hash, so that the file is tried for one input in 64 and the same input
// always takes the same way when it is replayed.
bool sampled(QByteArrayView bytes)
{
    quint32 h = 2166136261u;
    for (const char c : bytes)
        h = (h ^ quint8(c)) * 16777619u;
    return (h & 63) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView input(reinterpret_cast<const char *>(data), qsizetype(size));

    // Any bytes, quotes and line ends included, go into the record unchanged.
    const QByteArray record = kelmor::formatRecord(input);
    FUZZ_CHECK(record == expectedRecord(input));

    if (sampled(input)) {
        static LogFixture fixture;
        FUZZ_CHECK(fixture.appendAndReadBack(input) == record);
    }

    // Answer lines never hold a CR: the input's pieces between CRs, logged one after the
    // other, read back as the same fields; pieces that look like a run's header are
    // counted as headers instead.
    const QList<QByteArray> fields = input.toByteArray().split('\r');
    QByteArray log;
    QList<QByteArray> dataFields;
    int headers = 0;
    for (const QByteArray &field : fields) {
        log += kelmor::formatRecord(field);
        if (kelmor::sim::isHeaderField(field))
            ++headers;
        else
            dataFields.append(field);
    }
    const kelmor::sim::ReplayLog replay = kelmor::sim::parseReplayLog(log);
    FUZZ_CHECK(replay.fields == dataFields);
    FUZZ_CHECK(replay.headerCount == headers);
    FUZZ_CHECK(replay.malformedCount == 0);
    FUZZ_CHECK(!replay.tornTail);

    // A file cut anywhere inside its last record loses that record and says so.
    if (log.size() > 1) {
        const qsizetype cut =
            1 + qsizetype(size % quint64(kelmor::formatRecord(fields.last()).size() - 1));
        const kelmor::sim::ReplayLog torn =
            kelmor::sim::parseReplayLog(log.first(log.size() - cut));
        FUZZ_CHECK(torn.tornTail);
        FUZZ_CHECK(torn.fields.size() + torn.headerCount == fields.size() - 1);
    }

    // Bytes that are no log at all must not crash the reader.
    const kelmor::sim::ReplayLog raw = kelmor::sim::parseReplayLog(input);
    FUZZ_CHECK(raw.fields.size() + raw.headerCount + raw.malformedCount <= input.size() / 3 + 1);
    return 0;
}
