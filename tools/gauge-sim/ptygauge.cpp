#include "ptygauge.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace kelmor::sim {

namespace {

QString errnoText(const char *what)
{
    return QStringLiteral("%1: %2").arg(QLatin1StringView(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

PtyGauge::PtyGauge(SimOptions options, int intervalMs, QObject *parent)
    : QObject(parent), m_core(std::move(options))
{
    m_clock.start();
    m_streamTimer.setTimerType(Qt::PreciseTimer);
    m_streamTimer.setInterval(intervalMs);
    connect(&m_streamTimer, &QTimer::timeout, this, &PtyGauge::tick);
    m_readRetry.setSingleShot(true);
    m_readRetry.setInterval(100);
    connect(&m_readRetry, &QTimer::timeout, this, [this] {
        if (m_readNotifier)
            m_readNotifier->setEnabled(true);
    });
}

PtyGauge::~PtyGauge()
{
    delete m_readNotifier;
    delete m_writeNotifier;
    if (m_sentLog >= 0)
        ::close(m_sentLog);
}

bool PtyGauge::recordSentTo(const QString &path, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    m_sentLog = ::open(name.constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (m_sentLog >= 0)
        return true;
    if (error)
        *error = errnoText(name.constData());
    return false;
}

bool PtyGauge::open(QString *error)
{
    if (!m_pty.isOpen()) {
        *error = QString::fromLocal8Bit(m_pty.error());
        return false;
    }
    m_readNotifier = new QSocketNotifier(m_pty.master(), QSocketNotifier::Read);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &PtyGauge::readMaster);
    m_writeNotifier = new QSocketNotifier(m_pty.master(), QSocketNotifier::Write);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &PtyGauge::flushPending);
    m_streamTimer.start();
    return true;
}

void PtyGauge::readMaster()
{
    char buffer[512];
    for (;;) {
        const ssize_t n = ::read(m_pty.master(), buffer, sizeof buffer);
        if (n > 0) {
            send(m_core.receive(QByteArrayView(buffer, n)));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN) {
            // EIO while no slave is open would wake us without end; the slave is held
            // open here, but should it happen anyway, look again a little later.
            m_readNotifier->setEnabled(false);
            m_readRetry.start();
        }
        return;
    }
}

void PtyGauge::tick()
{
    if (m_core.isStreaming())
        send(m_core.nextStreamLine(double(m_clock.elapsed()) / 1000.0));
}

void PtyGauge::send(const QByteArray &bytes)
{
    if (bytes.isEmpty() || m_pending.size() + bytes.size() > kMaxPending)
        return;
    m_pending += bytes;
    flushPending();
}

void PtyGauge::flushPending()
{
    while (!m_pending.isEmpty()) {
        const ssize_t n = ::write(m_pty.master(), m_pending.constData(), size_t(m_pending.size()));
        if (n > 0) {
            if (m_sentLog >= 0) {
                // Unbuffered, so a kill loses nothing that went out.
                [[maybe_unused]] const ssize_t logged =
                    ::write(m_sentLog, m_pending.constData(), size_t(n));
            }
            m_pending.remove(0, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && errno == EAGAIN) {
            break;
        } else {
            // The line is gone; what waited for it is lost, as on a real cable.
            m_pending.clear();
        }
    }
    m_writeNotifier->setEnabled(!m_pending.isEmpty());
}

} // namespace kelmor::sim
