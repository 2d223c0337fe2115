#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QFileDevice>
#include <QLocale>
#include <QString>

#include <functional>
#include <memory>

namespace kelmor {

// Where the data log lives: the file that the environment variable KELMOR_LOG names
// when it is set and not empty; otherwise "C:\KelmorLog.txt" on Windows and elsewhere
// KelmorLog.txt in the user's home directory. Absolute, native separators. Empty without
// KELMOR_LOG and without a usable home directory.
QString defaultLogPath();

// Why the environment names no usable home directory for the log, in German ("die
// Umgebungsvariable HOME ist nicht gesetzt"); empty when it does.
QString homeFolderProblem();

// The data log file of monitoring runs, opened for appending.
//
// Each record reaches the operating system before write returns, so a killed program
// loses nothing already written; close() also syncs it to disk. A record that could be
// written only in part is cut off again, so the file always ends with a whole record.
//
// Only a regular file (or a name not taken yet) is a log: a FIFO, socket, device or
// folder at the path is refused without being waited on. A file deleted, moved or
// replaced during a run is noticed at the next record; the log then starts anew at its
// path with a header, and takeNotice() tells what happened. Every message is German, with
// the system's own reason as "(Systemmeldung: ...)".
class DataLog
{
public:
    // Makes the device for a path; tests put a failing device here.
    using DeviceFactory = std::function<std::unique_ptr<QFileDevice>(const QString &path)>;

    explicit DataLog(QString path);
    ~DataLog(); // closes an open log with every record written

    DataLog(const DataLog &) = delete;
    DataLog &operator=(const DataLog &) = delete;

    void setDeviceFactory(DeviceFactory factory);

    // Opens for appending (creating the file if missing) and writes the header record
    // of a run. On failure the log stays closed and errorString() tells why.
    bool open(const QDateTime &now = QDateTime::currentDateTime(),
              const QLocale &locale = QLocale::system());

    // Writes one data record. On failure the file is cut back to its last whole record
    // and errorString() tells why; the log stays open. When the file at the path is no
    // longer the open one, the log is opened there anew with a header (dated `now`)
    // first, and takeNotice() has the text for the operator.
    bool writeRecord(QByteArrayView field, const QDateTime &now, const QLocale &locale);
    // The same, with the clock and the system's locale read only when a header is due:
    // at the gauge's line rate reading the local time for every record costs a system
    // call each.
    bool writeRecord(QByteArrayView field);

    // Flushes, syncs and closes. Returns false (with errorString()) when the medium
    // refused the last bytes. Closing a closed log does nothing.
    bool close();

    bool isOpen() const;
    QString path() const { return m_path; } // as given
    QString nativePath() const;             // with the platform's separators
    QString errorString() const { return m_error; }
    // What happened to the file since the last record, once; empty when nothing did.
    QString takeNotice();

private:
    enum class Change { None, Deleted, Moved, Replaced };

    bool openDevice();
    bool openAppending(QFileDevice *file); // as a regular file only, without waiting
    bool writeHeader(const QDateTime &now, const QLocale &locale);
    bool writeWhole(QByteArrayView bytes);
    Change changeAtPath(QString *movedTo) const;
    bool startAnew(Change change, const QString &movedTo, const QDateTime &now,
                   const QLocale &locale);
    bool writeRecordAt(QByteArrayView field, const QDateTime *now, const QLocale *locale);
    void dropFile();

    QString m_path;
    QByteArray m_encodedPath; // m_path for the system, looked up with every record
    DeviceFactory m_factory;
    std::unique_ptr<QFileDevice> m_file;
    QString m_error;
    QString m_notice;
    // The open file's identity, to tell whether the path still leads to it.
    quint64 m_device = 0;
    quint64 m_inode = 0;
};

} // namespace kelmor
