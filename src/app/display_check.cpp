#include "app/display_check.h"

#include <QtGlobal>
#include <xcb/xcb.h>

namespace korvane {

namespace {
// Whether an X server answers at `display`: the connection Qt would make, made and let go.
bool xServerAnswers(const QByteArray &display) {
    xcb_connection_t *connection = xcb_connect(display.constData(), nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}
} // namespace

std::optional<QByteArray> displayProblem() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    const bool onX = platform.isEmpty() || platform.startsWith("xcb");
    if (!onX || (platform.isEmpty() && !qgetenv("WAYLAND_DISPLAY").isEmpty()))
        return std::nullopt;
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        return QByteArrayLiteral("no display was found (neither DISPLAY nor WAYLAND_DISPLAY is "
                                 "set).");
    }
    if (!xServerAnswers(display))
        return QByteArrayLiteral("no display was found (no X server answers at DISPLAY=") +
               display + QByteArrayLiteral(").");
    return std::nullopt;
}

} // namespace korvane
