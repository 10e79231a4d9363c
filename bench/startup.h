#pragma once
// Start-up, watched from outside the real program (see startup.cpp).

#include <string>
#include <vector>

namespace bench {

struct StartUp {
    double windowShown = -1; // seconds from the start of the process to its window being mapped
    double portsListed = -1; // ... to the last of the 16 ports probed
};

// Starts the korvane executable with `ports` (16 devices, COM1 first) as its port table and times
// it from outside: the X server reports the window mapped, the kernel reports each device closed
// after its probe. Needs a display.
StartUp measureStartUp(const std::string &korvane, const std::vector<std::string> &ports);

} // namespace bench
