#pragma once
// The port box's text as a port number, the way a 16-bit integer conversion reads it: blanks
// around it are allowed, a fraction rounds to even; anything else raises 13, out of range 6.

#include <QString>
#include <cstdint>

namespace korvane {

std::int16_t portNumberFromText(const QString &text);

} // namespace korvane
