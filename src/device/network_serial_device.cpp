#include "device/network_serial_device.h"

#include "device/line_setup.h"
#include "device/network_link.h"
#include "device/socket_os.h"
#include "device/wait_clock.h"

namespace korvane {

using namespace telnet;
using Side = TelnetNegotiation::Side;

namespace {
// A short sleep while the kernel hands queued output on.
constexpr std::int64_t kDrainNapNsecs = 2'000'000;

} // namespace

NetworkSerialDevice::NetworkSerialDevice(int port, QString path, NetworkAddress address,
                                         OpenPump openPump, QObject *parent)
    : SerialDevice(parent), m_number(port), m_path(std::move(path)), m_address(std::move(address)),
      m_openPump(std::move(openPump)) {
    // One read takes at most this much from the kernel: a flooding server costs each turn of the
    // window a bounded piece of decoding and the program a bounded buffer.
    m_socket.setReadBufferSize(kReadChunk);
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] { take(); });
    connect(&m_socket, &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) { onSocketError(error); });
    // Told after Qt is done with the socket; a wait of ours checks the connection itself.
    connect(
        &m_socket, &QAbstractSocket::disconnected, this, [this] { checkConnection(); },
        Qt::QueuedConnection);
}

NetworkSerialDevice::~NetworkSerialDevice() {
    close();
}

QString NetworkSerialDevice::name() const {
    return QStringLiteral("COM%1 (%2)").arg(m_number).arg(m_path);
}

void NetworkSerialDevice::setLine(const LineSettings &settings, int handshaking) {
    if (handshaking == 3)
        throw settingsRefused(name(), QStringLiteral("RTS/CTS together with XON/XOFF handshaking"),
                              QStringLiteral("the server's line takes one kind"));
    m_settings = settings;
    m_handshaking = handshaking;
    if (m_open && m_settingsSent)
        send(settingsWire());
}

void NetworkSerialDevice::reset() {
    m_open = false;
    if (m_socket.state() != QAbstractSocket::UnconnectedState)
        m_socket.abort();
    m_data.clear();
    m_replies.clear();
    m_lineBytes = 0;
    m_decoder = TelnetDecoder();
    m_negotiation = TelnetNegotiation();
    m_heardServer = false;
    m_settingsSent = false;
    m_settingsAnswered = false;
    m_modem.reset();
    m_lossReason.clear();
    m_dropReason.clear();
    m_windowShut = false;
    m_serverWords.clear();
}

// Output the kernel still holds when the port closes did not drain in the close's time: it is
// dropped (the connection is reset, not closed in order), as a local close purges.
void NetworkSerialDevice::close() {
    if (!m_open && m_socket.state() == QAbstractSocket::UnconnectedState)
        return;
    const bool undrained = bytesToSend() > 0;
    m_open = false;
    if (connected() && undrained) {
        os::resetOnClose(m_socket.socketDescriptor());
    } else if (connected()) {
        m_socket.disconnectFromHost();
    }
    this->reset();
}

void NetworkSerialDevice::pullFromKernel() {
    if (connected() && os::bytesReadable(m_socket.socketDescriptor()) > 0)
        m_socket.waitForReadyRead(0); // reads what is there; readyRead takes it
    take();
}

qint64 NetworkSerialDevice::bytesWaiting() const {
    if (!m_open)
        return 0;
    // The kernel's bytes hold Telnet commands as well as the radio's: only decoding tells.
    const_cast<NetworkSerialDevice *>(this)->pullFromKernel();
    return m_data.size();
}

qint64 NetworkSerialDevice::bytesToSend() const {
    if (!connected())
        return 0;
    return m_socket.bytesToWrite() + os::bytesUnsent(m_socket.socketDescriptor());
}

QByteArray NetworkSerialDevice::read(qint64 maxBytes) {
    if (!m_open)
        return QByteArray();
    pullFromKernel();
    const qsizetype n =
        maxBytes > 0 ? qsizetype(std::min<qint64>(maxBytes, m_data.size())) : m_data.size();
    QByteArray bytes = m_data.left(n);
    m_data.remove(0, n);
    return bytes;
}

// A connection found gone here is the loss it is, told with its reason, never a failed write.
void NetworkSerialDevice::write(const QByteArray &bytes) {
    checkConnection();
    if (!m_open)
        return;
    const QByteArray wire =
        telnet() ? encodeData(bytes, m_negotiation.enabled(Side::Local, kBinary)) : bytes;
    noteLineBytes(wire.size());
    if (m_socket.write(wire) != wire.size()) {
        if (!connected()) {
            lose();
            return;
        }
        throw RunTimeError(err::kWriteFailed, name(), m_socket.errorString());
    }
    m_socket.flush();
    lookAtWindow();
    checkConnection();
}

void NetworkSerialDevice::discardInput() {
    if (!m_open)
        return;
    pullFromKernel();
    m_data.clear();
    if (m_settingsSent)
        send(comport::purgeData(comport::Purge::Receive));
}

void NetworkSerialDevice::discardOutput() {
    if (m_open && m_settingsSent)
        send(comport::purgeData(comport::Purge::Transmit));
}

bool NetworkSerialDevice::waitForInput(std::int64_t deadline) {
    while (m_open) {
        pullFromKernel();
        if (!m_data.isEmpty())
            return true;
        if (!waitForWire(deadline)) {
            checkConnection();
            return m_open && !m_data.isEmpty();
        }
    }
    return false;
}

void NetworkSerialDevice::waitForOutput(std::int64_t deadline) {
    while (m_open && bytesToSend() > 0) {
        const std::int64_t left = deadline - monotonicNsecs();
        if (left <= 0)
            return;
        if (m_socket.bytesToWrite() > 0) {
            m_socket.waitForBytesWritten(msecsUntil(deadline));
        } else {
            // Only the kernel's queue is left; it gives no wake-up when it empties.
            os::napFor(std::min(left, kDrainNapNsecs));
        }
        lookAtWindow();
        checkConnection();
    }
}

// Blocks until the wire brings something (taken at once) or the deadline passes; false at the
// deadline or when the connection ended.
bool NetworkSerialDevice::waitForWire(std::int64_t deadline) {
    if (!connected() || monotonicNsecs() >= deadline)
        return false;
    if (m_opening && m_openPump) {
        const quint64 reads = m_wireReads;
        pumpedWait(
            deadline, [&] { return !connected() || m_wireReads != reads; },
            socketNap(os::kReadable));
        if (connected() && m_wireReads != reads)
            return true;
    } else if (m_socket.waitForReadyRead(msecsUntil(deadline)) && connected()) {
        return true;
    }
    lookAtWindow();
    return false;
}

// One wait of an open that has a pump: the pump's turn, then `nap` until at most a slice later,
// until `done` holds or the deadline passes. Returns whether `done` holds.
bool NetworkSerialDevice::pumpedWait(std::int64_t deadline, const std::function<bool()> &done,
                                     const std::function<void(std::int64_t until)> &nap) {
    for (;;) {
        m_openPump();
        if (done())
            return true;
        const std::int64_t now = monotonicNsecs();
        if (now >= deadline)
            return false;
        nap(std::min(deadline, now + std::int64_t{kOpenSliceMsecs} * 1'000'000));
    }
}

// A nap that ends early when the socket is ready for `events`: Qt acts on them at the pump's
// next turn.
std::function<void(std::int64_t)> NetworkSerialDevice::socketNap(short events) const {
    return [this, events](std::int64_t until) {
        os::Watch watched{m_socket.socketDescriptor(), events, 0};
        if (watched.socket >= 0) {
            // Whole milliseconds, rounded up: the nap does not end before `until`.
            os::waitFor(&watched, 1, std::int64_t{msecsUntil(until)} * 1'000'000);
            return;
        }
        sleepUntil(until);
    };
}

// Whether the server still reads is seen only while the connection lasts: once the kernel gives
// up on it, the last look tells a server that stopped reading from one that went silent.
void NetworkSerialDevice::lookAtWindow() {
    if (connected())
        m_windowShut = peerWindowShut(m_socket.socketDescriptor());
}

QString NetworkSerialDevice::silenceReason() const {
    return m_windowShut ? QStringLiteral("the server stopped reading")
                        : QStringLiteral("no answer from the server within %1 s").arg(kSilenceSecs);
}

void NetworkSerialDevice::take() {
    if (!m_socket.isReadable())
        return;
    // The radio's bytes not yet read are bounded too: past kDeviceReadBuffer the rest waits in
    // the socket, whose own bound (kReadChunk) lets TCP close its window on the sender. The next
    // look at the count or read takes more.
    if (m_open && m_data.size() >= kDeviceReadBuffer)
        return;
    absorb(m_socket.readAll(), true);
}

// Decodes what the wire brought; `answer`: whether the server's requests are answered now (not
// once the connection has failed).
void NetworkSerialDevice::absorb(const QByteArray &bytes, bool answer) {
    if (bytes.isEmpty())
        return;
    ++m_wireReads;
    const qsizetype before = m_data.size();
    if (telnet()) {
        m_negotiation.beginRead();
        m_decoder.decode(bytes, m_data, [this](const TelnetEvent &event) { onTelnetEvent(event); });
        const QByteArray replies = std::exchange(m_replies, QByteArray());
        if (answer)
            send(replies);
    } else {
        m_data += bytes;
        if (m_open)
            m_serverWords.clear(); // the words were followed by more: not a parting word
    }
    if (m_open && m_data.size() > before)
        Q_EMIT readyRead();
}

// A server that resets the connection (ser2net does when it closes with our bytes unread, as
// when it will not serve and says why) has its last words in the kernel still, ahead of the
// reset; Qt closes the socket right after it tells the error, and they would go with it.
void NetworkSerialDevice::takeLastWords() {
    const os::Socket fd = m_socket.socketDescriptor();
    if (fd < 0)
        return;
    QByteArray bytes = m_socket.isReadable() ? m_socket.read(kReadChunk) : QByteArray();
    char chunk[4096];
    while (bytes.size() < kReadChunk) {
        const std::int64_t n = os::receiveNow(fd, chunk, sizeof chunk);
        if (n <= 0)
            break;
        bytes.append(chunk, qsizetype(n));
    }
    absorb(bytes, false);
}

void NetworkSerialDevice::onTelnetEvent(const TelnetEvent &event) {
    if (event.kind == TelnetEvent::Kind::Option) {
        m_heardServer = true;
        m_replies += m_negotiation.receive(event.code, event.option);
        m_decoder.setPeerBinary(m_negotiation.enabled(Side::Remote, kBinary));
        if (!m_settingsSent && m_negotiation.enabled(Side::Local, kComPort))
            m_replies += settingsWire();
        return;
    }
    if (event.kind != TelnetEvent::Kind::Subnegotiation)
        return;
    const std::optional<comport::Message> message = comport::parseMessage(event);
    if (!message || !message->fromServer)
        return;
    m_heardServer = true;
    std::vector<std::int16_t> codes;
    switch (message->command) {
    case comport::Command::SetBaudRate:
        m_settingsAnswered = true;
        break;
    case comport::Command::NotifyModemState: {
        const comport::ModemState now{std::uint8_t(message->number().value_or(0))};
        codes = comport::commEventsFrom(now, m_modem);
        m_modem = now;
        break;
    }
    case comport::Command::NotifyLineState:
        codes = comport::commEventsFrom(
            comport::LineState{std::uint8_t(message->number().value_or(0))});
        break;
    default:
        break;
    }
    if (m_open) {
        for (const std::int16_t code : codes)
            Q_EMIT lineEvent(code);
    }
}

QByteArray NetworkSerialDevice::settingsWire() {
    m_settingsSent = true;
    return comport::lineSettingsMessages(m_settings) +
           comport::setControl(flowControlFor(m_handshaking)) +
           comport::setLineStateMask(kReportedLineErrors);
}

// The program's own talk to the server. Past the bound the connection is dropped; the loss is
// told once Qt is out of the socket's code (this may run inside its readyRead), or by the wait
// that finds the connection gone.
void NetworkSerialDevice::send(const QByteArray &wire) {
    if (wire.isEmpty() || !connected())
        return;
    noteLineBytes(0);
    m_socket.write(wire);
    m_socket.flush();
    lookAtWindow();
    if (m_socket.bytesToWrite() <= m_lineBytes + kUnreadBound)
        return;
    m_dropReason = QStringLiteral("the server stopped reading");
    m_lossReason = m_dropReason;
    m_socket.abort();
    QMetaObject::invokeMethod(
        this, [this] { checkConnection(); }, Qt::QueuedConnection);
}

void NetworkSerialDevice::noteLineBytes(qint64 bytes) {
    if (m_socket.bytesToWrite() == 0)
        m_lineBytes = 0;
    m_lineBytes += bytes;
}

void NetworkSerialDevice::onSocketError(QAbstractSocket::SocketError error) {
    if (!m_dropReason.isEmpty())
        return;
    if (error != QAbstractSocket::SocketTimeoutError)
        takeLastWords();
    switch (error) {
    // A wait of ours ended, or the kernel gave up on the connection: the loss, if it is one, is
    // told when the connection is found gone (see lose).
    case QAbstractSocket::SocketTimeoutError:
        return;
    case QAbstractSocket::RemoteHostClosedError:
        m_lossReason = QStringLiteral("the server closed the connection");
        break;
    case QAbstractSocket::NetworkError:
        m_lossReason = QStringLiteral("the network went away (%1)").arg(m_socket.errorString());
        break;
    default:
        m_lossReason =
            m_windowShut ? silenceReason()
                         : QStringLiteral("the connection failed (%1)").arg(m_socket.errorString());
        break;
    }
    // Qt may still be inside the socket's own code: the loss is told once that is done.
    QMetaObject::invokeMethod(
        this, [this] { checkConnection(); }, Qt::QueuedConnection);
}

void NetworkSerialDevice::checkConnection() {
    if (m_open && !connected())
        lose();
}

void NetworkSerialDevice::lose() {
    if (!m_open)
        return;
    // With no reason told, a connection that ended on a time-out was ended by the kernel: a
    // wait of ours never ends one.
    const QString closed = QStringLiteral("the server closed the connection");
    QString reason = m_lossReason;
    if (reason.isEmpty())
        reason = m_socket.error() == QAbstractSocket::SocketTimeoutError ? silenceReason() : closed;
    const QString said = serverWords(m_serverWords);
    if (reason == closed && !said.isEmpty())
        reason += QStringLiteral(": ") + said;
    const QString description = errorDescription(err::kDeviceLost, name(), reason);
    m_open = false; // what is still taken now is the radio's last words, not news
    take();
    const QByteArray last = m_data;
    reset();
    Q_EMIT lost(description, last);
}

} // namespace korvane
