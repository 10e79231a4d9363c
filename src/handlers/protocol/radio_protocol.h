#pragma once
// The talk with the radio while the port is open, as the probe loop drives it: one call a pass.
// A pass, in this order:
//   1. frames a waiting batch of received text into lines and routes each to its status slot (a
//      backlog that piled up behind a modal box is framed a few thousand characters a pass, the
//      next pass following at once); a "." line completes the report: it is shown in the report
//      box, and the reply wait and the quiet time end;
//   2. gives up a reply waited for too long;
//   3. sends the keep-alive poll at once after kForcedPollJLines "J" lines, otherwise once more
//      than kPollInterval has passed since the last one;
//   4. turns the poll indicator white once more than kLedOnTime has passed since the last poll;
// and says how long the loop may sleep before one of these decisions can change.
//
// The receive burst (receive_handling.h) and the operator's requests (commands.h) are the other
// halves: a burst leaves its text in RxBuffer and sets ResponseReady, which the next pass frames.

#include "base/run_time_error.h"
#include "handlers/protocol/probe_state.h"
#include "text/framing.h"

#include <functional>
#include <optional>

namespace korvane {

class frmKorvane;
class MSComm;
class TokenRouting;
class Commands;

class RadioProtocol {
public:
    // `openFailure` gives why the last open failed, if it did: a poll that finds the port still
    // closed says that reason rather than its own.
    RadioProtocol(frmKorvane &window, ProbeState &state, MSComm &comm, TokenRouting &routing,
                  Commands &commands, std::function<std::optional<RunTimeError>()> openFailure)
        : m_window(window), m_state(state), m_comm(comm), m_routing(routing), m_commands(commands),
          m_openFailure(std::move(openFailure)) {}

    // The port has opened: the poll schedule, the quiet time and the meter count start afresh.
    void startProbing();
    // One pass while the port is open; returns how long the loop may sleep (0: the next pass
    // follows at once, with only pending events dispatched between).
    double pass();
    // The port is closed. After the operator's close a waiting batch waits for the next open; a
    // device that went away (deviceLost) sends nothing more, so what it sent whole reaches the
    // slots now.
    void stopProbing();
    // Outside probing, only an overdue reply wait is decided; returns how long the loop may
    // sleep, or nothing when no decision is pending.
    std::optional<double> idle();

    // The port closed, or its device went away: no reply can come over it any more.
    void portClosed();
    void deviceLost();

private:
    void frameWaitingBatch();
    void pollDecision();
    void giveUpOverdueReply();
    double nextDecision() const;

    frmKorvane &m_window;
    ProbeState &m_state;
    MSComm &m_comm;
    TokenRouting &m_routing;
    Commands &m_commands;
    std::function<std::optional<RunTimeError>()> m_openFailure;
    FramingState m_framing;
    ReportText m_report;
    bool m_deviceLost = false;
};

} // namespace korvane
