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

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace korvane {

class OutsideEnd : public QObject {
public:
    // `closeWindow` asks the window to close, as the operator would; `closePort` closes the port
    // from an exit handler, where no event runs. One at a time per process.
    OutsideEnd(std::function<void()> closeWindow, std::function<void()> closePort);
    ~OutsideEnd() override;
    OutsideEnd(const OutsideEnd &) = delete;
    OutsideEnd &operator=(const OutsideEnd &) = delete;

private:
    void signalled();

    std::function<void()> m_closeWindow;
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace korvane
