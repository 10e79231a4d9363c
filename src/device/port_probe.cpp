#include "device/port_probe.h"

#include "text/port_table.h"

#include <fcntl.h>
#include <unistd.h>

namespace korvane {

bool ComPortExists(std::int16_t n) {
    const QString path = devicePathForPort(n);
    if (path.isEmpty())
        return false;
    // Read-write as the console will open it, but never as our controlling terminal and never
    // waiting for a modem's carrier.
    const int fd =
        ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace korvane
