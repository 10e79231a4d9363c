#pragma once
// The simulator's log: one line per event, the first field the CLOCK_MONOTONIC time in seconds
// with microseconds (the same clock for every process on the machine, so a test can compare it
// with its own), the second the event's name, then its fields separated by blanks:
//
//   12345.678901 RX 3f 0a                       bytes received in one read, in hex
//   12345.678950 CMD ?                          a command line, escaped
//   12345.684000 TX-START status 36 lines 251 bytes J057\nU0000\n...
//   12345.945000 TX-END status 36 lines 251 bytes   the time its last byte was written

#include <QByteArray>

namespace sim {

// Seconds on CLOCK_MONOTONIC.
double monotonicNow();

// The bytes with everything but printable ASCII written as \n, \r or \xHH (blanks and
// backslashes included), so that an escaped text is one blank-free field.
QByteArray escaped(const QByteArray &bytes);

class EventLog {
public:
    explicit EventLog(int fd) : m_fd(fd) {}

    void write(const QByteArray &event, const QByteArray &fields = {});
    void write(double when, const QByteArray &event, const QByteArray &fields = {});

private:
    int m_fd;
};

} // namespace sim
