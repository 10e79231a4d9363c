#include "device/local_port.h"

#include "device/local_serial_device.h"
#include "device/port_lock.h"
#include "text/path_bytes.h"

#include <fcntl.h>
#include <unistd.h>

namespace korvane {

std::unique_ptr<SerialDevice> makeLocalDevice(int number, const QString &path) {
    return std::make_unique<LocalSerialDevice>(number, path);
}

bool localDeviceOpens(const QString &path) {
    // A port another program holds is not available, though the kernel may still let it open.
    const QByteArray real = realDevicePath(bytesOfPath(path));
    if (!real.isEmpty() && heldByAnotherProgram(real))
        return false;
    // Read-write as the console will open it, but never as our controlling terminal and never
    // waiting for a modem's carrier.
    const int fd =
        ::open(bytesOfPath(path).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

} // namespace korvane
