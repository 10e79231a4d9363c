#pragma once
// The Timer value: seconds since local midnight with a fractional part, as the clock gives it in
// single precision. It drops back to 0 at midnight. Differences are taken in double precision.
//
// All time in Korvane comes from one Clock, so that tests can stand at 86399.0, step past
// midnight or set the clock back. The probe loop also asks the clock how long to sleep before a
// decision can change; that is real time, converted from a Timer difference.

#include <QLocale>
#include <QString>

namespace korvane {

inline constexpr double kSecondsPerDay = 86400.0;
// The Timer's coarsest step: single precision from 65536 s (18:12:16) to midnight.
inline constexpr double kLargestTimerStep = 1.0 / 128.0;

class Clock {
public:
    virtual ~Clock() = default;
    // Real seconds since local midnight, in [0, 86400), at the clock's full resolution.
    virtual double secondsSinceMidnight() const = 0;
    // The Timer value: the same, rounded to single precision.
    double timer() const { return static_cast<double>(static_cast<float>(secondsSinceMidnight())); }
};

// The machine's clock in local time.
class SystemClock final : public Clock {
public:
    double secondsSinceMidnight() const override;
};

// The clock the program runs on; tests install their own before building the window.
Clock &clock();
void setClock(Clock *clock); // nullptr restores the system clock

// A remembered Timer value that lies in the future of `now` (both seen in single precision) has
// been overtaken by midnight, or by the clock being set back: move it back by a day.
double midnightCorrected(double remembered, double now);

// The real seconds-since-midnight at which the Timer value first exceeds `threshold` (by the
// strict comparison timer - base > limit, with threshold = base + limit). Single precision makes
// the Timer step in 1/256 to 1/128 s late in the day, so the moment a decision changes is not
// simply the threshold.
double momentTimerExceeds(double base, double limit);

// " 45296.52": the place of the sign as a blank, then at most 7 significant digits, "." as the
// decimal point whatever the user's number settings, no trailing zeros.
QString signPlaceForm(float value);
// The general number format with at most `digits` significant digits, no leading blank, in the
// given locale's decimal separator.
QString generalNumber(double value, int digits, const QLocale &locale = QLocale());

} // namespace korvane
