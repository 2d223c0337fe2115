// The receiver over a real serial component on a pseudo-terminal: lines out in order,
// one per turn of the event loop, decoded, with the port read only while no line waits.

#include "comkelmor.h"
#include "ptypair.h"
#include "receiver.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QTest>

#include <QScopeGuard>
#include <QThread>

#include <atomic>
#include <cerrno>
#include <cmath>
#include <memory>
#include <thread>

#include <poll.h>
#include <unistd.h>

using namespace kelmor;
using kelmor::test::PtyPair;

namespace {

// A gauge line without its CR: pressure at positions 4..11, status at 47..51.
QByteArray gaugeLine(const QByteArray &pressure8, const QByteArray &status5)
{
    QByteArray line = "P1 " + pressure8.leftJustified(8, ' ', true);
    return line.leftJustified(46, '.') + status5.leftJustified(5, ' ', true) + "mbar";
}

struct Expected
{
    QByteArray raw;
    QString pressureText;
    double pressureMbar;
    int status;
    bool isMeasurement;
};

// Writes everything to a non-blocking descriptor, waiting while the line is full.
bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        pollfd pfd{fd, POLLOUT, 0};
        if (::poll(&pfd, 1, 60000) <= 0)
            return false;
    }
    return true;
}

} // namespace

Q_DECLARE_METATYPE(QList<Expected>)

class TestReceiver : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void decodedLines_data();
    void decodedLines();
    void oneLinePerTurnOfTheEventLoop();
    void slotRunsBeforeTheNextLineIsTaken();
    void floodIsHeldBackByThePort();
    void unfinishedLineHoldsTheReceive_data();
    void unfinishedLineHoldsTheReceive();
    void holdLastsUntilTheLineShouldBeThere_data();
    void holdLastsUntilTheLineShouldBeThere();
    void receiveTimesFollowTheClock();
    void deviceFailureIsToldOnce();

private:
    std::unique_ptr<PtyPair> m_pty;
    std::unique_ptr<ComKelmor> m_com;
    std::unique_ptr<Receiver> m_receiver;
    QList<ReceivedLine> m_lines;
};

void TestReceiver::init()
{
    m_pty = std::make_unique<PtyPair>();
    QVERIFY(m_pty->isValid());
    qputenv("KELMOR_COM1", m_pty->slavePath().toLocal8Bit());
    m_com = std::make_unique<ComKelmor>();
    m_receiver = std::make_unique<Receiver>(*m_com);
    m_lines.clear();
    connect(m_receiver.get(), &Receiver::lineReceived, this,
            [this](const ReceivedLine &line) { m_lines << line; });
    QCOMPARE(m_com->setPortOpen(true).description, QString());
}

void TestReceiver::cleanup()
{
    m_receiver.reset();
    m_com.reset();
    m_pty.reset();
}

void TestReceiver::decodedLines_data()
{
    QTest::addColumn<QList<QByteArray>>("chunks");
    QTest::addColumn<QList<Expected>>("expected");
    QTest::addColumn<QByteArray>("waiting");

    const double nan = std::nan("");
    const QByteArray m1 = gaugeLine("1.23E-05", "8049\t");
    const QByteArray m2 = gaugeLine("7.50E+02", "0002\t");
    QTest::newRow("one measurement line")
        << QList<QByteArray>{m1 + "\r"} << QList<Expected>{{m1, "1.23E-05", 1.23e-5, 0x8049, true}}
        << QByteArray();
    QTest::newRow("two lines in one chunk, in order")
        << QList<QByteArray>{m1 + "\r" + m2 + "\r"}
        << QList<Expected>{{m1, "1.23E-05", 1.23e-5, 0x8049, true},
                           {m2, "7.50E+02", 750.0, 0x0002, true}}
        << QByteArray();
    QTest::newRow("a line cut into single bytes") <<
        [&] {
            QList<QByteArray> bytes;
            for (char c : m2 + "\r")
                bytes << QByteArray(1, c);
            return bytes;
        }() << QList<Expected>{{m2, "7.50E+02", 750.0, 0x0002, true}}
                                                  << QByteArray();
    QTest::newRow("no pressure yet: shown, not a number")
        << QList<QByteArray>{gaugeLine("---", "0001\t") + "\r"}
        << QList<Expected>{{gaugeLine("---", "0001\t"), "---     ", nan, 0x0001, true}}
        << QByteArray();
    QTest::newRow("garbage in the pressure field")
        << QList<QByteArray>{gaugeLine("1.2x-03", "0000 ") + "\r"}
        << QList<Expected>{{gaugeLine("1.2x-03", "0000 "), "1.2x-03 ", nan, 0, true}}
        << QByteArray();
    QTest::newRow("a tab ends the pressure field")
        << QList<QByteArray>{gaugeLine("5.0E-3\tx", "0010 ") + "\r"}
        << QList<Expected>{{gaugeLine("5.0E-3\tx", "0010 "), "5.0E-3", 5.0e-3, 0x0010, true}}
        << QByteArray();
    QTest::newRow("a short line is no measurement")
        << QList<QByteArray>{"RV 1.2\r"} << QList<Expected>{{"RV 1.2", "", nan, 0, false}}
        << QByteArray();
    QTest::newRow("an unfinished line waits")
        << QList<QByteArray>{"RV 1.2\rpart"} << QList<Expected>{{"RV 1.2", "", nan, 0, false}}
        << QByteArray("part");
    {
        // The fields are cut from the buffer: past a short line's CR into the next line.
        const QByteArray next = QByteArray("0123456789").repeated(6);
        QTest::newRow("fields reach past a short line's CR")
            << QList<QByteArray>{"ab\r" + next}
            << QList<Expected>{{"ab", "01234567", 1234567.0, 0x4567, true}} << next;
    }
}

void TestReceiver::decodedLines()
{
    QFETCH(QList<QByteArray>, chunks);
    QFETCH(QList<Expected>, expected);
    QFETCH(QByteArray, waiting);

    for (const QByteArray &chunk : chunks) {
        QVERIFY(m_pty->write(chunk));
        QTest::qWait(chunks.size() > 20 ? 0 : 20);
    }
    QTRY_COMPARE(m_lines.size(), expected.size());
    QTRY_COMPARE(m_receiver->buffer().data(), waiting);
    QTest::qWait(50);
    QCOMPARE(m_lines.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i) {
        const ReceivedLine &got = m_lines.at(i);
        const Expected &want = expected.at(i);
        QCOMPARE(got.raw, want.raw);
        QCOMPARE(got.pressureText, want.pressureText);
        if (std::isnan(want.pressureMbar))
            QVERIFY2(std::isnan(got.pressureMbar), qPrintable(QString::number(got.pressureMbar)));
        else
            QCOMPARE(got.pressureMbar, want.pressureMbar);
        QCOMPARE(int(got.status), want.status);
        QCOMPARE(got.isMeasurement, want.isMeasurement);
    }
}

void TestReceiver::oneLinePerTurnOfTheEventLoop()
{
    // Something posted from the slot runs before the next line is handed out: each line
    // has an event of its own, and the window can repaint and take clicks in between.
    QStringList order;
    connect(m_receiver.get(), &Receiver::lineReceived, this, [&](const ReceivedLine &line) {
        order << QString::fromLatin1(line.raw);
        QMetaObject::invokeMethod(
            this, [&order, raw = line.raw] { order << "after " + QString::fromLatin1(raw); },
            Qt::QueuedConnection);
    });
    QVERIFY(m_pty->write("a\rb\rc\r"));
    QTRY_COMPARE(order.size(), 6);
    QCOMPARE(order, (QStringList{"a", "after a", "b", "after b", "c", "after c"}));
}

void TestReceiver::slotRunsBeforeTheNextLineIsTaken()
{
    // Lines that wait are handed out even when the gauge falls silent, and each slot sees
    // the lines behind its own still waiting: it is called before the receiver goes on.
    QList<QByteArray> seenWaiting;
    connect(m_receiver.get(), &Receiver::lineReceived, this,
            [&](const ReceivedLine &) { seenWaiting << m_receiver->buffer().data(); });
    QVERIFY(m_pty->write("one\rtwo\rthree\r"));
    QTRY_COMPARE(m_lines.size(), 3);
    QCOMPARE(seenWaiting, (QList<QByteArray>{"two\rthree\r", "three\r", ""}));
}

void TestReceiver::floodIsHeldBackByThePort()
{
    // A gauge far faster than its reader, writing from a thread of its own as a real
    // line would, into a reader that takes its time over each line. Were the port read
    // while lines wait, the buffer would take in the whole flood; as it is, no more
    // than one read of the port's bounded buffer waits at once.
    QByteArray flood;
    const int count = 8000;
    for (int i = 0; i < count; ++i)
        flood += gaugeLine(QByteArray::number(i).rightJustified(8, '0'), "8001\t") + "\r";
    qsizetype largest = 0;
    connect(m_receiver.get(), &Receiver::lineReceived, this, [&](const ReceivedLine &) {
        largest = qMax(largest, m_receiver->buffer().size());
        QThread::usleep(100);
    });
    std::atomic<bool> written{false};
    std::thread gauge([&] { written = writeAll(m_pty->masterFd(), flood); });
    // Also when a check below gives up early.
    const auto join = qScopeGuard([&] { gauge.join(); });
    QTRY_COMPARE_WITH_TIMEOUT(m_lines.size(), count, 120000);
    QTRY_VERIFY(written);
    for (int i = 0; i < count; ++i)
        QCOMPARE(m_lines.at(i).pressureText, QString::number(i).rightJustified(8, '0'));
    const qsizetype portBuffer = 64 * 1024;
    QVERIFY2(largest <= portBuffer + ReceiveBuffer::kBound,
             qPrintable(QStringLiteral("%1 bytes waited at once").arg(largest)));
}

void TestReceiver::unfinishedLineHoldsTheReceive_data()
{
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<bool>("held");

    QTest::newRow("part of a line") << QList<QByteArray>{"P1 1.0"} << true;
    QTest::newRow("more of the same line") << QList<QByteArray>{"P1 1.0", "E-03"} << true;
    QTest::newRow("a whole line") << QList<QByteArray>{"x\r"} << false;
    QTest::newRow("the end of a held line") << QList<QByteArray>{"P1 1.0", "E-03\r"} << false;
    // Trickling in, the end of one line and the start of the next come in one read.
    QTest::newRow("a line and the start of the next") << QList<QByteArray>{"x\rP1 1.0"} << true;
}

void TestReceiver::unfinishedLineHoldsTheReceive()
{
    QFETCH(QList<QByteArray>, writes);
    QFETCH(bool, held);

    // Connected after the receiver: sees the state each receive event left behind.
    int events = 0;
    bool heldAfterLast = false;
    connect(m_com.get(), &ComKelmor::commEventRaised, this, [&] {
        ++events;
        heldAfterLast = m_com->receiveHeld();
    });
    QByteArray all;
    for (const QByteArray &bytes : writes) {
        all += bytes;
        const int before = events;
        QVERIFY(m_pty->write(bytes));
        QTRY_VERIFY(events > before);
        QTRY_COMPARE(m_receiver->buffer().data(), all.mid(all.lastIndexOf('\r') + 1));
    }
    QCOMPARE(heldAfterLast, held);
    // A hold only delays: the bytes all arrived, and no line was made up from them.
    QCOMPARE(m_lines.size(), int(all.count('\r')));
}

void TestReceiver::holdLastsUntilTheLineShouldBeThere_data()
{
    QTest::addColumn<int>("waiting");
    QTest::addColumn<int>("lastLine"); // the last whole line's length with its CR
    QTest::addColumn<qint64>("characterNs");
    QTest::addColumn<int>("holdMs");

    const qint64 at38400 = 260'416;
    const qint64 at19200 = 520'833;
    // A gauge line of 61 characters, the first here: 61 more characters' time.
    QTest::newRow("38400, first character") << 1 << 61 << at38400 << 16;
    QTest::newRow("38400, half the line") << 30 << 61 << at38400 << 9;
    QTest::newRow("38400, the CR missing") << 60 << 61 << at38400 << 1;
    QTest::newRow("19200, first character: at most the longest hold")
        << 1 << 61 << at19200 << int(Receiver::kLongestHoldMs);
    QTest::newRow("no line yet") << 1 << 0 << at38400 << int(Receiver::kTrickleHoldMs);
    QTest::newRow("longer than the last line")
        << 70 << 61 << at38400 << int(Receiver::kTrickleHoldMs);
    QTest::newRow("as long as the last line, no CR")
        << 61 << 61 << at38400 << int(Receiver::kTrickleHoldMs);
    QTest::newRow("a fast line") << 1 << 61 << qint64(8'680) << 1;
}

void TestReceiver::holdLastsUntilTheLineShouldBeThere()
{
    QFETCH(int, waiting);
    QFETCH(int, lastLine);
    QFETCH(qint64, characterNs);
    QFETCH(int, holdMs);
    QCOMPARE(Receiver::trickleHoldMs(waiting, lastLine, characterNs), holdMs);
}

void TestReceiver::receiveTimesFollowTheClock()
{
    const qint64 before = QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs();
    const QDateTime wallBefore = QDateTime::currentDateTime();
    QVERIFY(m_pty->write("first\r"));
    QTRY_COMPARE(m_lines.size(), 1);
    QTest::qWait(20);
    QVERIFY(m_pty->write("second\r"));
    QTRY_COMPARE(m_lines.size(), 2);
    const qint64 after = QDeadlineTimer::current(Qt::PreciseTimer).deadlineNSecs();
    const QDateTime wallAfter = QDateTime::currentDateTime();

    QVERIFY(m_lines[0].monotonicNs >= before);
    QVERIFY(m_lines[1].monotonicNs - m_lines[0].monotonicNs >= 20'000'000);
    QVERIFY(m_lines[1].monotonicNs <= after);
    for (const ReceivedLine &line : std::as_const(m_lines)) {
        QVERIFY(line.wallClock.isValid());
        QVERIFY(line.wallClock >= wallBefore.addMSecs(-1));
        QVERIFY(line.wallClock <= wallAfter.addMSecs(1));
    }
}

void TestReceiver::deviceFailureIsToldOnce()
{
    QStringList events;
    connect(m_receiver.get(), &Receiver::lineReceived, this,
            [&](const ReceivedLine &line) { events << "line " + QString::fromLatin1(line.raw); });
    connect(m_receiver.get(), &Receiver::deviceFailed, this,
            [&](const QString &text) { events << "failed " + text; });
    QVERIFY(m_pty->write("last\rtail"));
    QTRY_COMPARE(m_receiver->buffer().data(), QByteArray("tail"));
    m_pty->closeMaster();
    QTRY_COMPARE(events.size(), 2);
    QTest::qWait(200);
    QCOMPARE(events.size(), 2);
    QCOMPARE(events.at(0), QStringLiteral("line last"));
    QVERIFY2(events.at(1).startsWith(QStringLiteral("failed Die Schnittstelle Com1")),
             qPrintable(events.at(1)));
    QVERIFY(events.at(1).contains(m_pty->slavePath()));
    QVERIFY(!m_com->portOpen());
    // No line is made up from the unfinished one, and it goes: a reconnected device
    // starts a line of its own.
    QCOMPARE(m_receiver->buffer().data(), QByteArray());
}

QTEST_MAIN(TestReceiver)
#include "tst_receiver.moc"
