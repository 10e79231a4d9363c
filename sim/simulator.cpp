#include "simulator.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <poll.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr int kDefaultBaud = 9600;
// Paced output is written at most this often; every character due by then goes in one write.
constexpr double kChunkSeconds = 0.002;
// How long a hang-up waits for the console to take the bytes already sent.
constexpr double kHangUpDrainSeconds = 0.5;
// The log shows at most this much of a report's text.
constexpr qsizetype kLoggedText = 4096;
constexpr double kNever = std::numeric_limits<double>::infinity();
// Waiting to replay, the radio looks at the line's settings this often, and starts once the
// console's have held still this long.
constexpr double kWatchSeconds = 0.005;
constexpr double kSettleSeconds = 0.010;

QByteArray describe(const Outgoing &out) {
    return QByteArray(kindName(out.kind)) + ' ' + QByteArray::number(out.lines) + " lines " +
           QByteArray::number(out.bytes.size()) + " bytes";
}

timespec toTimespec(double seconds) {
    seconds = std::max(0.0, seconds);
    timespec ts{};
    ts.tv_sec = time_t(seconds);
    ts.tv_nsec = long((seconds - double(ts.tv_sec)) * 1e9);
    return ts;
}

} // namespace

Simulator::Simulator(const Options &options, SerialLine &line, EventLog &log,
                     const ReplayLog *replay)
    : m_options(options), m_line(line), m_log(log),
      m_radio(options.seed, options.meterLinesPerPoll), m_reader(Radio::kMaxCommandLength),
      m_encoder(options.wire, options.seed) {
    m_baud = options.baud > 0 ? options.baud : lineBaud();
    m_log.write("BAUD", QByteArray::number(m_baud));
    if (replay != nullptr) {
        m_replaying = true;
        m_replaySteps = replay->steps;
        m_seenSettings = m_line.settingsAtOpen();
        m_settledAt = kNever;
        qsizetype bytes = 0;
        for (const ReplayStep &step : m_replaySteps)
            bytes += step.bytes.size();
        m_log.write("REPLAY", QByteArray::number(m_replaySteps.size()) + " steps " +
                                  QByteArray::number(bytes) + " bytes speed " +
                                  QByteArray::number(options.replaySpeed));
    }
}

void Simulator::watchForConsole(double now) {
    if (m_replayStarted || !m_line.isPseudoTerminal())
        return;
    const QByteArray settings = m_line.settings();
    if (settings != m_seenSettings) {
        m_seenSettings = settings;
        // Back to the radio's own settings: the console has closed again (a port restores
        // what it found), and the next open is the one to wait for.
        m_settledAt = settings == m_line.settingsAtOpen() ? kNever : now + kSettleSeconds;
    } else if (now >= m_settledAt) {
        startReplay(now, "console settings");
    }
}

void Simulator::startReplay(double now, const QByteArray &sign) {
    m_replayStarted = true;
    m_log.write(now, "REPLAY-START", sign);
    for (const ReplayStep &step : m_replaySteps) {
        Queued q;
        q.out.bytes = step.bytes;
        q.out.lines = step.records;
        q.out.kind = Report::Kind::Replay;
        q.readyAt = now + double(step.ms) / 1000.0 / m_options.replaySpeed;
        q.hangUp = step.lost;
        m_queue.push_back(std::move(q));
    }
    m_replaySteps.clear();
}

int Simulator::lineBaud() const {
    const int baud = m_line.currentBaud();
    return baud > 0 ? baud : kDefaultBaud;
}

void Simulator::followBaud() {
    if (m_options.baud > 0)
        return;
    const int next = lineBaud();
    if (next != m_baud) {
        m_baud = next;
        m_log.write("BAUD", QByteArray::number(m_baud));
    }
}

void Simulator::answer(const Report &report, double now) {
    if (m_options.silent || m_replaying || report.lines.isEmpty())
        return;
    Queued q;
    q.out = m_encoder.encode(report);
    q.readyAt = now + m_options.replyDelayMs / 1000.0;
    m_queue.push_back(std::move(q));
}

Simulator::Step Simulator::receive(double now) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_line.fd(), buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN)
            return Step::Continue;
        if (n <= 0) {
            m_log.write("LINE-LOST", n == 0 ? QByteArray("end of file")
                                            : QByteArray(std::strerror(errno)).replace(' ', '_'));
            return Step::LineLost;
        }
        const QByteArray bytes(buffer, n);
        m_log.write(now, "RX", bytes.toHex(' '));
        if (m_replaying && !m_replayStarted)
            startReplay(now, "console byte");
        for (const Received &r : m_reader.feed(bytes)) {
            switch (r.kind) {
            case Received::Kind::Poll:
                m_log.write(now, "POLL");
                answer(m_radio.poll(), now);
                break;
            case Received::Kind::Line:
                m_log.write(now, "CMD", escaped(r.line));
                answer(m_radio.command(r.line), now);
                break;
            case Received::Kind::Overlong:
                m_log.write(now, "OVERLONG", QByteArray::number(r.length) + " bytes");
                answer(m_radio.overlong(r.length), now);
                break;
            }
        }
    }
}

Simulator::Step Simulator::send(double now) {
    while (!m_queue.empty() && !m_blocked) {
        Queued &q = m_queue.front();
        if (now < q.readyAt)
            return Step::Continue;
        if (q.hangUp)
            return hangUp();
        if (!q.started) {
            q.started = true;
            followBaud();
            m_lineFree = std::max(m_lineFree, now);
            QByteArray text = escaped(q.out.bytes.left(kLoggedText));
            if (q.out.bytes.size() > kLoggedText)
                text += "...";
            m_log.write(now, "TX-START", describe(q.out) + ' ' + text);
        }
        if (now < m_lineFree || (m_options.pace && now < m_nextChunk))
            return Step::Continue;

        qsizetype n = q.out.bytes.size() - q.sent;
        if (q.nextPause < q.out.pauses.size())
            n = q.out.pauses[q.nextPause].offset - q.sent;
        if (m_options.pace)
            n = std::min(n, qsizetype((now - m_lineFree) / charSeconds()) + 1);
        if (m_options.hangupAfter >= 0)
            n = std::min(n, qsizetype(m_options.hangupAfter - m_sent));
        if (n <= 0 && m_options.hangupAfter >= 0 && m_sent >= m_options.hangupAfter)
            return hangUp();

        // A report's end is stamped just before the write that carries its last byte: the
        // console cannot have seen that byte any earlier.
        const double writing = monotonicNow();
        if (n > 0) {
            const ssize_t w = ::write(m_line.fd(), q.out.bytes.constData() + q.sent, size_t(n));
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0 && errno == EAGAIN) {
                m_blocked = true;
                return Step::Continue;
            }
            if (w < 0) {
                m_log.write("LINE-LOST", QByteArray(std::strerror(errno)).replace(' ', '_'));
                return Step::LineLost;
            }
            q.sent += w;
            m_sent += w;
            if (m_options.pace) {
                m_lineFree += double(w) * charSeconds();
                m_nextChunk = now + kChunkSeconds;
            }
            if (w < n)
                m_blocked = true;
        }
        const double written = monotonicNow();
        if (q.nextPause < q.out.pauses.size() && q.sent == q.out.pauses[q.nextPause].offset) {
            m_lineFree = std::max(m_lineFree, written) + q.out.pauses[q.nextPause].ms / 1000.0;
            ++q.nextPause;
        }
        if (q.sent == q.out.bytes.size()) {
            m_log.write(writing, "TX-END", describe(q.out));
            m_queue.pop_front();
        }
        if (m_options.hangupAfter >= 0 && m_sent >= m_options.hangupAfter)
            return hangUp();
        if (m_options.pace)
            return Step::Continue; // the next chunk when its time comes
        now = written;
    }
    return Step::Continue;
}

Simulator::Step Simulator::hangUp() {
    // What was sent reaches the console before the line goes: the hang-up cuts the line after
    // exactly the bytes promised, not somewhere inside the last chunk.
    m_line.drain(kHangUpDrainSeconds);
    m_log.write("HANGUP", QByteArray::number(m_sent) + " bytes");
    m_line.hangUp();
    return Step::HungUp;
}

double Simulator::nextWake(double now) const {
    if (m_replaying && !m_replayStarted)
        return m_line.isPseudoTerminal() ? now + kWatchSeconds : kNever;
    if (m_blocked)
        return kNever;
    if (m_queue.empty())
        return m_options.stream && !m_options.silent ? now : kNever;
    const Queued &q = m_queue.front();
    if (!q.started)
        return q.readyAt;
    double wake = m_lineFree;
    if (m_options.pace)
        wake = std::max(wake, m_nextChunk);
    return std::max(wake, now);
}

int Simulator::run(const sigset_t &waitMask, const volatile std::sig_atomic_t &stopSignal) {
    const double started = monotonicNow();
    const double exitAt = m_options.exitAfter > 0 ? started + m_options.exitAfter : kNever;
    for (;;) {
        double now = monotonicNow();
        if (stopSignal != 0) {
            m_log.write(now, "EXIT", "signal " + QByteArray::number(int(stopSignal)));
            return 0;
        }
        if (now >= exitAt) {
            m_log.write(now, "EXIT", "time");
            return 0;
        }
        if (m_options.stream && !m_options.silent && m_queue.empty()) {
            Queued q;
            Report report = m_radio.poll();
            report.kind = Report::Kind::Stream;
            q.out = m_encoder.encode(report);
            q.readyAt = now;
            m_queue.push_back(std::move(q));
        }
        if (m_replaying)
            watchForConsole(now);
        Step step = send(now);
        if (step == Step::HungUp)
            return 0;
        if (step == Step::LineLost)
            return 1;
        if (m_replayStarted && !m_replayEnded && m_queue.empty()) {
            m_replayEnded = true;
            m_log.write("REPLAY-END", QByteArray::number(m_sent) + " bytes");
        }

        now = monotonicNow();
        const double wake = std::min(nextWake(now), exitAt);
        pollfd p{m_line.fd(), short(POLLIN | (m_blocked ? POLLOUT : 0)), 0};
        const timespec timeout = toTimespec(wake - now);
        const int ready = ppoll(&p, 1, std::isinf(wake) ? nullptr : &timeout, &waitMask);
        if (ready < 0 && errno != EINTR) {
            m_log.write("LINE-LOST", QByteArray(std::strerror(errno)).replace(' ', '_'));
            return 1;
        }
        if (ready <= 0)
            continue;
        now = monotonicNow();
        if ((p.revents & POLLOUT) != 0 && m_blocked) {
            // The console took bytes again: carry on from now, without a burst to catch up.
            m_blocked = false;
            m_lineFree = now;
        }
        if ((p.revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
            step = receive(now);
            if (step == Step::LineLost)
                return 1;
        }
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            // The device went away (a pseudo-terminal never hangs up: the radio holds its slave).
            m_log.write("LINE-LOST", "hang-up");
            return 1;
        }
    }
}

} // namespace sim
