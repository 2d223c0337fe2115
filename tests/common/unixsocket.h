#pragma once

#include <QFile>
#include <QString>

#include <cstring>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace kelmor::test {

// A listening Unix socket at the path, as a careless service might leave one where a
// file is expected. Returns its descriptor for the caller to close, or -1.
inline int bindSocket(const QString &path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    if (fd < 0 || native.size() >= qsizetype(sizeof address.sun_path)) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 1) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

} // namespace kelmor::test
