#pragma once
// Whether the window can reach a screen, asked before the application object is made: Qt meets
// a display it cannot reach by aborting with advice to reinstall, which helps nobody. A missing
// display, an empty DISPLAY, one that names no X server that answers, and a Wayland compositor
// that is not there are all told plainly instead, with exit status 2.
//
// The platform is the one Qt will take: Qt's own -platform option over QT_QPA_PLATFORM over
// Qt's default (Wayland first when WAYLAND_DISPLAY or the session says so, then X). X is looked
// for at Qt's -display option, else at DISPLAY; Wayland at WAYLAND_DISPLAY (by default
// "wayland-0"), a socket in XDG_RUNTIME_DIR unless the name is a whole path. Of a list of
// platforms ("wayland;xcb") one that answers is enough. Any other platform (offscreen, minimal,
// vnc, ...) needs no server and is trusted as it stands.
//
// What the look cannot foresee (a platform Qt does not have, a server that goes away between the
// look and Qt's own connection) is caught as Qt starts: PlatformStartWatch turns Qt's abort into
// the same message and status.

#include <QByteArray>
#include <QStringList>
#include <optional>

namespace korvane {

// Nothing when the window can be shown; otherwise the first line of the message, saying what
// was found. `qtArguments`: Qt's options from the command line.
std::optional<QByteArray> displayProblem(const QStringList &qtArguments);

// Prints "korvane: " and `problem`, then the advice on running without a desktop, to standard
// error. The caller ends the program with status 2.
void tellNoDisplay(const QByteArray &problem);

// For its life (the making of the application object), Qt's messages are held back, and Qt's
// end for want of a platform that starts is told as no display, with status 2, before the
// messages Qt gave on the way. Held messages that were not followed by that end go out as Qt
// would have put them when the watch ends.
class PlatformStartWatch {
public:
    explicit PlatformStartWatch(const QStringList &qtArguments);
    ~PlatformStartWatch();
    PlatformStartWatch(const PlatformStartWatch &) = delete;
    PlatformStartWatch &operator=(const PlatformStartWatch &) = delete;
};

} // namespace korvane
