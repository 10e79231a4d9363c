#include "text/receive_text.h"

#include "base/comm_event.h"
#include "base/run_time_error.h"
#include "base/timer_value.h"

#include <algorithm>
#include <cmath>

namespace korvane {

namespace {
// The shortest sleep of the quiet wait: a wake-up a hair before the Timer has moved far enough
// sleeps once more, briefly, rather than spinning or overshooting by a whole millisecond.
constexpr double kMinQuietSleep = 0.0002;

double numberFrom(const QString &text, const QLocale &locale) {
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok)
        throw RunTimeError(err::kTypeMismatch);
    return value;
}
} // namespace

double quietSleep(double base, double now, double quietTime) {
    // Sleeping for the rest of the quiet time as the Timer counts it would often wake a step
    // late, and bounding the sleep by the quiet time alone would often wake early and sleep
    // twice: the moment can lie up to a whole step beyond it.
    const double quietEnds = momentTimerExceeds(base, std::nextafter(quietTime, 0.0));
    return std::clamp(quietEnds - now, kMinQuietSleep, quietTime + kLargestTimerStep);
}

QString commEventMessage(std::int16_t code) {
    switch (code) {
    case comEvSend:
    case comEvReceive:
        return QString();
    case comEvCTS:
        return QStringLiteral("Change in CTS Detected");
    case comEvDSR:
        return QStringLiteral("Change in DSR Detected");
    case comEvCD:
        return QStringLiteral("Change in CD Detected");
    case comEvRing:
        return QStringLiteral("The Phone is Ringing");
    case comEvEOF:
        return QStringLiteral("End of File Detected");
    case comEventBreak:
        return QStringLiteral("Break Received");
    case comEventCTSTO:
        return QStringLiteral("CTS Timeout");
    case comEventDSRTO:
        return QStringLiteral("DSR Timeout");
    case comEventFrame:
        return QStringLiteral("Framing Error");
    case comEventOverrun:
        return QStringLiteral("Overrun Error");
    case comEventCDTO:
        return QStringLiteral("Carrier Detect Timeout");
    case comEventRxOver:
        return QStringLiteral("Receive Buffer Overflow");
    case comEventRxParity:
        return QStringLiteral("Parity Error");
    case comEventTxFull:
        return QStringLiteral("Transmit Buffer Full");
    case comEventDCB:
        return QStringLiteral("Error retrieving DCB");
    default:
        return QStringLiteral("Unknown error or event");
    }
}

QString elapsedTimeText(const QString &commandText, const QString &responseText,
                        const QLocale &locale) {
    // The command time is always written with "." whatever the user's number settings.
    const double command = numberFrom(commandText, QLocale::c());
    const double response = numberFrom(responseText, locale);
    double elapsed = response - command;
    if (elapsed < 0.0)
        elapsed += kSecondsPerDay; // the response came after midnight
    return generalNumber(elapsed, 15, locale);
}

} // namespace korvane
