#pragma once

#include <QFile>

namespace kelmor::test {

// A file that takes a fixed number of bytes and then refuses everything, like a disk
// that fills up in the middle of a record.
class FillingFile : public QFile
{
public:
    FillingFile(const QString &path, qint64 room) : QFile(path), m_room(room) {}

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        if (m_room <= 0) {
            setErrorString(QStringLiteral("No space left on device"));
            return -1;
        }
        const qint64 n = QFile::writeData(data, qMin(len, m_room));
        if (n > 0)
            m_room -= n;
        return n;
    }

private:
    qint64 m_room;
};

} // namespace kelmor::test
