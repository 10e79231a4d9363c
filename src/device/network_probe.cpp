#include "device/network_probe.h"

#include "device/host_lookup.h"
#include "device/socket_os.h"
#include "device/wait_clock.h"

#include <QHostAddress>
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace korvane {

namespace {

// A non-blocking connect to `address`; the socket, or kNoSocket when it failed at once.
os::Socket startConnect(const QHostAddress &address, quint16 port) {
    os::Endpoint to;
    to.port = port;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        const quint32 ip = address.toIPv4Address();
        to.bytes = {std::uint8_t(ip >> 24), std::uint8_t(ip >> 16), std::uint8_t(ip >> 8),
                    std::uint8_t(ip)};
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        to.ipv6 = true;
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(to.bytes.data(), bytes.c, sizeof bytes.c);
        to.scopeId = address.scopeId().toUInt();
    } else {
        return os::kNoSocket;
    }
    return os::startConnect(to);
}

// When each address was last connected to by a probe, on the monotonic clock.
std::map<std::pair<QString, quint16>, std::int64_t> &probeTimes() {
    static std::map<std::pair<QString, quint16>, std::int64_t> times;
    return times;
}

} // namespace

// Every look-up and every connection runs at once, and each entry is judged on its own: a name
// that is slow to resolve holds up no other entry, and a connection taken at the last moment is
// still seen. A look-up answered in time starts its connections at once; one still out at the
// deadline lists nothing.
std::set<int> answeringNetworkPorts(const std::map<int, NetworkAddress> &ports, int boundMsecs) {
    const std::int64_t deadline = monotonicNsecs() + std::int64_t{boundMsecs} * 1'000'000;
    const auto waker = std::make_shared<LookupWaker>();
    std::vector<std::pair<int, std::unique_ptr<HostLookup>>> lookups; // not answered yet
    for (const auto &[n, address] : ports)
        lookups.emplace_back(n, std::make_unique<HostLookup>(address.host, waker));

    // The waker first, then one connection for each address found.
    std::vector<os::Watch> fds{os::Watch{waker->handle(), os::kReadable, 0}};
    std::vector<int> owners{0};
    const auto connectAnswered = [&] {
        for (auto at = lookups.begin(); at != lookups.end();) {
            if (!at->second->wait(0)) { // a deadline long past: asks without waiting
                ++at;
                continue;
            }
            for (const QHostAddress &address : at->second->addresses()) {
                const os::Socket fd = startConnect(address, ports.at(at->first).port);
                if (fd != os::kNoSocket) {
                    fds.push_back(os::Watch{fd, os::kWritable, 0});
                    owners.push_back(at->first);
                }
            }
            at = lookups.erase(at);
        }
    };
    connectAnswered();

    std::set<int> answering;
    for (;;) {
        const std::size_t connecting =
            std::size_t(std::count_if(fds.begin() + 1, fds.end(), [](const os::Watch &p) {
                return p.socket != os::kNoSocket;
            }));
        if (lookups.empty() && connecting == 0)
            break;
        // At the deadline one last look, without waiting, at what answered meanwhile.
        const std::int64_t left = std::max<std::int64_t>(0, deadline - monotonicNsecs());
        const int ready = os::waitFor(fds.data(), fds.size(), left);
        if (ready == os::kWaitInterrupted)
            continue;
        for (std::size_t i = 1; ready > 0 && i < fds.size(); ++i) {
            if (fds[i].socket == os::kNoSocket || fds[i].found == 0)
                continue;
            if (os::connectTaken(fds[i].socket)) {
                answering.insert(owners[i]);
                const NetworkAddress &address = ports.at(owners[i]);
                probeTimes()[{address.host, address.port}] = monotonicNsecs();
            }
            os::dropConnection(fds[i].socket);
            fds[i].socket = os::kNoSocket; // the wait skips it from now on
        }
        if (left == 0 || ready < 0)
            break;
        if (fds[0].found != 0) {
            waker->take();
            connectAnswered();
        }
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].socket != os::kNoSocket)
            os::dropConnection(fds[i].socket);
    }
    return answering;
}

bool probedRecently(const NetworkAddress &address, int msecs) {
    const auto found = probeTimes().find({address.host, address.port});
    return found != probeTimes().end() &&
           monotonicNsecs() - found->second < std::int64_t{msecs} * 1'000'000;
}

} // namespace korvane
