#pragma once

#include "portlisting.h"

#include <QList>
#include <QStringList>

namespace kelmor::test {

// Stands in for the system's device listing while it lives: tests plug adapters in and
// out by editing `devices`, or make the listing fail.
class FakePortListing final : public PortListing
{
public:
    FakePortListing() : m_previous(setPortListing(this)) {}
    ~FakePortListing() override { setPortListing(m_previous); }
    FakePortListing(const FakePortListing &) = delete;
    FakePortListing &operator=(const FakePortListing &) = delete;

    PortListingResult list() const override
    {
        ++calls;
        if (fails)
            return {false, {}, QStringLiteral("udev antwortet nicht")};
        return {true, devices, {}};
    }

    QList<SerialDevice> devices;
    bool fails = false;
    mutable int calls = 0;

private:
    const PortListing *m_previous = nullptr;
};

inline SerialDevice boardPort(const QString &path)
{
    SerialDevice d;
    d.path = path;
    d.description = QStringLiteral("16550A");
    return d;
}

inline SerialDevice usbAdapter(const QString &path, const QString &serial,
                               const QString &description = QStringLiteral("FT232R USB UART"),
                               quint16 vendor = 0x0403, quint16 product = 0x6001)
{
    SerialDevice d;
    d.path = path;
    d.description = description;
    d.manufacturer = QStringLiteral("FTDI");
    d.serialNumber = serial;
    d.vendorId = vendor;
    d.productId = product;
    d.hasVendorId = d.hasProductId = true;
    return d;
}

// "usb:/dev/ttyUSB0" is an adapter (serial number "S" plus its name), anything else a
// port on the board; for compact data tables.
inline QList<SerialDevice> devicesFrom(const QStringList &entries)
{
    QList<SerialDevice> out;
    for (const QString &entry : entries) {
        if (entry.startsWith(QLatin1String("usb:"))) {
            const QString path = entry.mid(4);
            out << usbAdapter(path, QStringLiteral("S") + path.section(QLatin1Char('/'), -1));
        } else {
            out << boardPort(entry);
        }
    }
    return out;
}

inline QStringList pathsOf(const QList<SerialDevice> &devices)
{
    QStringList out;
    for (const SerialDevice &d : devices)
        out << d.path;
    return out;
}

} // namespace kelmor::test
