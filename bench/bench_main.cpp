// korvane-bench: measures the real console against the simulated radio over pseudo-terminals and
// prints one table of medians, with the machine and the commit at the top.
//
//   korvane-bench --korvane PATH --sim PATH --micro PATH [--full] [--only 1,2,...]
//                 [--commit TEXT] [--keep]
//
// It needs a display (scripts/bench.sh runs it under Xvfb) and xdotool, to click the real
// program's buttons. What is measured, and how:
//   1, 2, 6  the korvane executable itself, idle with its port closed, then clicked to "Start
//            Probe" and "Start Sync" against the radio: processor time from /proc/PID/stat, every
//            poll from the radio's log, the resident set from /proc/PID/status.
//   3, 4     the console driven from inside (driver.cpp): the moment each report is painted in
//            txtFromVO1446, and every line routed, set against the radio's log on the same clock.
//   5        the korvane executable started again and again with 16 ports, watched from outside
//            (startup.cpp).
//   7        korvane-bench-micro (Google Benchmark): framing and routing one line.
//   1c, 3c   what the session log costs: 1b and 3a again with the session logged to a file.
//   1d, 3d   what a network port costs: 1b and 3a again with the radio reached through ser2net
//            on loopback (RFC 2217).
//
// Each family of measures lives in a file of its own (measures.h lists them); this file reads the
// options, runs the measures asked for in the order above and prints the table.
//
// "korvane-bench drive ..." is the driven console, started by the benchmark itself.

#include "bench.h"
#include "driver.h"
#include "measures.h"
#include "processes.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace bench {
namespace {

int run(Setup &s) {
    const double loadAtStart = loadAverage();
    const double timeOfDay = secondsSinceMidnight();
    const double step = timerStep(timeOfDay);
    std::vector<Row> rows;

    measureExecutable(s, step, rows);
    measureLatency(s, rows);
    measureThroughput(s, rows);
    measureStartUp(s, rows);
    measureFraming(s, rows);
    std::sort(rows.begin(), rows.end(), [](const Row &a, const Row &b) { return a.item < b.item; });
    printTable(s, rows, loadAtStart, loadAverage(), timeOfDay);
    return 0;
}

} // namespace
} // namespace bench

int main(int argc, char *argv[]) {
    using namespace bench;
    if (argc > 1 && std::string(argv[1]) == "drive")
        return drive(argc, argv);

    Setup s;
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    s.self = std::string(self, n > 0 ? static_cast<std::size_t>(n) : 0);
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc)
                throw std::runtime_error(a + " needs a value");
            return argv[++i];
        };
        if (a == "--korvane")
            s.korvane = value();
        else if (a == "--sim")
            s.sim = value();
        else if (a == "--micro")
            s.micro = value();
        else if (a == "--commit")
            s.commit = value();
        else if (a == "--full")
            s.full = true;
        else if (a == "--keep")
            keep = true;
        else if (a == "--only") {
            std::istringstream items(value());
            std::string item;
            while (std::getline(items, item, ','))
                s.only.insert(std::stoi(item));
        } else {
            std::fprintf(stderr, "korvane-bench: unknown argument %s\n", a.c_str());
            return 2;
        }
    }
    if (s.korvane.empty() || s.sim.empty() || s.micro.empty()) {
        std::fprintf(stderr, "usage: korvane-bench --korvane PATH --sim PATH --micro PATH "
                             "[--full] [--only 1,2,...] [--commit TEXT] [--keep]\n");
        return 2;
    }
    if (s.full)
        s.durations = fullDurations();
    char work[] = "/tmp/korvane-bench-XXXXXX";
    if (mkdtemp(work) == nullptr)
        return 1;
    s.work = work;
    int rc = 1;
    try {
        rc = run(s);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "korvane-bench: %s (files in %s)\n", e.what(), s.work.c_str());
        return 1;
    }
    if (keep)
        note("files kept in " + s.work);
    else
        capture({"/bin/rm", "-rf", s.work});
    return rc;
}
