#pragma once
// The resolver's list made the network port's endpoints, the same on every platform: only the
// list's type differs (addrinfo, or ADDRINFOW from Windows' GetAddrInfoW). Included by each
// platform's socket file after its own socket headers, which declare sockaddr_in and
// sockaddr_in6.

#include "device/socket_os.h"

#include <cstring>
#include <vector>

namespace korvane::os {

// The IPv4 and IPv6 addresses of the list, in its order; any other family is passed over.
template <typename AddressInfo> std::vector<Endpoint> endpointsOf(const AddressInfo *list) {
    std::vector<Endpoint> addresses;
    for (const AddressInfo *at = list; at; at = at->ai_next) {
        Endpoint address;
        if (at->ai_addr->sa_family == AF_INET) {
            const auto *in = reinterpret_cast<const sockaddr_in *>(at->ai_addr);
            std::memcpy(address.bytes.data(), &in->sin_addr, 4);
        } else if (at->ai_addr->sa_family == AF_INET6) {
            const auto *in6 = reinterpret_cast<const sockaddr_in6 *>(at->ai_addr);
            address.ipv6 = true;
            std::memcpy(address.bytes.data(), &in6->sin6_addr, 16);
            address.scopeId = in6->sin6_scope_id;
        } else {
            continue;
        }
        addresses.push_back(address);
    }
    return addresses;
}

} // namespace korvane::os
