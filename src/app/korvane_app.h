#pragma once
// The composition root: owns the window, the serial control, the probe state and the pieces that
// work on them, and binds each control's event to its handler. Only the events listed here are
// bound; typing into a box, choosing a port or a marker, or moving the focus does nothing by
// itself until a handler reads the box.

#include "app/probe_loop.h"
#include "app/probe_state.h"
#include "protocol/commands.h"
#include "protocol/token_keys.h"
#include "protocol/token_routing.h"
#include "serial/link_control.h"
#include "serial/mscomm.h"
#include "serial/port_discovery.h"
#include "serial/receive_handling.h"
#include "ui/frm_korvane.h"

#include <functional>

namespace korvane {

class Korvane {
public:
    // `pump` is the event pump of every wait; `endProgram` ends the process from inside the
    // shutdown. Tests give their own.
    Korvane(EventPump pump, std::function<void()> endProgram);
    ~Korvane();

    // The window's load: the start-up sequence, then the probe loop, for good.
    [[noreturn]] void Form_Load();

    frmKorvane window{labelForSlot};
    MSComm MSComm1;
    ProbeState state;
    TokenRouting routing{window, state};
    Commands commands{window, state, MSComm1};
    LinkControl link{window, state, MSComm1};
    PortDiscovery discovery{window};
    ReceiveHandling receive{window, state, MSComm1};
    ProbeLoop loop{window, state, MSComm1, routing, commands, discovery};

private:
    void bind();
};

// Ends the process at once: no further event runs and the loop is not resumed.
[[noreturn]] void endProcess();

// How the window is to reach the screen; called before the application object is made.
void prepareDisplay();

// main(): checks for a display, then runs the window's load.
int runKorvane(int argc, char *argv[]);

} // namespace korvane
