#pragma once
// What every measure of korvane-bench shares: the durations of the short and the full run, the
// operator's choice of measures, the rows of the table and how it is printed, number formatting,
// and the notes on the machine's load as each measure ends.

#include <set>
#include <string>
#include <vector>

namespace bench {

struct Durations {
    int idleWindows = 3;
    double idleWindow = 10;      // seconds of each idle measurement
    double pollSeconds = 60;     // polls watched after "Start Sync"
    double sessionSeconds = 150; // the whole session of the executable, for its memory
    double latencySeconds = 30;  // each speed
    double streamSeconds = 20;   // each speed
    int startUps = 10;
    int microRepetitions = 5;
};

Durations fullDurations();

// A resident set that moves by less than this is flat: the allocator and the window system
// keep a few pages moving that are not the program's own growth.
constexpr double kFlatKiB = 256;

struct Setup {
    std::string self, korvane, sim, micro, work, commit;
    Durations durations;
    bool full = false;
    std::set<int> only;
    bool wants(int item) const { return only.empty() || only.count(item) != 0; }
};

struct Row {
    std::string item, measure, target, result, detail;
    int met = -1; // -1: no target to meet
};

std::string fixed(double value, int decimals);
double loadAverage();

// The load average as each measure ended: other work on the machine shows in every figure.
extern std::string g_loads;
// How late this machine wakes a sleeping process, when the latency was measured.
extern std::string g_wakeUps;

void note(const std::string &text);
// Adds the load average now to g_loads, under the name of the measure that just ended.
void measured(const std::string &item);

double secondsSinceMidnight();
// The step of a single-precision Timer value at this time of day.
double timerStep(double t);

void printTable(const Setup &s, const std::vector<Row> &rows, double loadAtStart, double loadAtEnd,
                double timeOfDay);

} // namespace bench
