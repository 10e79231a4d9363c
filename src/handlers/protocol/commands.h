#pragma once
// Everything Korvane sends to the radio, and the sync switch that decides whether keep-alive
// polls go out:
//   the poll        "U" (one byte, no line feed), sent by SendPoll on the probe loop's schedule
//   status request  "?" and a line feed, from "Get Status"
//   a command       the operator's text with every "!" made a line feed and one final line feed
//
// A command or status request that goes out suspends polling until the report answering it
// completes, or until the line has said nothing for kReplyWait, so that a radio that never
// answers cannot leave polling off under a button that reads "Stop Sync", and a report slower
// than that (a full status at 300 baud takes longer) is never cut by a poll. Closing the port
// or losing it ends the wait: a new session starts clean. One that sends nothing (an empty command,
// text the line cannot carry, a closed port) suspends nothing. A request that goes out also
// lengthens the quiet time that ends the receive burst of its reply.
//
// The sync button is the operator's only view of sync: polling is on exactly when the button
// reads "Stop Sync" and no reply is awaited.

#include "handlers/protocol/probe_state.h"
#include "handlers/protocol/protocol_timing.h"

#include <QDeadlineTimer>
#include <QString>
#include <functional>
#include <optional>

namespace korvane {

class frmKorvane;
class MSComm;

class Commands {
public:
    // `openPort` opens the port with the chosen settings: a command given while the port is
    // closed opens it first.
    Commands(frmKorvane &window, ProbeState &state, MSComm &comm, std::function<void()> openPort)
        : m_window(window), m_state(state), m_comm(comm), m_openPort(std::move(openPort)) {}

    void SendPoll();
    void cmdSendCmd_Click();
    void cmdGetStatus_Click();
    void cmdSyncOnOff_Click();
    // The tick of UTimer, which is never started: all polling is done by SendPoll.
    void UTimer_Timer();

    // Whether the reply to a command or status request is awaited, and for how many more seconds.
    bool replyAwaited() const { return m_replyAwaited; }
    std::optional<double> replyWaitLeft() const;
    // A report completed: whatever was awaited has come, and polling follows the button again.
    void reportCompleted();
    // Gives up a wait that has lasted kReplyWait; returns whether it did.
    bool endOverdueReplyWait();
    // Characters came: an awaited reply is on its way, and the wait runs from now.
    void replyProgressed();
    // The port closed or was lost: no reply can come over it any more.
    void lineEnded();

private:
    void replyExpected();
    void followButton();

    frmKorvane &m_window;
    ProbeState &m_state;
    MSComm &m_comm;
    std::function<void()> m_openPort;
    bool m_replyAwaited = false;
    QDeadlineTimer m_replyDeadline;
};

} // namespace korvane
