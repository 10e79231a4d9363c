#include "text/port_table.h"

namespace korvane {

std::map<int, QString> defaultPortTable() {
    std::map<int, QString> ports;
    for (int i = 0; i < 4; ++i)
        ports[1 + i] = QStringLiteral("/dev/ttyS%1").arg(i);
    for (int i = 0; i < 6; ++i)
        ports[5 + i] = QStringLiteral("/dev/ttyUSB%1").arg(i);
    for (int i = 0; i < 6; ++i)
        ports[11 + i] = QStringLiteral("/dev/ttyACM%1").arg(i);
    return ports;
}

} // namespace korvane
