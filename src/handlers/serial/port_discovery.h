#pragma once
// Port discovery: the port list offers only the ports COM1 to COM16 that can be opened at the
// moment the list is built. Each local one is probed by opening its device (through the port
// table) without reading or writing and closing it again at once; the network ones are connected
// to, all at once, within a bound of 150 ms (device/network_probe.h).

#include <cstdint>

namespace korvane {

class frmKorvane;

inline constexpr int kFirstProbedPort = 1;
inline constexpr int kLastProbedPort = 16;

class PortDiscovery {
public:
    explicit PortDiscovery(frmKorvane &window) : m_window(window) {}

    void ListComPorts();
    void cmdGetComPorts_Click() { ListComPorts(); }

private:
    frmKorvane &m_window;
};

} // namespace korvane
