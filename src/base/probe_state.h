#pragma once
// The probe state: the variables through which the receive handler, the command handlers and the
// probe loop work together. Created zeroed with the window and kept for the program's life.
// Beside each field: what it means, and who writes it (no one else does).

#include <QString>
#include <cstdint>

namespace korvane {

struct ProbeState {
    // Received and not yet framed; an unframed tail stays at its start.
    // Written by: ReceiveHandling (appends each read), ProbeLoop::frameBatch (keeps the tail),
    // LinkControl (drops a line a close cut off, at the next open).
    QString RxBuffer;
    // A receive burst has ended and waits in RxBuffer.
    // Written by: ReceiveHandling (sets), ProbeLoop::frameBatch (clears, or sets again when it
    // leaves part of a backlog for the next pass).
    bool ResponseReady = false;
    // The batch being framed held a "." line. Written by: ProbeLoop::frameBatch.
    bool ResponseComplete = false;
    // "J" lines since the last forced poll.
    // Written by: TokenRouting::DisplayToken (counts), ProbeLoop (0 when probing starts and when a
    // poll is forced).
    std::int16_t JTokenCount = 0;
    // Timer value of the last poll.
    // Written by: Commands::SendPoll, ProbeLoop (at the start of probing; midnight correction;
    // after a poll that could not go out).
    double LastPollTime = 0.0;
    // Keep-alive polling is on.
    // Written by: Commands (the sync button, a command, a status request), ProbeLoop (restored
    // from SavedSyncEnabled when a report completes).
    bool SyncEnabled = false;
    // SyncEnabled as it stood before the last command or status request.
    // Written by: Commands.
    bool SavedSyncEnabled = false;
    // Seconds of silence that end a receive burst: 0.03, or 0.065 while a reply is awaited.
    // Written by: Commands (0.065), ProbeLoop (0.03 when probing starts and a report completes).
    double QuietTime = 0.0;
};

} // namespace korvane
