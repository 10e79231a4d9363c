#pragma once
// The line settings text, "baud,parity,data,stop" as in "9600,O,7,1": parsed here, apart from the
// port, so that what the operator's boxes produce can be judged without a device.
//
// Parity is one letter of E, M, N, O, S (either case), data bits 4 to 8, stop bits 1, 1.5 or 2,
// baud a positive whole number. A text that does not parse is refused when it is set. A text that
// parses but asks for what the operating system cannot give is refused only when the port opens,
// so that the refusal names the device and what was refused.

#include <QString>
#include <optional>

namespace korvane {

struct LineSettings {
    enum class Parity { None, Even, Odd, Mark, Space };
    enum class StopBits { One, OneAndHalf, Two };

    int baud = 9600;
    Parity parity = Parity::None;
    int dataBits = 8;
    StopBits stopBits = StopBits::One;

    friend bool operator==(const LineSettings &, const LineSettings &) = default;
};

// The settings the text gives, or nothing when it does not parse. No blanks are allowed.
std::optional<LineSettings> parseSettingsText(const QString &text);

// What of these settings this operating system cannot give the line ("mark parity", "4 data
// bits", "1.5 stop bits", joined with " and "), or empty when it can give them all.
QString refusedLineSettings(const LineSettings &settings);

// The seconds `characters` take on the wire at these settings: a start bit, the data bits, the
// parity bit and the stop bits each.
double secondsOnTheWire(qint64 characters, const LineSettings &settings);

} // namespace korvane
