#pragma once
// The whole console for end-to-end tests: the real window (offscreen), the real serial control
// on a real pseudo-terminal through KORVANE_PORTS, the real probe loop driven a turn at a time.
// The event pump never sleeps more than a few milliseconds, and the shutdown records that it
// would have ended the program instead of ending the test.

#include "app/korvane_app.h"
#include "support/pty_pair.h"

#include <QString>
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
    QString message() const;
    QString slot(int index) const;

private:
    PtyPair m_radio;
    std::unique_ptr<PortsEnvironment> m_ports;
    std::unique_ptr<Korvane> m_app;
    bool m_ended = false;
};

} // namespace korvane::test
