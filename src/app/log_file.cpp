#include "app/log_file.h"

#include <QFile>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {

QString reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// SIGPIPE held back for one write to something that is not a file: a reader that went away
// must fail the write, not end the program. A SIGPIPE the write raised is taken off again.
class PipeSignalHeld {
public:
    PipeSignalHeld() {
        sigemptyset(&m_pipe);
        sigaddset(&m_pipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
    }
    ~PipeSignalHeld() {
        sigset_t pending;
        sigpending(&pending);
        if (sigismember(&pending, SIGPIPE) == 1 && sigismember(&m_old, SIGPIPE) == 0) {
            const timespec none{};
            sigtimedwait(&m_pipe, nullptr, &none);
        }
        pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
    }
    PipeSignalHeld(const PipeSignalHeld &) = delete;
    PipeSignalHeld &operator=(const PipeSignalHeld &) = delete;

private:
    sigset_t m_pipe{}, m_old{};
};

} // namespace

LogFile::~LogFile() {
    close();
}

QString LogFile::open(const QString &path) {
    close();
    if (path.isEmpty())
        return QStringLiteral("no file named");
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return reason(errno);
    struct stat info {};
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        ::close(fd);
        return reason(error);
    }
    m_fd = fd;
    m_regular = S_ISREG(info.st_mode);
    m_path = path;
    return QString();
}

qint64 LogFile::writeAll(const QByteArray &bytes, int *error) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::write(m_fd, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            *error = n < 0 ? errno : ENOSPC; // a write that takes nothing: the disk is full
            return done;
        }
        done += n;
    }
    return done;
}

QString LogFile::append(const QByteArray &bytes) {
    if (m_fd < 0)
        return QStringLiteral("the log is not open");
    if (bytes.isEmpty())
        return QString();
    int error = 0;
    qint64 written = 0;
    if (m_regular) {
        written = writeAll(bytes, &error);
    } else {
        const PipeSignalHeld held;
        written = writeAll(bytes, &error);
    }
    QString why;
    if (error != 0) {
        why = reason(error);
        // Part of a record would read as a record that was never sent or received.
        struct stat info {};
        if (written > 0 && m_regular && ::fstat(m_fd, &info) == 0 && info.st_size >= written)
            (void)::ftruncate(m_fd, info.st_size - written);
    } else if (m_regular) {
        struct stat info {};
        if (::fstat(m_fd, &info) == 0 && info.st_nlink == 0)
            why = QStringLiteral("the file was removed");
    }
    if (!why.isEmpty())
        close();
    return why;
}

void LogFile::close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

} // namespace korvane
