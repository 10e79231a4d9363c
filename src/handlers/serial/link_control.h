#pragma once
// Link control: opening and closing the one serial port with the operator's settings, and the
// program's shutdown when the window closes.
//
// The caption of "Start Probe"/"Stop Probe" is the port state; the program keeps no other. An
// open sets every property of the control first and opens the port last; a failed open is not
// rolled back (the button reads "Stop Probe" and its next click closes). A close turns sync off,
// waits for the output to drain while the window stays responsive, and closes.

#include "base/event_pump.h"
#include "base/run_time_error.h"
#include "handlers/protocol/probe_state.h"

#include <QSet>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

namespace korvane {

class frmKorvane;
class MSComm;

inline constexpr std::int16_t kInBufferSize = 2048;

class LinkControl {
public:
    // `pump` is the event pump the close's drain wait runs; `endProgram` ends the process at
    // once; `cmdSyncOnOff_Click` is the sync button's handler, which a close runs to turn
    // polling off before the port goes.
    LinkControl(frmKorvane &window, ProbeState &state, MSComm &comm, EventPump pump,
                std::function<void()> endProgram, std::function<void()> cmdSyncOnOff_Click)
        : m_window(window), m_state(state), m_comm(comm), m_pump(std::move(pump)),
          m_endProgram(std::move(endProgram)), m_cmdSyncOnOff_Click(std::move(cmdSyncOnOff_Click)) {
    }

    void cmdCOMStatus_Click();
    // Opens the port with the chosen settings for a command given while it is not open, whatever
    // the button reads (after a failed open it reads "Stop Probe" with the port closed): unlike
    // the button it never closes first, so sync stays as the operator left it.
    void openForCommand();
    void cboBaudRate_Click();
    void ApplyPortSettings();
    void Form_QueryUnload();

    // The device went away while open: the window must show the port closed.
    void onDeviceLost(int number, const QString &description);

    // Why the last open failed, while the port stays closed after it: the reason the operator
    // needs (in use, permission, no such device) when something else finds the port not open.
    const std::optional<RunTimeError> &openFailure() const { return m_openFailure; }

    QString settingsText() const;

private:
    void tryOpen();
    void openPort();
    void closePort(bool drain);
    void drainOutput();
    void showClosed();

    frmKorvane &m_window;
    ProbeState &m_state;
    MSComm &m_comm;
    EventPump m_pump;
    std::function<void()> m_endProgram;
    std::function<void()> m_cmdSyncOnOff_Click;
    std::optional<RunTimeError> m_openFailure;
    QSet<QString> m_noticesShown;
};

} // namespace korvane
