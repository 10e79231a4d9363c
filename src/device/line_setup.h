#pragma once
// Putting the line settings on a local serial device, and what the operating system cannot give.
//
// A pseudo-terminal carries whole bytes and has no framing: its driver keeps 8 data bits and no
// parity whatever it is told, so only a real line is held to the framing asked for.

#include "base/run_time_error.h"
#include "text/settings_text.h"

#include <QString>

class QSerialPort;

namespace korvane {

// What of these settings and handshaking mode the line cannot be given, or empty.
QString refusedSettings(const LineSettings &line, int handshaking);

// Error 8015 naming the device `where`, what was refused and why.
RunTimeError settingsRefused(const QString &where, const QString &what, const QString &reason);

// Linux only (line_setup_posix.cpp); the Windows device sets its line itself.
// Whether the open file `fd` is the slave end of a pseudo-terminal.
bool isPseudoTerminal(int fd);

// Puts the settings on the open port; throws 8015 for what a real line refuses.
void applyLine(QSerialPort &port, const LineSettings &line, int handshaking, const QString &where);

} // namespace korvane
