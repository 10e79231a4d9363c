#pragma once
// The radio at work: reads what the console sends, answers after a short delay, and writes the
// answers paced at the line's baud rate.
//
// Pacing keeps a line clock: the time at which the line is free for its next character, which
// moves on by 10 bit times for each character written. The radio wakes every few milliseconds
// (or once a character, at slow rates), writes every character whose time has come in one go,
// and sleeps again. The rate is right on average, and a character is never more than a chunk
// late, so a report never shows a gap long enough to end the console's burst.

#include "command_reader.h"
#include "event_log.h"
#include "options.h"
#include "radio.h"
#include "serial_line.h"
#include "wire.h"

#include <csignal>
#include <deque>

namespace sim {

class Simulator {
public:
    Simulator(const Options &options, SerialLine &line, EventLog &log);

    // Serves until a signal arrives (`stopSignal` becomes non-zero while signals are let
    // through during waits), the time runs out or the line hangs up. Returns the exit status.
    int run(const sigset_t &waitMask, const volatile std::sig_atomic_t &stopSignal);

private:
    struct Queued {
        Outgoing out;
        double readyAt = 0;
        qsizetype sent = 0;
        qsizetype nextPause = 0;
        bool started = false;
    };
    enum class Step { Continue, HungUp, LineLost };

    Step receive(double now);
    void answer(const Report &report, double now);
    Step send(double now);
    Step hangUp();
    double nextWake(double now) const;
    double charSeconds() const { return 10.0 / m_baud; }
    int lineBaud() const;
    void followBaud();

    const Options &m_options;
    SerialLine &m_line;
    EventLog &m_log;
    Radio m_radio;
    CommandReader m_reader;
    WireEncoder m_encoder;

    std::deque<Queued> m_queue;
    int m_baud = 9600;
    double m_lineFree = 0;  // when the line may carry its next character
    double m_nextChunk = 0; // when the next paced chunk may be written at the earliest
    bool m_blocked = false; // the console is not taking bytes: wait until it does
    qint64 m_sent = 0;
};

} // namespace sim
