#include "support/telnet_peer.h"

#include <QMutex>
#include <QMutexLocker>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <array>
#include <linux/filter.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace korvane::test {

using namespace telnet;
using Side = TelnetNegotiation::Side;

struct TelnetPeer::Private {
    // What is queued for the connection, in order: bytes to write, or the orderly close.
    struct Step {
        QByteArray bytes;
        int delayMsecs = 0;
        bool close = false;
    };

    Options options;
    QThread thread;
    QObject *context = nullptr; // lives in the peer's thread; parent of server and sockets

    // Touched only in the peer's thread.
    QTcpServer *server = nullptr;
    QTcpSocket *socket = nullptr;
    TelnetDecoder decoder;
    TelnetNegotiation negotiation{TelnetNegotiation::serverPolicy()};
    std::array<QByteArray, 13> settings; // the value in force for each com-port command
    QList<Step> queue;
    bool waiting = false; // a timer runs for the queue's first step
    bool halfOpen = false;
    QByteArray floodPattern; // written again and again while the connection lasts

    // Shared with the test's thread.
    mutable QMutex mutex;
    QByteArray received;
    QByteArray data;
    QList<TelnetEvent> events;
    QList<comport::Message> requests;
    int connections = 0;
    bool connected = false;
    bool sawClose = false;

    void post(std::function<void()> work) {
        QMetaObject::invokeMethod(context, std::move(work), Qt::QueuedConnection);
    }
    void call(std::function<void()> work) {
        QMetaObject::invokeMethod(context, std::move(work), Qt::BlockingQueuedConnection);
    }

    void accept();
    void read();
    void handle(const TelnetEvent &event);
    void acknowledge(const comport::Message &request);
    void write(const QByteArray &bytes);
    void pump();
    void keepFlooding();
    void drop(bool orderly);
};

void TelnetPeer::Private::accept() {
    while (QTcpSocket *next = server->nextPendingConnection()) {
        {
            QMutexLocker lock(&mutex);
            ++connections;
        }
        if (socket) { // the line is taken
            QObject::connect(next, &QAbstractSocket::disconnected, next, &QObject::deleteLater);
            next->disconnectFromHost();
            continue;
        }
        socket = next;
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        QObject::connect(socket, &QTcpSocket::readyRead, context, [this] { read(); });
        QObject::connect(socket, &QAbstractSocket::disconnected, context, [this, gone = socket] {
            // The console closed its end.
            {
                QMutexLocker lock(&mutex);
                sawClose = true;
                connected = false;
            }
            gone->deleteLater();
            if (socket == gone)
                socket = nullptr;
            queue.clear();
        });
        decoder = TelnetDecoder();
        negotiation = TelnetNegotiation(TelnetNegotiation::serverPolicy());
        settings = {};
        halfOpen = false;
        floodPattern.clear();
        {
            QMutexLocker lock(&mutex);
            connected = true;
        }
        if (options.telnet && options.negotiate)
            write(negotiation.start());
        write(options.greeting);
        if (options.closeAfterMsecs >= 0) {
            queue.append({QByteArray(), options.closeAfterMsecs, true});
            pump();
        }
    }
}

void TelnetPeer::Private::read() {
    if (!socket || halfOpen)
        return;
    const QByteArray bytes = socket->readAll();
    QByteArray plain;
    QList<TelnetEvent> taken;
    if (!options.telnet) {
        plain = bytes;
    } else {
        decoder.decode(bytes, plain, [&](const TelnetEvent &event) {
            taken.append(event);
            handle(event);
        });
    }
    QMutexLocker lock(&mutex);
    received += bytes;
    data += plain;
    events += taken;
}

void TelnetPeer::Private::handle(const TelnetEvent &event) {
    if (event.kind == TelnetEvent::Kind::Option && options.negotiate) {
        write(negotiation.receive(event.code, event.option));
        decoder.setPeerBinary(negotiation.enabled(Side::Remote, kBinary));
        return;
    }
    const std::optional<comport::Message> message = comport::parseMessage(event);
    if (!message || message->fromServer)
        return;
    {
        QMutexLocker lock(&mutex);
        requests.append(*message);
    }
    if (options.acknowledge)
        acknowledge(*message);
}

// Answers as a server that put in force exactly what was asked; a value of zero asks for the
// value in force.
void TelnetPeer::Private::acknowledge(const comport::Message &request) {
    using comport::Command;
    // What a fresh line has: 9600 baud, 8 data bits, no parity, one stop bit, no flow control,
    // no notifications asked for.
    static const std::array<QByteArray, 13> kDefaults = {
        QByteArray(),     QByteArray::fromHex("00002580"),
        QByteArray(1, 8), QByteArray(1, 1),
        QByteArray(1, 1), QByteArray(1, 1),
        QByteArray(),     QByteArray(),
        QByteArray(),     QByteArray(),
        QByteArray(1, 0), QByteArray(1, 0),
        QByteArray(1, 0)};
    const int index = int(request.command);
    switch (request.command) {
    case Command::Signature:
        if (request.value.isEmpty())
            write(comport::serverMessage(Command::Signature, options.signature));
        return;
    case Command::FlowControlSuspend:
    case Command::FlowControlResume:
    case Command::NotifyLineState:
    case Command::NotifyModemState:
        return;
    default:
        break;
    }
    QByteArray &inForce = settings[std::size_t(index)];
    if (inForce.isEmpty())
        inForce = kDefaults[std::size_t(index)];
    const bool asks = request.number() == 0u && request.command != Command::SetControl;
    if (!asks)
        inForce = request.value;
    write(comport::serverMessage(request.command, asks ? inForce : request.value));
}

void TelnetPeer::Private::write(const QByteArray &bytes) {
    if (!socket || halfOpen || bytes.isEmpty())
        return;
    socket->write(bytes);
    socket->flush();
}

void TelnetPeer::Private::pump() {
    while (!queue.isEmpty() && !waiting) {
        Step &step = queue.front();
        if (step.delayMsecs > 0) {
            waiting = true;
            QTimer::singleShot(step.delayMsecs, context, [this] {
                waiting = false;
                if (!queue.isEmpty())
                    queue.front().delayMsecs = 0;
                pump();
            });
            return;
        }
        const Step now = queue.takeFirst();
        if (now.close)
            drop(true);
        else
            write(now.bytes);
    }
}

void TelnetPeer::Private::keepFlooding() {
    constexpr qint64 kQueued = 64 * 1024;
    if (!socket || floodPattern.isEmpty())
        return;
    while (socket->bytesToWrite() < kQueued) {
        if (socket->write(floodPattern) != floodPattern.size())
            break;
    }
}

// Lets go of the connection: in order (FIN after what was written) or by reset (RST).
void TelnetPeer::Private::drop(bool orderly) {
    queue.clear();
    if (!socket)
        return;
    QTcpSocket *gone = socket;
    socket = nullptr;
    {
        QMutexLocker lock(&mutex);
        connected = false;
    }
    gone->disconnect(context);
    if (orderly) {
        QObject::connect(gone, &QAbstractSocket::disconnected, gone, &QObject::deleteLater);
        gone->disconnectFromHost();
        if (gone->state() == QAbstractSocket::UnconnectedState)
            gone->deleteLater();
    } else {
        // With a zero linger time the kernel answers the close with a reset.
        const linger hard{1, 0};
        ::setsockopt(int(gone->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        gone->abort();
        gone->deleteLater();
    }
}

TelnetPeer::TelnetPeer() : TelnetPeer(Options{}) {}

TelnetPeer::TelnetPeer(const Options &options) : d(std::make_unique<Private>()) {
    d->options = options;
    d->context = new QObject;
    d->context->moveToThread(&d->thread);
    d->thread.start();
    quint16 port = 0;
    d->call([this, &port] {
        d->server = new QTcpServer(d->context);
        QObject::connect(d->server, &QTcpServer::newConnection, d->context,
                         [this] { d->accept(); });
        if (d->server->listen(QHostAddress::LocalHost, 0))
            port = d->server->serverPort();
    });
    m_port = port;
}

TelnetPeer::~TelnetPeer() {
    d->call([this] {
        delete d->context; // the server and the sockets with it
        d->context = nullptr;
    });
    d->thread.quit();
    d->thread.wait();
}

QString TelnetPeer::url() const {
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(QLatin1String(d->options.telnet ? "rfc2217" : "tcp"))
        .arg(m_port);
}

void TelnetPeer::send(const QByteArray &wire, const QList<qsizetype> &cuts, int gapMsecs) {
    QList<Private::Step> steps;
    qsizetype start = 0;
    for (const qsizetype cut : cuts) {
        if (cut <= start || cut >= wire.size())
            continue;
        steps.append({wire.mid(start, cut - start), steps.isEmpty() ? 0 : gapMsecs, false});
        start = cut;
    }
    steps.append({wire.mid(start), steps.isEmpty() ? 0 : gapMsecs, false});
    d->post([this, steps] {
        d->queue += steps;
        d->pump();
    });
}

void TelnetPeer::sendData(const QByteArray &data, const QList<qsizetype> &cuts, int gapMsecs) {
    send(d->options.telnet ? encodeData(data, true) : data, cuts, gapMsecs);
}

void TelnetPeer::goHalfOpen() {
    d->call([this] {
        d->queue.clear();
        d->halfOpen = true;
        // Qt stops taking bytes from the kernel once its own buffer holds this many, and this
        // peer never empties it again: the kernel's buffers fill and the console's writes stall.
        if (d->socket)
            d->socket->setReadBufferSize(1);
    });
}

void TelnetPeer::goSilent() {
    d->call([this] {
        d->queue.clear();
        d->halfOpen = true;
        if (!d->socket)
            return;
        // What the peer sent last must be acknowledged first: retransmitted, it would reach the
        // console and count as an answer.
        const int fd = int(d->socket->socketDescriptor());
        int queued = 0;
        for (int i = 0; i < 100 && ::ioctl(fd, TIOCOUTQ, &queued) == 0 && queued > 0; ++i)
            QThread::msleep(10);
        // A socket filter that takes nothing: TCP drops each segment before it is looked at.
        sock_filter dropAll{BPF_RET | BPF_K, 0, 0, 0};
        const sock_fprog program{1, &dropAll};
        ::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &program, sizeof program);
    });
}

void TelnetPeer::flood(const QByteArray &pattern, bool keepReading) {
    d->call([this, pattern, keepReading] {
        if (!d->socket)
            return;
        d->queue.clear();
        if (!keepReading) {
            d->halfOpen = true; // nothing is read, nothing else is written
            d->socket->setReadBufferSize(1);
        }
        d->floodPattern = pattern;
        // Topped up each time the kernel took some of it.
        QObject::connect(d->socket, &QIODevice::bytesWritten, d->context,
                         [this] { d->keepFlooding(); });
        d->keepFlooding();
    });
}

void TelnetPeer::close() {
    d->post([this] {
        d->queue.append({QByteArray(), 0, true});
        d->pump();
    });
}

void TelnetPeer::reset() {
    d->call([this] { d->drop(false); });
}

void TelnetPeer::refuse() {
    d->call([this] { d->server->close(); });
}

int TelnetPeer::connections() const {
    QMutexLocker lock(&d->mutex);
    return d->connections;
}

bool TelnetPeer::isConnected() const {
    QMutexLocker lock(&d->mutex);
    return d->connected;
}

bool TelnetPeer::sawClose() const {
    QMutexLocker lock(&d->mutex);
    return d->sawClose;
}

QByteArray TelnetPeer::received() const {
    QMutexLocker lock(&d->mutex);
    return d->received;
}

QByteArray TelnetPeer::receivedData() const {
    QMutexLocker lock(&d->mutex);
    return d->data;
}

QList<TelnetEvent> TelnetPeer::receivedEvents() const {
    QMutexLocker lock(&d->mutex);
    return d->events;
}

QList<comport::Message> TelnetPeer::comPortRequests() const {
    QMutexLocker lock(&d->mutex);
    return d->requests;
}

bool TelnetPeer::waitUntil(const std::function<bool()> &condition, int msecs) {
    // Events of the waiting thread are dispatched meanwhile, so a console living in it makes
    // progress too.
    return QTest::qWaitFor(condition, msecs);
}

bool TelnetPeer::waitForConnection(int msecs) {
    return waitUntil([this] { return isConnected(); }, msecs);
}

bool TelnetPeer::waitForData(qsizetype bytes, int msecs) {
    return waitUntil([&] { return receivedData().size() >= bytes; }, msecs);
}

} // namespace korvane::test
