#pragma once
// The probe loop: the spine of the program. Start-up fills the window's boxes, shows it and lists
// the ports; then the loop runs for the rest of the program's life. While the port is closed it
// only dispatches events (and gives up a reply waited for too long). While the port is open each
// pass is one call of the radio protocol (handlers/protocol/radio_protocol.h: frame what came,
// poll when due, the indicator), then the pump dispatches pending events.
//
// It never spins: when nothing is pending the event pump sleeps until the next event or the
// moment the protocol says one of its decisions can change, so an idle console uses no processor
// and a decision is still taken on time.

#include "base/event_pump.h"

namespace korvane {

class frmKorvane;
class MSComm;
class RadioProtocol;
class PortDiscovery;

class ProbeLoop {
public:
    ProbeLoop(frmKorvane &window, MSComm &comm, RadioProtocol &protocol, PortDiscovery &discovery,
              EventPump pump)
        : m_window(window), m_comm(comm), m_protocol(protocol), m_discovery(discovery),
          m_pump(std::move(pump)) {}

    // The start-up sequence, up to the entry to the loop: the window's boxes filled, the window
    // shown, the ports listed.
    void showWindow();
    // Runs the loop; never returns.
    [[noreturn]] void run();
    // One turn of the loop: one idle check, or one pass while probing.
    void step();

    bool probing() const { return m_probing; }

private:
    frmKorvane &m_window;
    MSComm &m_comm;
    RadioProtocol &m_protocol;
    PortDiscovery &m_discovery;
    EventPump m_pump;
    bool m_probing = false;
};

} // namespace korvane
