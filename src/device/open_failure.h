#pragma once
// Why a local serial device would not open. Qt folds several causes into one error code (a lock
// file held elsewhere and a device without access rights are both "permission"), so the device
// itself is asked again, and the operating system's answer decides the error number.

#include "base/run_time_error.h"

#include <QString>

namespace korvane {

// `where` names the port in the message; `lockRefused` says Qt refused for a lock; `qtReason` is
// Qt's own text, used when the device itself opens now.
RunTimeError openFailure(const QString &where, const QString &path, bool lockRefused,
                         const QString &qtReason);

// The operating system's text for an errno value.
QString osReason(int error);

} // namespace korvane
