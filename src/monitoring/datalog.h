#pragma once

#include <QByteArrayView>
#include <QDateTime>
#include <QFileDevice>
#include <QLocale>
#include <QString>

#include <functional>
#include <memory>

namespace kelmor {

// The data log file of monitoring runs, opened for appending.
//
// Each record reaches the operating system before write returns, so a killed program
// loses nothing already written; close() also syncs it to disk. A record that could be
// written only in part is cut off again, so the file always ends with a whole record.
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
    // and errorString() tells why; the log stays open.
    bool writeRecord(QByteArrayView field);

    // Flushes, syncs and closes. Returns false (with errorString()) when the medium
    // refused the last bytes. Closing a closed log does nothing.
    bool close();

    bool isOpen() const;
    QString path() const { return m_path; }      // as given
    QString nativePath() const;                   // with the platform's separators
    QString errorString() const { return m_error; }

private:
    bool writeWhole(QByteArrayView bytes);

    QString m_path;
    DeviceFactory m_factory;
    std::unique_ptr<QFileDevice> m_file;
    QString m_error;
};

} // namespace kelmor
