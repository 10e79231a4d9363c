#pragma once
// Looking up a network port's host with a bound on the wait. The resolver itself cannot be told
// to give up (a name server that does not answer keeps it for seconds), so each look-up runs on a
// thread of its own and the caller stops waiting at its deadline; a look-up left behind finishes
// on its own and its answer is dropped.

#include <QHostAddress>
#include <QList>
#include <QString>
#include <cstdint>
#include <memory>

namespace korvane {

class HostLookup {
public:
    // Starts looking `host` up (an address is taken as it is, with no look-up).
    explicit HostLookup(const QString &host);
    ~HostLookup();
    HostLookup(const HostLookup &) = delete;
    HostLookup &operator=(const HostLookup &) = delete;

    // Waits until the answer is in or the monotonic `deadline` (see wait_clock.h) passes; returns
    // whether it is in.
    bool wait(std::int64_t deadline);
    // The addresses found; empty when the name does not resolve (see error) or no answer came.
    QList<QHostAddress> addresses() const;
    // The resolver's reason when the name does not resolve; empty otherwise.
    QString error() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace korvane
