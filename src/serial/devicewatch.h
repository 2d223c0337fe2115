#pragma once

#include "portlisting.h"

#include <QObject>
#include <QTimer>

#include <memory>

class QFileSystemWatcher;

namespace kelmor {

// Waits for a device that went away to come back.
//
// It looks once a second, and at once whenever the folder that held the device changes
// (where the system reports that: /dev and ordinary folders on Linux), so a returning
// device is usually seen within milliseconds and always within about a second. Nothing
// runs while no watch is active.
class DeviceWatch : public QObject
{
    Q_OBJECT

public:
    explicit DeviceWatch(QObject *parent = nullptr);
    ~DeviceWatch() override;

    void start(const SerialDevice &device);
    void stop();
    bool isActive() const { return m_timer.isActive(); }
    SerialDevice device() const { return m_device; }

    // What one look found.
    struct Sighting
    {
        enum Kind { Absent, Back, Stranger };
        Kind kind = Absent;
        SerialDevice found; // Back: the device at its path now; Stranger: the other device
    };

    // An adapter with serial number, vendor and product is back when a listed device
    // carries all three, at whatever path; a different adapter at its old path is a
    // stranger. Any other device is back when its path exists again. A failed listing
    // falls back to the path.
    static Sighting look(const SerialDevice &wanted, const PortListingResult &listing,
                         bool pathExists);

    // Runs one look now; the timer and the folder notifications call this.
    void check();

    // Who made the path, as far as a symbolic link tells: its own identity, or nothing
    // when the path is no link.
    struct LinkStamp
    {
        bool isLink = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 changedNs = 0;
        bool operator==(const LinkStamp &) const = default;
    };
    static LinkStamp linkStamp(const QString &path);

    // A pseudo-terminal's number goes to the next program that asks for one, so a path
    // that leads to one is the device again only through a link made anew after the
    // failure (a simulator restarted on its link); a stale link, or the terminal's own
    // path, may lead to somebody else's line. Any other device is back once its path is.
    static bool pathLeadsBack(const QString &path, const LinkStamp &atFailure);

    static constexpr int kIntervalMs = 1000;

signals:
    void deviceReturned(const kelmor::SerialDevice &device);
    // Reported once per different device, so that nothing repeats every second.
    void strangerFound(const kelmor::SerialDevice &other);

private:
    QTimer m_timer;
    std::unique_ptr<QFileSystemWatcher> m_folders;
    SerialDevice m_device;
    SerialDevice m_lastStranger;
    LinkStamp m_linkAtFailure;
};

} // namespace kelmor
