#pragma once
// Port discovery: the port list offers only the ports COM1 to COM16 that can be opened at the
// moment the list is built. Each is probed by opening its device (through the port table)
// without reading or writing and closing it again at once.

#include <cstdint>

namespace korvane {

class frmKorvane;

inline constexpr int kFirstProbedPort = 1;
inline constexpr int kLastProbedPort = 16;

// Whether the device of port n can be opened right now. Any failure counts as not available.
bool ComPortExists(std::int16_t n);

class PortDiscovery {
public:
    explicit PortDiscovery(frmKorvane &window) : m_window(window) {}

    void ListComPorts();
    void cmdGetComPorts_Click() { ListComPorts(); }

private:
    frmKorvane &m_window;
};

} // namespace korvane
