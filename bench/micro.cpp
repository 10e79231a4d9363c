// The cost of the work done for every received line: framing it out of a batch and routing it to
// its status slot. Each figure is per line; the benchmark sets it against the line rate of the
// fastest line the radio can be on.
//
// Routing writes into the real window (shown on the offscreen platform), so the cost of updating
// a slot's text is in the figure; painting is not, as it happens once per pass of the loop, not
// once per line.

#include "app/korvane_app.h"
#include "text/framing.h"
#include "text/token_keys.h"

#include <QApplication>
#include <benchmark/benchmark.h>
#include <memory>

namespace {

using namespace korvane;

Korvane *g_console = nullptr;

// A meter line that wanders, as the radio's does, so that each slot's text really changes.
QString meterLine(int i) {
    return QStringLiteral("J%1").arg(i % 1000, 3, 10, QLatin1Char('0'));
}

// A full status report: one line per key, then ".", about seven characters a line.
QString statusReport(int variant) {
    QString report;
    for (const TokenKey &key : kTokenKeys) {
        if (key.first == '.')
            continue;
        report += QLatin1Char(key.first);
        if (key.second != 0)
            report += QLatin1Char(key.second);
        report += QStringLiteral("%1\n").arg(1000 + variant, 5, 10, QLatin1Char('0'));
    }
    return report + QStringLiteral(".\n");
}

void BM_FrameOneLine(benchmark::State &state) {
    FramingState framing;
    const QString batch = QStringLiteral("J057\n");
    for (auto _ : state)
        benchmark::DoNotOptimize(frameBatch(batch, framing));
}
BENCHMARK(BM_FrameOneLine);

void BM_SlotForLine(benchmark::State &state) {
    const QString line = QStringLiteral("QT1");
    for (auto _ : state)
        benchmark::DoNotOptimize(slotForLine(line));
}
BENCHMARK(BM_SlotForLine);

void BM_DisplayToken(benchmark::State &state) {
    int i = 0;
    QStringList lines;
    for (int n = 0; n < 16; ++n)
        lines << meterLine(n);
    for (auto _ : state) {
        g_console->routing.DisplayToken(lines[i++ & 15]);
        g_console->state.JTokenCount = 0;
    }
}
BENCHMARK(BM_DisplayToken);

// One line as it comes: framed out of its batch, then routed.
void BM_FrameAndRouteLine(benchmark::State &state) {
    FramingState framing;
    QStringList batches;
    for (int n = 0; n < 16; ++n)
        batches << meterLine(n) + QLatin1Char('\n');
    int i = 0;
    for (auto _ : state) {
        const FramedBatch batch = frameBatch(batches[i++ & 15], framing);
        for (const QString &line : batch.lines)
            g_console->routing.DisplayToken(line);
        g_console->state.JTokenCount = 0;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["chars_per_line"] = static_cast<double>(batches[0].size());
}
BENCHMARK(BM_FrameAndRouteLine);

// A whole status report framed and routed; the figure is per line.
void BM_FrameAndRouteReport(benchmark::State &state) {
    FramingState framing;
    const QString reports[2] = {statusReport(0), statusReport(1)};
    const auto lines = static_cast<double>(reports[0].count(QLatin1Char('\n')));
    int i = 0;
    for (auto _ : state) {
        const FramedBatch batch = frameBatch(reports[i++ & 1], framing);
        for (const QString &line : batch.lines)
            g_console->routing.DisplayToken(line);
        g_console->state.JTokenCount = 0;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(lines));
    state.counters["lines"] = lines;
    state.counters["chars_per_line"] = static_cast<double>(reports[0].size()) / lines;
}
BENCHMARK(BM_FrameAndRouteReport);

} // namespace

int main(int argc, char *argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    auto console = std::make_unique<Korvane>(dispatchPending, [] {});
    console->window.show();
    QApplication::processEvents();
    g_console = console.get();

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
