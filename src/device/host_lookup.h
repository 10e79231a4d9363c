#pragma once
// Looking up a network port's host with a bound on the wait. The resolver itself cannot be told
// to give up (a name server that does not answer keeps it for seconds), so each look-up runs on a
// thread of its own and the caller stops waiting at its deadline; a look-up left behind finishes
// on its own and its answer is dropped.
//
// The name -> addresses step goes through one replaceable resolver, the machine's (getaddrinfo)
// unless another is put in its place: the tests put theirs there, so that no test ever asks a
// real name server anything. An address written as one (127.0.0.1, ::1) is taken as it is and
// never reaches the resolver.
//
// A waker lets one thread wait for many look-ups and for sockets at once: each look-up handed
// the waker makes its handle readable when its answer is in, so the waiter waits on it beside
// its sockets (see socket_os.h). It lives as long as the last look-up that holds it, so a
// look-up that outlives its waiter never writes to a handle that was closed and given to
// something else.

#include <QHostAddress>
#include <QList>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace korvane {

// What a resolver answers for a name: its addresses, or why it has none.
struct Resolution {
    QList<QHostAddress> addresses;
    QString error; // the resolver's reason when there are no addresses
};
// Turns a name into addresses. Runs on the look-up's own thread and may block there.
using Resolver = std::function<Resolution(const QString &host)>;

// The machine's resolver: getaddrinfo, which may ask the name servers of the network.
Resolution systemResolve(const QString &host);
// Makes every look-up started from now on go through `resolver` (an empty one: the machine's
// again); returns the one it replaces, empty for the machine's.
Resolver setResolver(Resolver resolver);

class LookupWaker {
public:
    LookupWaker();
    ~LookupWaker();
    LookupWaker(const LookupWaker &) = delete;
    LookupWaker &operator=(const LookupWaker &) = delete;

    // Readable once a look-up handed this waker has its answer in; take() makes it quiet again.
    std::intptr_t handle() const { return m_handle; }
    void take();
    void wake();

private:
    std::intptr_t m_handle;
};

class HostLookup {
public:
    // Starts looking `host` up; `waker`, when given, is woken once the answer is in.
    explicit HostLookup(const QString &host, std::shared_ptr<LookupWaker> waker = {});
    ~HostLookup();
    HostLookup(const HostLookup &) = delete;
    HostLookup &operator=(const HostLookup &) = delete;

    // Waits until the answer is in or the monotonic `deadline` (see wait_clock.h) passes; returns
    // whether it is in. A deadline already passed asks without waiting.
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
