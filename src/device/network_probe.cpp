#include "device/network_probe.h"

#include "device/host_lookup.h"
#include "device/wait_clock.h"

#include <QtEndian>
#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace korvane {

namespace {

// A non-blocking connect to `address`; the socket, or -1 when it failed at once.
int startConnect(const QHostAddress &address, quint16 port) {
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (address.protocol() == QAbstractSocket::IPv4Protocol) {
        auto *in = reinterpret_cast<sockaddr_in *>(&storage);
        in->sin_family = AF_INET;
        in->sin_port = htons(port);
        in->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof *in;
    } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, bytes.c, sizeof bytes.c);
        in6->sin6_scope_id = address.scopeId().toUInt();
        length = sizeof *in6;
    } else {
        return -1;
    }
    const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (::connect(fd, reinterpret_cast<sockaddr *>(&storage), length) != 0 &&
        errno != EINPROGRESS) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// When each address was last connected to by a probe, on the monotonic clock.
std::map<std::pair<QString, quint16>, std::int64_t> &probeTimes() {
    static std::map<std::pair<QString, quint16>, std::int64_t> times;
    return times;
}

// Drops the connection with a reset: the server sees it end at once.
void drop(int fd) {
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    ::close(fd);
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
    std::vector<pollfd> fds{pollfd{waker->fd(), POLLIN, 0}};
    std::vector<int> owners{0};
    const auto connectAnswered = [&] {
        for (auto at = lookups.begin(); at != lookups.end();) {
            if (!at->second->wait(0)) { // a deadline long past: asks without waiting
                ++at;
                continue;
            }
            for (const QHostAddress &address : at->second->addresses()) {
                const int fd = startConnect(address, ports.at(at->first).port);
                if (fd >= 0) {
                    fds.push_back(pollfd{fd, POLLOUT, 0});
                    owners.push_back(at->first);
                }
            }
            at = lookups.erase(at);
        }
    };
    connectAnswered();

    std::set<int> answering;
    for (;;) {
        const std::size_t connecting = std::size_t(
            std::count_if(fds.begin() + 1, fds.end(), [](const pollfd &p) { return p.fd >= 0; }));
        if (lookups.empty() && connecting == 0)
            break;
        // At the deadline one last look, without waiting, at what answered meanwhile.
        const std::int64_t left = std::max<std::int64_t>(0, deadline - monotonicNsecs());
        const timespec timeout = toTimespec(left);
        const int ready = ::ppoll(fds.data(), fds.size(), &timeout, nullptr);
        if (ready < 0 && errno == EINTR)
            continue;
        for (std::size_t i = 1; ready > 0 && i < fds.size(); ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            int error = 0;
            socklen_t size = sizeof error;
            if (::getsockopt(fds[i].fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) {
                answering.insert(owners[i]);
                const NetworkAddress &address = ports.at(owners[i]);
                probeTimes()[{address.host, address.port}] = monotonicNsecs();
            }
            drop(fds[i].fd);
            fds[i].fd = -1; // poll skips it from now on
        }
        if (left == 0 || ready < 0)
            break;
        if (fds[0].revents != 0) {
            waker->take();
            connectAnswered();
        }
    }
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].fd >= 0)
            drop(fds[i].fd);
    }
    return answering;
}

bool probedRecently(const NetworkAddress &address, int msecs) {
    const auto found = probeTimes().find({address.host, address.port});
    return found != probeTimes().end() &&
           monotonicNsecs() - found->second < std::int64_t{msecs} * 1'000'000;
}

} // namespace korvane
