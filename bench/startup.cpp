// Start-up timed from outside, with no help from the program: the benchmark notes the time, starts
// the korvane executable, and listens to two witnesses that stamp what the program does without
// slowing it down.
//
//  - The X server: the benchmark watches the root window for new windows being mapped, so it
//    hears the moment the console's window is shown.
//  - The kernel: each of the 16 devices in the port table is watched with inotify. Listing the
//    ports opens each device in turn and closes it again; the close of the last one is the moment
//    the list is complete. Filling the box happens between two probes and costs microseconds.
//
// The time from process start therefore includes everything the operator waits for: loading the
// program and its libraries, the connection to the display, building the window, showing it, and
// probing all 16 ports.

#include "startup.h"

#include "processes.h"

#include <X11/Xlib.h>
#include <csignal>
#include <map>
#include <poll.h>
#include <stdexcept>
#include <sys/inotify.h>
#include <unistd.h>

namespace bench {

StartUp measureStartUp(const std::string &korvane, const std::vector<std::string> &ports) {
    Display *display = XOpenDisplay(nullptr);
    if (display == nullptr)
        throw std::runtime_error("start-up needs a display");
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, True);

    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    std::map<int, std::size_t> portOfWatch;
    for (std::size_t i = 0; i < ports.size(); ++i)
        portOfWatch[inotify_add_watch(watch, ports[i].c_str(), IN_CLOSE)] = i;
    if (portOfWatch.size() != ports.size() || portOfWatch.count(-1) != 0)
        throw std::runtime_error("cannot watch the port devices");

    std::string table;
    for (std::size_t i = 0; i < ports.size(); ++i)
        table += (i ? " " : "") + std::to_string(i + 1) + "=" + ports[i];

    StartUp result;
    std::vector<bool> probed(ports.size(), false);
    std::size_t probedCount = 0;
    const double started = monotonicNow();
    const pid_t pid = spawn({korvane}, {{"KORVANE_PORTS", table}, {"QT_QPA_PLATFORM", ""}},
                            "/dev/null", "/dev/null");
    const double giveUp = started + 20.0;
    while ((result.windowShown < 0 || result.portsListed < 0) && monotonicNow() < giveUp) {
        pollfd fds[2] = {{watch, POLLIN, 0}, {ConnectionNumber(display), POLLIN, 0}};
        if (XPending(display) == 0)
            ::poll(fds, 2, 100);
        const double now = monotonicNow();
        alignas(inotify_event) char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(watch, buffer, sizeof buffer)) > 0) {
            for (char *p = buffer; p < buffer + n;) {
                const auto *event = reinterpret_cast<const inotify_event *>(p);
                const auto port = portOfWatch.find(event->wd);
                if (port != portOfWatch.end() && !probed[port->second]) {
                    probed[port->second] = true;
                    if (++probedCount == ports.size())
                        result.portsListed = now - started;
                }
                p += sizeof(inotify_event) + event->len;
            }
        }
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            // Menus and tooltips are override-redirect; the console's window is not.
            if (event.type == MapNotify && !event.xmap.override_redirect && result.windowShown < 0)
                result.windowShown = now - started;
        }
    }
    stop(pid, SIGTERM);
    ::close(watch);
    XCloseDisplay(display);
    return result;
}

} // namespace bench
