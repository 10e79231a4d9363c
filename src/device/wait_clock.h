#pragma once
// Deadlines for the waits that block without dispatching events (the receive burst's quiet wait,
// the drain of output): CLOCK_MONOTONIC nanoseconds, unaffected by the clock being set.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <poll.h>

namespace korvane {

inline std::int64_t monotonicNsecs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
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

// Sleeps until `deadline`, dispatching nothing.
inline void sleepUntil(std::int64_t deadline) {
    const timespec nap = toTimespec(std::max<std::int64_t>(0, deadline - monotonicNsecs()));
    ::ppoll(nullptr, 0, &nap, nullptr);
}

} // namespace korvane
