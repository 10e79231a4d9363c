#pragma once
// Which network ports answer: every port's host is looked up and connected to at once, and a
// port is listed when its TCP connection is taken within the bound, whatever the other entries
// do. A refused connection answers at once and is not listed; a silent host, or a name the name
// server does not answer for, costs the bound, not more, however many there are.
// The connections are dropped at once (reset, not closed in order), with nothing sent.

#include "text/network_address.h"

#include <map>
#include <set>

namespace korvane {

inline constexpr int kNetworkProbeMsecs = 150;

std::set<int> answeringNetworkPorts(const std::map<int, NetworkAddress> &ports,
                                    int boundMsecs = kNetworkProbeMsecs);

// Whether a probe of this process connected to `address` in the last `msecs`. A server takes a
// moment to notice the probe gone: until it has, it may turn the console's own open away as if
// another client held its line.
bool probedRecently(const NetworkAddress &address, int msecs);

} // namespace korvane
