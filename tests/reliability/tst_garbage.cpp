// Whatever comes down the line, the window must survive it, stay small, and log every
// complete line byte for byte as a correct receiver would have framed it.

#include "form1harness.h"
#include "reliability.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>

using namespace kelmor;
using namespace kelmor::test;

namespace {

constexpr qint64 kMaxGrowth = 5 * 1024 * 1024;
constexpr qsizetype kMiB = 1024 * 1024;

QByteArray randomBytes(QRandomGenerator &rng, qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    rng.fillRange(reinterpret_cast<quint32 *>(out.data()), size / 4);
    for (qsizetype i = size / 4 * 4; i < size; ++i)
        out[i] = char(rng.generate());
    return out;
}

QByteArray withoutCr(QByteArray bytes)
{
    bytes.replace('\r', '\0');
    return bytes;
}

QByteArray lineEndMix(QRandomGenerator &rng, qsizetype size)
{
    static const char *const kPieces[] = {"\r\n",   "\n\r",     "\r", "\n", "\r\n\r\n",
                                          "\n\n\r", "1.00E-03", "\"", "\t", "P1 "};
    QByteArray out;
    out.reserve(size + 16);
    while (out.size() < size)
        out += kPieces[rng.bounded(int(std::size(kPieces)))];
    return out;
}

QByteArray printable(QRandomGenerator &rng, qsizetype size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        out[i] = char(0x20 + rng.bounded(0x5F));
    return out;
}

// Feeds the gauge side in pieces the line can take, noting the largest resident size.
void send(LoadedWindow &lw, const QByteArray &bytes, qint64 *peakRss)
{
    constexpr qsizetype kPiece = 64 * 1024;
    for (qsizetype at = 0; at < bytes.size(); at += kPiece) {
        QVERIFY2(lw.pty.write(bytes.mid(at, kPiece)), "the line stopped taking bytes");
        if (peakRss)
            *peakRss = qMax(*peakRss, residentBytes());
    }
}

// Lets the window work until the log reaches its expected size and stays there.
void drain(LoadedWindow &lw, qint64 expectedLogSize, qint64 *peakRss)
{
    QElapsedTimer idle;
    idle.start();
    qint64 last = -1;
    while (idle.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (peakRss)
            *peakRss = qMax(*peakRss, residentBytes());
        const qint64 size = QFileInfo(lw.logPath).size();
        if (size != last) {
            last = size;
            idle.restart();
        }
        if (size >= expectedLogSize && !receiver(*lw.window).buffer().hasLine()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            return;
        }
    }
}

} // namespace

class TestGarbage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { initApplication(); }
    void garbageDuringARun_data();
    void garbageDuringARun();
};

void TestGarbage::garbageDuringARun_data()
{
    QTest::addColumn<QByteArray>("body");
    QRandomGenerator rng(0x4B454C4D);
    QTest::newRow("random bytes with NUL and 0xFF") << randomBytes(rng, 10 * kMiB);
    QTest::newRow("1 MB without a CR, then one") << withoutCr(randomBytes(rng, kMiB)) + "\r";
    QTest::newRow("1 MB without a CR, never ended") << withoutCr(randomBytes(rng, kMiB));
    QTest::newRow("storm of lone CRs") << QByteArray(100000, '\r');
    QTest::newRow("CR LF and LF CR mixes") << lineEndMix(rng, kMiB / 4);
    QTest::newRow("1 MB line") << printable(rng, kMiB) + "\r";
    // Lines just over and just under the bound, and a stretch that outgrows the bound
    // right behind a CR in the same burst.
    QTest::newRow("lines at the bound") << printable(rng, ReceiveBuffer::kBound) + "\r" +
                                               printable(rng, ReceiveBuffer::kBound + 1) + "\r" +
                                               printable(rng, ReceiveBuffer::kBound - 1) +
                                               "\rshort\r" +
                                               printable(rng, 3 * ReceiveBuffer::kBound) + "\r";
}

void TestGarbage::garbageDuringARun()
{
    QFETCH(QByteArray, body);
    LoadedWindow lw;
    lw.click("cmdMonitor");
    QCOMPARE(lw.pty.read(4), QByteArray("SX1\r"));

    // Warm-up: the window's first lines allocate what it keeps for good.
    QRandomGenerator rng(7);
    const QByteArray warmUp = randomBytes(rng, 512 * 1024) + "\r";
    send(lw, warmUp, nullptr);
    const qint64 headerSize = lw.logBytes().indexOf("\r\n") + 2;
    drain(lw, headerSize + recordsOf(referenceSplit(warmUp).lines).size(), nullptr);

    // The test's own copies exist before the measurement starts.
    const QByteArray all = warmUp + body;
    const ReferenceSplit expected = referenceSplit(all);
    const QByteArray expectedRecords = recordsOf(expected.lines);
    const qint64 before = residentBytes();
    qint64 peak = before;
    QElapsedTimer clock;
    clock.start();
    send(lw, body, &peak);
    drain(lw, headerSize + expectedRecords.size(), &peak);
    const qint64 after = residentBytes();

    const QByteArray records = dataPart(lw.logBytes());
    QVERIFY2(records == expectedRecords, firstDifference(records, expectedRecords).constData());
    // An unfinished line's end may still wait in the driver for a moment.
    QTRY_COMPARE(receiver(*lw.window).buffer().data(), expected.rest);
    QVERIFY(lw.messages.messages().isEmpty());
    QCOMPARE(lw.get<QPushButton>("cmdMonitor")->text(), QStringLiteral("STOP"));

    qInfo("%lld bytes, %lld CRs, %lld lines logged in %lld ms; resident growth %lld KiB "
          "(peak %lld KiB)",
          qint64(body.size()), qint64(all.count('\r')), qint64(expected.lines.size()),
          qint64(clock.elapsed()), (after - before) / 1024, (peak - before) / 1024);
    // AddressSanitizer parks freed blocks in its quarantine and maps shadow memory, so the
    // resident size there says nothing about the program; the normal build holds the bound.
    if (!kUnderAsan)
        QVERIFY2(peak - before < kMaxGrowth,
                 qPrintable(
                     QStringLiteral("resident memory grew by %1 KiB").arg((peak - before) / 1024)));

    // Still a working program afterwards.
    lw.gaugeSends("\rafter\r", 100);
    QTRY_COMPARE(receiveMonitorText(*lw.window), QStringLiteral("after\r\n"));
}

QTEST_MAIN(TestGarbage)
#include "tst_garbage.moc"
