#include "devicewatch.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>

namespace kelmor {

DeviceWatch::DeviceWatch(QObject *parent) : QObject(parent)
{
    m_timer.setInterval(kIntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &DeviceWatch::check);
}

DeviceWatch::~DeviceWatch() = default;

void DeviceWatch::start(const SerialDevice &device)
{
    stop();
    m_device = device;
    m_lastStranger = {};
    m_timer.start();
#ifndef Q_OS_WIN
    // The folder that held the device; for an adapter also /dev, where it may come back
    // under another name. A folder that is gone leaves the timer alone to do the work.
    QStringList folders;
    const QString folder = QFileInfo(device.path).absolutePath();
    if (QFileInfo(folder).isDir())
        folders << folder;
    if (device.hasAdapterIdentity() && !folders.contains(QStringLiteral("/dev")))
        folders << QStringLiteral("/dev");
    if (!folders.isEmpty()) {
        m_folders = std::make_unique<QFileSystemWatcher>();
        m_folders->addPaths(folders);
        connect(m_folders.get(), &QFileSystemWatcher::directoryChanged, this, &DeviceWatch::check);
    }
#endif
}

void DeviceWatch::stop()
{
    m_timer.stop();
    // Its inotify descriptor goes with it: a watch leaves nothing open behind.
    m_folders.reset();
}

DeviceWatch::Sighting DeviceWatch::look(const SerialDevice &wanted,
                                        const PortListingResult &listing, bool pathExists)
{
    Sighting sighting;
    if (wanted.hasAdapterIdentity() && listing.ok) {
        for (const SerialDevice &device : listing.devices) {
            if (wanted.sameAdapter(device)) {
                sighting.kind = Sighting::Back;
                sighting.found = device;
                return sighting;
            }
        }
        const SerialDevice atPath = deviceAt(wanted.path, listing);
        if (pathExists && atPath.hasVendorId) {
            sighting.kind = Sighting::Stranger;
            sighting.found = atPath;
        }
        return sighting;
    }
    if (pathExists) {
        sighting.kind = Sighting::Back;
        sighting.found = listing.ok ? deviceAt(wanted.path, listing) : wanted;
        if (sighting.found.description.isEmpty() && sighting.found.manufacturer.isEmpty())
            sighting.found = wanted;
    }
    return sighting;
}

void DeviceWatch::check()
{
    if (!isActive())
        return;
#ifdef Q_OS_WIN
    const bool exists = true; // COM ports have no file to look at: the open attempt tells
#else
    const bool exists = QFileInfo::exists(m_device.path);
#endif
    // Only an adapter known by its serial number needs the listing; a path is a stat.
    const bool needListing = m_device.hasAdapterIdentity() || m_device.hasVendorId;
    if (!exists && !m_device.hasAdapterIdentity())
        return;
    const PortListingResult listing = needListing ? portListing().list() : PortListingResult{};
    const Sighting sighting = look(m_device, listing, exists);
    switch (sighting.kind) {
    case Sighting::Absent:
        return;
    case Sighting::Back:
        emit deviceReturned(sighting.found);
        return;
    case Sighting::Stranger:
        if (sighting.found == m_lastStranger)
            return;
        m_lastStranger = sighting.found;
        emit strangerFound(sighting.found);
        return;
    }
}

} // namespace kelmor
