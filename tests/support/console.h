#pragma once
// The whole console for end-to-end tests: the real window (offscreen), the real serial control
// on a real pseudo-terminal through KORVANE_PORTS, the real probe loop driven a turn at a time.
// The event pump never sleeps more than a few milliseconds, and the shutdown records that it
// would have ended the program instead of ending the test. ConsoleWithSim puts the simulated
// radio on the other end of the line.

#include "app/korvane_app.h"
#include "support/pty_pair.h"
#include "support/sim_radio.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace korvane::test {

class Console {
public:
    // `ports` is the KORVANE_PORTS table; "%1" in it stands for the pty's slave path, and a
    // device named in bytes that are not UTF-8 has them escaped (text/path_bytes.h). `log` is
    // what the command line would ask of the session log.
    explicit Console(const QString &ports = QStringLiteral("1=%1"), LogOptions log = {});
    ~Console();

    Korvane &app() { return *m_app; }
    frmKorvane &window() { return m_app->window; }
    ProbeState &state() { return m_app->state; }
    PtyPair &radio() { return m_radio; }
    bool ended() const { return m_ended; }

    // Start-up as the program runs it (window shown, ports listed).
    void startUp();
    // Runs the loop until `done` holds or `msecs` pass; returns whether it held.
    bool runUntil(const std::function<bool()> &done, int msecs = 5000);
    // Runs the loop for `msecs`.
    void runFor(int msecs);

    // Clicks a button by its object name, as the operator would.
    void click(const char *objectName);
    // Opens the port from the window ("Start Probe") and lets the loop start probing.
    void openPort();
    // Empties the last slot and runs the loop until a report closes there (its "." line) or
    // `msecs` pass; returns whether one did.
    bool runUntilReportCompleted(int msecs = 5000);
    QString message() const;
    QString slot(int index) const;
    // The slots of a status report's lines (1 to 35) still empty, their numbers joined by
    // blanks; empty when a report has filled them all.
    QString emptySlots() const;
    // The ports the window lists, in its order.
    QStringList listedPorts() const;

private:
    PtyPair m_radio;
    std::unique_ptr<PortsEnvironment> m_ports;
    std::unique_ptr<Korvane> m_app;
    bool m_ended = false;
};

namespace detail {
// The radio, as a base of its own, is made before the console that names it and ends after it.
struct SimRadioFirst {
    explicit SimRadioFirst(const QStringList &arguments) : simRadio(arguments) {}
    SimRadio simRadio;
};
} // namespace detail

// The console with the simulated radio on its line: rt1446-sim started with `radioArguments`,
// COM1 in the console's port table. Not started up: the test does that when it is ready.
class ConsoleWithSim : private detail::SimRadioFirst, public Console {
public:
    explicit ConsoleWithSim(const QStringList &radioArguments = {}, LogOptions log = {})
        : SimRadioFirst(radioArguments), Console(simRadio.ports(), std::move(log)) {}

    SimRadio &sim() { return simRadio; }
};

// This process's resident set in KiB, from /proc; -1 when it cannot be read.
qint64 residentKiB();

} // namespace korvane::test
