#include "event_log.h"

#include <cerrno>
#include <ctime>
#include <unistd.h>

namespace sim {

double monotonicNow() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

QByteArray escaped(const QByteArray &bytes) {
    static const char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\n') {
            out += "\\n";
        } else if (u == '\r') {
            out += "\\r";
        } else if (u > 0x20 && u < 0x7f && u != '\\') {
            out += c;
        } else {
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 0xf];
        }
    }
    return out;
}

void EventLog::write(const QByteArray &event, const QByteArray &fields) {
    write(monotonicNow(), event, fields);
}

void EventLog::write(double when, const QByteArray &event, const QByteArray &fields) {
    if (m_fd < 0)
        return;
    QByteArray line = QByteArray::number(when, 'f', 6) + ' ' + event;
    if (!fields.isEmpty())
        line += ' ' + fields;
    line += '\n';
    // One write per event, so that a reader following the file never sees half a line.
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(m_fd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return; // a log that cannot be written must not stop the radio
        done += n;
    }
}

} // namespace sim
