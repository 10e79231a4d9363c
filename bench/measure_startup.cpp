// 5: start-up. The korvane executable started again and again with 16 ports, watched from
// outside (startup.cpp).

#include "measures.h"
#include "processes.h"
#include "startup.h"

#include <pty.h>
#include <stdexcept>
#include <unistd.h>

namespace bench {
namespace {

std::vector<StartUp> runStartUps(const Setup &s) {
    Radio radio = startRadio(s.sim, {}, s.work, "start-up");
    std::vector<std::string> ports{radio.device};
    std::vector<int> fds;
    while (ports.size() < 16) {
        int master = -1, slave = -1;
        char name[256];
        if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
            throw std::runtime_error("cannot open a pseudo-terminal");
        fds.push_back(master);
        fds.push_back(slave);
        ports.emplace_back(name);
    }
    std::vector<StartUp> runs;
    for (int i = 0; i < s.durations.startUps; ++i) {
        runs.push_back(measureStartUp(s.korvane, ports));
        sleepFor(0.2);
    }
    for (int fd : fds)
        close(fd);
    stopRadio(radio);
    return runs;
}

} // namespace

void measureStartUp(const Setup &s, std::vector<Row> &rows) {
    const Durations &d = s.durations;
    if (!s.wants(5))
        return;
    note("start-up with 16 ports (" + std::to_string(d.startUps) + " runs)");
    const std::vector<StartUp> runs = runStartUps(s);
    measured("5");
    std::vector<double> listed, shown;
    for (const StartUp &r : runs) {
        if (r.portsListed >= 0)
            listed.push_back(1000 * r.portsListed);
        if (r.windowShown >= 0)
            shown.push_back(1000 * r.windowShown);
    }
    const double med = median(listed);
    rows.push_back({"5", "Start-up: process start to window shown and 16 ports listed",
                    "median < 300 ms", fixed(med, 0) + " ms",
                    std::to_string(listed.size()) + " of " + std::to_string(runs.size()) +
                        " runs; min " + fixed(percentile(listed, 0), 0) + ", max " +
                        fixed(percentile(listed, 100), 0) + " ms; window mapped at " +
                        fixed(median(shown), 0) + " ms (median)",
                    !listed.empty() && med < 300});
}

} // namespace bench
