#include "app/outside_end.h"

#include <cstdlib>

namespace korvane::outside {

namespace {
// The port's close for the exit handler; empty once the program no longer stands.
std::function<void()> g_closePortAtExit;

extern "C" void runPortCloseAtExit() {
    if (!g_closePortAtExit)
        return;
    const std::function<void()> close = std::move(g_closePortAtExit);
    g_closePortAtExit = nullptr;
    try {
        close();
    } catch (...) {
        // The process is ending: a port that cannot be closed is let go by the system.
    }
}
} // namespace

void closePortAtExit(std::function<void()> closePort) {
    static const bool registered = std::atexit(runPortCloseAtExit) == 0;
    (void)registered;
    g_closePortAtExit = std::move(closePort);
}

} // namespace korvane::outside
