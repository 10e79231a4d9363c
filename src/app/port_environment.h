#pragma once
// The port table in force for the program (the rules are text/port_table.h): KORVANE_PORTS when
// it is set, the default table otherwise, with the command line's --port entries laid over it.
// The variable is read on every look-up, so a change of it takes effect at once. Its malformed
// entries are reported on standard error, once for each value of the variable, and skipped.

#include <QString>
#include <map>
#include <optional>

namespace korvane {

class PortEnvironment {
public:
    // `overrides`: the command line's --port entries.
    explicit PortEnvironment(std::map<int, QString> overrides = {});

    // The table in force now; what the serial control and the port list look ports up in.
    std::map<int, QString> table();

private:
    std::map<int, QString> m_overrides;
    // The value whose problems were last reported: port discovery looks up sixteen numbers in a
    // row, and a bad value is said once, not on every look-up.
    std::optional<QString> m_reported;
};

// Each operating system's own (port_environment_posix.cpp, port_environment_windows.cpp):
// KORVANE_PORTS's value as text, nothing when it is not set. Linux names are bytes, kept
// losslessly (text/path_bytes.h); Windows names are UTF-16 and taken as they are.
std::optional<QString> portsVariable();

} // namespace korvane
