#include "datalog.h"

#include "logrecord.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <utility>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelmor {

namespace {

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

QString withSystemReason(const QString &text, const QString &reason)
{
    if (reason.isEmpty())
        return text;
    return QStringLiteral("%1 (Systemmeldung: %2)").arg(text, reason);
}

// A device reports a full disk only through its error text; the platform's own wording
// of ENOSPC is what QFile passes on.
bool isDiskFull(int error, const QString &reason)
{
#ifdef EDQUOT
    if (error == EDQUOT)
        return true;
#endif
    return error == ENOSPC || reason == systemText(ENOSPC);
}

#ifndef Q_OS_WIN
// Why open() refused the log, with %1 for the file's name.
QString openFailureText(int error)
{
    switch (error) {
    case ENXIO:
        return QStringLiteral("An der Stelle der Datei %1 steht keine gewöhnliche Datei.");
    case ENOENT:
    case ENOTDIR:
        return QStringLiteral("Der Ordner der Datei %1 existiert nicht.");
    case EACCES:
    case EPERM:
        return QStringLiteral("Keine Berechtigung, die Datei %1 zu öffnen oder anzulegen.");
    case EROFS:
        return QStringLiteral("Der Datenträger der Datei %1 ist schreibgeschützt.");
    default:
        return isDiskFull(error, QString())
                   ? QStringLiteral(
                         "Der Datenträger ist voll: die Datei %1 lässt sich nicht anlegen.")
                   : QStringLiteral("Die Datei %1 lässt sich nicht öffnen oder anlegen.");
    }
}
#endif

// Hands the written data from the operating system's cache to the medium.
// Devices that cannot sync (pipes, character devices) are not an error.
bool syncToMedium(int fd, int *error)
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
    *error = errno;
    return false;
}

#ifndef Q_OS_WIN
// What stands at the path instead of a file, for the operator.
QString kindOf(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("ein Ordner");
    if (S_ISFIFO(mode))
        return QStringLiteral("eine benannte Pipe (FIFO)");
    if (S_ISSOCK(mode))
        return QStringLiteral("ein Socket");
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return QStringLiteral("eine Gerätedatei");
    return QStringLiteral("etwas anderes als eine Datei");
}
#endif

} // namespace

DataLog::DataLog(QString path) : m_path(std::move(path)), m_encodedPath(QFile::encodeName(m_path))
{
}

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

QString DataLog::takeNotice()
{
    return std::exchange(m_notice, QString());
}

bool DataLog::openDevice()
{
    if (m_path.isEmpty()) {
        const QString problem = homeFolderProblem();
        m_error = QStringLiteral("Für die Datei KelmorLog.txt gibt es keinen Benutzerordner%1. "
                                 "In den obersten Ordner des Systems wird nicht aufgezeichnet.")
                      .arg(problem.isEmpty() ? QString() : QStringLiteral(": ") + problem);
        return false;
    }
    std::unique_ptr<QFileDevice> file =
        m_factory ? m_factory(m_path) : std::make_unique<QFile>(m_path);
    if (!openAppending(file.get()))
        return false;
    m_file = std::move(file);
    return true;
}

bool DataLog::openAppending(QFileDevice *file)
{
    // Unbuffered: every record goes to the operating system in write(), and a record
    // that fails leaves nothing behind in a buffer that a later flush would write.
    const QIODevice::OpenMode mode =
        QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered;
#ifdef Q_OS_WIN
    if (!file || !file->open(mode)) {
        m_error = withSystemReason(
            QStringLiteral("Die Datei %1 lässt sich nicht öffnen oder anlegen.").arg(nativePath()),
            file ? file->errorString() : QString());
        return false;
    }
#else
    auto *qfile = qobject_cast<QFile *>(file);
    if (!qfile) {
        m_error = QStringLiteral("Für die Datei %1 gibt es kein Dateiobjekt.").arg(nativePath());
        return false;
    }
    const QByteArray native = QFile::encodeName(m_path);
    const auto notAFile = [this](mode_t kind) {
        m_error = QStringLiteral("An der Stelle der Datei %1 steht %2. Aufgezeichnet wird nur in "
                                 "eine gewöhnliche Datei; bitte das, was dort steht, entfernen "
                                 "oder umbenennen.")
                      .arg(nativePath(), kindOf(kind));
    };
    // Looked at before opening: opening a FIFO waits for a reader, and opening a device
    // may act on it.
    struct stat st
    {
    };
    if (::stat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        notAFile(st.st_mode);
        return false;
    }
    // Something swapped in since is refused too: O_NONBLOCK keeps a FIFO from holding
    // the open, fstat() tells what was opened.
    const int fd = ::open(native.constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int error = errno;
        m_error = withSystemReason(openFailureText(error).arg(nativePath()), systemText(error));
        return false;
    }
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        notAFile(st.st_mode);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    if (!qfile->open(fd, mode, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        m_error = withSystemReason(
            QStringLiteral("Die Datei %1 lässt sich nicht öffnen oder anlegen.").arg(nativePath()),
            qfile->errorString());
        return false;
    }
    m_device = quint64(st.st_dev);
    m_inode = quint64(st.st_ino);
#endif
    return true;
}

bool DataLog::writeHeader(const QDateTime &now, const QLocale &locale)
{
    const QByteArray header = formatRecord(toRecordBytes(formatHeaderField(now, locale)));
    if (writeWhole(header))
        return true;
    const QString reason = m_error;
    dropFile();
    m_error = reason;
    return false;
}

bool DataLog::open(const QDateTime &now, const QLocale &locale)
{
    // One file at a time: a run still open ends here with everything it wrote.
    close();
    m_error.clear();
    m_notice.clear();
    return openDevice() && writeHeader(now, locale);
}

DataLog::Change DataLog::changeAtPath(QString *movedTo) const
{
#ifdef Q_OS_WIN
    Q_UNUSED(movedTo);
    return Change::None;
#else
    struct stat atPath
    {
    };
    if (::stat(m_encodedPath.constData(), &atPath) == 0) {
        if (quint64(atPath.st_dev) == m_device && quint64(atPath.st_ino) == m_inode)
            return Change::None;
        return Change::Replaced;
    }
    if (errno != ENOENT && errno != ENOTDIR)
        return Change::None; // cannot tell; the write will say what is wrong
    struct stat openFile
    {
    };
    if (::fstat(m_file->handle(), &openFile) == 0 && openFile.st_nlink == 0)
        return Change::Deleted;
    // Still linked somewhere: where the system can say, the operator learns it.
    const QString link =
        QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(m_file->handle())).symLinkTarget();
    if (!link.isEmpty())
        *movedTo = QDir::toNativeSeparators(link);
    return Change::Moved;
#endif
}

bool DataLog::startAnew(Change change, const QString &movedTo, const QDateTime &now,
                        const QLocale &locale)
{
    QString what;
    switch (change) {
    case Change::Deleted:
        what = QStringLiteral("Die Datei %1 wurde während der Aufzeichnung gelöscht; die "
                              "Datensätze bis dahin sind mit ihr verloren.")
                   .arg(nativePath());
        break;
    case Change::Moved:
        what = movedTo.isEmpty()
                   ? QStringLiteral("Die Datei %1 wurde während der Aufzeichnung verschoben oder "
                                    "umbenannt; die Datensätze bis dahin stehen in der "
                                    "verschobenen Datei.")
                         .arg(nativePath())
                   : QStringLiteral("Die Datei %1 wurde während der Aufzeichnung nach %2 "
                                    "verschoben; die Datensätze bis dahin stehen dort.")
                         .arg(nativePath(), movedTo);
        break;
    case Change::Replaced:
    case Change::None:
        what = QStringLiteral("Die Datei %1 wurde während der Aufzeichnung durch eine andere "
                              "ersetzt; die Datensätze bis dahin stehen nicht in ihr.")
                   .arg(nativePath());
        break;
    }
    // The old file gets everything written so far before it is let go.
    close();
    if (!openDevice() || !writeHeader(now, locale)) {
        m_error = what + QStringLiteral("\nSie lässt sich nicht neu anlegen: ") + m_error;
        return false;
    }
    m_notice = what + (change == Change::Replaced
                           ? QStringLiteral("\nDie Aufzeichnung geht in der Datei, die jetzt dort "
                                            "steht, mit einem neuen Kopfsatz weiter.")
                           : QStringLiteral("\nDie Datei wurde neu angelegt; die Aufzeichnung geht "
                                            "dort mit einem neuen Kopfsatz weiter."));
    return true;
}

bool DataLog::writeRecord(QByteArrayView field, const QDateTime &now, const QLocale &locale)
{
    return writeRecordAt(field, &now, &locale);
}

bool DataLog::writeRecord(QByteArrayView field)
{
    return writeRecordAt(field, nullptr, nullptr);
}

bool DataLog::writeRecordAt(QByteArrayView field, const QDateTime *now, const QLocale *locale)
{
    if (!isOpen()) {
        m_error = QStringLiteral("Die Datei %1 ist nicht geöffnet.").arg(nativePath());
        return false;
    }
    // One stat() a record: records written to a file that nobody can reach any more
    // would be lost without a word.
    QString movedTo;
    if (const Change change = changeAtPath(&movedTo); change != Change::None) {
        if (!startAnew(change, movedTo, now ? *now : QDateTime::currentDateTime(),
                       locale ? *locale : QLocale::system()))
            return false;
    }
    return writeWhole(formatRecord(field));
}

bool DataLog::writeWhole(QByteArrayView bytes)
{
    const char *data = bytes.data();
    qint64 left = bytes.size();
    int error = 0;
    while (left > 0) {
        errno = 0;
        const qint64 written = m_file->write(data, left);
        if (written <= 0) {
            error = errno;
            break;
        }
        data += written;
        left -= written;
    }
    if (left == 0)
        return true;

    const QString reason = m_file->errorString();
    QString text = isDiskFull(error, reason)
                       ? QStringLiteral("Der Datenträger ist voll: in die Datei %1 passt kein "
                                        "Datensatz mehr.")
                       : QStringLiteral("In die Datei %1 lässt sich nicht schreiben.");
    text = withSystemReason(text.arg(nativePath()), reason);
    // A torn record would run into the next one; the file has to end with a whole one.
    // Where it began is worked out only now: asking the file system for the size before
    // every record would cost a call per line for a case that hardly ever comes.
    const qint64 sizeBefore = m_file->size() - (bytes.size() - left);
    if (!m_file->resize(sizeBefore)) {
        text += QLatin1Char('\n') +
                withSystemReason(QStringLiteral("Der angefangene Datensatz ließ sich nicht "
                                                "wieder entfernen."),
                                 m_file->errorString());
    }
    m_error = text;
    return false;
}

void DataLog::dropFile()
{
    if (!m_file)
        return;
    m_file->close();
    m_file.reset();
}

bool DataLog::close()
{
    if (!m_file)
        return true;

    bool ok = true;
    int error = 0;
    QString reason;
    if (!m_file->flush()) {
        ok = false;
        reason = m_file->errorString();
    }
    if (!syncToMedium(m_file->handle(), &error)) {
        ok = false;
        if (reason.isEmpty())
            reason = systemText(error);
    }
    m_file->close();
    if (m_file->error() != QFileDevice::NoError && ok) {
        ok = false;
        reason = m_file->errorString();
    }
    m_file.reset();
    if (!ok) {
        const QString text =
            isDiskFull(error, reason)
                ? QStringLiteral("Der Datenträger ist voll: die Datei %1 ließ sich nicht "
                                 "vollständig schreiben.")
                : QStringLiteral("Die Datei %1 ließ sich nicht vollständig schreiben und "
                                 "schließen.");
        m_error = withSystemReason(text.arg(nativePath()), reason);
    }
    return ok;
}

QString homeFolderProblem()
{
#ifdef Q_OS_WIN
    return {};
#else
    // Qt falls back to the root folder when HOME is empty; a log there is nobody's.
    if (!qEnvironmentVariableIsSet("HOME"))
        return QStringLiteral("die Umgebungsvariable HOME ist nicht gesetzt");
    const QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty())
        return QStringLiteral("die Umgebungsvariable HOME ist leer");
    if (QDir::isRelativePath(home))
        return QStringLiteral("HOME (\u201E%1\u201C) ist kein absoluter Pfad").arg(home);
    if (QDir::cleanPath(home) == QDir::rootPath())
        return QStringLiteral("HOME ist der oberste Ordner des Systems");
    if (!QFileInfo(home).isDir())
        return QStringLiteral("der Ordner HOME (\u201E%1\u201C) existiert nicht").arg(home);
    return {};
#endif
}

QString defaultLogPath()
{
    // A demo or a test names a log of its own, so that simulated lines never mix with a
    // real gauge's records.
    const QString chosen = qEnvironmentVariable("KELMOR_LOG");
    if (!chosen.isEmpty())
        return QDir::toNativeSeparators(QFileInfo(chosen).absoluteFilePath());
#ifdef Q_OS_WIN
    return QStringLiteral("C:\\KelmorLog.txt");
#else
    if (!homeFolderProblem().isEmpty())
        return {};
    return QDir::toNativeSeparators(
        QDir(qEnvironmentVariable("HOME")).filePath(QStringLiteral("KelmorLog.txt")));
#endif
}

} // namespace kelmor
