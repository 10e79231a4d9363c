#pragma once
// Token routing: each received line is shown in the status slot of its key (see token_keys.h),
// replacing what the slot showed, and "J" (meter) lines are counted so that the probe loop can
// send an extra poll after every 15 of them.

#include "handlers/protocol/probe_state.h"

#include <QString>

namespace korvane {

class frmKorvane;

class TokenRouting {
public:
    TokenRouting(frmKorvane &window, ProbeState &state) : m_window(window), m_state(state) {}

    // Shows one non-empty line in its slot. Reports its own failures on the message line.
    void DisplayToken(const QString &line);
    // "Clear" of the status grid: empties all 36 slots and nothing else.
    void cmdClearResponse_Click();

private:
    frmKorvane &m_window;
    ProbeState &m_state;
};

} // namespace korvane
