#pragma once
// Everything Korvane sends to the radio, and the sync switch that decides whether keep-alive
// polls go out:
//   the poll        "U" (one byte, no line feed), sent by SendPoll on the probe loop's schedule
//   status request  "?" and a line feed, from "Get Status"
//   a command       the operator's text with every "!" made a line feed and one final line feed
//
// A status request suspends polling until its report completes; a command suspends it while it
// is being sent (and, when the send fails, until a report completes). Both lengthen the quiet
// time that ends the receive burst of the reply.
//
// The sync button is the operator's only view of sync, so SavedSyncEnabled always holds the
// switch as the button shows it: whenever no command or status reply is outstanding, polling is
// on exactly when the button reads "Stop Sync".

#include "base/probe_state.h"

#include <QString>
#include <functional>

namespace korvane {

class frmKorvane;
class MSComm;

inline constexpr double kReplyQuietTime = 0.065;

class Commands {
public:
    // `cmdCOMStatus_Click` runs the open/close button's handler: a command given while the port
    // is closed opens it first.
    Commands(frmKorvane &window, ProbeState &state, MSComm &comm,
             std::function<void()> cmdCOMStatus_Click)
        : m_window(window), m_state(state), m_comm(comm),
          m_cmdCOMStatus_Click(std::move(cmdCOMStatus_Click)) {}

    void SendPoll();
    void cmdSendCmd_Click();
    void cmdGetStatus_Click();
    void cmdSyncOnOff_Click();
    // The tick of UTimer, which is never started: all polling is done by SendPoll.
    void UTimer_Timer();

private:
    frmKorvane &m_window;
    ProbeState &m_state;
    MSComm &m_comm;
    std::function<void()> m_cmdCOMStatus_Click;
};

} // namespace korvane
