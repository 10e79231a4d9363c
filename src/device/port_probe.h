#pragma once
// Whether a port can be opened right now. A local device that another program holds (a live lock
// file or flock, see port_lock.h) is not; otherwise it is opened without reading or writing and
// closed again at once. A network port is connected to (see network_probe.h). Any failure counts
// as not available, whatever its cause.

#include <QList>
#include <QString>
#include <cstdint>
#include <map>

namespace korvane {

// `table` is the port table in force (text/port_table.h): what each number names.
bool ComPortExists(const std::map<int, QString> &table, std::int16_t n);

// The ports `first` to `last` of `table` that can be opened now, in order; the network ports
// among them are all probed at once.
QList<int> availablePorts(const std::map<int, QString> &table, int first, int last);

} // namespace korvane
