// 7: framing and routing one line, timed by korvane-bench-micro (Google Benchmark, micro.cpp).

#include "measures.h"
#include "processes.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <map>

namespace bench {
namespace {

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

} // namespace

void measureFraming(const Setup &s, std::vector<Row> &rows) {
    const Durations &d = s.durations;
    if (!s.wants(7))
        return;
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
             fixed(single > 0 ? 1e9 / single : std::nan(""), 0) + " ns; frameBatch of one line " +
             fixed(m.nanoseconds["BM_FrameOneLine"], 0) + " ns, slotForLine " +
             fixed(m.nanoseconds["BM_SlotForLine"], 1) + " ns, DisplayToken " +
             fixed(m.nanoseconds["BM_DisplayToken"], 0) + " ns (medians of " +
             std::to_string(d.microRepetitions) + " repetitions)",
         -1});
}

} // namespace bench
