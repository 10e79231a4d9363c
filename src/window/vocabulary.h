#pragma once
// The window's vocabulary: the captions through which the window shows the port and sync
// states, and the colours of the indicators. The program keeps no other record of the port
// state than the caption of cmdCOMStatus, and the sync button's caption is the operator's only
// view of sync, so every reader and writer of those states goes through these words.

#include "base/version.h"

#include <QColor>

namespace korvane {

namespace caption {
inline constexpr char kWindow[] = "Korvane";
inline constexpr const char *kWindowRunning = kVersionCaption;
inline constexpr char kStartProbe[] = "Start Probe"; // the port is closed
inline constexpr char kStopProbe[] = "Stop Probe";   // the port is open
inline constexpr char kStartSync[] = "Start Sync";   // polling is off
inline constexpr char kStopSync[] = "Stop Sync";     // polling is on
} // namespace caption

// LED(0): green while a poll is fresh, white otherwise (LED(1) stays white).
inline const QColor kLedGreen{0, 255, 0};
inline const QColor kLedWhite{255, 255, 255};

} // namespace korvane
