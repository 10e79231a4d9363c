#include "app/log_file.h"

#include "text/path_bytes.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// What is at `name` when it cannot be the log, as said after its name; empty text when nothing
// is there yet or it is a regular file. Looked at without opening it: a serial device opened
// and closed again would drop its modem lines.
QString refusedKind(const QByteArray &name) {
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0)
        return QString();
    if (S_ISLNK(info.st_mode))
        return QStringLiteral(" is a symbolic link");
    if (!S_ISREG(info.st_mode))
        return QStringLiteral(" is not a regular file");
    return QString();
}

} // namespace

QString LogFile::open(const QString &path) {
    close();
    if (path.isEmpty())
        return QStringLiteral(": no file named");
    const QByteArray name = bytesOfPath(path);
    if (const QString kind = refusedKind(name); !kind.isEmpty())
        return kind;
    // Something may take the name between the look and the open: O_NOFOLLOW refuses a link put
    // there, O_NONBLOCK keeps a FIFO from holding the open, and the file opened is looked at
    // again below.
    const int fd = ::open(
        name.constData(),
        O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0) {
        const int error = errno;
        const QString kind = refusedKind(name);
        return kind.isEmpty() ? QStringLiteral(": ") + reason(error) : kind;
    }
    struct stat info {};
    const bool looked = ::fstat(fd, &info) == 0;
    const int error = errno;
    if (!looked || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return looked ? QStringLiteral(" is not a regular file")
                      : QStringLiteral(": ") + reason(error);
    }
    // A regular file's writes wait for no reader: they are made as ordinary writes.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    m_fd = fd;
    m_path = path;
    return QString();
}

qint64 LogFile::writeAll(const QByteArray &bytes, QString *why) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(m_fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *why = reason(n < 0 ? errno : ENOSPC); // a write that takes nothing: the disk is full
            return done;
        }
        done += n;
    }
    return done;
}

void LogFile::takeBack(qint64 bytes) {
    struct stat info {};
    if (::fstat(m_fd, &info) == 0 && info.st_size >= bytes)
        (void)::ftruncate(m_fd, info.st_size - bytes);
}

bool LogFile::removed() const {
    struct stat info {};
    return ::fstat(m_fd, &info) == 0 && info.st_nlink == 0;
}

void LogFile::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace korvane
