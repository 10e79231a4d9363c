// 1, 2, 6: the korvane executable itself, idle with its port closed, then clicked to "Start Probe"
// and "Start Sync" against the radio: processor time from /proc/PID/stat, every poll from the
// radio's log, the resident set from /proc/PID/status. xdotool clicks the real program's buttons.

#include "handlers/protocol/protocol_timing.h"
#include "measures.h"
#include "processes.h"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>

namespace bench {
namespace {

using korvane::kForcedPollJLines;
using korvane::kPollInterval;
// How far past the poll interval the radio may see the polls: the median within 2 ms (the
// loop's wake and the line), none more than 10 ms late beyond a step of the Timer.
constexpr double kPollMedianSlack = 0.002;
constexpr double kPollMaxSlack = 0.010;

struct Idle {
    std::vector<double> stat, sched, wakeUps; // percent of one core, percent, per second
};

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

// The whole session, or with `logPath` only its idle windows with sync on, the session logged
// there (the executable's own --log), or with `network` only those windows, the radio reached
// through ser2net on loopback.
Session runSession(const Setup &s, const std::string &logPath = {}, bool network = false) {
    const Durations &d = s.durations;
    const bool whole = logPath.empty() && !network;
    Session out;
    Radio radio = startRadio(s.sim, {}, s.work,
                             whole     ? "session"
                             : network ? "session-network"
                                       : "session-logged");
    Server server;
    if (network)
        server = startSer2net(radio.device, s.work, "session-ser2net");
    const std::map<std::string, std::string> env{
        {"KORVANE_PORTS", "1=" + (network ? server.url : radio.device)}, {"QT_QPA_PLATFORM", ""}};
    const std::string geometry = capture({s.self, "drive", "geometry"}, env);
    const auto probe = buttonCentre(geometry, "cmdCOMStatus");
    const auto sync = buttonCentre(geometry, "cmdSyncOnOff");

    const double started = monotonicNow();
    std::vector<std::string> argv{s.korvane};
    if (!logPath.empty())
        argv.insert(argv.end(), {"--log", logPath});
    const pid_t pid = spawn(argv, env, s.work + "/korvane.out", s.work + "/korvane.err");
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
    if (whole)
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
    if (whole)
        waitSampling(std::max(firstPoll + d.pollSeconds, started + d.sessionSeconds));

    out.peakKiB = peakResidentKiB(pid);
    const double ended = monotonicNow();
    stop(pid, SIGTERM);
    stopServer(server);
    stopRadio(radio);
    out.seconds = ended - started;
    const double middle = started + out.seconds / 2;
    for (const auto &[when, kib] : resident) {
        long &max = when < middle ? out.firstHalfMaxKiB : out.secondHalfMaxKiB;
        max = std::max(max, kib);
    }

    const RadioLog log = readRadioLog(radio.log);
    const std::vector<double> polls(log.polls.cbegin(), log.polls.cend());
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

// The records of a session log and its size.
std::string logSize(const std::string &path) {
    const std::string text = readFile(path);
    const long records = static_cast<long>(std::count(text.begin(), text.end(), '\n'));
    return std::to_string(records) + " records, " + std::to_string(text.size()) + " bytes";
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

} // namespace

void measureExecutable(const Setup &s, double step, std::vector<Row> &rows) {
    const Durations &d = s.durations;
    if (!s.wants(1) && !s.wants(2) && !s.wants(6))
        return;
    note("the executable: idle, polling and memory (" + fixed(d.sessionSeconds, 0) + " s)");
    const Session session = runSession(s);
    measured("1/2/6");
    if (s.wants(1)) {
        // What the session log costs: the same idle windows with sync on, the session logged.
        note("the executable idle with sync on, the session logged (" +
             std::to_string(d.idleWindows) + " × " + fixed(d.idleWindow, 0) + " s)");
        const std::string logPath = s.work + "/session.log";
        const Session logged = runSession(s, logPath);
        measured("1c");
        const double stat = median(logged.sync.stat);
        const double maxStat = *std::max_element(logged.sync.stat.begin(), logged.sync.stat.end());
        rows.push_back(
            {"1c", "Idle processor, port open, sync on (radio answering), session logged",
             "< 0.5 % of one core (median), as 1b", fixed(stat, 2) + " %",
             "median of " + std::to_string(d.idleWindows) + " × " + fixed(d.idleWindow, 0) +
                 " s from utime+stime (max " + fixed(maxStat, 2) + " %); scheduler's run time " +
                 fixed(median(logged.sync.sched), 3) + " %; " +
                 fixed(median(logged.sync.wakeUps), 1) + " wake-ups/s; 1b without the log " +
                 fixed(median(session.sync.stat), 2) + " %; log " + logSize(logPath),
             stat < 0.5});
    }
    if (s.wants(1)) {
        // The same idle windows with sync on, the radio reached through ser2net on loopback.
        note("the executable idle with sync on, through ser2net (" + std::to_string(d.idleWindows) +
             " × " + fixed(d.idleWindow, 0) + " s)");
        const Session network = runSession(s, {}, true);
        measured("1d");
        const double stat = median(network.sync.stat);
        const double local = median(session.sync.stat);
        rows.push_back(
            {"1d",
             "Idle processor, port open, sync on (radio answering), network port (RFC 2217 "
             "through ser2net on loopback)",
             "within 0.1 points of 1b", fixed(stat, 2) + " %",
             "median of " + std::to_string(d.idleWindows) + " × " + fixed(d.idleWindow, 0) +
                 " s from utime+stime (max " +
                 fixed(*std::max_element(network.sync.stat.begin(), network.sync.stat.end()), 2) +
                 " %); scheduler's run time " + fixed(median(network.sync.sched), 3) + " %; " +
                 fixed(median(network.sync.wakeUps), 1) + " wake-ups/s; 1b " + fixed(local, 2) +
                 " % (" + (stat >= local ? "+" : "") + fixed(stat - local, 2) + " points)",
             stat - local <= 0.1});
    }
    if (s.wants(1)) {
        for (Row &r : idleRows(session, d))
            rows.push_back(r);
    }
    if (s.wants(2)) {
        const std::vector<double> &iv = session.timedIntervals;
        const double med = median(iv);
        const double max = iv.empty() ? std::nan("") : *std::max_element(iv.begin(), iv.end());
        rows.push_back(
            {"2", "Poll timing as the radio sees it (intervals between \"U\")",
             "median < " + fixed(kPollInterval + kPollMedianSlack, 3) + " s; none > " +
                 fixed(kPollInterval + kPollMaxSlack, 3) + " s + Timer step",
             "median " + fixed(med, 4) + " s, max " + fixed(max, 4) + " s",
             std::to_string(iv.size()) + " timed intervals over " + fixed(session.pollSpan, 0) +
                 " s (p99 " + fixed(percentile(iv, 99), 4) + " s, min " +
                 fixed(iv.empty() ? std::nan("") : *std::min_element(iv.begin(), iv.end()), 4) +
                 " s); " + std::to_string(session.forcedPolls) + " polls at once after " +
                 std::to_string(kForcedPollJLines) + " meter lines left out; Timer step " +
                 fixed(1000 * step, 3) + " ms; the radio itself read " +
                 std::to_string(session.lateReads) + " polls more than a Timer step late (latest " +
                 fixed(1000 * session.latestRead, 1) +
                 " ms, the next interval short by as much); less its late reads, max " +
                 fixed(session.sentIntervals.empty()
                           ? std::nan("")
                           : *std::max_element(session.sentIntervals.begin(),
                                               session.sentIntervals.end()),
                       4) +
                 " s",
             med < kPollInterval + kPollMedianSlack &&
                 max <= kPollInterval + kPollMaxSlack + step});
    }
    if (s.wants(6)) {
        const double growth =
            static_cast<double>(session.secondHalfMaxKiB - session.firstHalfMaxKiB);
        rows.push_back(
            {"6", "Peak memory (resident set) over a session",
             "< 60 MB; no growth in the second half (< 256 KiB)",
             fixed(static_cast<double>(session.peakKiB) * 1024 / 1e6, 1) + " MB",
             fixed(session.seconds, 0) + " s session (idle, then polling); highest resident set " +
                 fixed(static_cast<double>(session.firstHalfMaxKiB) / 1024.0, 2) +
                 " MiB in the first half, " +
                 fixed(static_cast<double>(session.secondHalfMaxKiB) / 1024.0, 2) +
                 " MiB in the second (" + (growth >= 0 ? "+" : "") + fixed(growth, 0) + " KiB)",
             static_cast<double>(session.peakKiB) * 1024 < 60e6 && growth <= kFlatKiB});
    }
}

} // namespace bench
