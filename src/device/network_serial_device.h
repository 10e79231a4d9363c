#pragma once
// A port reached over the network (see text/network_address.h): a serial device server such as
// ser2net holds the radio's line and carries its bytes over one TCP connection. Over rfc2217 the
// connection speaks Telnet with the com-port option (text/telnet_codec.h): the settings go to the
// server at every open (a server starts each connection at its own defaults) and at every change,
// and its modem- and line-state notifications become the same comm events a local line raises.
// Over tcp the bytes pass as they are and the server's line keeps the settings it was given.
//
// The socket's bytes reach Qt's buffer when its notifier fires inside the event pump; every count
// and read here first takes what waits in the kernel, without waiting, and output is handed to
// the kernel at once, as a local line does with its driver. The waits block in the socket's own
// waits, which dispatch no events.
//
// Opening is bounded by 3 s for the look-up, the connection and the server's first word. Given an
// open pump, the open hands it a turn every kOpenSliceMsecs while it waits, so that the window
// repaints and a close or a signal from outside is acted on; without one the open blocks (the
// port list's probe, the tests of the device alone). What a
// server says instead of serving ("Port already in use", "Device open failure: ...") followed by
// a close is the reason the open fails, never the radio's data; so is what a raw server says
// in the moments after the connection, even when it is slow to close. A connection that ends
// while open loses the port, told for what it was: the server closed or reset it (with a raw
// server's words from the open, if nothing came since), it went silent (the kernel gave up after
// kSilenceSecs unanswered), or it stopped reading (its window stayed shut as long).
//
// What the program says to the server of itself (Telnet answers, settings, purges) is sent once
// per read of the wire, all of it in one write. A server that floods requests and never reads
// the answers would grow the socket's buffer without end: once the answers waiting there pass
// kUnreadBound beyond what the radio's own bytes need, the port is lost ("the server stopped
// reading").

#include "base/run_time_error.h"
#include "device/serial_device.h"
#include "text/network_address.h"
#include "text/telnet_codec.h"

#include <QTcpSocket>
#include <functional>
#include <optional>

namespace korvane {

class NetworkSerialDevice final : public SerialDevice {
    Q_OBJECT
public:
    // The whole open, from the look-up to the server's first word.
    static constexpr int kOpenBoundMsecs = 3000;
    // How much of the program's own talk may wait unsent for a server that does not read.
    static constexpr qint64 kUnreadBound = 64 * 1024;
    // The most one read takes from the kernel.
    static constexpr qint64 kReadChunk = 64 * 1024;

    // How often an open that waits hands its pump a turn.
    static constexpr int kOpenSliceMsecs = 10;
    // What an open's pump does: runs what is pending for the window, except the operator's input,
    // and returns at once.
    using OpenPump = std::function<void()>;

    // `port` is the port number messages name, `path` the entry the port table gives it.
    NetworkSerialDevice(int port, QString path, NetworkAddress address, OpenPump openPump = {},
                        QObject *parent = nullptr);
    ~NetworkSerialDevice() override;

    QString name() const override;
    void open(const LineSettings &settings, int handshaking) override;
    void setLine(const LineSettings &settings, int handshaking) override;
    void close() override;
    bool isOpen() const override { return m_open; }
    qint64 bytesWaiting() const override;
    qint64 bytesToSend() const override;
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray &bytes) override;
    void discardInput() override;
    void discardOutput() override;
    bool waitForInput(std::int64_t deadline) override;
    void waitForOutput(std::int64_t deadline) override;

private:
    bool telnet() const { return m_address.kind == NetworkAddress::Kind::Rfc2217; }
    bool connected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }
    void connectTo(std::int64_t deadline);
    void awaitServer(std::int64_t deadline);
    [[noreturn]] void failOpen(const ErrorKind &kind, const QString &reason);
    [[noreturn]] void failClosedByServer();
    void take();
    void absorb(const QByteArray &bytes, bool answer);
    void takeLastWords();
    void pullFromKernel();
    void onTelnetEvent(const TelnetEvent &event);
    QByteArray settingsWire();
    void send(const QByteArray &wire);
    void noteLineBytes(qint64 bytes);
    bool waitForWire(std::int64_t deadline);
    bool pumpedWait(std::int64_t deadline, const std::function<bool()> &done,
                    const std::function<void(std::int64_t until)> &nap);
    std::function<void(std::int64_t)> socketNap(short events) const;
    void pauseOpen(std::int64_t nsecs);
    void lookAtWindow();
    QString silenceReason() const;
    void onSocketError(QAbstractSocket::SocketError error);
    void checkConnection();
    void lose();
    void reset();

    int m_number;
    QString m_path;
    NetworkAddress m_address;
    QString m_peer; // "127.0.0.1 port 7001": where the connection went
    OpenPump m_openPump;
    bool m_opening = false; // the open's waits hand the pump turns
    QTcpSocket m_socket;
    TelnetDecoder m_decoder;
    TelnetNegotiation m_negotiation;
    QByteArray m_data;    // the radio's bytes, decoded, not yet read
    QByteArray m_replies; // the answers to what the current read brought, sent after it
    // The radio's bytes that may still wait in the socket's buffer: all written since it was
    // last seen empty.
    qint64 m_lineBytes = 0;
    LineSettings m_settings;
    int m_handshaking = 0;
    bool m_open = false;
    bool m_heardServer = false;  // any Telnet negotiation from the server
    bool m_settingsSent = false; // since the com-port option was agreed
    bool m_settingsAnswered = false;
    std::optional<comport::ModemState> m_modem;
    QString m_lossReason;
    QString m_dropReason; // why the program itself dropped the connection; empty when it did not
    bool m_windowShut = false; // at the last look, the server had stopped reading
    QByteArray m_serverWords;  // what a raw server said while the open settled, until more came
    quint64 m_wireReads = 0;   // reads that brought something, to tell a wait what came
};

} // namespace korvane
