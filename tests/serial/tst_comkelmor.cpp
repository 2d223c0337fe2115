#include "comkelmor.h"
#include "fakeportlisting.h"
#include "processprobe.h"
#include "ptypair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <optional>

using kelmor::ComError;
using kelmor::ComKelmor;
using kelmor::test::cpuSeconds;
using kelmor::test::PtyPair;

namespace {

const char kMissingDevice[] = "/nonexistent/ttyKELMOR";

QByteArray allByteValues()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(char(i));
    return bytes;
}

// Records every event of a component in order, and reads what arrives while told to.
struct EventLog
{
    QList<int> events;
    QByteArray received;
    QList<qsizetype> chunkSizes; // what each receive event brought
    bool readOnReceive = true;

    void attach(ComKelmor &port, QObject *context)
    {
        QObject::connect(&port, &ComKelmor::commEventRaised, context, [this, &port] {
            events.append(port.commEvent());
            if (port.commEvent() == kelmor::ComEvReceive && readOnReceive) {
                const QByteArray chunk = port.input();
                chunkSizes.append(chunk.size());
                received += chunk;
            }
        });
    }
    int count(int event) const { return int(events.count(event)); }
};

// Makes the pseudo-terminal the device behind Com1.
bool mapToCom1(const PtyPair &pty)
{
    if (!pty.isValid())
        return false;
    qputenv("KELMOR_COM1", pty.slavePath().toLocal8Bit());
    return true;
}

} // namespace

class TestComKelmor : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void mapsPortsToDevices_data();
    void mapsPortsToDevices();
    void parsesLineSettings_data();
    void parsesLineSettings();
    void refusesInvalidPortNumbers_data();
    void refusesInvalidPortNumbers();
    void refusesPortChangeWhileOpen();
    void sendOnClosedPortFailsQuietly();
    void openingMissingDeviceNamesPortAndDevice();
    void openingDeviceInUseFails();
    void deviceNameTooLongForTheLock_data();
    void deviceNameTooLongForTheLock();
    void openAndCloseAreIdempotent();
    void movesAllByteValuesUnchanged();
    void settingsOnOpenPortKeepItOpen();
    void unplugClosesPortOnce_data();
    void unplugClosesPortOnce();
    void reopensOnNewDeviceAfterUnplug();
    void holdGathersWhatArrives_data();
    void holdGathersWhatArrives();
    void closingEndsTheHold();

private:
    std::unique_ptr<ComKelmor> m_port;
};

void TestComKelmor::init()
{
    for (int n = 1; n <= 4; ++n)
        qunsetenv(qPrintable(QStringLiteral("KELMOR_COM%1").arg(n)));
    m_port = std::make_unique<ComKelmor>();
}

void TestComKelmor::cleanup()
{
    m_port.reset();
}

void TestComKelmor::mapsPortsToDevices_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("setVariable");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("device");

    // With two present devices: a board port and an adapter.
    QTest::newRow("variable set") << 2 << true << "/dev/ttyUSB0"
                                  << "/dev/ttyUSB0";
    QTest::newRow("variable empty") << 2 << true << ""
                                    << "/dev/ttyUSB3";
    QTest::newRow("variable unset, port 1") << 1 << false << ""
                                            << "/dev/ttyS0";
    QTest::newRow("variable unset, port 4") << 4 << false << ""
                                            << "";
}

void TestComKelmor::mapsPortsToDevices()
{
#ifdef Q_OS_WIN
    QSKIP("Windows maps port n to COMn");
#endif
    QFETCH(int, port);
    QFETCH(bool, setVariable);
    QFETCH(QString, value);
    QFETCH(QString, device);

    kelmor::test::FakePortListing listing;
    listing.devices = kelmor::test::devicesFrom({"usb:/dev/ttyUSB3", "/dev/ttyS0"});
    if (setVariable)
        qputenv(qPrintable(QStringLiteral("KELMOR_COM%1").arg(port)), value.toLocal8Bit());
    QCOMPARE(ComKelmor::deviceForPort(port), device);
    QVERIFY(!m_port->setCommPort(port));
    QCOMPARE(m_port->deviceName(), device);
}

void TestComKelmor::parsesLineSettings_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("parity");
    QTest::addColumn<int>("dataBits");
    QTest::addColumn<int>("stopBits");
    QTest::addColumn<qint64>("characterNs");

    // The last column: one character's time on the line (start, data, parity and stop
    // bits), in nanoseconds.
    QTest::newRow("default") << "19200,n,8,1" << true << 19200 << int(QSerialPort::NoParity) << 8
                             << int(QSerialPort::OneStop) << qint64(520'833);
    QTest::newRow("38400") << "38400,n,8,1" << true << 38400 << int(QSerialPort::NoParity) << 8
                           << int(QSerialPort::OneStop) << qint64(260'416);
    QTest::newRow("even, 7, 2") << "9600,e,7,2" << true << 9600 << int(QSerialPort::EvenParity) << 7
                                << int(QSerialPort::TwoStop) << qint64(1'145'833);
    QTest::newRow("odd, 5, 1.5") << "300,o,5,1.5" << true << 300 << int(QSerialPort::OddParity) << 5
                                 << int(QSerialPort::OneAndHalfStop) << qint64(28'333'333);
    QTest::newRow("mark, 6") << "115200,m,6,1" << true << 115200 << int(QSerialPort::MarkParity)
                             << 6 << int(QSerialPort::OneStop) << qint64(78'125);
    QTest::newRow("space, upper case")
        << "1200,S,8,2" << true << 1200 << int(QSerialPort::SpaceParity) << 8
        << int(QSerialPort::TwoStop) << qint64(10'000'000);

    const auto invalid = [](const char *name, const char *text) {
        QTest::newRow(name) << QString::fromLatin1(text) << false << 0 << 0 << 0 << 0 << qint64(0);
    };
    invalid("empty", "");
    invalid("speed only", "19200");
    invalid("three fields", "19200,n,8");
    invalid("five fields", "19200,n,8,1,1");
    invalid("speed missing", ",n,8,1");
    invalid("speed zero", "0,n,8,1");
    invalid("speed negative", "-19200,n,8,1");
    invalid("speed with sign", "+19200,n,8,1");
    invalid("speed with blank", " 19200,n,8,1");
    invalid("speed not a number", "fast,n,8,1");
    invalid("speed too large", "99999999999,n,8,1");
    invalid("unknown parity", "19200,x,8,1");
    invalid("parity missing", "19200,,8,1");
    invalid("parity a word", "19200,no,8,1");
    invalid("data bits two digits", "19200,n,88,1");
    invalid("data bits 4", "19200,n,4,1");
    invalid("data bits 9", "19200,n,9,1");
    invalid("stop bits 3", "19200,n,8,3");
    invalid("stop bits 1.0", "19200,n,8,1.0");
    invalid("semicolons", "19200;n;8;1");
}

void TestComKelmor::parsesLineSettings()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);

    const std::optional<kelmor::LineSettings> parsed = kelmor::parseLineSettings(text);
    QCOMPARE(parsed.has_value(), valid);
    if (valid) {
        QFETCH(int, baud);
        QFETCH(int, parity);
        QFETCH(int, dataBits);
        QFETCH(int, stopBits);
        QCOMPARE(parsed->baudRate, baud);
        QCOMPARE(int(parsed->parity), parity);
        QCOMPARE(int(parsed->dataBits), dataBits);
        QCOMPARE(int(parsed->stopBits), stopBits);
    }
    QFETCH(qint64, characterNs);
    if (valid)
        QCOMPARE(kelmor::characterNsOf(*parsed), characterNs);

    // The component takes exactly the texts the parser takes, and reads them back as written.
    const ComError error = m_port->setSettings(text);
    QCOMPARE(error.failed(), !valid);
    QCOMPARE(m_port->settings(), valid ? text : QStringLiteral("19200,n,8,1"));
    QCOMPARE(m_port->characterNs(), valid ? characterNs : qint64(520'833));
    if (!valid) {
        QCOMPARE(error.number, int(kelmor::ComErrInvalidSettings));
        QVERIFY2(error.description.contains(QStringLiteral("ungültig")) &&
                     error.description.contains(QLatin1String("Com1")),
                 qPrintable(error.description));
    }
}

void TestComKelmor::refusesInvalidPortNumbers_data()
{
    QTest::addColumn<int>("port");
    QTest::newRow("0") << 0;
    QTest::newRow("5") << 5;
    QTest::newRow("-1") << -1;
}

void TestComKelmor::refusesInvalidPortNumbers()
{
    QFETCH(int, port);
    QVERIFY(!m_port->setCommPort(3));
    const ComError error = m_port->setCommPort(port);
    QCOMPARE(error.number, int(kelmor::ComErrInvalidPort));
    QVERIFY2(error.description.contains(QStringLiteral("Com%1").arg(port)),
             qPrintable(error.description));
    QCOMPARE(m_port->commPort(), 3);
}

void TestComKelmor::refusesPortChangeWhileOpen()
{
    PtyPair pty;
    QVERIFY(mapToCom1(pty));
    QVERIFY(!m_port->setPortOpen(true));

    const ComError error = m_port->setCommPort(2);
    QCOMPARE(error.number, int(kelmor::ComErrPortOpen));
    QVERIFY2(error.description.contains(pty.slavePath()), qPrintable(error.description));
    QCOMPARE(m_port->commPort(), 1);
    QVERIFY(m_port->portOpen());
}

void TestComKelmor::sendOnClosedPortFailsQuietly()
{
    PtyPair pty;
    QVERIFY(mapToCom1(pty));
    EventLog log;
    log.attach(*m_port, this);

    const ComError error = m_port->output("SX1\r");
    QCOMPARE(error.number, int(kelmor::ComErrPortClosed));
    QVERIFY2(error.description.contains(QLatin1String("Com1")) &&
                 error.description.contains(QStringLiteral("nicht geöffnet")),
             qPrintable(error.description));

    QTest::qWait(100);
    QVERIFY(log.events.isEmpty());
    QVERIFY(pty.readAvailable().isEmpty());
    QVERIFY(!m_port->portOpen());
    QVERIFY(m_port->input().isEmpty());
}

void TestComKelmor::openingMissingDeviceNamesPortAndDevice()
{
    qputenv("KELMOR_COM2", kMissingDevice);
    QVERIFY(!m_port->setCommPort(2));

    const ComError error = m_port->setPortOpen(true);
    QCOMPARE(error.number, int(kelmor::ComErrDeviceNotFound));
    QVERIFY2(error.description.contains(QLatin1String("Com2")) &&
                 error.description.contains(QLatin1String(kMissingDevice)) &&
                 error.description.contains(QLatin1String("existiert nicht")) &&
                 error.description.contains(QLatin1String("KELMOR_COM2")),
             qPrintable(error.description));
    QVERIFY(!m_port->portOpen());
}

void TestComKelmor::openingDeviceInUseFails()
{
    PtyPair pty;
    QVERIFY(mapToCom1(pty));
    QVERIFY(!m_port->setPortOpen(true));

    ComKelmor other;
    const ComError error = other.setPortOpen(true);
    QCOMPARE(error.number, int(kelmor::ComErrPortOpen));
    QVERIFY2(error.description.contains(QLatin1String("Com1")) &&
                 error.description.contains(pty.slavePath()) &&
                 error.description.contains(QLatin1String("verwendet")),
             qPrintable(error.description));
    QVERIFY(!other.portOpen());
    QVERIFY(m_port->portOpen());
}

void TestComKelmor::deviceNameTooLongForTheLock_data()
{
    QTest::addColumn<int>("length"); // of the whole path
    QTest::addColumn<bool>("opens");
    // The lock file is "LCK.." and the path with '/' as '_': 255 bytes at most.
    QTest::newRow("240 characters") << 240 << true;
    QTest::newRow("250 characters, the longest") << 250 << true;
    QTest::newRow("251 characters") << 251 << false;
    QTest::newRow("400 characters") << 400 << false;
}

void TestComKelmor::deviceNameTooLongForTheLock()
{
    QFETCH(int, length);
    QFETCH(bool, opens);
    PtyPair pty;
    QTemporaryDir dir;
    // Folders of 50 characters, then a link to the terminal that makes up the length.
    QString path = dir.path();
    while (length - path.size() > 60) {
        path += QLatin1Char('/') + QString(49, QLatin1Char('d'));
        QVERIFY(QDir().mkpath(path));
    }
    path += QLatin1Char('/') + QString(length - path.size() - 1, QLatin1Char('l'));
    QCOMPARE(path.size(), length);
    QVERIFY(QFile::link(pty.slavePath(), path));
    qputenv("KELMOR_COM1", QFile::encodeName(path));

    const ComError error = m_port->setPortOpen(true);
    QCOMPARE(m_port->portOpen(), opens);
    if (opens)
        return;
    QCOMPARE(error.number, int(kelmor::ComErrPortOpen));
    QVERIFY2(error.description.contains(QLatin1String("zu lang")) &&
                 !error.description.contains(QLatin1String("verwendet")) &&
                 error.description.contains(QLatin1String("Com1")),
             qPrintable(error.description));
}

void TestComKelmor::openAndCloseAreIdempotent()
{
    PtyPair pty;
    QVERIFY(mapToCom1(pty));

    QVERIFY(!m_port->setPortOpen(false));
    QVERIFY(!m_port->portOpen());
    QVERIFY(!m_port->setPortOpen(true));
    QVERIFY(!m_port->setPortOpen(true));
    QVERIFY(m_port->portOpen());
    QVERIFY(!m_port->output("RV\r"));
    QCOMPARE(pty.read(3), QByteArray("RV\r"));
    QVERIFY(!m_port->setPortOpen(false));
    QVERIFY(!m_port->setPortOpen(false));
    QVERIFY(!m_port->portOpen());
}

void TestComKelmor::movesAllByteValuesUnchanged()
{
    PtyPair pty;
    QVERIFY(mapToCom1(pty));
    EventLog log;
    log.attach(*m_port, this);
    QVERIFY(!m_port->setPortOpen(true));

    const QByteArray bytes = allByteValues();
    QVERIFY(!m_port->output(bytes));
    QCOMPARE(pty.read(bytes.size()), bytes);

    // Sent in pieces so that they arrive over several receive events.
    for (int offset = 0; offset < bytes.size(); offset += 64) {
        QVERIFY(pty.write(bytes.mid(offset, 64)));
        QTest::qWait(20);
    }
    QTRY_COMPARE(log.received.size(), bytes.size());
    QCOMPARE(log.received, bytes);
    QVERIFY(log.count(kelmor::ComEvReceive) >= 2);
    QCOMPARE(log.count(kelmor::ComEvReceive), log.events.size());
}

void TestComKelmor::settingsOnOpenPortKeepItOpen()
{
    PtyPair pty;
    QVERIFY(mapToCom1(pty));
    EventLog log;
    log.attach(*m_port, this);
    QVERIFY(!m_port->setPortOpen(true));

    QVERIFY(!m_port->setSettings(QStringLiteral("38400,n,8,1")));
    QVERIFY(!m_port->setHandshaking(0));
    QVERIFY(m_port->portOpen());
    QCOMPARE(m_port->settings(), QStringLiteral("38400,n,8,1"));

    QVERIFY(m_port->setSettings(QStringLiteral("38400,q,8,1")));
    QVERIFY(m_port->portOpen());
    QCOMPARE(m_port->settings(), QStringLiteral("38400,n,8,1"));

    // The line still works both ways.
    QVERIFY(!m_port->output("SX0\r"));
    QCOMPARE(pty.read(4), QByteArray("SX0\r"));
    QVERIFY(pty.write("ok\r"));
    QTRY_COMPARE(log.received, QByteArray("ok\r"));
    QCOMPARE(log.count(kelmor::ComEvDeviceFailed), 0);
}

void TestComKelmor::unplugClosesPortOnce_data()
{
    QTest::addColumn<bool>("readAsItArrives");
    QTest::newRow("lines read as they arrive") << true;
    QTest::newRow("lines still waiting in the port") << false;
}

void TestComKelmor::unplugClosesPortOnce()
{
    QFETCH(bool, readAsItArrives);

    auto pty = std::make_unique<PtyPair>();
    QVERIFY(pty->isValid());
    const QString device = pty->slavePath();
    qputenv("KELMOR_COM1", device.toLocal8Bit());
    EventLog log;
    log.readOnReceive = readAsItArrives;
    log.attach(*m_port, this);
    QVERIFY(!m_port->setPortOpen(true));

    // The kernel drops what nobody has read from the line when it hangs up, so the line
    // has to reach the port before the unplug; after that it must not get lost.
    const QByteArray line("  1.23E-05\t...\r");
    QVERIFY(pty->write(line));
    QTRY_VERIFY(log.count(kelmor::ComEvReceive) >= 1);
    QTest::qWait(50);
    log.readOnReceive = true;
    const qsizetype eventsBeforeUnplug = log.events.size();
    pty->closeMaster();

    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 1000)
        QTest::qWait(20);

    QCOMPARE(log.count(kelmor::ComEvDeviceFailed), 1);
    QCOMPARE(log.events.last(), int(kelmor::ComEvDeviceFailed));
    QCOMPARE(log.received, line);
    if (!readAsItArrives) {
        // The waiting line is handed out by a receive event just before the failure.
        QCOMPARE(log.events.mid(eventsBeforeUnplug),
                 (QList<int>{kelmor::ComEvReceive, kelmor::ComEvDeviceFailed}));
    } else {
        QCOMPARE(log.events.mid(eventsBeforeUnplug), QList<int>{kelmor::ComEvDeviceFailed});
    }
    QVERIFY(!m_port->portOpen());
    QCOMPARE(m_port->commEvent(), int(kelmor::ComEvDeviceFailed));

    const ComError failure = m_port->lastDeviceError();
    QCOMPARE(failure.number, int(kelmor::ComErrDeviceFailed));
    QVERIFY2(failure.description.contains(QLatin1String("Com1")) &&
                 failure.description.contains(device) &&
                 failure.description.contains(QLatin1String("antwortet nicht mehr")),
             qPrintable(failure.description));

    // Nothing keeps spinning behind the closed port.
    const double before = cpuSeconds();
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 1000)
        QTest::qWait(20);
    const double used = cpuSeconds() - before;
    QVERIFY2(used < 0.2, qPrintable(QStringLiteral("%1 s CPU while idle").arg(used)));
    QCOMPARE(log.count(kelmor::ComEvDeviceFailed), 1);

    const ComError send = m_port->output("SX0\r");
    QCOMPARE(send.number, int(kelmor::ComErrPortClosed));
}

void TestComKelmor::reopensOnNewDeviceAfterUnplug()
{
    auto first = std::make_unique<PtyPair>();
    QVERIFY(first->isValid());
    qputenv("KELMOR_COM1", first->slavePath().toLocal8Bit());
    EventLog log;
    log.attach(*m_port, this);
    QVERIFY(!m_port->setPortOpen(true));
    first->closeMaster();
    QTRY_COMPARE(log.count(kelmor::ComEvDeviceFailed), 1);
    QVERIFY(!m_port->portOpen());

    PtyPair second;
    QVERIFY(second.isValid());
    qputenv("KELMOR_COM1", second.slavePath().toLocal8Bit());
    QVERIFY(!m_port->setPortOpen(true));
    QVERIFY(m_port->portOpen());
    QVERIFY(!m_port->output("RV\r"));
    QCOMPARE(second.read(3), QByteArray("RV\r"));
    QVERIFY(second.write("V1\r"));
    QTRY_COMPARE(log.received, QByteArray("V1\r"));
    QCOMPARE(log.count(kelmor::ComEvDeviceFailed), 1);
}

void TestComKelmor::holdGathersWhatArrives_data()
{
    QTest::addColumn<QList<QByteArray>>("writes");
    QTest::addColumn<bool>("unplug");

    QList<QByteArray> trickle;
    for (char c : QByteArray("PR=1.23E-05 mbar\tN=17\r"))
        trickle << QByteArray(1, c);
    QByteArray large;
    for (int i = 0; i < 200000; ++i)
        large += char('a' + i % 26);

    QTest::newRow("nothing arrives") << QList<QByteArray>{} << false;
    QTest::newRow("one character") << QList<QByteArray>{"x"} << false;
    QTest::newRow("a line character by character") << trickle << false;
    QTest::newRow("more than the driver and the read buffer hold")
        << QList<QByteArray>{large} << false;
    QTest::newRow("unplugged while held") << QList<QByteArray>{"12"} << true;
}

void TestComKelmor::holdGathersWhatArrives()
{
    QFETCH(QList<QByteArray>, writes);
    QFETCH(bool, unplug);

    auto pty = std::make_unique<PtyPair>();
    QVERIFY(mapToCom1(*pty));
    EventLog log;
    log.attach(*m_port, this);
    QVERIFY(!m_port->setPortOpen(true));

    m_port->holdReceive(300);
    QVERIFY(m_port->receiveHeld());
    m_port->holdReceive(5); // a second hold does not cut the first short
    QByteArray sent;
    for (const QByteArray &bytes : writes) {
        QVERIFY(pty->write(bytes));
        sent += bytes;
        QTest::qWait(2);
        if (sent.size() < 4096 && m_port->receiveHeld()) {
            QCOMPARE(log.events.size(), 0); // nothing woke the reader
            // nor the port: what came stays in the driver until the hold ends
            QCOMPARE(m_port->findChild<QSerialPort *>()->bytesAvailable(), 0);
        }
    }
    if (unplug)
        pty->closeMaster();
    QTRY_VERIFY(!m_port->receiveHeld());

    if (unplug) {
        QTRY_COMPARE(log.count(kelmor::ComEvDeviceFailed), 1);
        QVERIFY(!m_port->portOpen());
        return;
    }
    QTRY_COMPARE(log.received.size(), sent.size());
    QCOMPARE(log.received, sent);
    QCOMPARE(log.count(kelmor::ComEvDeviceFailed), 0);
    if (!sent.isEmpty() && sent.size() < 4096) {
        // Everything that gathered comes in one event, not character by character.
        QCOMPARE(log.chunkSizes, QList<qsizetype>{sent.size()});
    }
    // Afterwards the port reads as before, without a hold of its own.
    QTest::qWait(50);
    const qsizetype events = log.events.size();
    QVERIFY(pty->write("V1\r"));
    QTRY_COMPARE(log.received.right(3), QByteArray("V1\r"));
    QCOMPARE(log.events.size(), events + 1);
    QVERIFY(!m_port->receiveHeld());
}

void TestComKelmor::closingEndsTheHold()
{
    PtyPair pty;
    QVERIFY(mapToCom1(pty));
    EventLog log;
    log.attach(*m_port, this);
    QVERIFY(!m_port->setPortOpen(true));
    m_port->holdReceive(10000);
    QVERIFY(!m_port->setPortOpen(false));
    QVERIFY(!m_port->receiveHeld());
    m_port->holdReceive(10000); // no hold on a closed port
    QVERIFY(!m_port->receiveHeld());

    // Reopened, the port reads whole chunks again, not one character at a time.
    QVERIFY(!m_port->setPortOpen(true));
    const QByteArray line(100, 'z');
    QVERIFY(pty.write(line));
    QTRY_COMPARE(log.received, line);
    QCOMPARE(log.chunkSizes, QList<qsizetype>{line.size()});
}

QTEST_GUILESS_MAIN(TestComKelmor)
#include "tst_comkelmor.moc"
