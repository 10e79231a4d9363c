#pragma once
// The port table: which device a port number names. The operator and the rest of the program speak
// of COM ports by number; on this system a number becomes a device path only through this table.
// These are its rules alone: which table is in force, and where its text comes from, is for the
// program to say (app/port_environment.h reads KORVANE_PORTS and keeps the command line's layer).
//
// Default on Linux: COM1-COM4 are /dev/ttyS0-3 (built-in UARTs), COM5-COM10 /dev/ttyUSB0-5 (USB
// adapters), COM11-COM16 /dev/ttyACM0-5 (USB modem-class devices). On Windows: COM1-COM256 are
// \\.\COM1-\\.\COM256. A table given as text (KORVANE_PORTS) replaces the whole default: entries
// N=PATH separated by blanks, e.g. "3=/dev/pts/7 5=/dev/ttyUSB0" (on Windows "3=COM7"). This is
// how a pseudo-terminal, an adapter with an unusual name or the simulated radio becomes a COM
// port. A number with no entry names no device. Malformed entries are skipped, each with a line
// saying why.
//
// A path may also name a port on the network, "rfc2217://HOST:PORT" or "tcp://HOST:PORT" (see
// network_address.h); such an entry that is malformed is skipped like any other.
//
// Over that table lies the operator's own layer, from the command line (--port N=PATH): its
// entries add to the table or replace the entries of the same numbers.

#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>

namespace korvane {

struct PortTable {
    std::map<int, QString> ports; // port number -> device path
    QStringList problems;         // one line for each entry that was skipped, saying why
};

// Where the device level asks for the table in force. It is asked on every look-up, so that a
// table that changes takes effect at once.
using PortTableSource = std::function<std::map<int, QString>()>;

struct PortEntry {
    int number = 0;
    QString path;
};

// One entry "N=PATH"; when it is malformed, nothing and `why` says what is wrong with it.
std::optional<PortEntry> parsePortEntry(const QString &entry, QString *why);

// Parses a table given as text. Reports nothing itself.
PortTable parsePortTable(const QString &text);

// The table when none is given as text; each operating system's own (port_table_posix.cpp,
// port_table_windows.cpp).
std::map<int, QString> defaultPortTable();

// The table in force: `text` parsed when there is one, the default table otherwise, with
// `overrides` laid over it. The problems are those of `text`.
PortTable portTableInForce(const std::optional<QString> &text,
                           const std::map<int, QString> &overrides);

// The device `table` names for port n ("/dev/ttyUSB0"), or empty when it names none.
QString devicePathForPort(const std::map<int, QString> &table, int n);

// "COM3 (/dev/pts/7)", or "COM3" when `table` names no device: how messages name a port.
QString portDescription(const std::map<int, QString> &table, int n);

} // namespace korvane
