#pragma once
// The rules of receive handling that need no port and no window: the message each comm event
// gives, the elapsed time between a command and its response, and how long the quiet wait
// sleeps.

#include <QLocale>
#include <QString>
#include <cstdint>

namespace korvane {

// The message for a comm event or error code; empty for the codes that show nothing (1 and 2).
QString commEventMessage(std::int16_t code);

// The elapsed-time box's text for a command stamped `commandText` ("." as decimal point, a blank
// in front) and a response stamped `responseText` (the user's number settings). A response after
// midnight is a day later, not a negative time. Raises 13 when either text is not a number.
QString elapsedTimeText(const QString &commandText, const QString &responseText,
                        const QLocale &locale = QLocale());

// How long the quiet wait sleeps on the device, at `now`, for a line last heard at Timer value
// `base`: until the moment the Timer shows `quietTime` gone by. The Timer moves in steps, so that
// moment lies up to a step either side of the quiet time in real time. At midnight the moment
// lies in the next day and the sleep is bounded instead.
double quietSleep(double base, double now, double quietTime);

} // namespace korvane
