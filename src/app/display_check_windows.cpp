// Windows always has a desktop for a window program: there is no display to look for. Qt's own
// platform (windows, or offscreen when asked) starts as it is.
#include "app/display_check.h"

#include <cstdio>

namespace korvane {

std::optional<QByteArray> displayProblem(const QStringList &) {
    return std::nullopt;
}

void tellNoDisplay(const QByteArray &problem) {
    std::fprintf(stderr, "korvane: %s\n", problem.constData());
}

PlatformStartWatch::PlatformStartWatch(const QStringList &) {}

PlatformStartWatch::~PlatformStartWatch() = default;

} // namespace korvane
