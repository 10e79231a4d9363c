#pragma once
// The simulated radio as the tests meet it: the built rt1446-sim started with QProcess, and the
// console's end of its line opened as the console would, raw, with plain POSIX calls.

#include "support/sim_radio.h"
#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QStringList>

#include <functional>

namespace simtest {

// Seconds on CLOCK_MONOTONIC, the clock of the radio's log.
double now();

struct Chunk {
    double time; // when the read returned it
    QByteArray bytes;
};

// The lines of `bytes` that were ended by a line feed, without it.
QList<QByteArray> completeLines(const QByteArray &bytes);
// How many report-closing "." lines `bytes` holds.
int reportsIn(const QByteArray &bytes);
// The longest silence between two chunks, in seconds.
double longestGap(const QList<Chunk> &chunks);

// Timing seen from another process suffers when the machine is busy: a late read delays or
// merges what the radio wrote in good time. So a timing check passes if one of a few tries
// passes. `attempt` returns what was wrong, or an empty text; bestOf returns the last failure.
QString bestOf(int tries, const std::function<QString()> &attempt);

// Opens a terminal device raw, 8 bits, not blocking; -1 on failure.
int openRaw(const QString &path);

class Sim {
public:
    // `errors`: ForwardedErrorChannel shows the radio's complaints in the test's output;
    // SeparateChannels keeps them for process().readAllStandardError().
    explicit Sim(const QStringList &arguments = {},
                 QProcess::ProcessChannelMode errors = QProcess::ForwardedErrorChannel);
    ~Sim();
    Sim(const Sim &) = delete;
    Sim &operator=(const Sim &) = delete;

    // The path printed on the first line (empty if the radio did not start).
    QString path() const { return m_radio.path(); }
    QString logPath() const { return m_radio.logPath(); }
    QProcess &process() { return m_radio.process(); }

    // The console's end; opened on first use.
    int console();
    void closeConsole();
    void send(const QByteArray &bytes);

    // Reads until `done` says so or `msecs` pass.
    QList<Chunk> readTimed(int msecs, const std::function<bool(const QByteArray &)> &done = {});
    QByteArray read(int msecs, const std::function<bool(const QByteArray &)> &done = {});
    // Reads until `count` reports have closed (or `msecs` pass).
    QByteArray readReports(int count, int msecs = 3000);

    // The log as it stands, one event a line.
    QList<QByteArray> log() const { return m_radio.logLines(); }
    // Waits for the process to end; true if it ended by itself with `status`.
    bool waitForExit(int status, int msecs = 3000) { return m_radio.waitForExit(status, msecs); }

private:
    korvane::test::SimRadio m_radio; // the one launcher of the simulated radio for every test
    int m_console = -1;
};

} // namespace simtest
