#pragma once
// The measures of korvane-bench, one family a file. Each runs its measure, notes the load as it
// ends and adds its rows to the table:
//   measure_session.cpp  1, 2, 6  the korvane executable: idle processor (1c: the session
//                                 logged; 1d: through ser2net), poll timing, memory
//   measure_latency.cpp  3        report latency (3c: the session logged; 3d: through
//                                 ser2net), and how late the machine wakes a process
//   measure_stream.cpp   4        throughput of a radio that never pauses
//   measure_startup.cpp  5        start-up with 16 ports
//   measure_micro.cpp    7        framing and routing one line

#include "bench.h"

#include <vector>

namespace bench {

// `step` is the Timer step at the start of the run, which the poll row is judged by.
void measureExecutable(const Setup &s, double step, std::vector<Row> &rows);
void measureLatency(const Setup &s, std::vector<Row> &rows);
void measureThroughput(const Setup &s, std::vector<Row> &rows);
void measureStartUp(const Setup &s, std::vector<Row> &rows);
void measureFraming(const Setup &s, std::vector<Row> &rows);

} // namespace bench
