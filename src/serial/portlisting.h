#pragma once

#include <QList>
#include <QString>

namespace kelmor {

// A serial device as the system reports it.
struct SerialDevice
{
    QString path;         // "/dev/ttyUSB0", "COM3"
    QString description;  // "FT232R USB UART"
    QString manufacturer; // "FTDI"
    QString serialNumber;
    quint16 vendorId = 0;
    quint16 productId = 0;
    bool hasVendorId = false;
    bool hasProductId = false;

    // A plugged-in adapter (USB, or a modem-class ACM device) rather than a port on the
    // board.
    bool isAdapter() const;
    // True when both carry serial number, vendor and product and all three agree: the
    // same adapter, wherever the system put it this time.
    bool sameAdapter(const SerialDevice &other) const;
    bool hasAdapterIdentity() const;
    // "/dev/ttyUSB0 – FT232R USB UART, FTDI"; only what the system reported.
    QString label() const;

    bool operator==(const SerialDevice &) const = default;
};

// One look at the system's serial devices. A listing that failed says why in `error`.
struct PortListingResult
{
    bool ok = true;
    QList<SerialDevice> devices;
    QString error;
};

// Where the serial devices come from: the system, or a test's fake (pseudo-terminals are
// never listed by the system, and a test cannot plug in adapters).
class PortListing
{
public:
    virtual ~PortListing();
    virtual PortListingResult list() const = 0;
};

// The system's devices, through QSerialPortInfo.
class SystemPortListing final : public PortListing
{
public:
    PortListingResult list() const override;
};

// The listing every component and dialog uses. Installing nullptr restores the system's;
// the previous one is returned. The installed object must outlive its use.
const PortListing &portListing();
const PortListing *setPortListing(const PortListing *listing);

// The order in which present devices become Com1 to Com4: ports on the board first
// (ttyS*, ttyAMA*, ...), then USB and ACM adapters, then anything else (Bluetooth,
// gadget ports); inside each group by name, numbers compared as numbers (ttyS2 before
// ttyS10). The same set of devices always gives the same order.
QList<SerialDevice> orderedDevices(QList<SerialDevice> devices);

// What stands behind port number n (1 to 4).
struct PortAssignment
{
    enum class Source { Environment, Listing, Fixed, None };

    int port = 0;
    Source source = Source::None;
    QString path;         // empty: no device
    SerialDevice device;  // what the listing knows of `path` (at least the path itself)
    QString listingError; // the listing failed; the assignment may be incomplete

    bool present() const { return !path.isEmpty(); }
};

// Windows: "COMn". Elsewhere: KELMOR_COM<n> when set and not empty, otherwise the n-th
// present device in the order of orderedDevices(), otherwise nothing.
PortAssignment assignPort(int port, const PortListingResult &listing);
PortAssignment assignPort(int port); // through portListing()

// "Com3: kein serielles Gerät vorhanden"
QString noDeviceText(int port);

// What the settings dialog says about the device behind an entry: the device's label,
// where it comes from when the environment chose it, or that there is none.
QString assignmentText(const PortAssignment &assignment);

// The listed device at `path`, compared by the file it finally names (so a link in
// /dev/serial/by-id finds its ttyUSB); a device with only the path when none is listed.
SerialDevice deviceAt(const QString &path, const PortListingResult &listing);

} // namespace kelmor
