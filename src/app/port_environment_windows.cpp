#include "app/port_environment.h"

namespace korvane {

std::optional<QString> portsVariable() {
    if (!qEnvironmentVariableIsSet("KORVANE_PORTS"))
        return std::nullopt;
    return qEnvironmentVariable("KORVANE_PORTS");
}

} // namespace korvane
