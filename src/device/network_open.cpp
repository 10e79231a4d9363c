// Opening a network port: the look-up, the connection and the server's first word, all within
// the open's bound, and each way it can fail told with its own number (see the class's header).

#include "device/host_lookup.h"
#include "device/line_setup.h"
#include "device/network_link.h"
#include "device/network_probe.h"
#include "device/network_serial_device.h"
#include "device/socket_os.h"
#include "device/wait_clock.h"

#include <QList>
#include <QScopeGuard>

namespace korvane {

namespace {
// After the server's first word, how long an open waits for it to take the settings (or to say
// why it will not serve and close). A server that takes settings without answering them gets the
// rest of the session: the open does not hang on it.
constexpr std::int64_t kSettleNsecs = 500'000'000;
// A raw connection says nothing by itself: this long for a server that refuses to serve to say
// so and close before its words could be taken for the radio's. A server that did say something
// in that time gets kSettleNsecs in all to close.
constexpr std::int64_t kRawSettleNsecs = 100'000'000;
// How long a Telnet server has to speak first (see awaitServer). One that waits for the program
// to speak costs its opens this much.
constexpr std::int64_t kGreetingNsecs = 250'000'000;
// How long after the port list's probe of a server its "in use" may still be the probe's, and
// how long an open pauses before it asks again.
constexpr int kProbeReleaseMsecs = 2000;
constexpr std::int64_t kRetryPauseNsecs = 50'000'000;

} // namespace

void NetworkSerialDevice::failOpen(const ErrorKind &kind, const QString &reason) {
    reset();
    throw RunTimeError(kind, name(), reason);
}

void NetworkSerialDevice::failClosedByServer() {
    if (!m_dropReason.isEmpty())
        failOpen(err::kOpenFailed, m_dropReason);
    const QString said = serverWords(m_data);
    if (said.contains(QStringLiteral("in use"), Qt::CaseInsensitive)) {
        reset();
        throw RunTimeError(err::kDeviceInUse,
                           QStringLiteral("%1 is served to another client (the server said "
                                          "\"%2\")")
                               .arg(name(), said));
    }
    failOpen(err::kOpenFailed,
             said.isEmpty() ? QStringLiteral("the server closed the connection")
                            : QStringLiteral("the server closed the connection: %1").arg(said));
}

void NetworkSerialDevice::connectTo(std::int64_t deadline) {
    HostLookup lookup(m_address.host);
    const bool answered = m_openPump ? pumpedWait(
                                           deadline, [&] { return lookup.wait(0); },
                                           [&](std::int64_t until) { lookup.wait(until); })
                                     : lookup.wait(deadline);
    if (!answered)
        failOpen(err::kNoAnswer, QStringLiteral("no answer from the name server for %1 within "
                                                "3 s")
                                     .arg(m_address.host));
    const QList<QHostAddress> addresses = lookup.addresses();
    if (addresses.isEmpty())
        failOpen(err::kNameNotResolved, QStringLiteral("the name %1 does not resolve (%2)")
                                            .arg(m_address.host, lookup.error()));
    QAbstractSocket::SocketError last = QAbstractSocket::SocketTimeoutError;
    for (const QHostAddress &address : addresses) {
        m_peer = QStringLiteral("%1 port %2").arg(address.toString()).arg(m_address.port);
        m_socket.connectToHost(address, m_address.port);
        if (m_openPump) {
            // Qt sees the connection made (or refused) at the pump's turn after the socket
            // becomes writable.
            if (pumpedWait(
                    deadline,
                    [this] {
                        return connected() || m_socket.state() == QAbstractSocket::UnconnectedState;
                    },
                    socketNap(os::kWritable)) &&
                connected())
                break;
            last = m_socket.state() == QAbstractSocket::UnconnectedState
                       ? m_socket.error()
                       : QAbstractSocket::SocketTimeoutError;
        } else if (m_socket.waitForConnected(msecsUntil(deadline))) {
            break;
        } else {
            last = m_socket.error();
        }
        m_socket.abort();
        if (monotonicNsecs() >= deadline)
            break;
    }
    if (!connected()) {
        if (last == QAbstractSocket::ConnectionRefusedError)
            failOpen(
                err::kConnectionRefused,
                QStringLiteral("%1 refused the connection (nothing listens there)").arg(m_peer));
        if (last == QAbstractSocket::SocketTimeoutError)
            failOpen(err::kNoAnswer, QStringLiteral("no answer from %1 within 3 s").arg(m_peer));
        failOpen(err::kOpenFailed,
                 QStringLiteral("cannot connect to %1: %2").arg(m_peer, m_socket.errorString()));
    }
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    watchForSilence(m_socket.socketDescriptor());
}

// The server's first word (a Telnet negotiation), then its answer to the settings, each within
// its bound. Whatever the server wrote before closing is its reason.
void NetworkSerialDevice::awaitServer(std::int64_t deadline) {
    if (!telnet()) {
        const std::int64_t connectedAt = monotonicNsecs();
        std::int64_t settle = connectedAt + kRawSettleNsecs;
        while (connected() && waitForWire(std::min(settle, deadline))) {
            settle = connectedAt + kSettleNsecs;
        }
        if (!connected())
            failClosedByServer();
        return;
    }
    // ser2net speaks first, and one that will not serve says why and closes at once; whatever of
    // ours is still unread on its side then turns its close into a reset, which can drop its
    // words before they leave it. So the server has a moment to speak before the program does.
    const quint64 readsBefore = m_wireReads;
    const std::int64_t greeting = std::min(deadline, monotonicNsecs() + kGreetingNsecs);
    while (connected() && m_wireReads == readsBefore && waitForWire(greeting)) {
    }
    if (!connected())
        failClosedByServer();
    send(m_negotiation.start());
    while (connected() && !m_heardServer && waitForWire(deadline)) {
    }
    if (!connected())
        failClosedByServer();
    if (!m_heardServer)
        failOpen(err::kNoAnswer,
                 QStringLiteral("%1 took the connection but gave no Telnet answer within 3 s "
                                "(is it an rfc2217 server?)")
                     .arg(m_peer));
    const std::int64_t settle = std::min(deadline, monotonicNsecs() + kSettleNsecs);
    while (connected() && !m_settingsAnswered && waitForWire(settle)) {
    }
    if (!connected())
        failClosedByServer();
}

void NetworkSerialDevice::pauseOpen(std::int64_t nsecs) {
    const std::int64_t end = monotonicNsecs() + nsecs;
    if (m_openPump)
        pumpedWait(
            end, [] { return false; }, sleepUntil);
    else
        sleepUntil(end);
}

void NetworkSerialDevice::open(const LineSettings &settings, int handshaking) {
    if (handshaking == 3)
        throw settingsRefused(name(), QStringLiteral("RTS/CTS together with XON/XOFF handshaking"),
                              QStringLiteral("the server's line takes one kind"));
    reset();
    m_settings = settings;
    m_handshaking = handshaking;
    m_opening = true;
    const auto opened = qScopeGuard([this] { m_opening = false; });
    const std::int64_t deadline = monotonicNsecs() + std::int64_t{kOpenBoundMsecs} * 1'000'000;
    for (;;) {
        try {
            connectTo(deadline);
            awaitServer(deadline);
            break;
        } catch (const RunTimeError &e) {
            // The port list's own probe may still hold the server's line: it goes in a moment.
            if (e.number() != err::kDeviceInUse.number ||
                !probedRecently(m_address, kProbeReleaseMsecs) ||
                monotonicNsecs() + kRetryPauseNsecs >= deadline)
                throw;
            pauseOpen(kRetryPauseNsecs);
        }
    }
    // A freshly opened line starts empty, as a local one does. What a raw server said meanwhile
    // is kept aside: a close that follows it with nothing in between is told with it.
    if (!telnet())
        m_serverWords = m_data;
    m_data.clear();
    m_open = true;
}

} // namespace korvane
