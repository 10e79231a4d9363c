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
//
// "korvane-bench drive ..." is the driven console, started by the benchmark itself.

#include "driver.h"
#include "processes.h"
#include "startup.h"

#include "base/timer_value.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtGlobal>
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <pty.h>
#include <set>
#include <sstream>
#include <stdexcept>
#include <sys/utsname.h>
#include <unistd.h>

namespace bench {
namespace {

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

// ---- 1, 2, 6: the executable itself -------------------------------------------------------

struct Idle {
    std::vector<double> stat, sched, wakeUps; // percent of one core, percent, per second
};

double secondsSinceMidnight() {
    return korvane::SystemClock().secondsSinceMidnight();
}

// The step of a single-precision Timer value at this time of day.
double timerStep(double t) {
    const float f = static_cast<float>(std::max(t, 1.0));
    return static_cast<double>(std::nextafter(f, INFINITY) - f);
}

struct Session {
    Idle closed, sync;
    std::vector<double> timedIntervals;
    std::vector<double> sentIntervals; // the same, less the radio's own late reads
    int lateReads = 0;                 // polls the radio read more than a Timer step late
    double latestRead = 0;             // seconds
    int forcedPolls = 0;
    double pollSpan = 0;
    long peakKiB = 0;
    long firstHalfMaxKiB = 0, secondHalfMaxKiB = 0;
    double seconds = 0;
};

std::pair<int, int> buttonCentre(const std::string &geometry, const std::string &name) {
    std::istringstream in(geometry);
    std::string n;
    int x = 0, y = 0;
    while (in >> n >> x >> y) {
        if (n == name)
            return {x, y};
    }
    throw std::runtime_error("no place for " + name + " in the window");
}

Session runSession(const Setup &s) {
    const Durations &d = s.durations;
    Session out;
    Radio radio = startRadio(s.sim, {}, s.work, "session");
    const std::map<std::string, std::string> env{{"KORVANE_PORTS", "1=" + radio.device},
                                                 {"QT_QPA_PLATFORM", ""}};
    const std::string geometry = capture({s.self, "drive", "geometry"}, env);
    const auto probe = buttonCentre(geometry, "cmdCOMStatus");
    const auto sync = buttonCentre(geometry, "cmdSyncOnOff");

    const double started = monotonicNow();
    const pid_t pid = spawn({s.korvane}, env, s.work + "/korvane.out", s.work + "/korvane.err");
    std::vector<std::pair<double, long>> resident;
    auto waitSampling = [&](double until) {
        while (monotonicNow() < until) {
            resident.emplace_back(monotonicNow(), residentKiB(pid));
            sleepFor(std::min(0.5, until - monotonicNow()));
        }
    };
    auto idleWindows = [&](Idle &idle) {
        for (int i = 0; i < d.idleWindows; ++i) {
            const CpuUse a = cpuUse(pid);
            const double from = monotonicNow();
            waitSampling(from + d.idleWindow);
            const CpuUse b = cpuUse(pid);
            const double span = monotonicNow() - from;
            idle.stat.push_back(100.0 * (b.statSeconds - a.statSeconds) / span);
            idle.sched.push_back(100.0 * (b.schedSeconds - a.schedSeconds) / span);
            idle.wakeUps.push_back(static_cast<double>(b.wakeUps - a.wakeUps) / span);
        }
    };

    std::string window;
    while (window.empty() && monotonicNow() < started + 15.0) {
        std::istringstream found(
            capture({"/usr/bin/env", "xdotool", "search", "--onlyvisible", "--name", "^Korvane"}));
        found >> window;
        if (window.empty())
            sleepFor(0.1);
    }
    if (window.empty())
        throw std::runtime_error("the console's window did not appear");
    waitSampling(monotonicNow() + 2.0); // let start-up settle
    idleWindows(out.closed);

    auto click = [&](std::pair<int, int> at) {
        capture({"/usr/bin/env", "xdotool", "mousemove", "--window", window,
                 std::to_string(at.first), std::to_string(at.second), "click", "1"});
        waitSampling(monotonicNow() + 0.3);
    };
    click(probe);
    click(sync);
    double firstPoll = -1;
    for (const double giveUp = monotonicNow() + 5.0; firstPoll < 0 && monotonicNow() < giveUp;) {
        const RadioLog log = readRadioLog(radio.log);
        if (!log.polls.empty())
            firstPoll = log.polls.front();
        else
            waitSampling(monotonicNow() + 0.1);
    }
    if (firstPoll < 0)
        throw std::runtime_error("no poll reached the radio: the clicks missed the buttons");
    idleWindows(out.sync);
    waitSampling(std::max(firstPoll + d.pollSeconds, started + d.sessionSeconds));

    out.peakKiB = peakResidentKiB(pid);
    const double ended = monotonicNow();
    stop(pid, SIGTERM);
    stopRadio(radio);
    out.seconds = ended - started;
    const double middle = started + out.seconds / 2;
    for (const auto &[when, kib] : resident) {
        long &max = when < middle ? out.firstHalfMaxKiB : out.secondHalfMaxKiB;
        max = std::max(max, kib);
    }

    const RadioLog log = readRadioLog(radio.log);
    const std::vector<double> &polls = log.polls;
    for (std::size_t i = 1; i < polls.size(); ++i) {
        const double interval = polls[i] - polls[i - 1];
        // A poll sent at once after the fifteenth meter line follows the report, not the clock.
        if (interval < 1.0)
            ++out.forcedPolls;
        else
            out.timedIntervals.push_back(interval);
    }
    // The radio stamps a poll when its own process gets to read it. The console times each poll
    // from its own previous send, so it can never send one early: an interval that is short by
    // as much as the one before it is long means the radio read the poll between them late.
    const double usual = median(out.timedIntervals);
    const double step = timerStep(secondsSinceMidnight());
    std::vector<double> late(polls.size(), 0.0);
    for (std::size_t i = 1; i + 1 < polls.size(); ++i) {
        const double before = polls[i] - polls[i - 1], after = polls[i + 1] - polls[i];
        if (before >= 1.0 && after >= 1.0)
            late[i] = std::max(0.0, std::min(before - usual, usual - after));
        if (late[i] > step)
            ++out.lateReads;
        out.latestRead = std::max(out.latestRead, late[i]);
    }
    for (std::size_t i = 1; i < polls.size(); ++i) {
        const double interval = polls[i] - polls[i - 1];
        if (interval >= 1.0)
            out.sentIntervals.push_back(interval - late[i] + late[i - 1]);
    }
    if (log.polls.size() > 1)
        out.pollSpan = log.polls.back() - log.polls.front();
    return out;
}

// ---- 3: latency ---------------------------------------------------------------------------

struct Latency {
    std::vector<double> painted, set; // milliseconds after the radio's last byte
    int reports = 0, unmatched = 0;
};

Latency runLatency(const Setup &s, int baud) {
    Latency out;
    // Fifteen meter lines in every answer: each report brings the next poll at once, so that
    // many reports are seen in a short run. The receive path is the same for every report.
    Radio radio = startRadio(s.sim, {"--meter-lines", "15", "--baud", std::to_string(baud)}, s.work,
                             "latency-" + std::to_string(baud));
    const std::string result = s.work + "/latency-" + std::to_string(baud) + ".out";
    const pid_t pid = spawn({s.self, "drive", "latency", "--baud", std::to_string(baud),
                             "--seconds", fixed(s.durations.latencySeconds, 1), "--out", result},
                            {{"KORVANE_PORTS", "1=" + radio.device}, {"QT_QPA_PLATFORM", ""}}, {},
                            s.work + "/latency-driver.err");
    if (waitFor(pid, s.durations.latencySeconds + 60) == -1)
        stop(pid, SIGKILL);
    stopRadio(radio);

    const RadioLog log = readRadioLog(radio.log);
    std::size_t next = 0;
    std::istringstream in(readFile(result));
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = splitWords(line);
        if (f.size() != 4 || f[0] != "SHOWN")
            continue;
        const double set = std::stod(f[1]), painted = std::stod(f[2]);
        const QByteArray shown = QByteArray::fromHex(QByteArray::fromStdString(f[3]));
        // The report box shows the report with each line feed made "<".
        std::size_t i = next;
        while (i < log.reports.size()) {
            QByteArray text = QByteArray::fromStdString(log.reports[i].text);
            text.replace('\n', '<');
            if (text == shown && log.reports[i].end >= 0)
                break;
            ++i;
        }
        if (i == log.reports.size()) {
            ++out.unmatched;
            continue;
        }
        next = i + 1;
        out.painted.push_back(1000.0 * (painted - log.reports[i].end));
        out.set.push_back(1000.0 * (set - log.reports[i].end));
    }
    out.reports = static_cast<int>(out.painted.size());
    return out;
}

// ---- 4: throughput ------------------------------------------------------------------------

std::map<std::string, double> runStream(const Setup &s, int baud) {
    // Long reports: the radio paces each report on its own, and at 115200 baud a short one loses
    // part of a pacing step at its end, so the stream would fall short of the line's rate.
    Radio radio =
        startRadio(s.sim, {"--stream", "--meter-lines", "60", "--baud", std::to_string(baud)},
                   s.work, "stream-" + std::to_string(baud));
    const std::string result = s.work + "/stream-" + std::to_string(baud) + ".out";
    const pid_t pid = spawn({s.self, "drive", "throughput", "--baud", std::to_string(baud),
                             "--seconds", fixed(s.durations.streamSeconds, 1), "--radio-pid",
                             std::to_string(radio.pid), "--radio-log", radio.log, "--out", result},
                            {{"KORVANE_PORTS", "1=" + radio.device}, {"QT_QPA_PLATFORM", ""}}, {},
                            s.work + "/stream-driver.err");
    if (waitFor(pid, s.durations.streamSeconds + 60) == -1)
        stop(pid, SIGKILL);
    stopRadio(radio);
    std::map<std::string, double> values;
    std::istringstream in(readFile(result));
    std::string key;
    double value = 0;
    while (in >> key >> value)
        values[key] = value;
    return values;
}

// ---- 5: start-up --------------------------------------------------------------------------

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

// ---- 7: framing and routing ---------------------------------------------------------------

struct Micro {
    std::map<std::string, double> nanoseconds; // median cpu time per iteration
    std::map<std::string, double> perSecond;   // median items per second
    double charsPerLine = 0;
    double lines = 0;
};

Micro runMicro(const Setup &s) {
    Micro out;
    const std::string json =
        capture({s.micro, "--benchmark_format=json",
                 "--benchmark_repetitions=" + std::to_string(s.durations.microRepetitions),
                 "--benchmark_report_aggregates_only=true", "--benchmark_min_time=0.3"});
    const QJsonArray list =
        QJsonDocument::fromJson(QByteArray::fromStdString(json)).object()["benchmarks"].toArray();
    for (const QJsonValue &v : list) {
        const QJsonObject b = v.toObject();
        if (b["aggregate_name"].toString() != QLatin1String("median"))
            continue;
        const std::string name = b["run_name"].toString().toStdString();
        out.nanoseconds[name] = b["cpu_time"].toDouble();
        if (b.contains("items_per_second"))
            out.perSecond[name] = b["items_per_second"].toDouble();
        if (name == "BM_FrameAndRouteReport") {
            out.charsPerLine = b["chars_per_line"].toDouble();
            out.lines = b["lines"].toDouble();
        }
    }
    return out;
}

// ---- the table ----------------------------------------------------------------------------

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

struct Row {
    std::string item, measure, target, result, detail;
    int met = -1; // -1: no target to meet
};

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

std::vector<Row> idleRows(const Session &x, const Durations &d) {
    std::vector<Row> rows;
    const std::pair<const char *, const Idle *> cases[] = {
        {"Idle processor, window open, port closed", &x.closed},
        {"Idle processor, port open, sync on (radio answering)", &x.sync}};
    const char *items[] = {"1a", "1b"};
    int i = 0;
    for (const auto &[measure, idle] : cases) {
        const double stat = median(idle->stat);
        const double maxStat = *std::max_element(idle->stat.begin(), idle->stat.end());
        rows.push_back({items[i++], measure, "< 0.5 % of one core (median)", fixed(stat, 2) + " %",
                        "median of " + std::to_string(d.idleWindows) + " × " +
                            fixed(d.idleWindow, 0) + " s from utime+stime (max " +
                            fixed(maxStat, 2) + " %); scheduler's run time " +
                            fixed(median(idle->sched), 3) + " %; " +
                            fixed(median(idle->wakeUps), 1) + " wake-ups/s",
                        stat < 0.5});
    }
    return rows;
}

int run(Setup &s) {
    const double loadAtStart = loadAverage();
    const double timeOfDay = secondsSinceMidnight();
    const double step = timerStep(timeOfDay);
    const Durations &d = s.durations;
    std::vector<Row> rows;

    std::optional<Session> session;
    if (s.wants(1) || s.wants(2) || s.wants(6)) {
        note("the executable: idle, polling and memory (" + fixed(d.sessionSeconds, 0) + " s)");
        session = runSession(s);
        measured("1/2/6");
    }
    if (session && s.wants(1)) {
        for (Row &r : idleRows(*session, d))
            rows.push_back(r);
    }
    if (session && s.wants(2)) {
        const std::vector<double> &iv = session->timedIntervals;
        const double med = median(iv);
        const double max = iv.empty() ? std::nan("") : *std::max_element(iv.begin(), iv.end());
        rows.push_back(
            {"2", "Poll timing as the radio sees it (intervals between \"U\")",
             "median < 1.552 s; none > 1.560 s + Timer step",
             "median " + fixed(med, 4) + " s, max " + fixed(max, 4) + " s",
             std::to_string(iv.size()) + " timed intervals over " + fixed(session->pollSpan, 0) +
                 " s (p99 " + fixed(percentile(iv, 99), 4) + " s, min " +
                 fixed(iv.empty() ? std::nan("") : *std::min_element(iv.begin(), iv.end()), 4) +
                 " s); " + std::to_string(session->forcedPolls) +
                 " polls at once after 15 meter lines left out; Timer step " +
                 fixed(1000 * step, 3) + " ms; the radio itself read " +
                 std::to_string(session->lateReads) +
                 " polls more than a Timer step late (latest " +
                 fixed(1000 * session->latestRead, 1) +
                 " ms, the next interval short by as much); less its late reads, max " +
                 fixed(session->sentIntervals.empty()
                           ? std::nan("")
                           : *std::max_element(session->sentIntervals.begin(),
                                               session->sentIntervals.end()),
                       4) +
                 " s",
             med < 1.552 && max <= 1.560 + step});
    }
    if (s.wants(3)) {
        // Every report waits for the console to wake at its last byte; on a virtual machine
        // whose processor has halted that can take a few milliseconds that are not the
        // program's own. Measured alone, with nothing else running, to tell them apart.
        note("how late this machine wakes a sleeping process (" + fixed(d.latencySeconds / 3, 0) +
             " s)");
        const std::vector<double> wake = wakeUpDelays(0.030, d.latencySeconds / 3);
        g_wakeUps = "a process asleep 30 ms, woken by a byte through a pseudo-terminal, runs " +
                    fixed(median(wake), 2) + " ms late (median), " +
                    fixed(percentile(wake, 99), 2) + " ms (p99), " +
                    fixed(percentile(wake, 100), 2) + " ms (max) over " +
                    std::to_string(wake.size()) + " wake-ups";
        for (const int baud : {9600, 115200}) {
            note("report latency at " + std::to_string(baud) + " baud (" +
                 fixed(d.latencySeconds, 0) + " s)");
            const Latency l = runLatency(s, baud);
            measured(baud == 9600 ? "3a" : "3b");
            const double med = median(l.painted), p99 = percentile(l.painted, 99);
            rows.push_back({baud == 9600 ? "3a" : "3b",
                            "Report latency at " + std::to_string(baud) +
                                " baud: radio's last byte to the report painted in txtFromVO1446",
                            "median ≤ 32 ms (QuietTime 30 ms + 2), p99 ≤ 35 ms",
                            "median " + fixed(med, 1) + " ms, p99 " + fixed(p99, 1) + " ms",
                            std::to_string(l.reports) + " reports (" + std::to_string(l.unmatched) +
                                " unmatched); min " + fixed(percentile(l.painted, 0), 1) +
                                ", max " + fixed(percentile(l.painted, 100), 1) + " ms; text set " +
                                fixed(median(l.set), 1) + " ms (median)",
                            l.reports > 0 && med <= 32.0 && p99 <= 35.0});
        }
    }
    if (s.wants(4)) {
        for (const int baud : {9600, 115200}) {
            note("streaming at " + std::to_string(baud) + " baud (" + fixed(d.streamSeconds, 0) +
                 " s)");
            auto v = runStream(s, baud);
            measured(baud == 9600 ? "4a" : "4b");
            const double sent = v["lines_sent"], routed = v["lines_routed"];
            const double share = sent > 0 ? 100.0 * routed / sent : 0;
            const double lineRate = baud / 10.0;
            const double growth = v["resident_end_kib"] - v["resident_mid_kib"];
            const bool ok = v["aligned"] == 1 && sent > 0 && routed == sent &&
                            v["lines_lost"] == 0 && v["lines_wrong"] == 0 &&
                            v["meter_slot_agrees"] == 1 && v["longest_paint_gap"] <= 0.300 &&
                            growth <= kFlatKiB;
            rows.push_back(
                {baud == 9600 ? "4a" : "4b",
                 "Throughput, radio streaming without pause at " + std::to_string(baud) + " baud",
                 "100 % of lines routed; repaint ≤ 300 ms apart; memory flat (< 256 KiB)",
                 fixed(share, 3) + " % (" + fixed(routed, 0) + " of " + fixed(sent, 0) + " lines)",
                 fixed(v["lines_lost"], 0) + " lost, " + fixed(v["lines_wrong"], 0) +
                     " wrong; radio sent " + fixed(v["chars_per_second"], 0) + " chars/s (" +
                     fixed(100.0 * v["chars_per_second"] / lineRate, 1) +
                     " % of the line's rate); longest gap between repaints " +
                     fixed(1000 * v["longest_paint_gap"], 0) + " ms; resident set " +
                     fixed(v["resident_mid_kib"] / 1024, 1) + " MiB at half time, " +
                     (growth >= 0 ? "+" : "") + fixed(growth, 0) + " KiB by the end",
                 ok});
        }
    }
    if (s.wants(5)) {
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
    if (session && s.wants(6)) {
        const double growth =
            static_cast<double>(session->secondHalfMaxKiB - session->firstHalfMaxKiB);
        rows.push_back(
            {"6", "Peak memory (resident set) over a session",
             "< 60 MB; no growth in the second half (< 256 KiB)",
             fixed(static_cast<double>(session->peakKiB) * 1024 / 1e6, 1) + " MB",
             fixed(session->seconds, 0) + " s session (idle, then polling); highest resident set " +
                 fixed(static_cast<double>(session->firstHalfMaxKiB) / 1024.0, 2) +
                 " MiB in the first half, " +
                 fixed(static_cast<double>(session->secondHalfMaxKiB) / 1024.0, 2) +
                 " MiB in the second (" + (growth >= 0 ? "+" : "") + fixed(growth, 0) + " KiB)",
             static_cast<double>(session->peakKiB) * 1024 < 60e6 && growth <= kFlatKiB});
    }
    if (s.wants(7)) {
        note("framing and routing one line (Google Benchmark)");
        Micro m = runMicro(s);
        measured("7");
        const double perSecond = m.perSecond["BM_FrameAndRouteReport"];
        const double nsPerLine = perSecond > 0 ? 1e9 / perSecond : std::nan("");
        const double linesAtLineRate = m.charsPerLine > 0 ? 11520.0 / m.charsPerLine : 0;
        const double headroom = perSecond / linesAtLineRate;
        const double single = m.perSecond["BM_FrameAndRouteLine"];
        rows.push_back(
            {"7", "Framing and routing one line (frameBatch + slotForLine + DisplayToken)",
             "headroom over 115200 baud (11520 chars/s)",
             fixed(nsPerLine, 0) + " ns a line; headroom " + fixed(headroom, 0) + "×",
             "in a " + fixed(m.lines, 0) + "-line status report of " + fixed(m.charsPerLine, 1) +
                 " chars a line: " + fixed(perSecond * m.charsPerLine, 0) +
                 " chars/s on one core against 11520; one line in a batch of its own " +
                 fixed(single > 0 ? 1e9 / single : std::nan(""), 0) +
                 " ns; frameBatch of one line " + fixed(m.nanoseconds["BM_FrameOneLine"], 0) +
                 " ns, slotForLine " + fixed(m.nanoseconds["BM_SlotForLine"], 1) +
                 " ns, DisplayToken " + fixed(m.nanoseconds["BM_DisplayToken"], 0) +
                 " ns (medians of " + std::to_string(d.microRepetitions) + " repetitions)",
             -1});
    }
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
