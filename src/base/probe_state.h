#pragma once
// The probe state: the variables through which the receive handler, the command handlers and the
// probe loop work together. Created zeroed with the window and kept for the program's life.

#include <QString>
#include <cstdint>

namespace korvane {

struct ProbeState {
    QString RxBuffer;              // received, not yet framed (an unframed tail stays at its start)
    bool ResponseReady = false;    // a receive burst has ended and waits in RxBuffer
    bool ResponseComplete = false; // the batch being framed held a "." line
    std::int16_t JTokenCount = 0;  // "J" lines since the last forced poll
    double LastPollTime = 0.0;     // Timer value of the last poll
    bool SyncEnabled = false;      // keep-alive polling is on
    bool SavedSyncEnabled = false; // SyncEnabled as it stood before the last command or request
    double QuietTime = 0.0;        // seconds of silence that end a receive burst
};

} // namespace korvane
