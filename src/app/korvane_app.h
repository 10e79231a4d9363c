#pragma once
// The composition root: owns the window, the serial control, the probe state and the pieces that
// work on them, and binds each control's event to its handler. Only the events listed here are
// bound; typing into a box, choosing a port or a marker, or moving the focus does nothing by
// itself until a handler reads the box.

#include "app/port_environment.h"
#include "app/probe_loop.h"
#include "app/session_log.h"
#include "device/mscomm.h"
#include "handlers/protocol/commands.h"
#include "handlers/protocol/probe_state.h"
#include "handlers/protocol/radio_protocol.h"
#include "handlers/protocol/receive_handling.h"
#include "handlers/protocol/token_routing.h"
#include "handlers/serial/link_control.h"
#include "handlers/serial/port_discovery.h"
#include "text/token_keys.h"
#include "window/frm_korvane.h"

#include <functional>

namespace korvane {

// What the command line asks of the session log.
struct LogOptions {
    QString file; // empty: no log until the operator asks for one
    bool leavePollsOut = false;
};

class Korvane {
    // First, so that they are there when the pieces below are made with them.
    EventPump m_pump;
    std::function<void()> m_endProgram;
    LogOptions m_log;
    PortEnvironment m_ports;

public:
    // `pump` is the event pump of every wait; `endProgram` ends the process from inside the
    // shutdown. Tests give their own. `log`: the session log the command line asks for;
    // `portOverrides`: the command line's --port entries, laid over the port table.
    Korvane(EventPump pump, std::function<void()> endProgram, LogOptions log = {},
            std::map<int, QString> portOverrides = {});
    Korvane(const Korvane &) = delete;
    Korvane &operator=(const Korvane &) = delete;
    ~Korvane();

    // The window's load: the start-up sequence, then the probe loop, for good.
    [[noreturn]] void Form_Load();
    // The start-up sequence: the session log the command line asks for, then the probe loop's
    // start-up (the window's boxes filled, the window shown, the ports listed).
    void startUp();

    // Each piece gets every collaborator it needs here, once; the two cross-calls (closing the
    // port turns sync off, a command on a closed port opens it) go through the handlers as bound
    // below. The window's close request runs the shutdown only while the program stands.
    frmKorvane window{labelForSlot, [this] {
                          if (m_standing)
                              link.Form_QueryUnload();
                      }};
    MSComm MSComm1{[this] { return m_ports.table(); }};
    ProbeState state;
    TokenRouting routing{window, state};
    Commands commands{window, state, MSComm1, [this] { link.openForCommand(); }};
    LinkControl link{window, state,        MSComm1,
                     m_pump, m_endProgram, [this] { commands.cmdSyncOnOff_Click(); }};
    PortDiscovery discovery{window, [this] { return m_ports.table(); }};
    ReceiveHandling receive{window, state, MSComm1};
    RadioProtocol protocol{window,  state,    MSComm1,
                           routing, commands, [this] { return link.openFailure(); }};
    ProbeLoop loop{window, MSComm1, protocol, discovery, m_pump};
    SessionLog sessionLog{window, MSComm1, m_log.leavePollsOut};

private:
    void bind();

    bool m_standing = true;
};

// Ends the process at once: no further event runs and the loop is not resumed.
[[noreturn]] void endProcess();

// How the window is to reach the screen; called before the application object is made.
void prepareDisplay();

// main(): checks for a display, then runs the window's load.
int runKorvane(int argc, char *argv[]);

} // namespace korvane
