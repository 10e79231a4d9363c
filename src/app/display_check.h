#pragma once
// Whether the window can reach a screen, asked before the application object is made: Qt meets
// a display it cannot reach by aborting with advice to reinstall, which helps nobody. A missing
// display, an empty DISPLAY and one that names no X server that answers are all told plainly
// instead, with exit status 2.

#include <QByteArray>
#include <optional>

namespace korvane {

// Nothing when the window can be shown; otherwise the first line of the message, saying what
// was found. A platform other than X named in QT_QPA_PLATFORM (offscreen, wayland, ...) is
// trusted as it stands.
std::optional<QByteArray> displayProblem();

} // namespace korvane
