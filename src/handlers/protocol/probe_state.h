#pragma once
// The probe state: the variables through which the receive handler, the command handlers and the
// radio protocol's pass (handlers/protocol/) work together. Created zeroed with the window and kept
// for the program's life. Beside each field: what it means, and who writes it (no one else does).

#include <QString>
#include <cstdint>

namespace korvane {

struct ProbeState {
    // Received and not yet framed; an unframed tail stays at its start.
    // Written by: ReceiveHandling (appends each read), RadioProtocol (keeps the tail),
    // LinkControl (drops a line a close cut off, at the next open).
    QString RxBuffer;
    // A receive burst has ended and waits in RxBuffer.
    // Written by: ReceiveHandling (sets), RadioProtocol (clears, or sets again when it leaves
    // part of a backlog for the next pass).
    bool ResponseReady = false;
    // The batch being framed held a "." line. Written by: RadioProtocol.
    bool ResponseComplete = false;
    // "J" lines since the last forced poll.
    // Written by: TokenRouting::DisplayToken (counts), RadioProtocol (0 when probing starts and
    // when a poll is forced).
    std::int16_t JTokenCount = 0;
    // Timer value of the last poll.
    // Written by: Commands::SendPoll, RadioProtocol (at the start of probing; midnight
    // correction; after a poll that could not go out).
    double LastPollTime = 0.0;
    // Keep-alive polling is on: exactly when the sync button reads "Stop Sync" and no reply is
    // awaited. Written by: Commands (the sync button; a request sent, its report completed or its
    // wait given up). Polling follows the button itself, so no copy of the switch is saved
    // across a request: a saved copy could turn polling on or off under a button that says
    // otherwise.
    bool SyncEnabled = false;
    // Seconds of silence that end a receive burst: 0.03, or 0.065 while a reply is awaited.
    // Written by: Commands (0.065), RadioProtocol (0.03 when probing starts, a report completes
    // or a reply's wait is given up).
    double QuietTime = 0.0;
};

} // namespace korvane
