// 4: throughput. The radio streams without pause; the console, driven from inside (driver.cpp),
// counts every line routed and compares them with what the radio's log says it sent (4a, 4b).
// 4c: the backlog such a radio piles up behind the About box, and how long the window then goes
// without answering while it is framed and routed.

#include "measures.h"
#include "processes.h"

#include <csignal>
#include <map>
#include <sstream>

namespace bench {
namespace {

std::map<std::string, double> readValues(const std::string &file) {
    std::map<std::string, double> values;
    std::istringstream in(readFile(file));
    std::string key;
    double value = 0;
    while (in >> key >> value)
        values[key] = value;
    return values;
}

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
    return readValues(result);
}

std::map<std::string, double> runBacklog(const Setup &s, int run) {
    Radio radio = startRadio(s.sim, {"--stream", "--no-pace", "--meter-lines", "100"}, s.work,
                             "backlog-" + std::to_string(run));
    const std::string result = s.work + "/backlog-" + std::to_string(run) + ".out";
    const pid_t pid = spawn(
        {s.self, "drive", "backlog", "--radio-pid", std::to_string(radio.pid), "--out", result},
        {{"KORVANE_PORTS", "1=" + radio.device}, {"QT_QPA_PLATFORM", ""}}, {},
        s.work + "/backlog-driver.err");
    if (waitFor(pid, 90) == -1)
        stop(pid, SIGKILL);
    kill(radio.pid, SIGCONT);
    stopRadio(radio);
    return readValues(result);
}

} // namespace

void measureThroughput(const Setup &s, std::vector<Row> &rows) {
    const Durations &d = s.durations;
    if (!s.wants(4))
        return;
    for (const int baud : {9600, 115200}) {
        note("streaming at " + std::to_string(baud) + " baud (" + fixed(d.streamSeconds, 0) +
             " s)");
        auto v = runStream(s, baud);
        measured(baud == 9600 ? "4a" : "4b");
        const double sent = v["lines_sent"], routed = v["lines_routed"];
        const double share = sent > 0 ? 100.0 * routed / sent : 0;
        const double lineRate = baud / 10.0;
        const double growth = v["resident_end_kib"] - v["resident_mid_kib"];
        const bool ok = v["aligned"] == 1 && sent > 0 && routed == sent && v["lines_lost"] == 0 &&
                        v["lines_wrong"] == 0 && v["meter_slot_agrees"] == 1 &&
                        v["longest_paint_gap"] <= 0.300 && growth <= kFlatKiB;
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

    constexpr int kBacklogRuns = 5;
    note("a 200 KB backlog behind the About box, " + std::to_string(kBacklogRuns) + " runs");
    std::vector<double> gaps, drains, sizes;
    for (int run = 0; run < kBacklogRuns; ++run) {
        auto v = runBacklog(s, run);
        if (v["backlog_chars"] > 0) {
            gaps.push_back(v["longest_gap"]);
            drains.push_back(v["drain_seconds"]);
            sizes.push_back(v["backlog_chars"]);
        }
    }
    measured("4c");
    const double gap = median(gaps);
    const bool ok = gaps.size() == kBacklogRuns && gap <= 0.100;
    std::string each;
    for (const double g : gaps)
        each += (each.empty() ? "" : ", ") + fixed(1000 * g, 0);
    rows.push_back({"4c", "Backlog of a radio that never pauses, piled up behind the About box",
                    "window answers within 100 ms while it drains (longest gap, median of runs)",
                    fixed(1000 * gap, 0) + " ms",
                    std::to_string(gaps.size()) + " of " + std::to_string(kBacklogRuns) +
                        " runs; longest gaps " + each + " ms; backlog " +
                        fixed(median(sizes) / 1024, 0) + " K characters, framed and routed in " +
                        fixed(1000 * median(drains), 0) + " ms",
                    ok});
}

} // namespace bench
