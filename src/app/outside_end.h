#pragma once
// The program ended from outside the window. SIGTERM, SIGINT and SIGHUP (a service manager, a
// terminal's Ctrl+C, a closed terminal) run the same shutdown as closing the window: the port is
// closed, its lock file and flock released, and the program ends with status 0. The handler only
// writes the signal's number to a socket pair; the window's event loop reads it and closes the
// window, so nothing but an async-signal-safe write runs inside the handler.
//
// When the window system goes away (the X server ends) Qt ends the process with exit() from
// inside the event loop: nothing of the window runs any more, but exit handlers do. The port is
// closed in one, so that its lock file does not outlive the program.
//
// That is Linux (outside_end_posix.cpp). Windows (outside_end_windows.cpp) has no signals: a
// console's Ctrl+C, Ctrl+Break and close, and the session's end, run the same shutdown.

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace korvane {

namespace outside {
// Both platforms' own: from now on `closePort` runs from an exit handler (an empty one: nothing
// does any more).
void closePortAtExit(std::function<void()> closePort);
} // namespace outside

class OutsideEnd : public QObject {
public:
    // `closeWindow` asks the window to close, as the operator would; `closePort` closes the port
    // from an exit handler, where no event runs. One at a time per process.
    OutsideEnd(std::function<void()> closeWindow, std::function<void()> closePort);
    ~OutsideEnd() override;
    OutsideEnd(const OutsideEnd &) = delete;
    OutsideEnd &operator=(const OutsideEnd &) = delete;

    // Runs the shutdown an end from outside asks for; on the window's thread only.
    void signalled();

private:
    std::function<void()> m_closeWindow;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace korvane
