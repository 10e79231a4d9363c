#include "app/port_environment.h"

#include "text/path_bytes.h"

namespace korvane {

std::optional<QString> portsVariable() {
    if (!qEnvironmentVariableIsSet("KORVANE_PORTS"))
        return std::nullopt;
    // Paths are bytes: a device named in no valid UTF-8 must still be found.
    return pathFromBytes(qgetenv("KORVANE_PORTS"));
}

} // namespace korvane
