// 3: report latency. The console is driven from inside (driver.cpp): the moment each report is
// painted in txtFromVO1446 is set against the radio's log on the same clock. Before it, how late
// this machine wakes a sleeping process, measured alone, to tell the machine's share apart.

#include "measures.h"
#include "processes.h"

#include <QByteArray>
#include <algorithm>
#include <csignal>
#include <sstream>

namespace bench {
namespace {

struct Latency {
    std::vector<double> painted, set; // milliseconds after the radio's last byte
    int reports = 0, unmatched = 0;
};

// With `logPath`, the driven console logs the session there; with `network`, it reaches the radio
// through ser2net on loopback.
Latency runLatency(const Setup &s, int baud, const std::string &logPath = {},
                   bool network = false) {
    Latency out;
    const std::string name =
        std::to_string(baud) + (logPath.empty() ? "" : "-logged") + (network ? "-network" : "");
    // Fifteen meter lines in every answer: each report brings the next poll at once, so that
    // many reports are seen in a short run. The receive path is the same for every report.
    Radio radio = startRadio(s.sim, {"--meter-lines", "15", "--baud", std::to_string(baud)}, s.work,
                             "latency-" + name);
    const std::string result = s.work + "/latency-" + name + ".out";
    std::vector<std::string> driver{s.self,
                                    "drive",
                                    "latency",
                                    "--baud",
                                    std::to_string(baud),
                                    "--seconds",
                                    fixed(s.durations.latencySeconds, 1),
                                    "--out",
                                    result};
    if (!logPath.empty())
        driver.insert(driver.end(), {"--log", logPath});
    Server server;
    if (network)
        server = startSer2net(radio.device, s.work, "latency-ser2net-" + name);
    const pid_t pid = spawn(
        driver,
        {{"KORVANE_PORTS", "1=" + (network ? server.url : radio.device)}, {"QT_QPA_PLATFORM", ""}},
        {}, s.work + "/latency-driver.err");
    if (waitFor(pid, s.durations.latencySeconds + 60) == -1)
        stop(pid, SIGKILL);
    stopServer(server);
    stopRadio(radio);

    const RadioLog log = readRadioLog(radio.log);
    qsizetype next = 0;
    std::istringstream in(readFile(result));
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> f = splitWords(line);
        if (f.size() != 4 || f[0] != "SHOWN")
            continue;
        const double set = std::stod(f[1]), painted = std::stod(f[2]);
        const QByteArray shown = QByteArray::fromHex(QByteArray::fromStdString(f[3]));
        // The report box shows the report with each line feed made "<".
        qsizetype i = next;
        while (i < log.reports.size()) {
            QByteArray text = log.reports[i].text;
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

std::string figures(const Latency &l) {
    return "median " + fixed(median(l.painted), 1) + " ms, p99 " +
           fixed(percentile(l.painted, 99), 1) + " ms";
}

Row latencyRow(const std::string &item, const std::string &measure, const Latency &l,
               const std::string &more, const Latency *local = nullptr) {
    const double med = median(l.painted), p99 = percentile(l.painted, 99);
    if (local) {
        const double over = med - median(local->painted);
        return {item,
                measure,
                "median within 2 ms of 3a",
                figures(l),
                std::to_string(l.reports) + " reports (" + std::to_string(l.unmatched) +
                    " unmatched); min " + fixed(percentile(l.painted, 0), 1) + ", max " +
                    fixed(percentile(l.painted, 100), 1) + " ms; 3a " + figures(*local) + " (" +
                    (over >= 0 ? "+" : "") + fixed(over, 1) + " ms)" + more,
                l.reports > 0 && over <= 2.0};
    }
    return {item,
            measure,
            "median ≤ 32 ms (QuietTime 30 ms + 2), p99 ≤ 35 ms",
            figures(l),
            std::to_string(l.reports) + " reports (" + std::to_string(l.unmatched) +
                " unmatched); min " + fixed(percentile(l.painted, 0), 1) + ", max " +
                fixed(percentile(l.painted, 100), 1) + " ms; text set " + fixed(median(l.set), 1) +
                " ms (median)" + more,
            l.reports > 0 && med <= 32.0 && p99 <= 35.0};
}

} // namespace

void measureLatency(const Setup &s, std::vector<Row> &rows) {
    const Durations &d = s.durations;
    if (!s.wants(3))
        return;
    // Every report waits for the console to wake at its last byte; on a virtual machine
    // whose processor has halted that can take a few milliseconds that are not the
    // program's own. Measured alone, with nothing else running, to tell them apart.
    note("how late this machine wakes a sleeping process (" + fixed(d.latencySeconds / 3, 0) +
         " s)");
    const std::vector<double> wake = wakeUpDelays(0.030, d.latencySeconds / 3);
    g_wakeUps = "a process asleep 30 ms, woken by a byte through a pseudo-terminal, runs " +
                fixed(median(wake), 2) + " ms late (median), " + fixed(percentile(wake, 99), 2) +
                " ms (p99), " + fixed(percentile(wake, 100), 2) + " ms (max) over " +
                std::to_string(wake.size()) + " wake-ups";
    Latency at9600;
    for (const int baud : {9600, 115200}) {
        note("report latency at " + std::to_string(baud) + " baud (" + fixed(d.latencySeconds, 0) +
             " s)");
        const Latency l = runLatency(s, baud);
        measured(baud == 9600 ? "3a" : "3b");
        if (baud == 9600)
            at9600 = l;
        rows.push_back(latencyRow(baud == 9600 ? "3a" : "3b",
                                  "Report latency at " + std::to_string(baud) +
                                      " baud: radio's last byte to the report painted in "
                                      "txtFromVO1446",
                                  l, ""));
    }
    // What the session log costs: the same at 9600 baud, every byte and message logged.
    note("report latency at 9600 baud, the session logged (" + fixed(d.latencySeconds, 0) + " s)");
    const std::string logPath = s.work + "/latency.log";
    const Latency logged = runLatency(s, 9600, logPath);
    measured("3c");
    const std::string log = readFile(logPath);
    rows.push_back(latencyRow(
        "3c", "Report latency at 9600 baud, session logged: as 3a, every byte written to the log",
        logged,
        "; 3a without the log " + figures(at9600) + "; log " +
            std::to_string(std::count(log.begin(), log.end(), '\n')) + " records, " +
            std::to_string(log.size()) + " bytes"));
    // The same through a network port: ser2net on loopback serving the radio's line.
    note("report latency at 9600 baud through ser2net (" + fixed(d.latencySeconds, 0) + " s)");
    const Latency network = runLatency(s, 9600, {}, true);
    measured("3d");
    rows.push_back(latencyRow("3d",
                              "Report latency at 9600 baud, network port (RFC 2217 through ser2net "
                              "on loopback): as 3a",
                              network, "", &at9600));
}

} // namespace bench
