#include "device/port_probe.h"

#include "device/network_probe.h"
#include "device/port_lock.h"
#include "text/network_address.h"
#include "text/path_bytes.h"
#include "text/port_table.h"

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace korvane {

namespace {

bool deviceOpens(const QString &path) {
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

} // namespace

bool ComPortExists(std::int16_t n) {
    return availablePorts(n, n).contains(n);
}

QList<int> availablePorts(int first, int last) {
    const std::map<int, QString> table = currentPortTable();
    std::map<int, NetworkAddress> network;
    QList<int> found;
    for (auto at = table.lower_bound(first); at != table.end() && at->first <= last; ++at) {
        QString why;
        if (const std::optional<NetworkAddress> address = parseNetworkAddress(at->second, &why))
            network[at->first] = *address;
        else if (!isNetworkPath(at->second) && deviceOpens(at->second))
            found << at->first;
    }
    if (!network.empty()) {
        for (const int n : answeringNetworkPorts(network))
            found << n;
        std::sort(found.begin(), found.end());
    }
    return found;
}

} // namespace korvane
