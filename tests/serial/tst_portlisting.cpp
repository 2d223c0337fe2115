// Which device stands behind Com1 to Com4, how a returning device is recognised, and
// what the component says about a port with nothing behind it.

#include "comkelmor.h"
#include "devicewatch.h"
#include "fakeportlisting.h"

#include <QTest>

using namespace kelmor;
using namespace kelmor::test;

Q_DECLARE_METATYPE(kelmor::PortAssignment::Source)
Q_DECLARE_METATYPE(kelmor::SerialDevice)

namespace {

void clearMappingVariables()
{
    for (int n = 1; n <= 4; ++n)
        qunsetenv(qPrintable(QStringLiteral("KELMOR_COM%1").arg(n)));
}

} // namespace

class TestPortListing : public QObject
{
    Q_OBJECT

private slots:
    void init() { clearMappingVariables(); }
    void cleanupTestCase() { clearMappingVariables(); }

    void ordersDevices_data();
    void ordersDevices();
    void assignsPorts_data();
    void assignsPorts();
    void labelsDevices_data();
    void labelsDevices();
    void recognisesTheSameAdapter_data();
    void recognisesTheSameAdapter();
    void looksForAReturningDevice_data();
    void looksForAReturningDevice();
    void refusesAPortWithoutDevice_data();
    void refusesAPortWithoutDevice();
    void componentOpensTheMappedAdapterName();
};

void TestPortListing::ordersDevices_data()
{
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("laptop with one adapter")
        << QStringList{"usb:/dev/ttyUSB0"} << QStringList{"/dev/ttyUSB0"};
    QTest::newRow("board ports before adapters")
        << QStringList{"usb:/dev/ttyUSB0", "/dev/ttyS1", "usb:/dev/ttyACM0", "/dev/ttyS0"}
        << QStringList{"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyACM0", "/dev/ttyUSB0"};
    QTest::newRow("numbers compare as numbers")
        << QStringList{"/dev/ttyS10", "/dev/ttyS2", "/dev/ttyS1"}
        << QStringList{"/dev/ttyS1", "/dev/ttyS2", "/dev/ttyS10"};
    QTest::newRow("adapters by number too") << QStringList{"usb:/dev/ttyUSB10", "usb:/dev/ttyUSB9"}
                                            << QStringList{"/dev/ttyUSB9", "/dev/ttyUSB10"};
    QTest::newRow("single-board computer UART") << QStringList{"usb:/dev/ttyUSB0", "/dev/ttyAMA0"}
                                                << QStringList{"/dev/ttyAMA0", "/dev/ttyUSB0"};
    QTest::newRow("an ACM device without ids is an adapter")
        << QStringList{"/dev/ttyACM0", "/dev/ttyS0"} << QStringList{"/dev/ttyS0", "/dev/ttyACM0"};
    QTest::newRow("an adapter by its vendor id, whatever its name")
        << QStringList{"usb:/dev/ttyXRUSB0", "/dev/ttyS4"}
        << QStringList{"/dev/ttyS4", "/dev/ttyXRUSB0"};
    QTest::newRow("bluetooth and gadget ports last")
        << QStringList{"/dev/rfcomm0", "usb:/dev/ttyUSB1", "/dev/ttyGS0", "/dev/ttyS0"}
        << QStringList{"/dev/ttyS0", "/dev/ttyUSB1", "/dev/rfcomm0", "/dev/ttyGS0"};
    QTest::newRow("listed twice") << QStringList{"/dev/ttyS0", "/dev/ttyS0"}
                                  << QStringList{"/dev/ttyS0"};
    QTest::newRow("nothing") << QStringList{} << QStringList{};
}

void TestPortListing::ordersDevices()
{
    QFETCH(QStringList, listed);
    QFETCH(QStringList, expected);
    QCOMPARE(pathsOf(orderedDevices(devicesFrom(listed))), expected);
    // However the system happens to list them.
    QStringList reversed(listed.crbegin(), listed.crend());
    QCOMPARE(pathsOf(orderedDevices(devicesFrom(reversed))), expected);
}

void TestPortListing::assignsPorts_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("variable"); // null: unset
    QTest::addColumn<QStringList>("listed");
    QTest::addColumn<bool>("listingWorks");
    QTest::addColumn<QString>("path");
    QTest::addColumn<PortAssignment::Source>("source");

    using S = PortAssignment::Source;
    const QStringList laptop{"usb:/dev/ttyUSB0"};
    const QStringList desk{"usb:/dev/ttyUSB0", "/dev/ttyS0", "usb:/dev/ttyACM0"};

    QTest::newRow("one adapter is Com1")
        << 1 << QString() << laptop << true << "/dev/ttyUSB0" << S::Listing;
    QTest::newRow("Com2 on a laptop has nothing")
        << 2 << QString() << laptop << true << "" << S::None;
    QTest::newRow("board port first")
        << 1 << QString() << desk << true << "/dev/ttyS0" << S::Listing;
    QTest::newRow("then ACM") << 2 << QString() << desk << true << "/dev/ttyACM0" << S::Listing;
    QTest::newRow("then USB") << 3 << QString() << desk << true << "/dev/ttyUSB0" << S::Listing;
    QTest::newRow("Com4 beyond the devices") << 4 << QString() << desk << true << "" << S::None;
    QTest::newRow("variable wins")
        << 1 << "/dev/ttyUSB7" << desk << true << "/dev/ttyUSB7" << S::Environment;
    QTest::newRow("variable for an unlisted pseudo-terminal")
        << 4 << "/dev/pts/9" << QStringList{} << true << "/dev/pts/9" << S::Environment;
    QTest::newRow("empty variable counts as unset")
        << 1 << "" << laptop << true << "/dev/ttyUSB0" << S::Listing;
    QTest::newRow("failed listing, variable still works")
        << 2 << "/dev/ttyUSB1" << laptop << false << "/dev/ttyUSB1" << S::Environment;
    QTest::newRow("failed listing, nothing else")
        << 1 << QString() << laptop << false << "" << S::None;
    QTest::newRow("port 0 does not exist") << 0 << QString() << desk << true << "" << S::None;
    QTest::newRow("port 5 does not exist") << 5 << QString() << desk << true << "" << S::None;
}

void TestPortListing::assignsPorts()
{
#ifdef Q_OS_WIN
    QSKIP("Windows keeps COM1 to COM4");
#endif
    QFETCH(int, port);
    QFETCH(QString, variable);
    QFETCH(QStringList, listed);
    QFETCH(bool, listingWorks);
    QFETCH(QString, path);
    QFETCH(PortAssignment::Source, source);

    if (!variable.isNull())
        qputenv(qPrintable(QStringLiteral("KELMOR_COM%1").arg(port)), variable.toLocal8Bit());
    FakePortListing fake;
    fake.devices = devicesFrom(listed);
    fake.fails = !listingWorks;

    const PortAssignment a = assignPort(port);
    QCOMPARE(a.path, path);
    QCOMPARE(a.source, source);
    QCOMPARE(a.present(), !path.isEmpty());
    QCOMPARE(a.listingError.isEmpty(), listingWorks);
    QCOMPARE(ComKelmor::deviceForPort(port), path);
    // A listed device brings what the system knows about it.
    if (listingWorks && listed.contains(QStringLiteral("usb:") + path))
        QCOMPARE(a.device.description, QStringLiteral("FT232R USB UART"));
}

void TestPortListing::labelsDevices_data()
{
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("maker");
    QTest::addColumn<QString>("label");

    QTest::newRow("description and maker")
        << "FT232R USB UART"
        << "FTDI" << QString::fromUtf8("/dev/ttyUSB0 – FT232R USB UART, FTDI");
    QTest::newRow("description only") << "USB2.0-Serial"
                                      << "" << QString::fromUtf8("/dev/ttyUSB0 – USB2.0-Serial");
    QTest::newRow("maker only") << ""
                                << "Prolific" << QString::fromUtf8("/dev/ttyUSB0 – Prolific");
    QTest::newRow("nothing reported") << ""
                                      << ""
                                      << "/dev/ttyUSB0";
    QTest::newRow("blanks are nothing") << "  "
                                        << " "
                                        << "/dev/ttyUSB0";
}

void TestPortListing::labelsDevices()
{
    QFETCH(QString, description);
    QFETCH(QString, maker);
    QFETCH(QString, label);
    SerialDevice d;
    d.path = QStringLiteral("/dev/ttyUSB0");
    d.description = description;
    d.manufacturer = maker;
    QCOMPARE(d.label(), label);
}

void TestPortListing::recognisesTheSameAdapter_data()
{
    QTest::addColumn<SerialDevice>("a");
    QTest::addColumn<SerialDevice>("b");
    QTest::addColumn<bool>("same");

    const SerialDevice ft = usbAdapter(QStringLiteral("/dev/ttyUSB0"), QStringLiteral("A1"));
    QTest::newRow("same adapter at another path")
        << ft << usbAdapter(QStringLiteral("/dev/ttyUSB3"), QStringLiteral("A1")) << true;
    QTest::newRow("another serial number")
        << ft << usbAdapter(QStringLiteral("/dev/ttyUSB0"), QStringLiteral("A2")) << false;
    QTest::newRow("same serial, other product")
        << ft
        << usbAdapter(QStringLiteral("/dev/ttyUSB0"), QStringLiteral("A1"),
                      QStringLiteral("FT232R USB UART"), 0x0403, 0x6015)
        << false;
    QTest::newRow("no serial number on either")
        << usbAdapter(QStringLiteral("/dev/ttyUSB0"), QString())
        << usbAdapter(QStringLiteral("/dev/ttyUSB0"), QString()) << false;
    QTest::newRow("a board port is nobody's adapter")
        << boardPort(QStringLiteral("/dev/ttyS0")) << boardPort(QStringLiteral("/dev/ttyS0"))
        << false;
}

void TestPortListing::recognisesTheSameAdapter()
{
    QFETCH(SerialDevice, a);
    QFETCH(SerialDevice, b);
    QFETCH(bool, same);
    QCOMPARE(a.sameAdapter(b), same);
    QCOMPARE(b.sameAdapter(a), same);
}

void TestPortListing::looksForAReturningDevice_data()
{
    QTest::addColumn<SerialDevice>("wanted");
    QTest::addColumn<QList<SerialDevice>>("listed");
    QTest::addColumn<bool>("listingWorks");
    QTest::addColumn<bool>("pathExists");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("foundPath");

    using K = DeviceWatch::Sighting;
    const QString usb0 = QStringLiteral("/dev/ttyUSB0");
    const QString usb1 = QStringLiteral("/dev/ttyUSB1");
    const SerialDevice a1 = usbAdapter(usb0, QStringLiteral("A1"));
    const SerialDevice cheap =
        usbAdapter(usb0, QString(), QStringLiteral("USB2.0-Serial"), 0x1a86, 0x7523);
    SerialDevice pty;
    pty.path = QStringLiteral("/tmp/link/Com1");

    QTest::newRow("adapter still away")
        << a1 << QList<SerialDevice>{} << true << false << int(K::Absent) << "";
    QTest::newRow("adapter back at its path")
        << a1 << QList<SerialDevice>{a1} << true << true << int(K::Back) << usb0;
    QTest::newRow("adapter back at another path")
        << a1 << QList<SerialDevice>{usbAdapter(usb1, QStringLiteral("A1"))} << true << true
        << int(K::Back) << usb1;
    QTest::newRow("another adapter took its path")
        << a1 << QList<SerialDevice>{usbAdapter(usb0, QStringLiteral("B7"))} << true << true
        << int(K::Stranger) << usb0;
    QTest::newRow("two adapters alike, the right one by serial number")
        << a1
        << QList<SerialDevice>{usbAdapter(usb0, QStringLiteral("B7")),
                               usbAdapter(usb1, QStringLiteral("A1"))}
        << true << true << int(K::Back) << usb1;
    QTest::newRow("listing fails: the path decides")
        << a1 << QList<SerialDevice>{} << false << true << int(K::Back) << usb0;
    QTest::newRow("listing fails and no path")
        << a1 << QList<SerialDevice>{} << false << false << int(K::Absent) << "";
    QTest::newRow("adapter without serial number: the path decides")
        << cheap << QList<SerialDevice>{} << true << true << int(K::Back) << usb0;
    QTest::newRow("unlisted link back")
        << pty << QList<SerialDevice>{} << true << true << int(K::Back) << pty.path;
    QTest::newRow("unlisted link away")
        << pty << QList<SerialDevice>{} << true << false << int(K::Absent) << "";
}

void TestPortListing::looksForAReturningDevice()
{
    QFETCH(SerialDevice, wanted);
    QFETCH(QList<SerialDevice>, listed);
    QFETCH(bool, listingWorks);
    QFETCH(bool, pathExists);
    QFETCH(int, kind);
    QFETCH(QString, foundPath);

    PortListingResult listing;
    listing.ok = listingWorks;
    listing.devices = listingWorks ? listed : QList<SerialDevice>{};
    const DeviceWatch::Sighting s = DeviceWatch::look(wanted, listing, pathExists);
    QCOMPARE(int(s.kind), kind);
    QCOMPARE(s.found.path, foundPath);
    if (s.kind == DeviceWatch::Sighting::Back && wanted.hasAdapterIdentity() && listingWorks)
        QVERIFY(s.found.sameAdapter(wanted));
}

void TestPortListing::refusesAPortWithoutDevice_data()
{
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("listingWorks");
    QTest::addColumn<QString>("expectedStart");
    QTest::addColumn<QString>("alsoSays");

    QTest::newRow("Com3 with two devices")
        << 3 << true << QString::fromUtf8("Com3: kein serielles Gerät vorhanden")
        << QString::fromUtf8("einstecken");
    QTest::newRow("Com1 with a failed listing")
        << 1 << false << QString::fromUtf8("Com1: kein serielles Gerät vorhanden")
        << QString::fromUtf8("udev antwortet nicht");
}

void TestPortListing::refusesAPortWithoutDevice()
{
#ifdef Q_OS_WIN
    QSKIP("Windows keeps COM1 to COM4");
#endif
    QFETCH(int, port);
    QFETCH(bool, listingWorks);
    QFETCH(QString, expectedStart);
    QFETCH(QString, alsoSays);

    FakePortListing fake;
    // Paths that cannot be opened: a refusal that tried would say why the open failed.
    fake.devices = devicesFrom({"/nonexistent/ttyS0", "usb:/nonexistent/ttyUSB0"});
    fake.fails = !listingWorks;
    ComKelmor com;
    QVERIFY(!com.setCommPort(port));
    const ComError error = com.setPortOpen(true);
    QCOMPARE(error.number, int(ComErrDeviceNotFound));
    QVERIFY2(error.description.startsWith(expectedStart), qPrintable(error.description));
    QVERIFY2(error.description.contains(alsoSays), qPrintable(error.description));
    QVERIFY2(!error.description.contains(QLatin1String("Systemmeldung")),
             qPrintable(error.description));
    QVERIFY(!com.portOpen());
    QCOMPARE(com.closedReason(), error.description);
    QVERIFY(!com.watching());
}

void TestPortListing::componentOpensTheMappedAdapterName()
{
    // A port whose device is listed but missing from the file system fails in the open,
    // and the message names the listed path: proof that the listing chose it.
    FakePortListing fake;
    fake.devices = devicesFrom({"usb:/nonexistent/ttyUSB5"});
    ComKelmor com;
    const ComError error = com.setPortOpen(true);
    QVERIFY(error);
    QVERIFY2(error.description.contains(QLatin1String("Com1 (/nonexistent/ttyUSB5)")),
             qPrintable(error.description));
}

QTEST_GUILESS_MAIN(TestPortListing)
#include "tst_portlisting.moc"
