#pragma once
// Port discovery: the port list offers only the ports COM1 to COM16 that can be opened at the
// moment the list is built. Each local one is probed by opening its device (through the port
// table) without reading or writing and closing it again at once; the network ones are connected
// to, all at once, within a bound of 150 ms (device/network_probe.h).

#include "text/port_table.h"

#include <cstdint>
#include <utility>

namespace korvane {

class frmKorvane;

inline constexpr int kFirstProbedPort = 1;
inline constexpr int kLastProbedPort = 16;

class PortDiscovery {
public:
    // `ports` gives the port table in force, read once for each list.
    PortDiscovery(frmKorvane &window, PortTableSource ports)
        : m_window(window), m_ports(std::move(ports)) {}

    void ListComPorts();
    void cmdGetComPorts_Click() { ListComPorts(); }

private:
    frmKorvane &m_window;
    PortTableSource m_ports;
};

} // namespace korvane
