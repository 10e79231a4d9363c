#pragma once
// Clocks for tests: one that stands where the test puts it, and one that runs in real time from
// a chosen start (so that waits on a real device can run across midnight).

#include "base/timer_value.h"

#include <QElapsedTimer>

namespace korvane::test {

class ManualClock final : public Clock {
public:
    explicit ManualClock(double seconds = 36000.0) : m_seconds(seconds) {}
    double secondsSinceMidnight() const override { return m_seconds; }
    void set(double seconds) { m_seconds = seconds; }
    void advance(double seconds) {
        m_seconds += seconds;
        while (m_seconds >= kSecondsPerDay)
            m_seconds -= kSecondsPerDay;
    }

private:
    double m_seconds;
};

class RunningClock final : public Clock {
public:
    explicit RunningClock(double start) : m_start(start) { m_elapsed.start(); }
    double secondsSinceMidnight() const override {
        double s = m_start + static_cast<double>(m_elapsed.nsecsElapsed()) / 1e9;
        while (s >= kSecondsPerDay)
            s -= kSecondsPerDay;
        return s;
    }
    // Sets the clock back (or, negative, forward) by `seconds`, as the operator or a time
    // service would while the program runs.
    void setBack(double seconds) {
        m_start -= seconds;
        while (m_start < 0.0)
            m_start += kSecondsPerDay;
    }

private:
    double m_start;
    QElapsedTimer m_elapsed;
};

// Installs a clock for the life of the object.
class ClockInstaller {
public:
    explicit ClockInstaller(Clock *c) { setClock(c); }
    ~ClockInstaller() { setClock(nullptr); }
};

} // namespace korvane::test
