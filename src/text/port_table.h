#pragma once
// The port table: which device a port number names. The operator and the rest of the program speak
// of COM ports by number; on this system a number becomes a device path only through this table.
//
// Default on Linux: COM1-COM4 are /dev/ttyS0-3 (built-in UARTs), COM5-COM10 /dev/ttyUSB0-5 (USB
// adapters), COM11-COM16 /dev/ttyACM0-5 (USB modem-class devices). On Windows: COM1-COM256 are
// \\.\COM1-\\.\COM256. When KORVANE_PORTS is set, it replaces the whole table: entries N=PATH
// separated by blanks, e.g. "3=/dev/pts/7 5=/dev/ttyUSB0" (on Windows "3=COM7"). This is how
// a pseudo-terminal, an adapter with an unusual name or the simulated radio becomes a COM port.
// A number with no entry names no device. Malformed entries are reported on standard error (once
// for each value of the variable) and skipped.
//
// A path may also name a port on the network, "rfc2217://HOST:PORT" or "tcp://HOST:PORT" (see
// network_address.h); such an entry that is malformed is reported and skipped like any other.
//
// Over that table lies the operator's own layer, from the command line (--port N=PATH): its
// entries add to the table in force or replace the entries of the same numbers.

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

// Parses a KORVANE_PORTS value. Pure: reports nothing itself.
PortTable parsePortTable(const QString &text);

// The table in force: KORVANE_PORTS when it is set, the default table otherwise, with the
// overrides laid over it. Reads the environment on every call, so a change of the variable takes
// effect at once.
std::map<int, QString> currentPortTable();

// Sets the layer of entries laid over the table in force, replacing any set before; an empty
// map removes it.
void setPortOverrides(const std::map<int, QString> &ports);

// The device `table` names for port n ("/dev/ttyUSB0"), or empty when it names none.
QString devicePathForPort(const std::map<int, QString> &table, int n);
// The same in the table in force.
QString devicePathForPort(int n);

// "COM3 (/dev/pts/7)", or "COM3" when `table` names no device: how messages name a port.
QString portDescription(const std::map<int, QString> &table, int n);
// The same in the table in force.
QString portDescription(int n);

// Each operating system's own (port_table_posix.cpp, port_table_windows.cpp):
// the table when KORVANE_PORTS is not set;
std::map<int, QString> defaultPortTable();
// the variable `name`'s value as text, nothing when it is not set. Linux names are bytes, kept
// losslessly (text/path_bytes.h); Windows names are UTF-16 and taken as they are.
std::optional<QString> portsVariable(const char *name);

} // namespace korvane
