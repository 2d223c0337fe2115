// The pseudo-terminal the simulator, the tests and the benchmarks play the gauge on: a
// cooked line would turn the gauge's CR into LF, echo the monitor's commands back as if
// the gauge had answered, swallow flow-control and signal characters, or hold bytes back
// until a line end, and every test on it would measure the terminal instead of the code.

#include "rawpty.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using kelmor::tools::RawPty;

namespace {

// Opens the slave by its path, as the monitor opens its serial port.
int openSlave(const RawPty &pty)
{
    return ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
}

// Everything that arrives on `fd` until `count` bytes are in or nothing more comes.
QByteArray readUpTo(int fd, qsizetype count)
{
    QByteArray got;
    QDeadlineTimer deadline(10000);
    while (got.size() < count && !deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        char buf[256];
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            got.append(buf, n);
    }
    return got;
}

bool quiet(int fd)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 100) == 0;
}

bool hasFlag(int fd, int command, int flag)
{
    const int flags = ::fcntl(fd, command);
    return flags != -1 && (flags & flag) != 0;
}

} // namespace

class TestRawPty : public QObject
{
    Q_OBJECT

private slots:
    void bytesPassAsWritten_data();
    void bytesPassAsWritten();
    void masterDoesNotWaitNorLeak();
    void closingTheMasterUnplugsTheLine();
};

void TestRawPty::bytesPassAsWritten_data()
{
    QTest::addColumn<bool>("toMonitor"); // master (the gauge) to slave (the monitor)
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("gauge's CR") << true << QByteArray("1.23E-05\r");
    QTest::newRow("monitor's CR") << false << QByteArray("SX1\r");
    QTest::newRow("monitor's LF") << false << QByteArray("RV\n");
    QTest::newRow("no line end") << true << QByteArray("SC 00");
    QTest::newRow("eight bits in") << true << QByteArray("\x80\xb0\xff\xfe", 4);
    QTest::newRow("eight bits out") << false << QByteArray("\x80\xb0\xff\xfe", 4);
    QTest::newRow("NUL") << true << QByteArray("a\0b", 3);
    QTest::newRow("signal characters") << true << QByteArray("\x03\x1a\x1c\x7f");
    QTest::newRow("flow control") << true << QByteArray("\x13x\x11");
    QTest::newRow("erase and end of file") << true << QByteArray("ab\x08\x7f\x04\x15\x17");
    QTest::newRow("tab") << false << QByteArray("12AB\t1000000\r");
}

void TestRawPty::bytesPassAsWritten()
{
    QFETCH(bool, toMonitor);
    QFETCH(QByteArray, bytes);

    const RawPty pty;
    QVERIFY2(pty.isOpen(), pty.error().c_str());
    const int monitor = openSlave(pty);
    QVERIFY(monitor >= 0);
    const int from = toMonitor ? pty.master() : monitor;
    const int to = toMonitor ? monitor : pty.master();

    QCOMPARE(::write(from, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    QCOMPARE(readUpTo(to, bytes.size()), bytes);
    QVERIFY(quiet(to));
    // Nothing echoed back to the writer.
    QVERIFY(quiet(from));
    ::close(monitor);
}

void TestRawPty::masterDoesNotWaitNorLeak()
{
    const RawPty pty;
    QVERIFY2(pty.isOpen(), pty.error().c_str());
    QVERIFY(hasFlag(pty.master(), F_GETFL, O_NONBLOCK));
    char byte = 0;
    errno = 0;
    QCOMPARE(::read(pty.master(), &byte, 1), ssize_t(-1));
    QCOMPARE(errno, EAGAIN);
    // A program the tests or the benchmarks start must not hold the line open.
    QVERIFY(hasFlag(pty.master(), F_GETFD, FD_CLOEXEC));
    QVERIFY(hasFlag(pty.slave(), F_GETFD, FD_CLOEXEC));
    QVERIFY(pty.error().empty());
}

void TestRawPty::closingTheMasterUnplugsTheLine()
{
    RawPty pty;
    QVERIFY2(pty.isOpen(), pty.error().c_str());
    const int monitor = openSlave(pty);
    QVERIFY(monitor >= 0);
    pty.closeMaster();
    QVERIFY(!pty.isOpen());
    pollfd p{monitor, POLLIN, 0};
    QCOMPARE(::poll(&p, 1, 5000), 1);
    QVERIFY(p.revents & (POLLHUP | POLLERR));
    char byte = 0;
    QVERIFY(::read(monitor, &byte, 1) <= 0);
    ::close(monitor);
}

QTEST_GUILESS_MAIN(TestRawPty)
#include "tst_rawpty.moc"
