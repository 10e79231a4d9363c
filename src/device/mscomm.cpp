// How the serial control works.
//
// The control keeps the properties and the comm events; the line itself is a SerialDevice (see
// serial_device.h), made for the port number when the port opens: the device the port table
// names. Counts, reads and writes go straight through to the device.
//
// OnComm is never emitted from inside one of the control's own calls: a device may report arriving
// bytes from inside a read or a wait, so readyRead only posts one pending receive event. When the
// pump delivers it, it is dropped if RThreshold is 0 or nothing waits any more (the receive
// handler already took it all). Each open and close starts a new session; events posted in an
// earlier one are dropped.

#include "device/mscomm.h"

#include "base/comm_event.h"
#include "device/local_port.h"
#include "device/network_serial_device.h"
#include "device/serial_device.h"
#include "device/wait_clock.h"
#include "text/network_address.h"
#include "text/settings_text.h"

#include <QByteArray>
#include <QScopeGuard>
#include <algorithm>
#include <climits>

namespace korvane {

struct MSComm::Private {
    Private(MSComm *owner, PortTableSource portTable) : q(owner), ports(std::move(portTable)) {}

    MSComm *q;
    PortTableSource ports;
    // The line while the port is open; after a loss, the closed device until the next open or
    // close.
    std::unique_ptr<SerialDevice> device;

    std::int16_t commPort = 1;
    QString settingsText = QStringLiteral("9600,N,8,1");
    LineSettings settings = *parseSettingsText(settingsText);
    int handshaking = 0;
    int inputMode = 0;
    std::int16_t rThreshold = 0;
    std::int16_t inBufferSize = 1024;
    std::int16_t inputLen = 0;
    std::int16_t commEvent = 0;

    std::function<void()> openPump;
    bool opening = false; // an open waits, handing the pump turns

    quint64 session = 0;
    bool receivePending = false;
    // What had come in when the device went away: still the radio's, so it stays readable after
    // the close, for one last receive event.
    QByteArray heldInput;
    // Why the device went away, until the program opens or closes the port again: output in the
    // meantime is refused with the loss, not as if the operator had closed the port.
    QString lostDescription;

    bool isOpen() const { return device && device->isOpen(); }

    QString where() const { return isOpen() ? device->name() : portDescription(ports(), commPort); }

    QString devicePath() const { return devicePathForPort(ports(), commPort); }

    int inBufferCount() const {
        if (!isOpen())
            return static_cast<int>(heldInput.size());
        return static_cast<int>(std::min<qint64>(device->bytesWaiting(), INT_MAX));
    }

    void open() {
        const QString path = devicePath();
        if (path.isEmpty()) {
            throw RunTimeError(
                err::kInvalidPortNumber,
                QStringLiteral("the port table names no device for COM%1").arg(commPort));
        }
        std::unique_ptr<SerialDevice> fresh;
        QString why;
        if (const std::optional<NetworkAddress> address = parseNetworkAddress(path, &why))
            fresh = std::make_unique<NetworkSerialDevice>(commPort, path, *address, openPump);
        else
            fresh = makeLocalDevice(commPort, path);
        fresh->open(settings, handshaking);
        device = std::move(fresh);
        QObject::connect(device.get(), &SerialDevice::readyRead, q, [this] { postReceive(); });
        QObject::connect(device.get(), &SerialDevice::lineEvent, q,
                         [this](std::int16_t code) { postEvent(code); });
        QObject::connect(device.get(), &SerialDevice::lost, q,
                         [this](const QString &description, const QByteArray &last) {
                             onLost(description, last);
                         });
        ++session;
        receivePending = false;
        heldInput.clear();
        lostDescription.clear();
    }

    void close() {
        if (device)
            device->close();
        device.reset();
        ++session;
        receivePending = false;
        heldInput.clear();
    }

    // The device is closed already. It is kept: the loss may be reported from inside one of its
    // own calls.
    void onLost(const QString &description, const QByteArray &last) {
        ++session;
        receivePending = false;
        heldInput = last;
        lostDescription = description;
        if (!heldInput.isEmpty()) {
            QMetaObject::invokeMethod(
                q,
                [this] {
                    if (!isOpen() && !heldInput.isEmpty() && rThreshold > 0)
                        deliver(comEvReceive);
                },
                Qt::QueuedConnection);
        }
        MSComm *owner = q;
        QMetaObject::invokeMethod(
            q,
            [owner, description] {
                Q_EMIT owner->DeviceLost(err::kDeviceLost.number, description);
            },
            Qt::QueuedConnection);
    }

    void postReceive() {
        if (receivePending || rThreshold <= 0 || !isOpen())
            return;
        receivePending = true;
        const quint64 postedIn = session;
        QMetaObject::invokeMethod(
            q, [this, postedIn] { deliverReceive(postedIn); }, Qt::QueuedConnection);
    }

    void deliverReceive(quint64 postedIn) {
        if (postedIn != session)
            return;
        receivePending = false;
        if (rThreshold <= 0 || inBufferCount() < rThreshold)
            return;
        deliver(comEvReceive);
    }

    void postEvent(std::int16_t code) {
        const quint64 postedIn = session;
        QMetaObject::invokeMethod(
            q,
            [this, postedIn, code] {
                if (postedIn == session)
                    deliver(code);
            },
            Qt::QueuedConnection);
    }

    void deliver(std::int16_t code) {
        commEvent = code;
        Q_EMIT q->OnComm();
    }

    RunTimeError notOpen() const {
        if (!lostDescription.isEmpty())
            return RunTimeError(err::kDeviceLost.number, lostDescription);
        return RunTimeError(err::kPortNotOpen, where());
    }
};

MSComm::MSComm(PortTableSource ports, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(this, std::move(ports))) {}

MSComm::~MSComm() {
    d->close();
}

std::int16_t MSComm::CommPort() const {
    return d->commPort;
}

void MSComm::setCommPort(std::int16_t port) {
    if (port < 1) {
        throw RunTimeError(err::kInvalidPropertyValue, QStringLiteral("port number %1").arg(port));
    }
    if (d->isOpen()) {
        throw RunTimeError(err::kPortAlreadyOpen, d->where());
    }
    d->commPort = port;
}

QString MSComm::Settings() const {
    return d->settingsText;
}

void MSComm::setSettings(const QString &settings) {
    const std::optional<LineSettings> parsed = parseSettingsText(settings);
    if (!parsed) {
        throw RunTimeError(
            err::kInvalidPropertyValue,
            QStringLiteral("settings \"%1\" are not baud,parity,data,stop such as 9600,O,7,1")
                .arg(settings));
    }
    if (d->isOpen())
        d->device->setLine(*parsed, d->handshaking);
    d->settings = *parsed;
    d->settingsText = settings;
}

int MSComm::Handshaking() const {
    return d->handshaking;
}

void MSComm::setHandshaking(int mode) {
    if (mode < 0 || mode > 3) {
        throw RunTimeError(err::kInvalidPropertyValue, QStringLiteral("handshaking %1").arg(mode));
    }
    if (d->isOpen())
        d->device->setLine(d->settings, mode);
    d->handshaking = mode;
}

int MSComm::InputMode() const {
    return d->inputMode;
}

void MSComm::setInputMode(int mode) {
    if (mode != 0 && mode != 1) {
        throw RunTimeError(err::kInvalidPropertyValue, QStringLiteral("input mode %1").arg(mode));
    }
    d->inputMode = mode;
}

std::int16_t MSComm::RThreshold() const {
    return d->rThreshold;
}

void MSComm::setRThreshold(std::int16_t threshold) {
    if (threshold < 0) {
        throw RunTimeError(err::kInvalidPropertyValue,
                           QStringLiteral("RThreshold %1").arg(threshold));
    }
    d->rThreshold = threshold;
    // Characters that came while receive events were off must not sit unread until the next
    // character happens to arrive.
    if (threshold > 0 && d->inBufferCount() >= threshold)
        d->postReceive();
}

std::int16_t MSComm::InBufferSize() const {
    return d->inBufferSize;
}

void MSComm::setInBufferSize(std::int16_t size) {
    if (size < 1) {
        throw RunTimeError(err::kInvalidPropertyValue, QStringLiteral("InBufferSize %1").arg(size));
    }
    d->inBufferSize = size;
}

std::int16_t MSComm::InputLen() const {
    return d->inputLen;
}

void MSComm::setInputLen(std::int16_t length) {
    if (length < 0) {
        throw RunTimeError(err::kInvalidPropertyValue, QStringLiteral("InputLen %1").arg(length));
    }
    d->inputLen = length;
}

int MSComm::InBufferCount() const {
    return d->inBufferCount();
}

void MSComm::setInBufferCount(int count) {
    if (count != 0) {
        throw RunTimeError(
            err::kInvalidPropertyValue,
            QStringLiteral("InBufferCount %1 (only 0 discards what waits)").arg(count));
    }
    if (d->isOpen())
        d->device->discardInput();
    d->heldInput.clear();
}

void MSComm::setOutBufferCount(int count) {
    if (count != 0) {
        throw RunTimeError(
            err::kInvalidPropertyValue,
            QStringLiteral("OutBufferCount %1 (only 0 discards what waits)").arg(count));
    }
    if (d->isOpen())
        d->device->discardOutput();
}

int MSComm::OutBufferCount() const {
    if (!d->isOpen())
        return 0;
    return static_cast<int>(std::min<qint64>(d->device->bytesToSend(), INT_MAX));
}

bool MSComm::PortOpen() const {
    return d->isOpen();
}

void MSComm::setPortOpen(bool open) {
    if (!open)
        d->lostDescription.clear(); // the program has taken note of the closed port
    if (open == d->isOpen()) {
        if (open) {
            throw RunTimeError(err::kPortAlreadyOpen, d->where());
        }
        return;
    }
    if (open && d->opening) {
        throw RunTimeError(err::kPortAlreadyOpen,
                           QStringLiteral("COM%1 is being opened").arg(d->commPort));
    }
    if (open) {
        d->opening = true;
        const auto opened = qScopeGuard([this] { d->opening = false; });
        d->open();
        Q_EMIT PortOpened(d->commPort, d->devicePath(), d->settingsText);
    } else {
        d->close();
        Q_EMIT PortClosed(d->commPort);
    }
}

void MSComm::setOpenPump(std::function<void()> pump) {
    d->openPump = std::move(pump);
}

void MSComm::setOutput(const QString &text) {
    if (!d->isOpen())
        throw d->notOpen();
    // On this 7-bit line the eighth bit would be stripped and the radio would receive another
    // command than the operator wrote.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > 0x7F) {
            throw RunTimeError(err::kNotSevenBit,
                               QStringLiteral("\"%1\" (U+%2) at position %3 would reach the radio "
                                              "changed; nothing was sent")
                                   .arg(text[i])
                                   .arg(text[i].unicode(), 4, 16, QLatin1Char('0'))
                                   .arg(i + 1));
        }
    }
    const QByteArray bytes = text.toLatin1();
    if (bytes.isEmpty())
        return;
    const QString name = d->where();
    d->device->write(bytes);
    if (!d->isOpen()) {
        throw RunTimeError(err::kDeviceLost, name,
                           QStringLiteral("the device went away while sending"));
    }
    Q_EMIT BytesSent(bytes);
}

QString MSComm::Input() {
    if (!d->isOpen()) { // what had come in before the device went away, if anything
        const qsizetype n = d->inputLen > 0 ? std::min<qsizetype>(d->inputLen, d->heldInput.size())
                                            : d->heldInput.size();
        const QByteArray bytes = d->heldInput.left(n);
        d->heldInput.remove(0, n);
        if (!bytes.isEmpty())
            Q_EMIT BytesReceived(bytes);
        return QString::fromLatin1(bytes);
    }
    const QByteArray bytes = d->device->read(d->inputLen > 0 ? d->inputLen : d->inBufferSize);
    if (!bytes.isEmpty())
        Q_EMIT BytesReceived(bytes);
    return QString::fromLatin1(bytes);
}

std::int16_t MSComm::CommEvent() const {
    return d->commEvent;
}

bool MSComm::waitForInput(double seconds) {
    return d->isOpen() && d->device->waitForInput(deadlineAfter(seconds));
}

void MSComm::waitForOutput(double seconds) {
    if (d->isOpen())
        d->device->waitForOutput(deadlineAfter(seconds));
}

QString MSComm::openNotice() const {
    return d->isOpen() ? d->device->openNotice() : QString();
}

QString MSComm::deviceName() const {
    return d->devicePath();
}

void MSComm::raiseCommEvent(std::int16_t code) {
    QMetaObject::invokeMethod(
        this, [this, code] { d->deliver(code); }, Qt::QueuedConnection);
}

} // namespace korvane
