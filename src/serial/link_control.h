#pragma once
// Link control: opening and closing the one serial port with the operator's settings, and the
// program's shutdown when the window closes.
//
// The caption of "Start Probe"/"Stop Probe" is the port state; the program keeps no other. An
// open sets every property of the control first and opens the port last; a failed open is not
// rolled back (the button reads "Stop Probe" and its next click closes). A close turns sync off,
// waits for the output to drain while the window stays responsive, and closes.

#include "app/event_pump.h"
#include "app/probe_state.h"

#include <QString>
#include <cstdint>
#include <functional>

namespace korvane {

class frmKorvane;
class MSComm;

inline constexpr std::int16_t kInBufferSize = 2048;

// The port box's text as a port number, the way a 16-bit integer conversion reads it: blanks
// around it are allowed, a fraction rounds to even; anything else raises 13, out of range 6.
std::int16_t portNumberFromText(const QString &text);

class LinkControl {
public:
    LinkControl(frmKorvane &window, ProbeState &state, MSComm &comm)
        : m_window(window), m_state(state), m_comm(comm) {}

    std::function<void()> cmdSyncOnOff_Click; // wired by the composition root
    EventPump pump;                           // the event pump the close's drain wait runs
    std::function<void()> endProgram;         // ends the process at once

    void cmdCOMStatus_Click();
    void cboBaudRate_Click();
    void ApplyPortSettings();
    void Form_QueryUnload();

    // The device went away while open: the window must show the port closed.
    void onDeviceLost(int number, const QString &description);

    QString settingsText() const;

private:
    void openPort();
    void closePort(bool drain);
    void showClosed();

    frmKorvane &m_window;
    ProbeState &m_state;
    MSComm &m_comm;
};

} // namespace korvane
