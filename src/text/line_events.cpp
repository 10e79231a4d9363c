#include "text/line_events.h"

#include "base/comm_event.h"

namespace korvane {

std::vector<std::int16_t> commEventsBetween(const LineLook &before, const LineLook &after) {
    const bool haveLines = before.modemLines && after.modemLines;
    const bool haveCounters = before.counters && after.counters;
    const int flipped = haveLines ? *before.modemLines ^ *after.modemLines : 0;
    const LineCounters was = haveCounters ? *before.counters : LineCounters{};
    const LineCounters now = haveCounters ? *after.counters : LineCounters{};

    struct Line {
        std::int16_t code;
        int bit;
        int LineCounters::*counter;
    };
    static constexpr Line kLines[] = {{comEvCTS, modem::kCts, &LineCounters::cts},
                                      {comEvDSR, modem::kDsr, &LineCounters::dsr},
                                      {comEvCD, modem::kCarrier, &LineCounters::dcd},
                                      {comEvRing, modem::kRing, &LineCounters::rng}};
    struct Fault {
        std::int16_t code;
        int LineCounters::*counter;
    };
    static constexpr Fault kFaults[] = {{comEventBreak, &LineCounters::brk},
                                        {comEventFrame, &LineCounters::frame},
                                        {comEventOverrun, &LineCounters::overrun},
                                        {comEventRxOver, &LineCounters::bufOverrun},
                                        {comEventRxParity, &LineCounters::parity}};

    std::vector<std::int16_t> events;
    for (const Line &line : kLines) {
        if ((flipped & line.bit) != 0 || now.*line.counter != was.*line.counter)
            events.push_back(line.code);
    }
    for (const Fault &fault : kFaults) {
        if (now.*fault.counter != was.*fault.counter)
            events.push_back(fault.code);
    }
    return events;
}

} // namespace korvane
