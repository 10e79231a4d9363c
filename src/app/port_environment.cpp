#include "app/port_environment.h"

#include "text/port_table.h"

#include <cstdio>

namespace korvane {

PortEnvironment::PortEnvironment(std::map<int, QString> overrides)
    : m_overrides(std::move(overrides)) {}

std::map<int, QString> PortEnvironment::table() {
    const std::optional<QString> value = portsVariable();
    PortTable table = portTableInForce(value, m_overrides);
    if (!table.problems.isEmpty() && m_reported != value) {
        m_reported = value;
        for (const QString &problem : table.problems)
            std::fprintf(stderr, "korvane: KORVANE_PORTS: %s\n", problem.toLocal8Bit().constData());
    }
    return std::move(table.ports);
}

} // namespace korvane
