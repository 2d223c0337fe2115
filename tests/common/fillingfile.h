#pragma once

#include <QFile>

#include <memory>
#include <utility>

namespace kelmor::test {

// A medium that fills up: while failing it takes `budget` more bytes and then refuses
// every write, until the test lets it recover by clearing `failing`.
struct Medium
{
    bool failing = false;
    qint64 budget = 0;
    int refusedWrites = 0;
};

// A file on such a medium, like a disk that fills up in the middle of a record. Several
// files may share one medium, as a log opened anew after a failure does.
class FillingFile : public QFile
{
public:
    FillingFile(const QString &path, std::shared_ptr<Medium> medium)
        : QFile(path), m_medium(std::move(medium))
    {
    }

    // A medium already full but for `room` bytes.
    FillingFile(const QString &path, qint64 room)
        : FillingFile(path, std::make_shared<Medium>(Medium{true, room, 0}))
    {
    }

protected:
    qint64 writeData(const char *data, qint64 len) override
    {
        if (!m_medium->failing)
            return QFile::writeData(data, len);
        if (m_medium->budget > 0) {
            const qint64 written = QFile::writeData(data, qMin(len, m_medium->budget));
            if (written > 0)
                m_medium->budget -= written;
            return written;
        }
        ++m_medium->refusedWrites;
        setErrorString(QStringLiteral("No space left on device"));
        return -1;
    }

private:
    std::shared_ptr<Medium> m_medium;
};

} // namespace kelmor::test
