#include "devicewatch.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

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
    m_linkAtFailure = linkStamp(device.path);
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

DeviceWatch::LinkStamp DeviceWatch::linkStamp(const QString &path)
{
    LinkStamp stamp;
#ifndef Q_OS_WIN
    struct stat info = {};
    const QByteArray name = QFile::encodeName(path);
    if (::lstat(name.constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
        stamp.isLink = true;
        stamp.device = quint64(info.st_dev);
        stamp.inode = quint64(info.st_ino);
        stamp.changedNs = qint64(info.st_ctim.tv_sec) * 1000000000 + info.st_ctim.tv_nsec;
    }
#else
    Q_UNUSED(path);
#endif
    return stamp;
}

bool DeviceWatch::pathLeadsBack(const QString &path, const LinkStamp &atFailure)
{
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    Q_UNUSED(atFailure);
    return true;
#else
    const QString target = QFileInfo(path).canonicalFilePath();
    if (target.isEmpty())
        return false; // nothing there, or a dangling link
    if (!target.startsWith(QLatin1String("/dev/pts/")))
        return true;
    const LinkStamp now = linkStamp(path);
    return now.isLink && !(now == atFailure);
#endif
}

void DeviceWatch::check()
{
    if (!isActive())
        return;
#ifdef Q_OS_WIN
    const bool exists = true; // COM ports have no file to look at: the open attempt tells
#else
    const bool exists = pathLeadsBack(m_device.path, m_linkAtFailure);
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
