#pragma once
// Comm events from two looks at a line: the modem-line states and the driver's interrupt counters
// taken a moment apart. A look holds only what the device reports; a pseudo-terminal reports
// neither, and so never raises these events.
//
// A change of CTS, DSR, CD or RI raises 3, 4, 5 or 6. The counters also catch a line that flipped
// and flipped back between two looks. A break, framing error, overrun, receive-buffer overflow or
// parity error counted in between raises 1001, 1004, 1006, 1008 or 1009. Events come in that
// order, each at most once per pair of looks.

#include <cstdint>
#include <optional>
#include <vector>

namespace korvane {

// The modem lines a look reports, as bits of LineLook::modemLines. The values are Linux's own
// (TIOCM_*), so that a Linux look is taken as the kernel gives it; other systems map theirs.
namespace modem {
inline constexpr int kCts = 0x020;
inline constexpr int kCarrier = 0x040;
inline constexpr int kRing = 0x080;
inline constexpr int kDsr = 0x100;
} // namespace modem

struct LineCounters {
    int cts = 0, dsr = 0, rng = 0, dcd = 0; // modem-line transitions
    int brk = 0, frame = 0, overrun = 0, bufOverrun = 0, parity = 0;
};

struct LineLook {
    std::optional<int> modemLines;        // modem::kCts | kDsr | kCarrier | kRing bits
    std::optional<LineCounters> counters; // the driver's interrupt counters
};

std::vector<std::int16_t> commEventsBetween(const LineLook &before, const LineLook &after);

} // namespace korvane
