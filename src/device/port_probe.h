#pragma once
// Whether a port can be opened right now: its device is opened without reading or writing and
// closed again at once. Any failure counts as not available, whatever its cause.

#include <cstdint>

namespace korvane {

bool ComPortExists(std::int16_t n);

} // namespace korvane
