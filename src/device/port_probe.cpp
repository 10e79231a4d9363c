#include "device/port_probe.h"

#include "device/local_port.h"
#include "device/network_probe.h"
#include "text/network_address.h"

#include <algorithm>

namespace korvane {

bool ComPortExists(const std::map<int, QString> &table, std::int16_t n) {
    return availablePorts(table, n, n).contains(n);
}

QList<int> availablePorts(const std::map<int, QString> &table, int first, int last) {
    std::map<int, NetworkAddress> network;
    QList<int> found;
    for (auto at = table.lower_bound(first); at != table.end() && at->first <= last; ++at) {
        QString why;
        if (const std::optional<NetworkAddress> address = parseNetworkAddress(at->second, &why))
            network[at->first] = *address;
        else if (!isNetworkPath(at->second) && localDeviceOpens(at->second))
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
