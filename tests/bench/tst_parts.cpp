// The benchmarks' own parts: the gauge stream must look to the monitor as a gauge's
// lines do (or the figures describe some other load), and the log follower must notice
// every lost, duplicated, reordered or torn record (or a faulty run passes as sound).

#include "benchsupport.h"
#include "gaugestream.h"
#include "receivebuffer.h"
#include "statusword.h"

#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <fstream>
#include <set>

using namespace kelmor;
using namespace kelmor::bench;

namespace {

AnswerLine received(const std::string &line)
{
    ReceiveBuffer rx;
    rx.append(QByteArrayView(line.data(), qsizetype(line.size())));
    auto answer = rx.takeLine();
    return answer ? *answer : AnswerLine{};
}

} // namespace

class TestBenchParts : public QObject
{
    Q_OBJECT

private slots:
    void linesReadAsTheGaugesOwn_data();
    void linesReadAsTheGaugesOwn();
    void linesVaryAsAGaugesDo();
    void followerCountsWhatReachedTheLog_data();
    void followerCountsWhatReachedTheLog();
};

void TestBenchParts::linesReadAsTheGaugesOwn_data()
{
    QTest::addColumn<quint32>("index");
    for (quint32 i : {0u, 1u, 2u, 999u, 1000u, 3999u, 4000u, 123457u, 8999999u})
        QTest::addRow("line %u", i) << i;
}

void TestBenchParts::linesReadAsTheGaugesOwn()
{
    QFETCH(quint32, index);
    const std::string line = gaugeLine(index);
    // The rate of the CPU phases is worked out from this length.
    QCOMPARE(line.size(), kLineBytes);
    QCOMPARE(line.back(), '\r');
    QCOMPARE(gaugeRecord(index) + "\r", line);
    QCOMPARE(gaugeLine(index, sim::LineEnd::CrLf), gaugeRecord(index) + "\r\n");
    QCOMPARE(gaugeLine(index), line); // a pure function of the number

    const AnswerLine answer = received(line);
    QVERIFY(answer.isMeasurement());
    QCOMPARE(answer.line.toStdString(), gaugeRecord(index));
    QVERIFY(answer.line.endsWith("N=" + QByteArray::number(kFirstNumber + index)));
    const QByteArray pressure = pressureText(answer.pressureField);
    QCOMPARE(pressure, sim::formatPressure(gaugePressure(index)));
    const double mbar = pressure.toDouble();
    QVERIFY2(mbar > 1e-4 && mbar < 3e-4, pressure.constData());
    const quint16 status = readStatusWord(answer.statusField);
    QCOMPARE(bool(status & kLifeBit), index % 2 == 0);
}

void TestBenchParts::linesVaryAsAGaugesDo()
{
    // Each line changes what the window shows: the life bit always, the pressure nearly
    // always; the stream is no single line repeated.
    int pressureChanged = 0;
    std::set<QByteArray> pressures;
    int rises = 0;
    int falls = 0;
    constexpr quint32 kLines = 2000;
    for (quint32 i = 0; i + 1 < kLines; ++i) {
        const AnswerLine a = received(gaugeLine(i));
        const AnswerLine b = received(gaugeLine(i + 1));
        QVERIFY(((readStatusWord(a.statusField) ^ readStatusWord(b.statusField)) & kLifeBit) != 0);
        QCOMPARE(readStatusWord(a.statusField) & ~kLifeBit,
                 readStatusWord(b.statusField) & ~kLifeBit);
        pressureChanged += a.pressureField != b.pressureField;
        pressures.insert(pressureText(a.pressureField));
        const double pa = gaugePressure(i);
        const double pb = gaugePressure(i + 1);
        rises += pb > pa;
        falls += pb < pa;
        // Noise of a few per cent, no jumps.
        QVERIFY(std::abs(pb / pa - 1.0) < 0.07);
    }
    QVERIFY2(pressureChanged > int(kLines) * 9 / 10, qPrintable(QString::number(pressureChanged)));
    QVERIFY2(pressures.size() > 50, qPrintable(QString::number(pressures.size())));
    // Noise goes both ways, even while the trend drifts one way.
    QVERIFY(rises > int(kLines) / 4 && falls > int(kLines) / 4);
}

void TestBenchParts::followerCountsWhatReachedTheLog_data()
{
    QTest::addColumn<QList<int>>("records"); // the numbers of the lines recorded, in order
    QTest::addColumn<bool>("torn");          // the file ends in half a record
    QTest::addColumn<quint32>("inOrder");
    QTest::addColumn<quint32>("wrong");

    QTest::newRow("every line") << QList<int>{0, 1, 2, 3, 4} << false << 5u << 0u;
    QTest::newRow("none") << QList<int>{} << false << 0u << 0u;
    QTest::newRow("one lost") << QList<int>{0, 1, 3, 4} << false << 2u << 2u;
    QTest::newRow("one twice") << QList<int>{0, 1, 1, 2, 3} << false << 4u << 1u;
    QTest::newRow("two swapped") << QList<int>{0, 2, 1, 3} << false << 2u << 2u;
    QTest::newRow("the last torn") << QList<int>{0, 1, 2} << true << 3u << 0u;
}

void TestBenchParts::followerCountsWhatReachedTheLog()
{
    QFETCH(QList<int>, records);
    QFETCH(bool, torn);
    QFETCH(quint32, inOrder);
    QFETCH(quint32, wrong);

    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("KelmorLog.txt")).toStdString();
    std::ofstream(path) << "\"07-12-26 14:05:09\"\r\n";
    LogFollower follower(path, [](std::uint32_t i) { return gaugeRecord(i); });
    QCOMPARE(follower.poll(), 0u);

    std::ofstream log(path, std::ios::app | std::ios::binary);
    for (int i : records)
        log << '"' << gaugeRecord(quint32(i)) << "\"\r\n";
    if (torn)
        log << '"' << gaugeRecord(quint32(records.size())).substr(0, 20);
    log.close();

    QList<int> seen;
    follower.poll([&](std::uint32_t i) { seen << int(i); });
    QCOMPARE(follower.recorded(), inOrder);
    QCOMPARE(follower.wrong(), wrong);
    for (int k = 0; k < seen.size(); ++k)
        QCOMPARE(seen[k], k);
    if (torn) {
        // The rest of the torn record arrives: it is the next line, whole.
        std::ofstream(path, std::ios::app | std::ios::binary)
            << gaugeRecord(quint32(records.size())).substr(20) << "\"\r\n";
        QCOMPARE(follower.poll(), 1u);
        QCOMPARE(follower.recorded(), inOrder + 1);
    }
}

QTEST_MAIN(TestBenchParts)
#include "tst_parts.moc"
