#include "device/open_failure.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace korvane {

QString osReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

RunTimeError openFailure(const QString &where, const QString &path, bool lockRefused,
                         const QString &qtReason) {
    const int probe =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    const int error = errno;
    if (probe >= 0) {
        const bool isTerminal = ::isatty(probe) != 0;
        ::close(probe);
        if (!isTerminal) {
            return RunTimeError(err::kOpenFailed, where, QStringLiteral("not a serial device"));
        }
        if (lockRefused) {
            return RunTimeError(
                err::kDeviceInUse,
                QStringLiteral("%1 is held by another program (%2)").arg(where, qtReason));
        }
        return RunTimeError(err::kOpenFailed, where, qtReason);
    }
    switch (error) {
    case EACCES:
    case EPERM:
        return RunTimeError(err::kPermissionDenied,
                            QStringLiteral("%1 (%2); the user may need to be in the dialout group")
                                .arg(where, osReason(error)));
    case EBUSY:
        return RunTimeError(
            err::kDeviceInUse,
            QStringLiteral("%1 is held by another program (%2)").arg(where, osReason(error)));
    case ENOENT:
    case ENODEV:
    case ENXIO:
        return RunTimeError(err::kInvalidPortNumber,
                            QStringLiteral("%1 does not exist (%2)").arg(where, osReason(error)));
    default:
        return RunTimeError(err::kOpenFailed, where, osReason(error));
    }
}

} // namespace korvane
