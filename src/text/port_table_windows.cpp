#include "text/port_table.h"

namespace korvane {

namespace {
// The most COM ports Windows numbers in the device manager's own range.
constexpr int kWindowsPorts = 256;
} // namespace

// "\\.\COMn" opens every port, COM10 and above included (a bare "COM10" does not).
std::map<int, QString> defaultPortTable() {
    std::map<int, QString> ports;
    for (int n = 1; n <= kWindowsPorts; ++n)
        ports[n] = QStringLiteral("\\\\.\\COM%1").arg(n);
    return ports;
}

} // namespace korvane
