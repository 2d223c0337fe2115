#include "datalog.h"

#include "logrecord.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <utility>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace kelmor {

namespace {

// Hands the written data from the operating system's cache to the medium.
// Devices that cannot sync (pipes, character devices) are not an error.
bool syncToMedium(int fd, QString *reason)
{
    if (fd < 0)
        return true;
#ifdef Q_OS_WIN
    if (::_commit(fd) == 0)
        return true;
#else
    if (::fsync(fd) == 0 || errno == EINVAL || errno == EROFS)
        return true;
#endif
    *reason = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

} // namespace

DataLog::DataLog(QString path) : m_path(std::move(path)) {}

DataLog::~DataLog()
{
    close();
}

void DataLog::setDeviceFactory(DeviceFactory factory)
{
    m_factory = std::move(factory);
}

bool DataLog::isOpen() const
{
    return m_file && m_file->isOpen();
}

QString DataLog::nativePath() const
{
    return QDir::toNativeSeparators(m_path);
}

bool DataLog::open(const QDateTime &now, const QLocale &locale)
{
    // One file at a time: a run still open ends here with everything it wrote.
    close();
    m_error.clear();

    std::unique_ptr<QFileDevice> file =
        m_factory ? m_factory(m_path) : std::make_unique<QFile>(m_path);
    if (!file) {
        m_error = QStringLiteral("Cannot open %1: no file device").arg(nativePath());
        return false;
    }
    // Unbuffered: every record goes to the operating system in write(), and a record
    // that fails leaves nothing behind in a buffer that a later flush would write.
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        m_error = QStringLiteral("Cannot open %1: %2").arg(nativePath(), file->errorString());
        return false;
    }
    m_file = std::move(file);

    const QByteArray header = formatRecord(toRecordBytes(formatHeaderField(now, locale)));
    if (!writeWhole(header)) {
        const QString reason = m_error;
        m_file->close();
        m_file.reset();
        m_error = QStringLiteral("Cannot write the header to %1: %2").arg(nativePath(), reason);
        return false;
    }
    return true;
}

bool DataLog::writeRecord(QByteArrayView field)
{
    if (!isOpen()) {
        m_error = QStringLiteral("%1 is not open").arg(nativePath());
        return false;
    }
    if (!writeWhole(formatRecord(field))) {
        m_error = QStringLiteral("Cannot write to %1: %2").arg(nativePath(), m_error);
        return false;
    }
    return true;
}

bool DataLog::writeWhole(QByteArrayView bytes)
{
    const char *data = bytes.data();
    qint64 left = bytes.size();
    while (left > 0) {
        const qint64 written = m_file->write(data, left);
        if (written <= 0)
            break;
        data += written;
        left -= written;
    }
    if (left == 0)
        return true;

    QString reason = m_file->errorString();
    if (reason.isEmpty() || m_file->error() == QFileDevice::NoError) {
        const qint64 total = bytes.size();
        reason = QStringLiteral("only %1 of %2 bytes written").arg(total - left).arg(total);
        if (!m_file->errorString().isEmpty())
            reason += QStringLiteral(" (%1)").arg(m_file->errorString());
    }
    // A torn record would run into the next one; the file has to end with a whole one.
    // Where it began is worked out only now: asking the file system for the size before
    // every record would cost a call per line for a case that hardly ever comes.
    const qint64 sizeBefore = m_file->size() - (bytes.size() - left);
    if (!m_file->resize(sizeBefore)) {
        reason += QStringLiteral("; cutting back to %1 bytes failed: %2")
                      .arg(sizeBefore)
                      .arg(m_file->errorString());
    }
    m_error = reason;
    return false;
}

bool DataLog::close()
{
    if (!m_file)
        return true;

    bool ok = true;
    QString reason;
    if (!m_file->flush()) {
        ok = false;
        reason = m_file->errorString();
    }
    QString syncReason;
    if (!syncToMedium(m_file->handle(), &syncReason)) {
        ok = false;
        if (reason.isEmpty())
            reason = syncReason;
    }
    m_file->close();
    if (m_file->error() != QFileDevice::NoError && ok) {
        ok = false;
        reason = m_file->errorString();
    }
    m_file.reset();
    if (!ok)
        m_error = QStringLiteral("Cannot close %1: %2").arg(nativePath(), reason);
    return ok;
}

} // namespace kelmor
