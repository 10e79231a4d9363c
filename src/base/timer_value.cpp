#include "base/timer_value.h"

#include <charconv>
#include <cmath>
#include <ctime>

namespace korvane {

namespace {
// The thread-safe local time: POSIX's localtime_r, or Windows' localtime_s with its arguments the
// other way round.
tm localTime(std::time_t seconds) {
    tm local{};
#ifdef _WIN32
    localtime_s(&local, &seconds);
#else
    localtime_r(&seconds, &local);
#endif
    return local;
}
} // namespace

double SystemClock::secondsSinceMidnight() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    const tm local = localTime(ts.tv_sec);
    return local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec +
           static_cast<double>(ts.tv_nsec) / 1e9;
}

namespace {
SystemClock g_systemClock;
Clock *g_clock = &g_systemClock;
} // namespace

Clock &clock() {
    return *g_clock;
}
void setClock(Clock *c) {
    g_clock = c ? c : &g_systemClock;
}

double midnightCorrected(double remembered, double now) {
    if (static_cast<float>(remembered) > static_cast<float>(now))
        return remembered - kSecondsPerDay;
    return remembered;
}

double momentTimerExceeds(double base, double limit) {
    // The first single-precision value f with f - base > limit ...
    float f = static_cast<float>(base + limit);
    while (static_cast<double>(f) - base <= limit)
        f = std::nextafter(f, INFINITY);
    // ... is what the clock reads from half a step below it (round to nearest).
    const float below = std::nextafter(f, -INFINITY);
    return (static_cast<double>(f) + static_cast<double>(below)) / 2.0;
}

namespace {
// The general format: up to `digits` significant digits, trailing zeros and a trailing point
// removed, exponent notation for very large or small values. std::to_chars never looks at the
// process locale, which Qt sets from the user's environment.
QString general(double value, int digits) {
    char buf[64];
    const auto result =
        std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, digits);
    return QString::fromLatin1(buf, result.ptr - buf).toUpper();
}
} // namespace

QString signPlaceForm(float value) {
    const QString digits = general(static_cast<double>(value), 7);
    return digits.startsWith(QLatin1Char('-')) ? digits : QLatin1Char(' ') + digits;
}

QString generalNumber(double value, int digits, const QLocale &locale) {
    QString text = general(value, digits);
    const QString point = locale.decimalPoint();
    if (point != QStringLiteral("."))
        text.replace(QLatin1Char('.'), point);
    return text;
}

} // namespace korvane
