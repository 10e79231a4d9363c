#pragma once
// A port of this machine, as each operating system has it: the one place that knows which
// device class carries a local line and how the port list asks whether a device opens.
//   Linux   (local_port_posix.cpp):   LocalSerialDevice on a tty or pseudo-terminal, with its
//           lock file and flock (port_lock.h); a device held by another program is not listed.
//   Windows (local_port_windows.cpp): a COM port through the Win32 communications calls, opened
//           without sharing, so Windows itself refuses a port another program has open.

#include "device/serial_device.h"

#include <QString>
#include <memory>

namespace korvane {

// The device for port `number`, the port table's `path`; not yet open.
std::unique_ptr<SerialDevice> makeLocalDevice(int number, const QString &path);

// Whether the device at `path` can be opened now, as the console would open it; it is closed
// again at once, without reading or writing. Any failure counts as no.
bool localDeviceOpens(const QString &path);

} // namespace korvane
