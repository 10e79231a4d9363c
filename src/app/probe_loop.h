#pragma once
// The probe loop: the spine of the program. Start-up fills the window's boxes, shows it and lists
// the ports; then the loop runs for the rest of the program's life. While the port is closed it
// only dispatches events. While the port is open each pass, in this order:
//   1. frames a waiting batch of received text into lines for routing (a backlog that piled up
//      behind a modal box a few thousand characters a pass, the next pass following at once),
//   2. sends the keep-alive poll at once after 15 "J" lines, otherwise once more than 1.55 s have
//      passed since the last one,
//   3. turns the poll indicator white once more than 0.5 s have passed since the last poll,
//   4. dispatches pending events.
//
// It never spins: when nothing is pending the event pump sleeps until the next event or the next
// moment one of these decisions can change (a poll coming due, the indicator due to turn white),
// whichever comes first, so an idle console uses no processor and a decision is still taken on
// time.

#include "base/event_pump.h"
#include "base/probe_state.h"
#include "text/framing.h"

#include <optional>

namespace korvane {

class frmKorvane;
class MSComm;
class TokenRouting;
class Commands;
class PortDiscovery;
class LinkControl;

inline constexpr double kPollInterval = 1.55;
inline constexpr double kLedOnTime = 0.5;
inline constexpr double kNormalQuietTime = 0.03;
inline constexpr std::int16_t kForcedPollJLines = 15;
// The longest the loop sleeps while probing: the clock can be set back or forward while it
// sleeps, and only a pass notices.
inline constexpr double kLongestProbeSleep = 1.0;

class ProbeLoop {
public:
    ProbeLoop(frmKorvane &window, ProbeState &state, MSComm &comm, TokenRouting &routing,
              Commands &commands, PortDiscovery &discovery, const LinkControl &link, EventPump pump)
        : m_window(window), m_state(state), m_comm(comm), m_routing(routing), m_commands(commands),
          m_discovery(discovery), m_link(link), m_pump(std::move(pump)) {}

    // The start-up sequence, up to the entry to the loop.
    void startUp();
    // Runs the loop; never returns.
    [[noreturn]] void run();
    // One turn of the loop: one idle check, or one pass while probing.
    void step();

    bool probing() const { return m_probing; }
    // The port's device went away: the batch it left is framed before the loop goes idle.
    void deviceLost() { m_deviceLost = true; }

private:
    void startProbing();
    void pass();
    void frameBatch();
    void pollDecision();
    void endOverdueReplyWait();
    std::optional<double> nextWake() const;

    frmKorvane &m_window;
    ProbeState &m_state;
    MSComm &m_comm;
    TokenRouting &m_routing;
    Commands &m_commands;
    PortDiscovery &m_discovery;
    const LinkControl &m_link;
    EventPump m_pump;
    FramingState m_framing;
    ReportText m_report;
    bool m_probing = false;
    bool m_deviceLost = false;
};

} // namespace korvane
