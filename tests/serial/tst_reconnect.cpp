// A device that goes away while open and comes back: over real pseudo-terminals behind a
// fixed link, as the simulator and a udev rule present them, and with a fake listing
// where the system would name a USB adapter.

#include "comkelmor.h"
#include "fakeportlisting.h"
#include "linkedpty.h"
#include "portstatus.h"
#include "processprobe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <list>
#include <memory>

using namespace kelmor;
using namespace kelmor::test;

namespace {

struct Events
{
    QList<int> seen;
    void attach(ComKelmor &com, QObject *context)
    {
        QObject::connect(&com, &ComKelmor::commEventRaised, context, [this, &com] {
            seen << com.commEvent();
            if (com.commEvent() == ComEvReceive)
                received += com.input();
        });
    }
    int count(int event) const { return int(seen.count(event)); }
    QByteArray received;
};

// Under AddressSanitizer everything is slower; the bound is about progress, not speed.
#if defined(__SANITIZE_ADDRESS__)
constexpr int kReconnectBoundMs = 3000;
#else
constexpr int kReconnectBoundMs = 1000;
#endif

} // namespace

class TestReconnect : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void reopensTheReturningDevice_data();
    void reopensTheReturningDevice();
    void portChangeEndsTheWatch();
    void otherAdapterIsNotOpened();
    void staleLinkToAReusedTerminalIsNotTheDevice();
    void watchCostsNothingWhileAway();
    void statusPanelTellsTheTruth_data();
    void statusPanelTellsTheTruth();

private:
    void openOn(LinkedPty &adapter);
    void pullAndWaitForFailure(LinkedPty &adapter);

    QTemporaryDir m_dir;
    std::unique_ptr<FakePortListing> m_listing;
    std::unique_ptr<ComKelmor> m_com;
    Events m_events;
};

void TestReconnect::init()
{
    for (int n = 1; n <= 4; ++n)
        qunsetenv(qPrintable(QStringLiteral("KELMOR_COM%1").arg(n)));
    m_listing = std::make_unique<FakePortListing>();
    m_com = std::make_unique<ComKelmor>();
    m_events = {};
    m_events.attach(*m_com, m_com.get());
}

void TestReconnect::cleanup()
{
    m_com.reset();
    m_listing.reset();
    qunsetenv("KELMOR_COM1");
}

void TestReconnect::openOn(LinkedPty &adapter)
{
    QVERIFY(adapter.plug());
    qputenv("KELMOR_COM1", QFile::encodeName(adapter.link()));
    QVERIFY(!m_com->setSettings(QStringLiteral("38400,n,8,1")));
    const ComError error = m_com->setPortOpen(true);
    QVERIFY2(!error, qPrintable(error.description));
    QVERIFY(!m_com->watching()); // the timer runs only while the device is away
}

void TestReconnect::pullAndWaitForFailure(LinkedPty &adapter)
{
    const int before = m_events.count(ComEvDeviceFailed);
    adapter.pull();
    QTRY_COMPARE(m_events.count(ComEvDeviceFailed), before + 1);
    QVERIFY(!m_com->portOpen());
    QVERIFY(m_com->watching());
    QVERIFY(!m_com->closedReason().isEmpty());
}

void TestReconnect::reopensTheReturningDevice_data()
{
    QTest::addColumn<bool>("asAdapter"); // the listing names it an adapter with a serial
    QTest::addColumn<bool>("samePath");

    QTest::newRow("a link comes back at its path") << false << true;
    QTest::newRow("an adapter comes back at its path") << true << true;
    QTest::newRow("an adapter comes back at another path") << true << false;
}

void TestReconnect::reopensTheReturningDevice()
{
    QFETCH(bool, asAdapter);
    QFETCH(bool, samePath);

    LinkedPty first(m_dir.filePath(QStringLiteral("ttyUSB0")));
    if (asAdapter)
        m_listing->devices = {usbAdapter(first.link(), QStringLiteral("A1"))};
    openOn(first);
    QCOMPARE(m_com->device().serialNumber, asAdapter ? QStringLiteral("A1") : QString());
    QVERIFY(first.pty().write("before\r"));
    QTRY_COMPARE(m_events.received, QByteArray("before\r"));

    pullAndWaitForFailure(first);
    m_listing->devices.clear();
    // Nothing comes back by itself while nothing is there.
    QTest::qWait(1200);
    QCOMPARE(m_events.count(ComEvReconnected), 0);

    LinkedPty second(
        m_dir.filePath(samePath ? QStringLiteral("ttyUSB0") : QStringLiteral("ttyUSB1")));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(second.plug());
    if (asAdapter)
        m_listing->devices = {usbAdapter(second.link(), QStringLiteral("A1"))};
    QTRY_COMPARE_WITH_TIMEOUT(m_events.count(ComEvReconnected), 1, 5000);
    const qint64 ms = clock.elapsed();
    qInfo("reopened %lld ms after the device returned", ms);
    QVERIFY2(ms < kReconnectBoundMs, qPrintable(QStringLiteral("%1 ms").arg(ms)));

    QVERIFY(m_com->portOpen());
    QVERIFY(!m_com->watching());
    QCOMPARE(m_com->device().path, second.link());
    QCOMPARE(m_com->settings(), QStringLiteral("38400,n,8,1"));
    QVERIFY(m_com->reconnectedAt().isValid());
    QVERIFY(m_com->closedReason().isEmpty());
    // Both ways work on the reopened line.
    QVERIFY(!m_com->output("SX1\r"));
    QCOMPARE(second.pty().read(4), QByteArray("SX1\r"));
    QVERIFY(second.pty().write("after\r"));
    QTRY_COMPARE(m_events.received, QByteArray("before\rafter\r"));
    QCOMPARE(m_events.count(ComEvDeviceFailed), 1);
}

void TestReconnect::portChangeEndsTheWatch()
{
    LinkedPty adapter(m_dir.filePath(QStringLiteral("ttyUSB0")));
    openOn(adapter);
    pullAndWaitForFailure(adapter);

    QVERIFY(!m_com->setCommPort(2));
    QVERIFY(!m_com->watching());
    QVERIFY(adapter.plug());
    m_com->deviceWatch().check();
    QTest::qWait(1500);
    QVERIFY(!m_com->portOpen());
    QCOMPARE(m_events.count(ComEvReconnected), 0);

    // Closing on purpose (the window closing) ends it as well.
    QVERIFY(!m_com->setCommPort(1));
    QVERIFY(!m_com->setPortOpen(true));
    pullAndWaitForFailure(adapter);
    QVERIFY(!m_com->setPortOpen(false));
    QVERIFY(!m_com->watching());
    QVERIFY(m_com->closedReason().isEmpty());
}

void TestReconnect::otherAdapterIsNotOpened()
{
    LinkedPty adapter(m_dir.filePath(QStringLiteral("ttyUSB0")));
    m_listing->devices = {usbAdapter(adapter.link(), QStringLiteral("A1"))};
    openOn(adapter);
    pullAndWaitForFailure(adapter);

    // Another adapter of the same kind is plugged in and gets the same name.
    QVERIFY(adapter.plug());
    m_listing->devices = {usbAdapter(adapter.link(), QStringLiteral("B7"))};
    for (int i = 0; i < 3; ++i)
        m_com->deviceWatch().check();
    QCOMPARE(m_events.count(ComEvOtherDevice), 1); // said once, not every second
    QVERIFY(!m_com->portOpen());
    QVERIFY(m_com->watching());
    QVERIFY2(m_com->otherDeviceText().contains(QLatin1String("B7")) &&
                 m_com->otherDeviceText().contains(QLatin1String("A1")),
             qPrintable(m_com->otherDeviceText()));

    // The right one comes back next to it.
    LinkedPty original(m_dir.filePath(QStringLiteral("ttyUSB1")));
    QVERIFY(original.plug());
    m_listing->devices << usbAdapter(original.link(), QStringLiteral("A1"));
    m_com->deviceWatch().check();
    QTRY_VERIFY(m_com->portOpen());
    QCOMPARE(m_com->device().path, original.link());
}

void TestReconnect::staleLinkToAReusedTerminalIsNotTheDevice()
{
    // A program killed outright leaves its link behind; the terminal's number then goes
    // to the next program that asks for one, and the old link leads to its line.
    const QString link = m_dir.filePath(QStringLiteral("ttyKELMOR"));
    auto first = std::make_unique<PtyPair>();
    QVERIFY(QFile::link(first->slavePath(), link));
    const QString number = first->slavePath();
    qputenv("KELMOR_COM1", QFile::encodeName(link));
    QVERIFY(!m_com->setPortOpen(true));
    first->closeMaster();
    QTRY_COMPARE(m_events.count(ComEvDeviceFailed), 1);
    first.reset();

    std::list<PtyPair> others;
    while (others.size() < 20 && (others.empty() || others.back().slavePath() != number))
        others.emplace_back();
    if (others.back().slavePath() != number)
        QSKIP("the terminal's number was not handed out again");
    m_com->deviceWatch().check();
    QTest::qWait(1200);
    QVERIFY(!m_com->portOpen());
    QCOMPARE(m_events.count(ComEvReconnected), 0);

    // The link made again, by a restarted owner, is the device back.
    QVERIFY(QFile::remove(link));
    QVERIFY(QFile::link(others.back().slavePath(), link));
    QTRY_COMPARE(m_events.count(ComEvReconnected), 1);
    QVERIFY(m_com->portOpen());
}

void TestReconnect::watchCostsNothingWhileAway()
{
    LinkedPty adapter(m_dir.filePath(QStringLiteral("ttyUSB0")));
    m_listing->devices = {usbAdapter(adapter.link(), QStringLiteral("A1"))};
    openOn(adapter);
    pullAndWaitForFailure(adapter);
    m_listing->devices.clear();

    const int callsBefore = m_listing->calls;
    const double before = cpuSeconds();
    QTest::qWait(3000);
    const double busy = (cpuSeconds() - before) / 3.0;
    const int looks = m_listing->calls - callsBefore;
    qInfo("while away: %.3f %% of a core, %d listings in 3 s", busy * 100, looks);
    QVERIFY2(busy < 0.01, qPrintable(QStringLiteral("%1 %").arg(busy * 100)));
    QVERIFY2(looks >= 2 && looks <= 4, qPrintable(QString::number(looks)));
}

void TestReconnect::statusPanelTellsTheTruth_data()
{
    QTest::addColumn<QString>("history");
    QTest::addColumn<QString>("panel");   // empty: the dialog's text stands
    QTest::addColumn<QStringList>("tip"); // each must be in the tooltip
    QTest::addColumn<QStringList>("notInTip");

    const QString link = QStringLiteral("%link");
    QTest::newRow("never opened") << ""
                                  << ""
                                  << QStringList{"Nummer der Schnittstelle\n",
                                                 "Com1 ist nicht geöffnet."}
                                  << QStringList{"geöffnet.\nNach"};
    QTest::newRow("open names its device")
        << "open"
        << "" << QStringList{"Com1: " + link + " \u2013 FT232R USB UART, FTDI \u2013 geöffnet"}
        << QStringList{"Unterbrechung", "geschlossen"};
    QTest::newRow("device pulled")
        << "open pull"
        << "COM  1 zu"
        << QStringList{"Com1 ist geschlossen (seit ", "wurde entfernt oder ist ausgefallen",
                       "von selbst wieder geöffnet, sobald"}
        << QStringList{"\u2013 geöffnet"};
    QTest::newRow("device back") << "open pull plug"
                                 << "" << QStringList{"geöffnet\nNach einer Unterbrechung um "}
                                 << QStringList{"geschlossen"};
    QTest::newRow("port changed after the pull")
        << "open pull com2"
        << "COM  2 zu" << QStringList{"Com2 ist geschlossen"} << QStringList{"von selbst"};
    QTest::newRow("an open that failed")
        << "missing"
        << "COM  1 zu" << QStringList{"Com1 ist geschlossen", "kann nicht geöffnet werden"}
        << QStringList{"von selbst"};
    QTest::newRow("closed on purpose")
        << "open close"
        << "" << QStringList{"Com1 ist nicht geöffnet."} << QStringList{"zu", "seit"};
}

void TestReconnect::statusPanelTellsTheTruth()
{
    QFETCH(QString, history);
    QFETCH(QString, panel);
    QFETCH(QStringList, tip);
    QFETCH(QStringList, notInTip);

    LinkedPty adapter(m_dir.filePath(QStringLiteral("ttyUSB0")));
    m_listing->devices = {usbAdapter(adapter.link(), QStringLiteral("A1"))};
    int changes = 0;
    connect(m_com.get(), &ComKelmor::portStateChanged, this, [&changes] { ++changes; });
    for (const QString &step : history.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const int before = changes;
        if (step == QLatin1String("open")) {
            openOn(adapter);
        } else if (step == QLatin1String("pull")) {
            pullAndWaitForFailure(adapter);
        } else if (step == QLatin1String("plug")) {
            QVERIFY(adapter.plug());
            QTRY_VERIFY(m_com->portOpen());
        } else if (step == QLatin1String("com2")) {
            QVERIFY(!m_com->setCommPort(2));
        } else if (step == QLatin1String("missing")) {
            qputenv("KELMOR_COM1", "/nonexistent/ttyKELMOR");
            QVERIFY(m_com->setPortOpen(true));
        } else if (step == QLatin1String("close")) {
            QVERIFY(!m_com->setPortOpen(false));
        }
        // Every change of what the panel shows is announced.
        QVERIFY2(changes > before, qPrintable(step));
    }
    const PortStatus status = portStatus(*m_com, QStringLiteral("Nummer der Schnittstelle"));
    QCOMPARE(status.panelText, panel);
    for (QString part : tip) {
        part.replace(QLatin1String("%link"), adapter.link());
        QVERIFY2(status.toolTip.contains(part), qPrintable(status.toolTip + " lacks " + part));
    }
    for (const QString &part : notInTip)
        QVERIFY2(!status.toolTip.contains(part), qPrintable(status.toolTip + " has " + part));
    QVERIFY(status.toolTip.startsWith(QLatin1String("Nummer der Schnittstelle\n")));
}

QTEST_GUILESS_MAIN(TestReconnect)
#include "tst_reconnect.moc"
