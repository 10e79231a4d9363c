#pragma once
// The radio at work: reads what the console sends, answers after a short delay, and writes the
// answers paced at the line's baud rate.
//
// Pacing keeps a line clock: the time at which the line is free for its next character, which
// moves on by 10 bit times for each character written. The radio wakes every few milliseconds
// (or once a character, at slow rates), writes every character whose time has come in one go,
// and sleeps again. The rate is right on average, and a character is never more than a chunk
// late, so a report never shows a gap long enough to end the console's burst.
//
// Replaying a recorded traffic log, the radio answers nothing (it still logs what the console
// sends) and plays instead what the recorded radio sent, each step of the log due at its time
// after the console opened the line, scaled by the replay speed, and paced as any answer. The
// radio sees the console open a pseudo-terminal by its settings: it looks every few
// milliseconds, and once they differ from its own and have held still for a moment (the console
// sets the line up and clears its input in one go) the clock starts. The console's first byte
// starts it too, if it comes first; on a real device that is the only sign. A step that marks
// the device lost hangs up the line there, as --hangup-after does. After the last step the
// radio stays on the line, silent.

#include "command_reader.h"
#include "event_log.h"
#include "options.h"
#include "radio.h"
#include "replay_log.h"
#include "serial_line.h"
#include "wire.h"

#include <csignal>
#include <deque>

namespace sim {

class Simulator {
public:
    // With `replay`, plays it back instead of answering.
    Simulator(const Options &options, SerialLine &line, EventLog &log,
              const ReplayLog *replay = nullptr);

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
        bool hangUp = false; // a replayed lost device: hang up when this is due
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
    void watchForConsole(double now);
    void startReplay(double now, const QByteArray &sign);

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

    bool m_replaying = false;
    QList<ReplayStep> m_replaySteps; // until the replay starts; then they are queued
    bool m_replayStarted = false;
    bool m_replayEnded = false;
    QByteArray m_seenSettings; // the line's settings when last looked at
    double m_settledAt = 0;    // when the console's new settings will have held still enough
};

} // namespace sim
