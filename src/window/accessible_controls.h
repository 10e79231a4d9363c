#pragma once
// What a screen reader is told about the window's combo boxes and indicators, where Qt's own
// account falls short.
//
// A combo box: on Linux Qt gives its value as its name, so the port box was announced as "3" and
// the command box as "?!", and the label the operator reads beside it was never said. Here a
// combo box that the window has named is announced by that name, its value after it, with its
// list and its edit field as Qt offers them.
//
// An indicator (Shape): Qt knows nothing of it. Here it is an indicator with the window's name
// for it and its state, "lit" (any fill but white) or "dark", as its value; the shape reports each
// change of state, so the poll indicator's blink reaches a screen reader.

namespace korvane {

// Makes the interfaces above the ones Qt hands out. Call before any control is made: Qt keeps
// the first interface it makes for a control.
void installAccessibleControls();

} // namespace korvane
