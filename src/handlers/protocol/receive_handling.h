#pragma once
// Receive handling: the serial control's OnComm event is the only place where characters are
// taken from the port. A receive event collects a whole burst into RxBuffer, waiting on the
// device until the line has been quiet for QuietTime, then raises ResponseReady for the next
// pass of the radio protocol (radio_protocol.h) to frame. After each burst that holds the marker
// chosen in "Times" it stamps the response time and the time elapsed since the last command. Every
// other event becomes a message.
//
// Nothing received is discarded here. One burst is bounded (kMaxBurstSeconds or kMaxBurstChars,
// whichever comes first) so that a radio that never pauses cannot hold the window: the loop then
// frames what has come and the next receive event goes on with the rest.

#include "handlers/protocol/probe_state.h"
#include "handlers/protocol/protocol_timing.h"

#include <QString>
#include <cstdint>

namespace korvane {

class frmKorvane;
class MSComm;

class ReceiveHandling {
public:
    ReceiveHandling(frmKorvane &window, ProbeState &state, MSComm &comm)
        : m_window(window), m_state(state), m_comm(comm) {}

    void MSComm1_OnComm();

private:
    void receiveBurst();
    void stampResponse();

    frmKorvane &m_window;
    ProbeState &m_state;
    MSComm &m_comm;
};

} // namespace korvane
