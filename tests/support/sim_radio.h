#pragma once
// The simulated radio for end-to-end tests: rt1446-sim (its path in KORVANE_SIM) started on a
// pseudo-terminal of its own, with its log in a temporary file. The test points the console's
// port table at path() and reads back from the log what the radio received and sent.
//
// Besides the radio's own misbehaviour options, the test can freeze it (it then reads and writes
// nothing, so the console's output backs up) and pull its plug (the line goes at once, without
// the drain an orderly hang-up gives).

#include "support/radio_log.h"

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace korvane::test {

class SimRadio {
public:
    using Event = RadioEvent;

    // Starts `program` (the one KORVANE_SIM names when empty) with the arguments and a log of
    // its own; its standard error goes where `errors` says.
    explicit SimRadio(const QStringList &arguments = {},
                      QProcess::ProcessChannelMode errors = QProcess::ForwardedErrorChannel,
                      const QString &program = QString());
    ~SimRadio();
    SimRadio(const SimRadio &) = delete;
    SimRadio &operator=(const SimRadio &) = delete;

    // The simulated radio's program: the one KORVANE_SIM names, else the one built beside this
    // test; empty when neither is there.
    static QString program();

    bool isRunning() const { return m_process.state() == QProcess::Running; }
    QProcess &process() { return m_process; }
    QString logPath() const { return m_dir.filePath(QStringLiteral("sim.log")); }
    // The log's complete lines as they stand.
    QList<QByteArray> logLines() const;
    // The pseudo-terminal the console opens; empty if the radio did not start.
    QString path() const { return m_path; }
    // A port table with the radio as COM`port`.
    QString ports(int port = 1) const;

    void freeze(); // SIGSTOP
    void thaw();   // SIGCONT
    void pullPlug();
    // Waits for the radio to end by itself; true if it did.
    bool waitForExit(int msecs = 3000);
    // The same, and true only if it ended normally with `status`.
    bool waitForExit(int status, int msecs);

    // The log's events of one kind ("POLL", "CMD", "TX-END", "HANGUP"...), in order.
    QList<Event> events(const QByteArray &name) const;
    int count(const QByteArray &name) const { return int(events(name).size()); }
    // Lines of the reports sent whole.
    qint64 linesSent() const;
    // Every byte the radio put on the line, rebuilt from its log and cut where it hung up; empty
    // when a report was too long for the log to hold it whole.
    std::optional<QByteArray> bytesSent() const;
    // Each report the radio began to send, whole, in order; empty when one was too long for the
    // log to hold it whole.
    std::optional<QList<QByteArray>> reportsSent() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_path;
};

// The korvane executable: the one KORVANE_BIN names, else the one built beside this test.
QString korvaneProgram();
// The program the environment `variable` names, else `built` if it is there; empty otherwise. A
// test run by hand finds the programs of the build tree it lives in, so it runs rather than
// skipping.
QString programInBuildTree(const char *variable, const QString &built);
// Why a test fails when `program` cannot be found: a test never passes without running.
QString notBuilt(const char *program);

// Seconds on CLOCK_MONOTONIC, the clock of the radio's log.
double monotonicSeconds();

// The non-empty lines of `bytes` ended by a line feed, without it, one character per byte.
QStringList wholeLines(const QByteArray &bytes);

} // namespace korvane::test
