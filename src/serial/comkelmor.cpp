#include "comkelmor.h"

#include <QFile>
#include <QScopedValueRollback>

#include <cerrno>
#include <cstring>

#include <utility>

#ifndef Q_OS_WIN
#include <cerrno>
#include <unistd.h>
#endif

namespace kelmor {

namespace {

// The longest file name (in bytes) the usual file systems take.
constexpr qsizetype kMaxFileNameBytes = 255;

QString portLabel(int port)
{
    return QStringLiteral("Com%1").arg(port);
}

// "Com2 (/dev/ttyS1)": the operator knows the port by its number, the administrator
// needs the device.
QString portAndDevice(int port, const QString &path)
{
    if (path.isEmpty())
        return QStringLiteral("%1 (kein Gerät)").arg(portLabel(port));
    return QStringLiteral("%1 (%2)").arg(portLabel(port), path);
}

// The system's own (English) reason, kept for whoever has to look deeper.
QString withReason(const QString &text, const QString &reason)
{
    if (reason.isEmpty())
        return text;
    return QStringLiteral("%1 (Systemmeldung: %2)").arg(text, reason);
}

ComError makeError(int number, const QString &text)
{
    return ComError{number, text};
}

QString missingDeviceHint(int port)
{
#ifdef Q_OS_WIN
    Q_UNUSED(port);
    return QStringLiteral("Bitte Kabel und USB-Seriell-Adapter prüfen.");
#else
    return QStringLiteral("Bitte Kabel und USB-Seriell-Adapter prüfen; für ein bestimmtes Gerät "
                          "die Umgebungsvariable KELMOR_COM%1 auf dessen Pfad setzen.")
        .arg(port);
#endif
}

// QSerialPort reports both "device locked by another program" and "no access rights"
// as PermissionError; only the file's access rights tell them apart.
bool accessRefused(const QString &device)
{
#ifdef Q_OS_WIN
    Q_UNUSED(device);
    return false;
#else
    const QByteArray path = device.toLocal8Bit();
    return ::access(path.constData(), R_OK | W_OK) != 0 && errno == EACCES;
#endif
}

// QSerialPort keeps other programs off the device with a lock file named "LCK.." and the
// device's path (without "/dev/", '/' as '_'). When that name is longer than the file
// system allows, the lock fails and Qt reports the device as locked by someone else.
// Returns the characters too many, or 0.
qsizetype lockNameExcess(const QString &device)
{
#ifdef Q_OS_WIN
    Q_UNUSED(device);
    return 0;
#else
    QString name = device.startsWith(QLatin1String("/dev/")) ? device.mid(5) : device;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    const qsizetype bytes = QFile::encodeName(QStringLiteral("LCK..") + name).size();
    return qMax<qsizetype>(0, bytes - kMaxFileNameBytes);
#endif
}

} // namespace

ComKelmor::ComKelmor(QObject *parent) : QObject(parent), m_port(new QSerialPort(this))
{
    // Qt would otherwise buffer whatever the line delivers; with a bound, a reader that
    // falls behind leaves the rest in the driver and the sender has to wait.
    m_port->setReadBufferSize(kReadBufferSize);
    applySettings();
    connect(m_port, &QSerialPort::readyRead, this, &ComKelmor::onReadyRead);
    connect(m_port, &QSerialPort::errorOccurred, this, &ComKelmor::onErrorOccurred);
    m_holdTimer.setSingleShot(true);
    connect(&m_holdTimer, &QTimer::timeout, this, &ComKelmor::endHold);
    connect(&m_watch, &DeviceWatch::deviceReturned, this, &ComKelmor::onDeviceReturned);
    connect(&m_watch, &DeviceWatch::strangerFound, this, &ComKelmor::onOtherDevice);
}

ComKelmor::~ComKelmor()
{
    // Nothing may reach the handlers of a half-destroyed object.
    m_port->disconnect(this);
    m_closing = true;
    if (m_port->isOpen())
        m_port->close();
}

QString ComKelmor::deviceForPort(int port)
{
    return assignPort(port).path;
}

QString ComKelmor::currentPath() const
{
    return portOpen() ? m_device.path : deviceForPort(m_commPort);
}

QString ComKelmor::portAndPath(const QString &path) const
{
    return portAndDevice(m_commPort, path);
}

ComError ComKelmor::setCommPort(int port)
{
    if (port < 1 || port > 4) {
        return makeError(ComErrInvalidPort,
                         QStringLiteral("Die Schnittstelle %1 gibt es nicht: Wählbar sind Com1 "
                                        "bis Com4.")
                             .arg(portLabel(port)));
    }
    if (portOpen()) {
        return makeError(ComErrPortOpen,
                         QStringLiteral("Die Schnittstelle %1 ist geöffnet: Die Nummer der "
                                        "Schnittstelle kann erst nach dem Schließen geändert "
                                        "werden.")
                             .arg(portAndDevice(m_commPort, m_device.path)));
    }
    if (port != m_commPort) {
        // Another port chosen on purpose: the device that went away is no longer wanted.
        m_watch.stop();
        m_commPort = port;
        emit portStateChanged();
    }
    return {};
}

ComError ComKelmor::setSettings(const QString &settings)
{
    const std::optional<LineSettings> parsed = parseLineSettings(settings);
    if (!parsed) {
        return makeError(ComErrInvalidSettings,
                         QStringLiteral("Die Einstellung \u201E%1\u201C für die Schnittstelle "
                                        "%2 ist ungültig: Erwartet werden Geschwindigkeit, "
                                        "Parität (n, e, o, m, s), Datenbits (5 bis 8) und "
                                        "Stoppbits (1, 1.5, 2), z. B. \u201E19200,n,8,1\u201C.")
                             .arg(settings, portAndPath(currentPath())));
    }
    const LineSettings previousLine = m_line;
    const QString previous = m_settings;
    m_line = *parsed;
    m_settings = settings;
    ComError error = applySettings();
    if (error) {
        // The line keeps working with what it had.
        m_line = previousLine;
        m_settings = previous;
        applySettings();
    }
    return error;
}

ComError ComKelmor::setHandshaking(int mode)
{
    if (mode < 0 || mode > 3) {
        return makeError(ComErrInvalidSettings,
                         QStringLiteral("Die Flusssteuerung %1 für die Schnittstelle %2 ist "
                                        "ungültig: Erlaubt sind 0 bis 3.")
                             .arg(mode)
                             .arg(portAndPath(currentPath())));
    }
    const int previous = m_handshaking;
    m_handshaking = mode;
    ComError error = applySettings();
    if (error) {
        m_handshaking = previous;
        applySettings();
    }
    return error;
}

ComError ComKelmor::applySettings()
{
    QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
    if (m_handshaking == 1)
        flow = QSerialPort::SoftwareControl;
    else if (m_handshaking >= 2)
        flow = QSerialPort::HardwareControl; // no combined mode: the hardware lines win

    // A refused setter raises errorOccurred; that is this call's failure, not the device's.
    QScopedValueRollback<bool> busy(m_configuring, true);
    const bool ok = m_port->setBaudRate(m_line.baudRate) && m_port->setParity(m_line.parity) &&
                    m_port->setDataBits(m_line.dataBits) && m_port->setStopBits(m_line.stopBits) &&
                    m_port->setFlowControl(flow);
    if (ok)
        return {};
    return makeError(ComErrInvalidSettings,
                     withReason(QStringLiteral("Die Einstellung \u201E%1\u201C lässt sich an der "
                                               "Schnittstelle %2 nicht einstellen.")
                                    .arg(m_settings, portAndPath(currentPath())),
                                m_port->errorString()));
}

bool ComKelmor::portOpen() const
{
    return m_port->isOpen();
}

ComError ComKelmor::setPortOpen(bool open)
{
    if (!open) {
        const bool changes = portOpen() || m_watch.isActive() || !m_closedReason.isEmpty();
        m_watch.stop();
        closePort();
        m_closedReason.clear();
        if (changes)
            emit portStateChanged();
        return {};
    }
    if (portOpen())
        return {};

    const PortAssignment where = assignPort(m_commPort);
    ComError error;
    if (!where.present()) {
        // Nothing to open: no attempt, and a reason the operator can act on.
        QString text = noDeviceText(m_commPort) + QStringLiteral(". ");
        if (!where.listingError.isEmpty())
            text += QStringLiteral("Die Liste der seriellen Geräte ließ sich nicht lesen: %1 ")
                        .arg(where.listingError);
        text += QStringLiteral("Bitte den USB-Seriell-Adapter einstecken oder eine andere "
                               "Schnittstelle wählen. ") +
                missingDeviceHint(m_commPort);
        error = makeError(ComErrDeviceNotFound, text);
    } else {
        error = openAt(where.path);
    }
    if (error) {
        m_closedReason = error.description;
        m_closedAt = QDateTime::currentDateTime();
        emit portStateChanged();
        return error;
    }
    m_watch.stop();
    m_device = where.device;
    m_closedReason.clear();
    m_reconnectedAt = {};
    emit portStateChanged();
    return {};
}

ComError ComKelmor::openAt(const QString &device)
{
    if (const qsizetype excess = lockNameExcess(device)) {
        return makeError(
            ComErrPortOpen,
            withReason(QStringLiteral("Die Schnittstelle %1 kann nicht geöffnet werden: Der Pfad "
                                      "des Geräts ist %2 Zeichen zu lang für die Sperrdatei, die "
                                      "andere Programme vom Gerät fernhält (höchstens %3 Zeichen). "
                                      "Bitte einen kürzeren Pfad angeben, etwa eine symbolische "
                                      "Verknüpfung.")
                           .arg(portAndDevice(m_commPort, device))
                           .arg(excess)
                           .arg(device.size() - excess),
                       QString::fromLocal8Bit(std::strerror(ENAMETOOLONG))));
    }
    m_port->setPortName(device);
    if (ComError error = applySettings())
        return error;

    bool opened = false;
    {
        QScopedValueRollback<bool> busy(m_configuring, true);
        opened = m_port->open(QIODevice::ReadWrite);
    }
    if (opened)
        return {};

    const QSerialPort::SerialPortError cause = m_port->error();
    const QString reason = m_port->errorString();
    m_port->clearError();
    const QString cannotOpen = QStringLiteral("Die Schnittstelle %1 kann nicht geöffnet werden: ")
                                   .arg(portAndPath(device));

    switch (cause) {
    case QSerialPort::DeviceNotFoundError:
        return makeError(ComErrDeviceNotFound,
                         withReason(cannotOpen + QStringLiteral("Das Gerät existiert nicht. ") +
                                        missingDeviceHint(m_commPort),
                                    reason));
    case QSerialPort::PermissionError:
        if (accessRefused(device)) {
            return makeError(
                ComErrPermission,
                withReason(cannotOpen +
                               QStringLiteral("Der Zugriff wurde verweigert. Der Benutzer "
                                              "muss Mitglied der Gruppe \u201Edialout\u201C "
                                              "sein (danach neu anmelden)."),
                           reason));
        }
        return makeError(
            ComErrPortOpen,
            withReason(cannotOpen + QStringLiteral("Sie wird bereits von einem anderen "
                                                   "Programm verwendet."),
                       reason));
    default:
        return makeError(ComErrPortOpen,
                         withReason(cannotOpen + QStringLiteral("Das Gerät lässt sich nicht "
                                                                "als serielle Schnittstelle "
                                                                "betreiben."),
                                    reason));
    }
}

void ComKelmor::onDeviceReturned(const SerialDevice &device)
{
    if (portOpen()) {
        m_watch.stop();
        return;
    }
    if (const ComError error = openAt(device.path)) {
        // Seen but not usable yet (the system may still be setting its access rights):
        // the watch looks again.
        m_closedReason = error.description;
        emit portStateChanged();
        return;
    }
    m_watch.stop();
    m_device = device;
    m_closedReason.clear();
    m_reconnectedAt = QDateTime::currentDateTime();
    raise(ComEvReconnected);
    emit portStateChanged();
}

void ComKelmor::onOtherDevice(const SerialDevice &other)
{
    m_otherDeviceText =
        QStringLiteral("An %1 steckt jetzt ein anderes Gerät (%2, Seriennummer %3) als das "
                       "abgezogene (Seriennummer %4). Es wird nicht von selbst geöffnet: bitte "
                       "das ursprüngliche Gerät wieder einstecken oder die Schnittstelle über "
                       "\u201ESchnittstelle\u201C neu wählen.")
            .arg(other.path, other.label(), other.serialNumber, m_device.serialNumber);
    m_closedReason = m_otherDeviceText;
    raise(ComEvOtherDevice);
    emit portStateChanged();
}

void ComKelmor::closePort()
{
    if (m_holdTimer.isActive()) {
        m_holdTimer.stop();
        releaseHold();
    }
    if (!m_port->isOpen() || m_closing)
        return;
    // Closing a dead device raises errors of its own; they must not come back here.
    QScopedValueRollback<bool> closing(m_closing, true);
    m_port->close();
    m_port->clearError();
}

ComError ComKelmor::output(const QByteArray &bytes)
{
    if (!portOpen()) {
        return makeError(ComErrPortClosed,
                         QStringLiteral("Die Schnittstelle %1 ist nicht geöffnet: Es kann nichts "
                                        "gesendet werden. Bitte die Schnittstelle über "
                                        "\u201ESchnittstelle\u201C öffnen.")
                             .arg(portAndPath(currentPath())));
    }
    if (bytes.isEmpty())
        return {};
    const qint64 written = m_port->write(bytes);
    if (written == bytes.size())
        return {};
    return makeError(ComErrWrite,
                     withReason(QStringLiteral("Senden über die Schnittstelle %1 ist "
                                               "fehlgeschlagen: Nur %2 von %3 Zeichen wurden "
                                               "angenommen.")
                                    .arg(portAndPath(m_device.path))
                                    .arg(qMax<qint64>(written, 0))
                                    .arg(bytes.size()),
                                m_port->errorString()));
}

QByteArray ComKelmor::input()
{
    QByteArray bytes = std::exchange(m_leftOver, QByteArray());
    if (m_port->isOpen())
        bytes += m_port->readAll();
    return bytes;
}

void ComKelmor::onReadyRead()
{
    if (m_holdTimer.isActive())
        return;
    raise(ComEvReceive);
}

void ComKelmor::holdReceive(int ms)
{
    if (m_holdTimer.isActive() || !m_port->isOpen() || ms <= 0)
        return;
    // The port's own watch on the device is switched off: the rest waits in the driver,
    // and nothing wakes the program until the timer. Where that watch cannot be found,
    // room for one character does nearly as well: QSerialPort stops watching once it
    // holds one, after a wake-up or two.
    m_heldNotifier = portReadNotifier();
    if (m_heldNotifier)
        m_heldNotifier->setEnabled(false);
    else
        m_port->setReadBufferSize(1);
    m_holdTimer.start(ms);
}

QSocketNotifier *ComKelmor::portReadNotifier() const
{
    const auto notifiers = m_port->findChildren<QSocketNotifier *>(Qt::FindDirectChildrenOnly);
    for (QSocketNotifier *notifier : notifiers) {
        if (notifier->type() == QSocketNotifier::Read && notifier->socket() == m_port->handle())
            return notifier;
    }
    return nullptr;
}

void ComKelmor::releaseHold()
{
    if (m_heldNotifier)
        m_heldNotifier->setEnabled(true);
    m_heldNotifier = nullptr;
    m_port->setReadBufferSize(kReadBufferSize);
}

void ComKelmor::endHold()
{
    releaseHold();
    if (!m_port->isOpen())
        return;
    // Takes what gathered in the driver in one read, at once: waiting for the next
    // notification would hand out the one held character alone. With nothing waiting
    // this reports a time-out, which is no fault.
    if (m_port->waitForReadyRead(0))
        return; // readyRead has raised the event
    if (m_port->error() == QSerialPort::TimeoutError)
        m_port->clearError();
    if (m_port->isOpen() && m_port->bytesAvailable() > 0)
        raise(ComEvReceive);
}

void ComKelmor::onErrorOccurred(QSerialPort::SerialPortError error)
{
    switch (error) {
    case QSerialPort::NoError:
    case QSerialPort::UnsupportedOperationError: // modem-line calls on a pty
    case QSerialPort::TimeoutError:
        return;
    default:
        break;
    }
    if (m_closing || m_configuring || !m_port->isOpen())
        return;

    try {
        const QString reason = m_port->errorString();

        // What arrived before the device went away still belongs to the operator, also
        // when the reader takes it only after the port is closed.
        if (m_port->bytesAvailable() > 0) {
            m_leftOver += m_port->readAll();
            raise(ComEvReceive);
        }

        // Qt keeps repeating the error as fast as it can until the port is closed, so this
        // must happen now and not in a later event.
        closePort();

        m_lastDeviceError = makeError(
            ComErrDeviceFailed,
            withReason(QStringLiteral("Die Schnittstelle %1 antwortet nicht mehr: Das Gerät "
                                      "wurde entfernt oder ist ausgefallen (z. B. USB-Adapter "
                                      "abgezogen). Die Schnittstelle wurde geschlossen. Sobald "
                                      "das Gerät wieder da ist, wird sie mit denselben "
                                      "Einstellungen von selbst wieder geöffnet; sonst bitte "
                                      "Kabel und Adapter prüfen oder über "
                                      "\u201ESchnittstelle\u201C eine andere wählen.")
                           .arg(portAndPath(m_device.path)),
                       reason));
        // The panel's tooltip says for itself whether the watch still runs.
        m_closedReason = withReason(QStringLiteral("Das Gerät %1 wurde entfernt oder ist "
                                                   "ausgefallen.")
                                        .arg(m_device.path),
                                    reason);
        m_closedAt = QDateTime::currentDateTime();
        m_watch.start(m_device);
        raise(ComEvDeviceFailed);
        emit portStateChanged();
    } catch (...) {
        closePort();
    }
}

void ComKelmor::raise(int event)
{
    m_commEvent = event;
    try {
        emit commEventRaised();
    } catch (...) {
        // A handler's failure must not unwind through Qt's event dispatch.
    }
}

} // namespace kelmor
