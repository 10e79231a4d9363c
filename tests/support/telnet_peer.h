#pragma once
// A scripted serial device server on 127.0.0.1, for what ser2net will not do on demand: bytes
// cut at chosen places, commands never acknowledged, a connection gone half-open, closed or reset
// at a chosen moment, a port that refuses connections. It records what the program sent it,
// decoded with the program's own codec, so a test can check what the console asked for.
//
// It runs on a thread of its own, with its own event loop: the console's receive wait blocks its
// (GUI) thread without dispatching events, so a peer living in that thread's event loop would
// stall exactly when the console waits for it. The test thread only calls the methods below;
// each one hands its work to the peer's thread, and what was received is read under a lock. A
// QCoreApplication (or QApplication) must exist.
//
// One connection at a time, as a serial device server has one line: a connection made while
// another is open is closed at once (and counted).

#include "text/telnet_codec.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

namespace korvane::test {

class TelnetPeer {
public:
    struct Options {
        bool telnet = true;      // false: raw TCP, nothing negotiated or decoded
        bool negotiate = true;   // on connect, ask what ser2net asks, and answer by the Q method
        bool acknowledge = true; // answer each com-port setting with the value asked for
        QByteArray signature = "korvane-test-peer";
        // Written as it is on each connection taken, after the negotiation's start if any: a
        // server explaining itself. With closeAfterMsecs >= 0 the connection is then closed in
        // order that long after it was taken.
        QByteArray greeting;
        int closeAfterMsecs = -1;
    };

    TelnetPeer();
    explicit TelnetPeer(const Options &options);
    ~TelnetPeer();
    TelnetPeer(const TelnetPeer &) = delete;
    TelnetPeer &operator=(const TelnetPeer &) = delete;

    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    // "rfc2217://127.0.0.1:PORT" or, without Telnet, "tcp://127.0.0.1:PORT".
    QString url() const;

    // Bytes put on the wire of the open connection as they are (dropped when none is open), cut
    // at the given offsets with `gapMsecs` between the pieces (with no gap the pieces may reach
    // the console as one).
    void send(const QByteArray &wire, const QList<qsizetype> &cuts = {}, int gapMsecs = 0);
    // The radio's bytes, with every 0xFF doubled (Telnet only); the cuts count wire bytes, so a
    // cut may fall between the two halves of a doubled 0xFF.
    void sendData(const QByteArray &data, const QList<qsizetype> &cuts = {}, int gapMsecs = 0);
    // Stops reading and writing; the connection stays up, so the console's output backs up.
    void goHalfOpen();
    // Goes silent as a host that was switched off or cut from the network: its kernel drops
    // every segment of the connection unanswered, acknowledgements and keep-alive answers too,
    // until the console's side gives up.
    void goSilent();
    // Writes `pattern` (bytes as they go on the wire) again and again for as long as the
    // connection lasts, as fast as the console takes it, and stops reading (a negotiation flood
    // from a server that never reads what the console answers); with `keepReading`, it goes on
    // reading what the console sends (a radio's answers coming faster than any line). The peer's
    // own output waiting is kept under 64 KiB.
    void flood(const QByteArray &pattern, bool keepReading = false);
    // Closes the connection in order (FIN), after what was queued to send.
    void close();
    // Resets the connection (RST), dropping what was queued.
    void reset();
    // Closes the listening socket: a new connection is refused.
    void refuse();

    int connections() const; // accepted, the ones closed at once included
    bool isConnected() const;
    // Whether the console closed its end (the peer saw the end of the stream).
    bool sawClose() const;

    QByteArray received() const;     // every byte as it came
    QByteArray receivedData() const; // the data in it, commands taken out
    QList<TelnetEvent> receivedEvents() const;
    QList<comport::Message> comPortRequests() const;

    // Waits, with the test thread asleep in short steps, until `condition` holds.
    static bool waitUntil(const std::function<bool()> &condition, int msecs = 5000);
    bool waitForConnection(int msecs = 5000);
    bool waitForData(qsizetype bytes, int msecs = 5000);

    struct Private;

private:
    std::unique_ptr<Private> d;
    quint16 m_port = 0;
};

} // namespace korvane::test
