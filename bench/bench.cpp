// The shared part of korvane-bench: durations, formatting, the load notes and the table with the
// machine and the commit at its top.

#include "bench.h"

#include "processes.h"

#include "base/timer_value.h"

#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sstream>
#include <sys/utsname.h>
#include <unistd.h>

namespace bench {

Durations fullDurations() {
    Durations d;
    d.idleWindow = 20;
    d.pollSeconds = 120;
    d.sessionSeconds = 600;
    d.latencySeconds = 120;
    d.streamSeconds = 60;
    d.startUps = 20;
    d.microRepetitions = 10;
    return d;
}

std::string fixed(double value, int decimals) {
    if (std::isnan(value))
        return "n/a";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

double loadAverage() {
    double load[1] = {std::nan("")};
    getloadavg(load, 1);
    return load[0];
}

// The load average as each measure ended: other work on the machine shows in every figure.
std::string g_loads;
// How late this machine wakes a sleeping process, when the latency was measured.
std::string g_wakeUps;

void note(const std::string &text) {
    std::fprintf(stderr, "korvane-bench: %s\n", text.c_str());
}

void measured(const std::string &item) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s%s %.2f", g_loads.empty() ? "" : ", ", item.c_str(),
                  loadAverage());
    g_loads += buf;
}

double secondsSinceMidnight() {
    return korvane::SystemClock().secondsSinceMidnight();
}

// The step of a single-precision Timer value at this time of day.
double timerStep(double t) {
    const float f = static_cast<float>(std::max(t, 1.0));
    return static_cast<double>(std::nextafter(f, INFINITY) - f);
}

namespace {

std::string firstLineWith(const std::string &path, const std::string &key) {
    std::istringstream in(readFile(path));
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0) {
            const auto colon = line.find(':');
            std::string value = colon == std::string::npos ? line : line.substr(colon + 1);
            value.erase(0, value.find_first_not_of(" \t"));
            return value;
        }
    }
    return {};
}

} // namespace

void printTable(const Setup &s, const std::vector<Row> &rows, double loadAtStart, double loadAtEnd,
                double timeOfDay) {
    utsname u{};
    uname(&u);
    char when[64];
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    strftime(when, sizeof when, "%Y-%m-%d %H:%M %Z", &local);
    const long memKiB =
        std::strtol(firstLineWith("/proc/meminfo", "MemTotal").c_str(), nullptr, 10);

    std::printf("Korvane benchmark, %s\n\n", when);
    std::printf("- Machine: %s, %ld cores, %ld MiB, Linux %s\n",
                firstLineWith("/proc/cpuinfo", "model name").c_str(), sysconf(_SC_NPROCESSORS_ONLN),
                memKiB / 1024, u.release);
    std::printf("- Commit: %s; Qt %s on Xvfb (xcb)\n", s.commit.c_str(), qVersion());
    std::printf("- Load average (1 min): %s at start, %s at end; as each measure ended: %s\n",
                fixed(loadAtStart, 2).c_str(), fixed(loadAtEnd, 2).c_str(), g_loads.c_str());
    if (!g_wakeUps.empty())
        std::printf("- Wake-up delay of this machine: %s\n", g_wakeUps.c_str());
    std::printf("- Durations: %s; Timer step at this time of day: %s ms\n\n",
                s.full ? "full (as the issue names them)"
                       : "short (default; --full for the issue's)",
                fixed(1000.0 * timerStep(timeOfDay), 3).c_str());
    std::printf("| # | Measure | Target | Result | Detail | Met |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Row &r : rows) {
        std::printf("| %s | %s | %s | %s | %s | %s |\n", r.item.c_str(), r.measure.c_str(),
                    r.target.c_str(), r.result.c_str(), r.detail.c_str(),
                    r.met < 0 ? "" : (r.met ? "yes" : "**no**"));
    }
    std::fflush(stdout);
}

} // namespace bench
