#pragma once
// Deadlines for the waits that block without dispatching events (the receive burst's quiet wait,
// the drain of output): nanoseconds of the steady clock (CLOCK_MONOTONIC on Linux), unaffected by
// the clock being set.

#include "device/socket_os.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>

namespace korvane {

inline std::int64_t monotonicNsecs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The moment `seconds` from now; now for a time that is not positive (NaN included).
inline std::int64_t deadlineAfter(double seconds) {
    if (!(seconds > 0.0))
        return monotonicNsecs();
    const double nsecs = std::min(seconds, 1.0e6) * 1.0e9;
    return monotonicNsecs() + static_cast<std::int64_t>(std::ceil(nsecs));
}

// Whole milliseconds left until `deadline`, rounded up (a wait in milliseconds must not end
// before it); 0 once it has passed.
inline int msecsUntil(std::int64_t deadline) {
    const std::int64_t left = deadline - monotonicNsecs();
    return left <= 0 ? 0
                     : static_cast<int>(std::min<std::int64_t>((left + 999'999) / 1'000'000,
                                                               std::int64_t{1} << 30));
}

inline timespec toTimespec(std::int64_t nsecs) {
    return timespec{static_cast<time_t>(nsecs / 1'000'000'000),
                    static_cast<long>(nsecs % 1'000'000'000)};
}

// Sleeps until `deadline`, dispatching nothing; a signal may end it early.
inline void sleepUntil(std::int64_t deadline) {
    os::napFor(deadline - monotonicNsecs());
}

} // namespace korvane
