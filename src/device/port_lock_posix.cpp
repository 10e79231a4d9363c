#include "device/port_lock.h"

#include "device/open_failure.h"

#include <QDir>
#include <QFile>
#include <QList>
#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace korvane {

namespace {

// Where lock files are looked for; on most systems /var/lock is a link to /run/lock.
const char *const kLockDirectories[] = {"/run/lock", "/var/lock"};

bool processLives(pid_t pid) {
    return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

RunTimeError inUse(const QString &where, const QString &why) {
    return RunTimeError(err::kDeviceInUse, QStringLiteral("%1 is held by %2").arg(where, why));
}

QString byProcess(pid_t pid) {
    return QStringLiteral("another program (process %1").arg(pid);
}

// The live holder of a lock file for the device, removing stale files on the way.
std::optional<std::pair<pid_t, QByteArray>> liveLockFile(const QByteArray &devicePath,
                                                         const QString &where) {
    QList<QByteArray> seen;
    for (const char *directory : kLockDirectories) {
        const QByteArray real = realDevicePath(directory);
        if (real.isEmpty() || seen.contains(real))
            continue;
        seen.append(real);
        const QByteArray file = QByteArray(directory) + '/' + lockFileName(devicePath);
        QFile lock(QFile::decodeName(file));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const std::optional<pid_t> pid = pidInLockFile(lock.read(128));
        lock.close();
        // A file naming this process is another control's of this program: live.
        if (pid && (*pid == ::getpid() || processLives(*pid)))
            return std::make_pair(*pid, file);
        // Its process is gone (or it names none): stale.
        if (::unlink(file.constData()) != 0 && errno != ENOENT) {
            const QString process = pid ? QStringLiteral("its process %1 is gone").arg(*pid)
                                        : QStringLiteral("it names no process");
            throw RunTimeError(
                err::kPermissionDenied,
                QStringLiteral("the stale lock file %1 of %2 (%3) cannot be removed by this "
                               "user (%4)")
                    .arg(QFile::decodeName(file), where, process, osReason(errno)));
        }
    }
    return std::nullopt;
}

// The process holding an flock on the device, from the kernel's table of locks.
std::optional<pid_t> flockHolder(const QByteArray &devicePath, bool includingThis) {
    struct stat info {};
    if (::stat(devicePath.constData(), &info) != 0)
        return std::nullopt;
    QFile locks(QStringLiteral("/proc/locks"));
    if (!locks.open(QIODevice::ReadOnly))
        return std::nullopt;
    // "1: FLOCK  ADVISORY  WRITE 4327 00:06:90 0 EOF"; waiters are listed with "->".
    const QByteArray node = QByteArray::number(major(info.st_dev), 16).rightJustified(2, '0') +
                            ':' +
                            QByteArray::number(minor(info.st_dev), 16).rightJustified(2, '0') +
                            ':' + QByteArray::number(static_cast<qulonglong>(info.st_ino));
    for (const QByteArray &line : locks.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] != "FLOCK")
            continue;
        if (fields[5] != node)
            continue;
        bool ok = false;
        const pid_t pid = static_cast<pid_t>(fields[4].toInt(&ok));
        if (ok && (includingThis || pid != ::getpid()))
            return pid;
    }
    return std::nullopt;
}

// The live process, other than this one, whose lock file names the device; nothing is removed.
std::optional<pid_t> otherLockFileHolder(const QByteArray &devicePath) {
    for (const char *directory : kLockDirectories) {
        QFile lock(QFile::decodeName(QByteArray(directory) + '/' + lockFileName(devicePath)));
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        const std::optional<pid_t> pid = pidInLockFile(lock.read(128));
        if (pid && *pid != ::getpid() && processLives(*pid))
            return pid;
    }
    return std::nullopt;
}

} // namespace

QString lockDirectoryProblem() {
    // The first place Qt's serial port tries, and where other programs look.
    const char *const directory = kLockDirectories[1];
    if (::access(directory, W_OK | X_OK) == 0)
        return QString();
    return QStringLiteral("the lock directory %1 cannot be written by this user (%2)")
        .arg(QString::fromLatin1(directory), osReason(errno));
}

bool heldByAnotherProgram(const QByteArray &devicePath) {
    return otherLockFileHolder(devicePath) || flockHolder(devicePath, false);
}

std::optional<pid_t> pidInLockFile(const QByteArray &content) {
    if (content.size() == 4 && !content.contains('\n')) {
        // The old UUCP manner: the process id as a binary integer.
        int pid = 0;
        std::memcpy(&pid, content.constData(), sizeof pid);
        if (pid > 0)
            return static_cast<pid_t>(pid);
    }
    const QByteArray first = content.left(content.indexOf('\n')).trimmed();
    qsizetype digits = 0;
    while (digits < first.size() && first[digits] >= '0' && first[digits] <= '9')
        ++digits;
    if (digits == 0 || digits > 10)
        return std::nullopt;
    bool ok = false;
    const qlonglong pid = first.left(digits).toLongLong(&ok);
    if (!ok || pid <= 0 || pid > INT_MAX)
        return std::nullopt;
    return static_cast<pid_t>(pid);
}

QByteArray lockFileName(const QByteArray &devicePath) {
    QByteArray name = devicePath;
    if (name.startsWith("/dev/"))
        name.remove(0, 5);
    name.replace('/', '_');
    return QByteArrayLiteral("LCK..") + name;
}

QByteArray realDevicePath(const QByteArray &path) {
    char resolved[PATH_MAX];
    if (::realpath(path.constData(), resolved) == nullptr)
        return QByteArray();
    return QByteArray(resolved);
}

QList<pid_t> processesHolding(const QByteArray &devicePath) {
    QList<pid_t> holders;
    const QDir proc(QStringLiteral("/proc"));
    const QString self = QString::number(::getpid());
    for (const QString &entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const pid_t pid = static_cast<pid_t>(entry.toInt(&ok));
        if (!ok || entry == self)
            continue;
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(entry));
        for (const QString &fd : fds.entryList(QDir::Files | QDir::System)) {
            char target[PATH_MAX];
            const QByteArray link = QFile::encodeName(fds.filePath(fd));
            const ssize_t n = ::readlink(link.constData(), target, sizeof target - 1);
            if (n > 0 && QByteArray(target, n) == devicePath) {
                holders.append(pid);
                break;
            }
        }
    }
    return holders;
}

void PortLock::acquire(const QByteArray &devicePath, const QString &where) {
    release();
    if (const auto holder = liveLockFile(devicePath, where)) {
        throw inUse(where, byProcess(holder->first) + QStringLiteral(", lock file ") +
                               QFile::decodeName(holder->second) + QLatin1Char(')'));
    }
    // Asked first without opening the device: opening a real line raises its modem lines under
    // the holder's feet.
    if (const auto holder = flockHolder(devicePath, false))
        throw inUse(where, byProcess(*holder) + QStringLiteral(", which has it locked)"));
    const int fd = ::open(devicePath.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return; // the open proper says why
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) {
            const std::optional<pid_t> holder = flockHolder(devicePath, true);
            throw inUse(where, holder
                                   ? byProcess(*holder) + QStringLiteral(", which has it locked)")
                                   : QStringLiteral("another program, which has it locked"));
        }
        return; // a device without flock (it has no file system to lock in) is not held so
    }
    m_fd = fd;
}

void PortLock::release() {
    if (m_fd >= 0) {
        ::close(m_fd); // the flock goes with it
        m_fd = -1;
    }
}

} // namespace korvane
