#pragma once

#include "devicewatch.h"
#include "portlisting.h"
#include "settingstext.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

namespace kelmor {

// A failure of the serial-port component: a number and a German description that
// names the port, the device and the reason.
struct ComError
{
    int number = 0; // 0: no error
    QString description;

    bool failed() const { return number != 0; }
    explicit operator bool() const { return failed(); }
};

// Error numbers of the component.
enum ComErrorNumber : int {
    ComErrPortOpen = 8005, // the port is already open / could not be opened
    ComErrDeviceNotFound = 8002,
    ComErrPermission = 8010,
    ComErrInvalidPort = 8001, // port number outside 1..4
    ComErrInvalidSettings = 380,
    ComErrPortClosed = 8018, // operation needs an open port
    ComErrWrite = 8020,
    ComErrDeviceFailed = 8021, // the device failed while open (unplugged)
};

// Communication event codes.
enum ComEvent : int {
    ComEvNone = 0,
    ComEvReceive = 2,
    ComEvDeviceFailed = 1010, // an error kind: the device went away; the port was closed
    ComEvReconnected = 1011,  // the device came back and was opened again by itself
    ComEvOtherDevice = 1012,  // another device sits where the failed one was; not opened
};

// The serial-port component: port number, line settings, handshaking, open flag,
// output and input, the last communication event and a signal for each event.
//
// Port n is the device "COMn" on Windows; elsewhere the device named by the environment
// variable KELMOR_COM<n> when set and not empty, otherwise the n-th present serial device
// (see assignPort()). A port with no device behind it is refused without trying to open
// anything.
//
// When the open device fails (an adapter pulled), the port is closed and the component
// watches for the same device: the same path, or an adapter with the same serial number,
// vendor and product at whatever path. When it is back, the port is opened again with
// the same settings and ComEvReconnected is raised. Choosing another port number, closing
// the port or opening it on purpose ends the watch.
//
// No exception leaves it: every failure comes back as a ComError.
class ComKelmor : public QObject
{
    Q_OBJECT

public:
    explicit ComKelmor(QObject *parent = nullptr);
    ~ComKelmor() override;

    int commPort() const { return m_commPort; }
    ComError setCommPort(int port); // 1..4; refused while the port is open

    QString settings() const { return m_settings; }
    ComError setSettings(const QString &settings); // "19200,n,8,1"; applies at once if open

    // How long one character takes on the line with the current settings (start bit, data
    // bits, parity and stop bits at the speed), in nanoseconds.
    qint64 characterNs() const { return characterNsOf(m_line); }

    int handshaking() const { return m_handshaking; }
    ComError setHandshaking(int mode); // 0: none

    bool portOpen() const;
    ComError setPortOpen(bool open); // closing a closed port does nothing

    ComError output(const QByteArray &bytes); // one write, returns at once
    QByteArray input(); // everything waiting, removed; also what a failed device left
    int commEvent() const { return m_commEvent; }

    // Lets what arrives gather in the driver for `ms` milliseconds instead of waking for
    // every character, then raises ComEvReceive if anything came. For a reader that holds
    // an unfinished line: a gauge trickling a line in byte by byte would otherwise wake
    // the program thousands of times a second for nothing it can show. Does nothing while
    // a hold runs or the port is closed; closing the port ends it.
    void holdReceive(int ms);
    bool receiveHeld() const { return m_holdTimer.isActive(); }

    // The device behind the current port number, and behind any port number; empty when
    // none is present.
    QString deviceName() const { return deviceForPort(m_commPort); }
    static QString deviceForPort(int port);

    // The device the port has open, or had open last (empty path: never opened).
    SerialDevice device() const { return m_device; }
    // Why the port is closed when a failure closed it or an open failed; empty otherwise.
    QString closedReason() const { return m_closedReason; }
    QDateTime closedAt() const { return m_closedAt; }
    // When the watch last opened the port again; invalid after a deliberate open.
    QDateTime reconnectedAt() const { return m_reconnectedAt; }
    bool watching() const { return m_watch.isActive(); }
    // The watch itself, for tests that cannot wait for its timer.
    DeviceWatch &deviceWatch() { return m_watch; }

    // The last error raised by a device failure (ComEvDeviceFailed).
    ComError lastDeviceError() const { return m_lastDeviceError; }
    // What ComEvOtherDevice reports: the device found and what the operator should do.
    QString otherDeviceText() const { return m_otherDeviceText; }

signals:
    // Raised for every communication event; read commEvent() inside the handler.
    void commEventRaised();
    // Open or closed, the port number, the device, the watch or the reason changed.
    void portStateChanged();

private:
    ComError openAt(const QString &path);
    void onDeviceReturned(const SerialDevice &device);
    void onOtherDevice(const SerialDevice &other);
    QString portAndPath(const QString &path) const;
    QString currentPath() const;
    void onReadyRead();
    void onErrorOccurred(QSerialPort::SerialPortError error);
    void raise(int event);
    void endHold();
    void releaseHold(); // the port watches and buffers as usual again
    QSocketNotifier *portReadNotifier() const;
    ComError applySettings();
    void closePort();

    // Qt's read buffer for the line; enough for several hundred answer lines.
    static constexpr qint64 kReadBufferSize = 64 * 1024;

    QSerialPort *m_port = nullptr;
    QByteArray m_leftOver; // read from a failing device before it was closed
    QTimer m_holdTimer;
    QPointer<QSocketNotifier> m_heldNotifier; // the port's own, switched off for a hold
    DeviceWatch m_watch;
    SerialDevice m_device;
    QString m_closedReason;
    QDateTime m_closedAt;
    QDateTime m_reconnectedAt;
    QString m_otherDeviceText;
    int m_commPort = 1;
    LineSettings m_line;
    QString m_settings = settingsText(m_line); // as written, for reading back
    int m_handshaking = 0;
    int m_commEvent = ComEvNone;
    ComError m_lastDeviceError;
    bool m_closing = false;     // inside close(): its errors are not device failures
    bool m_configuring = false; // inside a setter or open(): the call reports its own errors
};

} // namespace kelmor
