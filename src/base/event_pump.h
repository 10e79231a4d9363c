#pragma once
// The event pump: the one place where the program's waiting loops hand control to the window
// system, so that clicks, the serial control's events and repaints run.
//
// A loop that has nothing to decide until some moment passes it that moment as `maxWait`
// (seconds). The production pump sleeps until the next event or that moment, whichever comes
// first, so an idle console uses no processor; with no moment given it sleeps until the next
// event. Tests install a pump that only dispatches what is pending and returns.

#include <functional>
#include <optional>

namespace korvane {

using EventPump = std::function<void(std::optional<double> maxWait)>;

// Waits for the next event or `maxWait` seconds, then dispatches all pending events.
void waitAndDispatch(std::optional<double> maxWait);

// Dispatches what is pending and returns at once.
void dispatchPending(std::optional<double> maxWait);

// Dispatches what is pending except the operator's input, and returns at once: what runs while
// a step that may not be interrupted by a click or a key waits (repaints, the window's close,
// signals from outside). The input waits until the step is done, as it would for a step that
// blocked.
void dispatchAllButInput();

} // namespace korvane
