#include "device/line_watch.h"

#include <cerrno>
#include <linux/serial.h>
#include <sys/ioctl.h>

namespace korvane {

namespace {
constexpr int kLineWatchMsecs = 150;
// The kernel's modem bits are taken as they come.
static_assert(modem::kCts == TIOCM_CTS && modem::kDsr == TIOCM_DSR &&
              modem::kCarrier == TIOCM_CAR && modem::kRing == TIOCM_RNG);
} // namespace

LineWatch::LineWatch(QObject *parent) : QObject(parent) {
    connect(&m_timer, &QTimer::timeout, this, &LineWatch::watch);
}

void LineWatch::start(int fd) {
    m_fd = fd;
    bool failed = false;
    m_last = look(&failed);
    if (m_last.modemLines || m_last.counters)
        m_timer.start(kLineWatchMsecs);
}

void LineWatch::stop() {
    m_timer.stop();
    m_fd = -1;
}

// What the device tells of its lines now; an error other than "not supported" means the device
// went away.
LineLook LineWatch::look(bool *failed) const {
    LineLook now;
    *failed = false;
    const auto vanished = [] { return errno == EIO || errno == ENODEV || errno == ENXIO; };
    int lines = 0;
    if (::ioctl(m_fd, TIOCMGET, &lines) == 0)
        now.modemLines = lines;
    else
        *failed = *failed || vanished();
    serial_icounter_struct counters{};
    if (::ioctl(m_fd, TIOCGICOUNT, &counters) == 0) {
        now.counters = LineCounters{counters.cts,     counters.dsr,         counters.rng,
                                    counters.dcd,     counters.brk,         counters.frame,
                                    counters.overrun, counters.buf_overrun, counters.parity};
    } else {
        *failed = *failed || vanished();
    }
    return now;
}

void LineWatch::watch() {
    if (m_fd < 0)
        return;
    bool failed = false;
    const LineLook now = look(&failed);
    if (failed) {
        Q_EMIT deviceGone();
        return;
    }
    const LineLook before = m_last;
    m_last = now;
    for (const std::int16_t code : commEventsBetween(before, now))
        Q_EMIT lineEvent(code);
}

} // namespace korvane
