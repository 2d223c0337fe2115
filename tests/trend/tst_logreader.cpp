#include "logreader.h"
#include "logrecord.h"
#include "simline.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <cmath>

using namespace kelmor;

namespace {

QByteArray record(const QByteArray &field)
{
    return formatRecord(field);
}

QByteArray header(const QByteArray &when = "06-12-26 14:05:09")
{
    return record(when);
}

// A measurement line of the simulated gauge, without its CR, as the log holds it.
QByteArray gaugeLine(quint32 counter, double mbar, quint16 status, bool crlf = false)
{
    sim::GaugeReport report;
    report.status = status;
    QByteArray line = sim::buildMeasurementLine(counter, mbar, report, 0x0009, sim::LineEnd::Cr);
    line.chop(1);
    return crlf ? "\n" + line : line;
}

QByteArray run(int lines, quint16 status = 0x8009, const QByteArray &when = "06-12-26 14:05:09")
{
    QByteArray bytes = header(when);
    for (int i = 0; i < lines; ++i)
        bytes += record(gaugeLine(quint32(i), 1e-3, i % 2 ? status : quint16(status ^ 0x8000)));
    return bytes;
}

// A device that reads like a file and then fails.
class FailingDevice : public QIODevice
{
public:
    FailingDevice(QByteArray bytes, qint64 failAt) : m_bytes(std::move(bytes)), m_failAt(failAt)
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return false; }
    qint64 size() const override { return m_bytes.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        if (pos() >= m_failAt) {
            setErrorString(QStringLiteral("Input/output error"));
            return -1;
        }
        const qint64 n = qMin(maxSize, m_failAt - pos());
        memcpy(data, m_bytes.constData() + pos(), size_t(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_failAt;
};

QString summary(const LogIndex &index)
{
    // "ok" or "error", then per run: header or "-", lines/measurements.
    QStringList parts;
    parts << (index.ok ? QStringLiteral("ok") : QStringLiteral("error"));
    for (const LogRun &run : index.runs)
        parts << QStringLiteral("%1:%2/%3")
                     .arg(run.hasHeader ? run.header : QStringLiteral("-"))
                     .arg(run.lines)
                     .arg(run.measurements);
    return parts.join(u' ');
}

} // namespace

class TestLogReader : public QObject
{
    Q_OBJECT

private slots:
    void scanFindsRuns_data();
    void scanFindsRuns();

    void loadDecodesLines_data();
    void loadDecodesLines();
    void loadedRunsAgreeWithScan();

    void headerTime_data();
    void headerTime();

    void cancelStopsReading();
    void readFailureKeepsWhatWasRead();
    void notAFileIsRefusedWithoutWaiting();
    void missingFileSaysWhy();
};

void TestLogReader::scanFindsRuns_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("runs"); // see summary()
    QTest::addColumn<qsizetype>("malformed");
    QTest::addColumn<bool>("torn");
    QTest::addColumn<QString>("message"); // part of the error or of a warning; empty: none

    const QByteArray answer = record("RV 1.02");
    QTest::newRow("one run") << run(3) << "ok 06-12-26 14:05:09:3/3" << qsizetype(0) << false << "";
    QTest::newRow("two runs and an answer")
        << run(2) + answer + run(1, 0x8009, "07-12-26 08:00:00")
        << "ok 06-12-26 14:05:09:3/2 07-12-26 08:00:00:1/1" << qsizetype(0) << false << "";
    QTest::newRow("header only") << header() << "ok 06-12-26 14:05:09:0/0" << qsizetype(0) << false
                                 << "";
    QTest::newRow("lines before the first header are a run of their own")
        << record(gaugeLine(1, 1e-3, 0)) + run(1) << "ok -:1/1 06-12-26 14:05:09:1/1"
        << qsizetype(0) << false << "";
    QTest::newRow("English time in the header")
        << run(1, 0x8009, "06-12-26 2:05:09 PM") << "ok 06-12-26 2:05:09 PM:1/1" << qsizetype(0)
        << false << "";
    QTest::newRow("CR LF gauge: lines begin with LF")
        << header() + record(gaugeLine(1, 1e-3, 0)) + record(gaugeLine(2, 1e-3, 0, true))
        << "ok 06-12-26 14:05:09:2/2" << qsizetype(0) << false << "";
    QTest::newRow("quotes and an empty line inside")
        << header() + record("say \"hi\"") + record("") + record("\"\"")
        << "ok 06-12-26 14:05:09:3/0" << qsizetype(0) << false << "";
    QTest::newRow("torn last record is left out")
        << run(2) + "\"PR=1.00E-03 mb"
        << "ok 06-12-26 14:05:09:2/2" << qsizetype(0) << true << "unvollständig";
    QTest::newRow("torn between quote and CR LF")
        << run(2) + "\"RV 1.02\"\r"
        << "ok 06-12-26 14:05:09:2/2" << qsizetype(0) << true << "unvollständig";
    QTest::newRow("malformed record skipped")
        << run(1) + "junk\"\r\n" + answer << "ok 06-12-26 14:05:09:2/1" << qsizetype(1) << false
        << "1 beschädigte";
    QTest::newRow("a record too long for any line is skipped")
        << run(1) + record(QByteArray(300 * 1024, 'x')) + answer << "ok 06-12-26 14:05:09:2/1"
        << qsizetype(1) << false << "beschädigte";
    QTest::newRow("empty file") << QByteArray() << "error" << qsizetype(0) << false << "leer";
    QTest::newRow("text file") << QByteArray("Hallo Welt\r\nzweite Zeile\r\n") << "error"
                               << qsizetype(0) << true << "kein Datenlog";
    QTest::newRow("binary file") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\"\r\n", 19) << "error"
                                 << qsizetype(1) << false << "kein Datenlog";
    QTest::newRow("CSV file") << QByteArray("\"a\";\"b\"\r\n\"1\";\"2\"\r\n") << "ok -:2/0"
                              << qsizetype(0) << false << "";
    QTest::newRow("log appended to other bytes")
        << QByteArray("garbage\"\r\n") + run(1) << "ok 06-12-26 14:05:09:1/1" << qsizetype(1)
        << false << "beschädigte";
}

void TestLogReader::scanFindsRuns()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, runs);
    QFETCH(qsizetype, malformed);
    QFETCH(bool, torn);
    QFETCH(QString, message);

    // The same answer however the bytes are cut into chunks.
    for (const qint64 chunk : {qint64(16), qint64(61), qint64(4096), LogReader::kDefaultChunk}) {
        QBuffer buffer(&bytes);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        LogReader reader;
        reader.setChunkSize(chunk);
        const LogIndex index = reader.scan(buffer);
        const QByteArray where = "chunk " + QByteArray::number(chunk);
        QVERIFY2(summary(index) == runs, qPrintable(summary(index) + " / " + where));
        QVERIFY2(index.malformed == malformed, where);
        QVERIFY2(index.tornTail == torn, where);
        const QString said = index.error + index.warnings.join(u' ');
        if (message.isEmpty())
            QVERIFY2(said.isEmpty(), qPrintable(said));
        else
            QVERIFY2(said.contains(message), qPrintable(said));
        QVERIFY(index.soundEnd <= bytes.size());
        if (!index.tornTail && index.ok)
            QCOMPARE(index.soundEnd, bytes.size());
    }
}

void TestLogReader::loadDecodesLines_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<bool>("measurement");
    QTest::addColumn<double>("mbar"); // NaN: unreadable
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<quint16>("status");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("gauge line") << gaugeLine(7, 1.23e-5, 0x8419) << true << 1.23e-5
                                << QByteArray("1.23E-05") << quint16(0x8419);
    QTest::newRow("after a CR LF line the LF shifts the fields")
        << gaugeLine(8, 1.23e-5, 0x8419, true) << true << nan << QByteArray("=1.23E-0")
        << quint16(0x8419);
    QTest::newRow("46 characters: a measurement with status 0")
        << QByteArray("PR=5.00E+02").leftJustified(46, '.') << true << 500.0
        << QByteArray("5.00E+02") << quint16(0);
    QTest::newRow("45 characters: an answer") << QByteArray("PR=5.00E+02").leftJustified(45, '.')
                                              << false << nan << QByteArray() << quint16(0);
    QTest::newRow("status cut short by the line's end")
        << QByteArray("PR=5.00E+02").leftJustified(46, '.') + "8A" << true << 500.0
        << QByteArray("5.00E+02") << quint16(0x8A);
    QTest::newRow("tab inside the pressure field")
        << QByteArray("PR=1.0E-3\t").leftJustified(46, ' ') + "0041" << true << 1.0e-3
        << QByteArray("1.0E-3") << quint16(0x0041);
    QTest::newRow("pressure that is no number")
        << QByteArray("PR=  OFF   ").leftJustified(46, ' ') + "0002" << true << nan
        << QByteArray("  OFF   ") << quint16(0x0002);
    QTest::newRow("answer line") << QByteArray("RV 1.02") << false << nan << QByteArray()
                                 << quint16(0);
}

void TestLogReader::loadDecodesLines()
{
    QFETCH(QByteArray, field);
    QFETCH(bool, measurement);
    QFETCH(double, mbar);
    QFETCH(QByteArray, text);
    QFETCH(quint16, status);

    QByteArray bytes = run(2) + record("RV 1.02") + record(field) + record("SX1 OK") +
                       run(1, 0x8009, "07-12-26 08:00:00");
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LogReader reader;
    const LogIndex index = reader.scan(buffer);
    QCOMPARE(index.runs.size(), 2);
    const RecordedRun recorded = reader.load(buffer, index.runs.first());
    QVERIFY2(recorded.ok, qPrintable(recorded.error));
    const TrendStore &store = *recorded.store;
    QCOMPARE(store.axis(), TrendStore::Axis::LineNumber);
    QCOMPARE(recorded.run.start, QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9)));

    // Lines 1 and 2 are gauge lines, 3 an answer, 4 the line under test, 5 an answer.
    QCOMPARE(store.size(), measurement ? 3 : 2);
    QCOMPARE(store.at(0).time, 1);
    QCOMPARE(store.at(1).time, 2);
    QCOMPARE(store.markers().front().time, 3);
    QCOMPARE(store.markers().front().text, QByteArray("RV 1.02"));
    QCOMPARE(store.markers().back().time, 5);
    if (measurement) {
        const TrendSample &s = store.at(2);
        QCOMPARE(s.time, 4);
        QCOMPARE(s.pressureText().toByteArray(), text);
        QCOMPARE(s.status, status);
        QCOMPARE(s.hasPressure(), !std::isnan(mbar));
        if (s.hasPressure())
            QCOMPARE(s.pressure, float(mbar));
    } else {
        QCOMPARE(store.markers().size(), size_t(3));
        QCOMPARE(store.markers()[1].time, 4);
        QCOMPARE(store.markers()[1].text, field.left(TrendMarker::kTextCapacity));
    }
}

void TestLogReader::loadedRunsAgreeWithScan()
{
    // Runs of several sizes, with a torn record at the end, read from a real file in
    // small chunks: every run loads exactly the lines the scan counted.
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("KelmorLog.txt"));
    QByteArray bytes = run(0) + run(5000) + run(1) + run(777, 0x0001, "08-12-26 23:59:59");
    bytes += "\"PR=";
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    LogReader reader;
    reader.setChunkSize(1000);
    const LogIndex index = reader.scan(path);
    QVERIFY(index.ok);
    QCOMPARE(index.runs.size(), 4);
    QVERIFY(index.tornTail);
    for (const LogRun &run : index.runs) {
        const RecordedRun recorded = reader.load(path, run);
        QVERIFY2(recorded.ok, qPrintable(recorded.error));
        QCOMPARE(recorded.store->size(), run.measurements);
        QCOMPARE(recorded.run.lines, run.lines);
        if (run.lines > 0) {
            QCOMPARE(recorded.store->last().time, run.lines);
            // The life bit toggles from line to line in these runs.
            QVERIFY(recorded.store->at(0).status != recorded.store->at(1 % run.lines).status ||
                    run.lines == 1);
        }
    }
    QCOMPARE(index.runs.last().start, QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59)));
}

void TestLogReader::headerTime_data()
{
    QTest::addColumn<QByteArray>("field");
    QTest::addColumn<QDateTime>("time");

    QTest::newRow("German") << QByteArray("06-12-26 14:05:09")
                            << QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9));
    QTest::newRow("English afternoon")
        << QByteArray("06-12-26 2:05:09 PM") << QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9));
    QTest::newRow("English midnight")
        << QByteArray("06-12-26 12:00:01 AM") << QDateTime(QDate(2026, 12, 6), QTime(0, 0, 1));
    QTest::newRow("English noon") << QByteArray("06-12-26 12:30:00 PM")
                                  << QDateTime(QDate(2026, 12, 6), QTime(12, 30));
    QTest::newRow("dots") << QByteArray("06-12-26 14.05.09")
                          << QDateTime(QDate(2026, 12, 6), QTime(14, 5, 9));
    QTest::newRow("word before the time") << QByteArray("06-12-26 ??2:05:09") << QDateTime();
    QTest::newRow("no seconds") << QByteArray("31-01-27 07:45")
                                << QDateTime(QDate(2027, 1, 31), QTime(7, 45));
    QTest::newRow("no such day") << QByteArray("31-02-26 14:05:09") << QDateTime();
    QTest::newRow("no such hour") << QByteArray("06-12-26 25:05:09") << QDateTime();
    QTest::newRow("13 PM") << QByteArray("06-12-26 13:05:09 PM") << QDateTime();
    QTest::newRow("not a header") << QByteArray("PR=1.00E-03 mbar") << QDateTime();
    QTest::newRow("LF in front") << QByteArray("\n06-12-26 14:05:09") << QDateTime();
}

void TestLogReader::headerTime()
{
    QFETCH(QByteArray, field);
    QFETCH(QDateTime, time);
    QCOMPARE(LogReader::headerTime(field), time);
}

void TestLogReader::cancelStopsReading()
{
    QByteArray bytes = run(20000);
    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    LogReader reader;
    reader.setChunkSize(64 * 1024);
    qint64 lastDone = 0;
    int calls = 0;
    reader.setProgress([&](qint64 done, qint64 total) {
        ++calls;
        QTest::qVerify(done > lastDone && total == bytes.size(), "progress", "", __FILE__,
                       __LINE__);
        lastDone = done;
        return done < 3 * 64 * 1024;
    });
    const LogIndex index = reader.scan(buffer);
    QVERIFY(index.cancelled);
    QVERIFY(!index.ok);
    QCOMPARE(calls, 3);
    QCOMPARE(lastDone, 3 * 64 * 1024);

    lastDone = 0;
    calls = 0;
    reader.setProgress({});
    const LogIndex whole = reader.scan(buffer);
    QVERIFY(whole.ok);
    reader.setProgress([&](qint64, qint64) { return false; });
    const RecordedRun recorded = reader.load(buffer, whole.runs.first());
    QVERIFY(recorded.cancelled);
    QVERIFY(!recorded.store);
}

void TestLogReader::readFailureKeepsWhatWasRead()
{
    const QByteArray bytes = run(100) + run(100, 0x8009, "07-12-26 08:00:00");
    FailingDevice device(bytes, bytes.size() - 100);
    LogReader reader;
    reader.setChunkSize(1000);
    const LogIndex index = reader.scan(device);
    QVERIFY(index.ok);
    QCOMPARE(index.runs.size(), 2);
    QCOMPARE(index.runs.first().lines, 100);
    QVERIFY(index.warnings.join(u' ').contains(u"Systemmeldung: Input/output error"));

    FailingDevice early(bytes, 10);
    const LogIndex none = reader.scan(early);
    QVERIFY(!none.ok);
    QVERIFY(none.error.contains(u"Systemmeldung"));
}

void TestLogReader::notAFileIsRefusedWithoutWaiting()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // Opening a pipe that nobody writes would block for ever.
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const LogIndex index = LogReader().scan(fifo);
    QVERIFY(!index.ok);
    QVERIFY(index.error.contains(u"keine Datei"));

    const LogIndex folder = LogReader().scan(dir.path());
    QVERIFY(!folder.ok);
}

void TestLogReader::missingFileSaysWhy()
{
    const LogIndex index = LogReader().scan(QStringLiteral("/nonexistent/KelmorLog.txt"));
    QVERIFY(!index.ok);
    QVERIFY(index.error.startsWith(u"Die Datei konnte nicht geöffnet werden. (Systemmeldung: "));
    LogRun run;
    run.dataEnd = 10;
    QVERIFY(!LogReader().load(QStringLiteral("/nonexistent/KelmorLog.txt"), run).ok);
}

QTEST_GUILESS_MAIN(TestLogReader)
#include "tst_logreader.moc"
