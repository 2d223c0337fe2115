#include "portlisting.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>

#include <algorithm>
#include <tuple>

namespace kelmor {

namespace {

QString baseName(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? path : path.mid(slash + 1);
}

bool startsWithAny(const QString &name, std::initializer_list<const char *> prefixes)
{
    for (const char *prefix : prefixes) {
        if (name.startsWith(QLatin1String(prefix)))
            return true;
    }
    return false;
}

// 0: on the board, 1: USB or ACM adapter, 2: anything else the system calls serial.
int group(const SerialDevice &device)
{
    if (device.isAdapter())
        return 1;
    const QString name = baseName(device.path);
    if (startsWithAny(name, {"rfcomm", "ttyGS", "ttyprintk", "ttyVK", "ttyNULL"}))
        return 2;
    return 0;
}

// "ttyS10" as ("ttyS", 10): numbers compare as numbers.
std::tuple<QString, qulonglong, QString> nameKey(const QString &path)
{
    const QString name = baseName(path);
    qsizetype digits = name.size();
    while (digits > 0 && name.at(digits - 1).isDigit())
        --digits;
    bool ok = false;
    const qulonglong number = name.mid(digits).toULongLong(&ok);
    return {name.left(digits), ok ? number : 0, path};
}

QString resolved(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? path : canonical;
}

const PortListing *&installed()
{
    static const PortListing *listing = nullptr;
    return listing;
}

} // namespace

bool SerialDevice::isAdapter() const
{
    if (hasVendorId)
        return true;
    return startsWithAny(baseName(path), {"ttyUSB", "ttyACM"});
}

bool SerialDevice::hasAdapterIdentity() const
{
    return !serialNumber.isEmpty() && hasVendorId && hasProductId;
}

bool SerialDevice::sameAdapter(const SerialDevice &other) const
{
    return hasAdapterIdentity() && other.hasAdapterIdentity() &&
           serialNumber == other.serialNumber && vendorId == other.vendorId &&
           productId == other.productId;
}

QString SerialDevice::label() const
{
    QStringList about;
    if (!description.trimmed().isEmpty())
        about << description.trimmed();
    if (!manufacturer.trimmed().isEmpty())
        about << manufacturer.trimmed();
    if (about.isEmpty())
        return path;
    return path + QStringLiteral(" \u2013 ") + about.join(QStringLiteral(", "));
}

PortListing::~PortListing() = default;

PortListingResult SystemPortListing::list() const
{
    PortListingResult result;
    try {
        const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
        for (const QSerialPortInfo &info : ports) {
            SerialDevice device;
            device.path = info.systemLocation();
            device.description = info.description();
            device.manufacturer = info.manufacturer();
            device.serialNumber = info.serialNumber();
            device.hasVendorId = info.hasVendorIdentifier();
            device.vendorId = info.vendorIdentifier();
            device.hasProductId = info.hasProductIdentifier();
            device.productId = info.productIdentifier();
            result.devices.append(device);
        }
    } catch (...) {
        result.ok = false;
        result.devices.clear();
        result.error = QStringLiteral("Die Liste der seriellen Geräte ist nicht lesbar.");
    }
    return result;
}

const PortListing &portListing()
{
    static const SystemPortListing system;
    const PortListing *listing = installed();
    return listing ? *listing : system;
}

const PortListing *setPortListing(const PortListing *listing)
{
    const PortListing *previous = installed();
    installed() = listing;
    return previous;
}

QList<SerialDevice> orderedDevices(QList<SerialDevice> devices)
{
    // A device listed twice (some systems report a port under two names that end in the
    // same file) takes one place only.
    devices.erase(std::remove_if(devices.begin(), devices.end(),
                                 [](const SerialDevice &d) { return d.path.isEmpty(); }),
                  devices.end());
    std::stable_sort(devices.begin(), devices.end(),
                     [](const SerialDevice &a, const SerialDevice &b) {
                         const int ga = group(a);
                         const int gb = group(b);
                         if (ga != gb)
                             return ga < gb;
                         return nameKey(a.path) < nameKey(b.path);
                     });
    QStringList seen;
    QList<SerialDevice> unique;
    for (const SerialDevice &device : devices) {
        const QString file = resolved(device.path);
        if (seen.contains(file))
            continue;
        seen << file;
        unique << device;
    }
    return unique;
}

SerialDevice deviceAt(const QString &path, const PortListingResult &listing)
{
    const QString file = resolved(path);
    for (const SerialDevice &device : listing.devices) {
        if (device.path == path || resolved(device.path) == file) {
            SerialDevice found = device;
            found.path = path; // the name the operator chose stays the name shown
            return found;
        }
    }
    SerialDevice bare;
    bare.path = path;
    return bare;
}

PortAssignment assignPort(int port, const PortListingResult &listing)
{
    PortAssignment result;
    result.port = port;
    if (port < 1 || port > 4)
        return result;
#ifdef Q_OS_WIN
    result.source = PortAssignment::Source::Fixed;
    result.path = QStringLiteral("COM%1").arg(port);
    result.device = deviceAt(result.path, listing);
    return result;
#else
    const QString mapped =
        qEnvironmentVariable(qPrintable(QStringLiteral("KELMOR_COM%1").arg(port)));
    if (!listing.ok)
        result.listingError = listing.error;
    if (!mapped.isEmpty()) {
        result.source = PortAssignment::Source::Environment;
        result.path = mapped;
        result.device = deviceAt(mapped, listing);
        return result;
    }
    const QList<SerialDevice> present = orderedDevices(listing.devices);
    if (port > present.size())
        return result;
    result.source = PortAssignment::Source::Listing;
    result.device = present.at(port - 1);
    result.path = result.device.path;
    return result;
#endif
}

PortAssignment assignPort(int port)
{
    return assignPort(port, portListing().list());
}

QString assignmentText(const PortAssignment &assignment)
{
    if (!assignment.present()) {
        QString text = noDeviceText(assignment.port);
        if (!assignment.listingError.isEmpty())
            text += QStringLiteral(" (Geräteliste nicht lesbar)");
        return text;
    }
    QString text = assignment.device.label();
    if (assignment.source == PortAssignment::Source::Environment)
        text += QStringLiteral(" (aus KELMOR_COM%1)").arg(assignment.port);
    return text;
}

QString noDeviceText(int port)
{
    return QStringLiteral("Com%1: kein serielles Gerät vorhanden").arg(port);
}

} // namespace kelmor
