// How the serial control works.
//
// QSerialPort holds the device. It takes the driver's bytes into its own buffer only when its
// notifier fires inside the event pump, so every count here adds what still sits in the driver
// (FIONREAD, TIOCOUTQ), and every read first pulls the driver's bytes in without waiting.
//
// OnComm is never emitted from inside one of the control's own calls: Qt's readyRead arrives
// synchronously from waitForReadyRead, i.e. from inside Input or waitForInput, so readyRead only
// posts one pending receive event. When the pump delivers it, it is dropped if RThreshold is 0 or
// nothing waits any more (the receive handler already took it all).
//
// Modem lines and the driver's error counters are looked at every 150 ms, and only on a device
// that has them: a pseudo-terminal has neither and so costs nothing while the line is idle.
//
// A device that goes away is noticed at the first read error the device confirms (Qt repeats that
// error in a tight loop for as long as the device stays open), at a hang-up seen by poll, or at a
// failing modem-line query: the device is closed at once and DeviceLost is posted once.

#include "device/mscomm.h"

#include "text/line_events.h"
#include "text/port_table.h"
#include "text/settings_text.h"

#include <QSerialPort>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

namespace korvane {

namespace {

constexpr int kLineWatchMsecs = 150;
// Read errors in a row, with no byte read between them, after which the device counts as lost
// even though it does not say so.
constexpr int kStaleReadErrorLimit = 100;
constexpr unsigned int kPtySlaveMajorFirst = 136; // Unix98 pseudo-terminal slaves
constexpr unsigned int kPtySlaveMajorLast = 143;
constexpr unsigned int kLegacyPtySlaveMajor = 3;
constexpr std::int16_t kEvReceive = 2;
// A short sleep while the driver drains its output queue; far below a character time at the
// speeds this line runs.
constexpr std::int64_t kDrainNapNsecs = 2'000'000;

QString osReason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

std::int64_t monotonicNsecs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

std::int64_t deadlineAfter(double seconds) {
    if (!(seconds > 0.0)) // also NaN
        return monotonicNsecs();
    const double nsecs = std::min(seconds, 1.0e6) * 1.0e9;
    return monotonicNsecs() + static_cast<std::int64_t>(std::ceil(nsecs));
}

timespec toTimespec(std::int64_t nsecs) {
    return timespec{static_cast<time_t>(nsecs / 1'000'000'000),
                    static_cast<long>(nsecs % 1'000'000'000)};
}

QSerialPort::Parity qtParity(LineSettings::Parity parity) {
    switch (parity) {
    case LineSettings::Parity::Even:
        return QSerialPort::EvenParity;
    case LineSettings::Parity::Odd:
        return QSerialPort::OddParity;
    case LineSettings::Parity::Mark:
        return QSerialPort::MarkParity;
    case LineSettings::Parity::Space:
        return QSerialPort::SpaceParity;
    case LineSettings::Parity::None:
        break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits qtStopBits(LineSettings::StopBits stopBits) {
    switch (stopBits) {
    case LineSettings::StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case LineSettings::StopBits::Two:
        return QSerialPort::TwoStop;
    case LineSettings::StopBits::One:
        break;
    }
    return QSerialPort::OneStop;
}

} // namespace

struct MSComm::Private {
    explicit Private(MSComm *owner) : q(owner) {}

    MSComm *q;
    QSerialPort port;
    QTimer lineWatch;

    std::int16_t commPort = 1;
    QString settingsText = QStringLiteral("9600,N,8,1");
    LineSettings settings = *parseSettingsText(settingsText);
    int handshaking = 0;
    int inputMode = 0;
    std::int16_t rThreshold = 0;
    std::int16_t inBufferSize = 1024;
    std::int16_t inputLen = 0;
    std::int16_t commEvent = 0;

    QString openPath; // the device opened, as the table named it then
    // Each open and close starts a new session; events posted in an earlier one are dropped.
    quint64 session = 0;
    bool receivePending = false;
    int staleReadErrors = 0; // read errors in a row that the device did not confirm
    // What had come in when the device went away: still the radio's, so it stays readable after
    // the close, for one last receive event.
    QByteArray heldInput;
    // Why the device went away, until the program opens or closes the port again: output in the
    // meantime is refused with the loss, not as if the operator had closed the port.
    QString lostDescription;

    LineLook lastLook; // the modem lines and error counters as last seen

    bool isOpen() const { return port.isOpen(); }
    int fd() const { return port.isOpen() ? port.handle() : -1; }

    QString where() const {
        const QString name = QStringLiteral("COM") + QString::number(commPort);
        return openPath.isEmpty() ? portDescription(commPort)
                                  : name + QStringLiteral(" (") + openPath + QLatin1Char(')');
    }

    qint64 driverInCount() const {
        int n = 0;
        return fd() >= 0 && ::ioctl(fd(), FIONREAD, &n) == 0 ? n : 0;
    }

    qint64 driverOutCount() const {
        int n = 0;
        return fd() >= 0 && ::ioctl(fd(), TIOCOUTQ, &n) == 0 ? n : 0;
    }

    int inBufferCount() const {
        if (!isOpen())
            return static_cast<int>(heldInput.size());
        return static_cast<int>(std::min<qint64>(port.bytesAvailable() + driverInCount(), INT_MAX));
    }

    // Takes what waits in the driver now into Qt's buffer, without waiting for the event pump.
    // Only what waits at the call: a sender that never pauses keeps the driver refilling, and
    // chasing it would make one read as long as the stream.
    void pullFromDriver() {
        const qint64 wanted = port.bytesAvailable() + driverInCount();
        for (int guard = 0;
             guard < 64 && isOpen() && port.bytesAvailable() < wanted && driverInCount() > 0;
             ++guard) {
            if (!port.waitForReadyRead(0))
                break;
        }
    }

    // Hands Qt's write buffer to the driver as far as the driver takes it now. Only when the
    // device is writable: a write that would block counts as a write error in Qt. Returns false
    // when the operating system refused the bytes; a hang-up loses the device.
    bool pushToDriver() {
        if (!isOpen() || port.bytesToWrite() == 0)
            return true;
        pollfd p{fd(), POLLOUT, 0};
        if (::poll(&p, 1, 0) != 1)
            return true;
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            lose();
            return true;
        }
        return (p.revents & POLLOUT) == 0 || port.flush() || !isOpen();
    }

    QString refusedSettings(const LineSettings &line, int handshakingMode) const {
        QString refused = refusedLineSettings(line);
        if (handshakingMode == 3) {
            if (!refused.isEmpty())
                refused += QStringLiteral(" and ");
            refused += QStringLiteral("RTS/CTS together with XON/XOFF handshaking");
        }
        return refused;
    }

    RunTimeError settingsRefused(const QString &what, const QString &reason) const {
        return RunTimeError(err::kSettingsRefused,
                            QStringLiteral("Could not set the line settings of %1: %2 refused (%3)")
                                .arg(where(), what, reason));
    }

    // A pseudo-terminal carries whole bytes and has no framing: its driver keeps 8 data bits and no
    // parity whatever it is told, so only a real line is held to the framing asked for.
    bool isPseudoTerminal() const {
        struct stat info {};
        if (::fstat(fd(), &info) != 0 || !S_ISCHR(info.st_mode))
            return false;
        const unsigned int deviceMajor = major(info.st_rdev);
        return (deviceMajor >= kPtySlaveMajorFirst && deviceMajor <= kPtySlaveMajorLast) ||
               deviceMajor == kLegacyPtySlaveMajor;
    }

    // Puts the settings on the open line.
    void applyLine(const LineSettings &line, int handshakingMode) {
        const QString refused = refusedSettings(line, handshakingMode);
        if (!refused.isEmpty())
            throw settingsRefused(refused, QStringLiteral("the operating system cannot give it"));
        const bool framingMatters = !isPseudoTerminal();
        const auto check = [&](bool ok, const QString &what) {
            if (!ok && framingMatters)
                throw settingsRefused(what, port.errorString());
        };
        check(port.setBaudRate(line.baud), QStringLiteral("%1 baud").arg(line.baud));
        check(port.setDataBits(static_cast<QSerialPort::DataBits>(line.dataBits)),
              QStringLiteral("%1 data bits").arg(line.dataBits));
        check(port.setParity(qtParity(line.parity)), QStringLiteral("the parity"));
        check(port.setStopBits(qtStopBits(line.stopBits)),
              line.stopBits == LineSettings::StopBits::Two ? QStringLiteral("2 stop bits")
                                                           : QStringLiteral("1 stop bit"));
        QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
        if (handshakingMode == 1)
            flow = QSerialPort::SoftwareControl;
        else if (handshakingMode == 2)
            flow = QSerialPort::HardwareControl;
        check(port.setFlowControl(flow), QStringLiteral("handshaking %1").arg(handshakingMode));
    }

    // Qt folds several causes into one error code (a lock file held elsewhere and a device without
    // access rights are both "permission"), so the device itself is asked why.
    RunTimeError openFailure(const QString &path, QSerialPort::SerialPortError qtError,
                             const QString &qtReason) const {
        const QString name = where();
        const int probe =
            ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        const int error = errno;
        if (probe >= 0) {
            const bool isTerminal = ::isatty(probe) != 0;
            ::close(probe);
            if (!isTerminal) {
                return RunTimeError(
                    err::kOpenFailed,
                    QStringLiteral("Could not open %1: not a serial device").arg(name));
            }
            if (qtError == QSerialPort::PermissionError) {
                return RunTimeError(err::kDeviceInUse,
                                    QStringLiteral("The device is in use: %1 is held by another "
                                                   "program (%2)")
                                        .arg(name, qtReason));
            }
            return RunTimeError(err::kOpenFailed,
                                QStringLiteral("Could not open %1: %2").arg(name, qtReason));
        }
        switch (error) {
        case EACCES:
        case EPERM:
            return RunTimeError(
                err::kPermissionDenied,
                QStringLiteral("Permission denied: %1 (%2); the user may need to be "
                               "in the dialout group")
                    .arg(name, osReason(error)));
        case EBUSY:
            return RunTimeError(
                err::kDeviceInUse,
                QStringLiteral("The device is in use: %1 is held by another program (%2)")
                    .arg(name, osReason(error)));
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return RunTimeError(err::kInvalidPortNumber,
                                QStringLiteral("Invalid port number: %1 does not exist (%2)")
                                    .arg(name, osReason(error)));
        default:
            return RunTimeError(err::kOpenFailed,
                                QStringLiteral("Could not open %1: %2").arg(name, osReason(error)));
        }
    }

    void open() {
        const QString path = devicePathForPort(commPort);
        if (path.isEmpty()) {
            throw RunTimeError(err::kInvalidPortNumber,
                               QStringLiteral("Invalid port number: the port table names no device "
                                              "for COM%1")
                                   .arg(commPort));
        }
        openPath = path;
        struct stat info {};
        if (::stat(path.toLocal8Bit().constData(), &info) != 0) {
            const RunTimeError failure =
                openFailure(path, QSerialPort::DeviceNotFoundError, osReason(errno));
            openPath.clear();
            throw failure;
        }
        const QString refused = refusedSettings(settings, handshaking);
        if (!refused.isEmpty()) {
            const RunTimeError failure =
                settingsRefused(refused, QStringLiteral("the operating system cannot give it"));
            openPath.clear();
            throw failure;
        }

        port.setPortName(path);
        if (!port.open(QIODevice::ReadWrite)) {
            const RunTimeError failure = openFailure(path, port.error(), port.errorString());
            openPath.clear();
            throw failure;
        }
        try {
            applyLine(settings, handshaking);
        } catch (const RunTimeError &) {
            port.close();
            openPath.clear();
            throw;
        }
        // A freshly opened line starts empty, as a real port does: a pseudo-terminal (or a port
        // left open by the simulated radio's side) may still hold bytes from before the port was
        // ours, and the radio did not send them to this session.
        port.clear(QSerialPort::Input);
        ++session;
        receivePending = false;
        staleReadErrors = 0;
        heldInput.clear();
        lostDescription.clear();
        startLineWatch();
    }

    void close() {
        lineWatch.stop();
        if (port.isOpen())
            port.close();
        openPath.clear();
        ++session;
        receivePending = false;
        heldInput.clear();
    }

    void lose() {
        if (!isOpen())
            return;
        const QString description = where() + QStringLiteral(" was lost: the device went away");
        QByteArray received = port.readAll();
        char buffer[4096];
        // Bounded: a device still streaming must not hold the loss up.
        for (int reads = 0; reads < 64; ++reads) {
            const ssize_t n = ::read(fd(), buffer, sizeof buffer);
            if (n <= 0)
                break;
            received.append(buffer, n);
        }
        close();
        heldInput = received;
        lostDescription = description;
        if (!heldInput.isEmpty()) {
            QMetaObject::invokeMethod(
                q,
                [this] {
                    if (!isOpen() && !heldInput.isEmpty() && rThreshold > 0)
                        deliver(kEvReceive);
                },
                Qt::QueuedConnection);
        }
        MSComm *owner = q;
        QMetaObject::invokeMethod(
            q, [owner, description] { Q_EMIT owner->DeviceLost(err::kDeviceLost, description); },
            Qt::QueuedConnection);
    }

    // Qt reports a read that found nothing as a read error. That happens on a hang-up (the read
    // sees end of file, over and over) but also when the bytes that woke Qt's notifier were
    // already taken by Input or the quiet wait: a read on this raw line then returns 0 as well.
    // Only the device can tell the two apart.
    void onPortError(QSerialPort::SerialPortError error) {
        if (!isOpen() || (error != QSerialPort::ReadError && error != QSerialPort::ResourceError))
            return;
        if (deviceGone() || ++staleReadErrors > kStaleReadErrorLimit) {
            lose();
            return;
        }
        port.clearError();
        if (error == QSerialPort::ResourceError)
            port.setReadBufferSize(port.readBufferSize()); // Qt stops reading after this one
    }

    bool deviceGone() const {
        pollfd p{fd(), POLLIN, 0};
        const int ready = ::poll(&p, 1, 0);
        if (ready < 0)
            return errno != EINTR;
        if (ready == 0)
            return false; // nothing to read and no hang-up: the read came late
        if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return true;
        int waiting = 0;
        return ::ioctl(fd(), FIONREAD, &waiting) != 0 || waiting == 0; // readable but empty: end
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
        deliver(kEvReceive);
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

    // What the device tells of its lines now; an error other than "not supported" means the
    // device went away.
    LineLook lookAtLines(bool *failed) const {
        LineLook look;
        *failed = false;
        int lines = 0;
        if (::ioctl(fd(), TIOCMGET, &lines) == 0)
            look.modemLines = lines;
        else
            *failed = *failed || errno == EIO || errno == ENODEV || errno == ENXIO;
        serial_icounter_struct now{};
        if (::ioctl(fd(), TIOCGICOUNT, &now) == 0) {
            look.counters =
                LineCounters{now.cts,   now.dsr,     now.rng,         now.dcd,   now.brk,
                             now.frame, now.overrun, now.buf_overrun, now.parity};
        } else {
            *failed = *failed || errno == EIO || errno == ENODEV || errno == ENXIO;
        }
        return look;
    }

    void startLineWatch() {
        bool failed = false;
        lastLook = lookAtLines(&failed);
        if (lastLook.modemLines || lastLook.counters)
            lineWatch.start(kLineWatchMsecs);
    }

    void watchLines() {
        if (!isOpen())
            return;
        bool failed = false;
        const LineLook look = lookAtLines(&failed);
        if (failed) {
            lose();
            return;
        }
        for (const std::int16_t code : commEventsBetween(lastLook, look))
            postEvent(code);
        lastLook = look;
    }

    RunTimeError notOpen() const {
        if (!lostDescription.isEmpty())
            return RunTimeError(err::kDeviceLost, lostDescription);
        return RunTimeError(err::kPortNotOpen,
                            QStringLiteral("The device is not open: %1").arg(where()));
    }

    // Waits on the device until `events` are ready or the deadline passes. Returns the ready
    // events, 0 at the deadline; a hang-up loses the device and returns 0.
    short pollDevice(short events, std::int64_t deadline) {
        for (;;) {
            if (!isOpen())
                return 0;
            const std::int64_t left = deadline - monotonicNsecs();
            if (left <= 0)
                return 0;
            pollfd p{fd(), events, 0};
            const timespec timeout = toTimespec(left);
            const int ready = ::ppoll(&p, 1, &timeout, nullptr);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return 0;
            if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                lose();
                return 0;
            }
            return p.revents;
        }
    }
};

MSComm::MSComm(QObject *parent) : QObject(parent), d(std::make_unique<Private>(this)) {
    connect(&d->port, &QSerialPort::readyRead, this, [this] {
        d->staleReadErrors = 0;
        d->postReceive();
    });
    connect(&d->port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { d->onPortError(error); });
    connect(&d->lineWatch, &QTimer::timeout, this, [this] { d->watchLines(); });
}

MSComm::~MSComm() {
    d->close();
}

std::int16_t MSComm::CommPort() const {
    return d->commPort;
}

void MSComm::setCommPort(std::int16_t port) {
    if (port < 1) {
        throw RunTimeError(err::kInvalidPropertyValue,
                           QStringLiteral("Invalid property value: port number %1").arg(port));
    }
    if (d->isOpen()) {
        throw RunTimeError(err::kPortAlreadyOpen,
                           QStringLiteral("Port already open: %1").arg(d->where()));
    }
    d->commPort = port;
}

QString MSComm::Settings() const {
    return d->settingsText;
}

void MSComm::setSettings(const QString &settings) {
    const std::optional<LineSettings> parsed = parseSettingsText(settings);
    if (!parsed) {
        throw RunTimeError(err::kInvalidPropertyValue,
                           QStringLiteral("Invalid property value: settings \"%1\" are not "
                                          "baud,parity,data,stop such as 9600,O,7,1")
                               .arg(settings));
    }
    if (d->isOpen())
        d->applyLine(*parsed, d->handshaking);
    d->settings = *parsed;
    d->settingsText = settings;
}

int MSComm::Handshaking() const {
    return d->handshaking;
}

void MSComm::setHandshaking(int mode) {
    if (mode < 0 || mode > 3) {
        throw RunTimeError(err::kInvalidPropertyValue,
                           QStringLiteral("Invalid property value: handshaking %1").arg(mode));
    }
    if (d->isOpen())
        d->applyLine(d->settings, mode);
    d->handshaking = mode;
}

int MSComm::InputMode() const {
    return d->inputMode;
}

void MSComm::setInputMode(int mode) {
    if (mode != 0 && mode != 1) {
        throw RunTimeError(err::kInvalidPropertyValue,
                           QStringLiteral("Invalid property value: input mode %1").arg(mode));
    }
    d->inputMode = mode;
}

std::int16_t MSComm::RThreshold() const {
    return d->rThreshold;
}

void MSComm::setRThreshold(std::int16_t threshold) {
    if (threshold < 0) {
        throw RunTimeError(err::kInvalidPropertyValue,
                           QStringLiteral("Invalid property value: RThreshold %1").arg(threshold));
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
        throw RunTimeError(err::kInvalidPropertyValue,
                           QStringLiteral("Invalid property value: InBufferSize %1").arg(size));
    }
    d->inBufferSize = size;
}

std::int16_t MSComm::InputLen() const {
    return d->inputLen;
}

void MSComm::setInputLen(std::int16_t length) {
    if (length < 0) {
        throw RunTimeError(err::kInvalidPropertyValue,
                           QStringLiteral("Invalid property value: InputLen %1").arg(length));
    }
    d->inputLen = length;
}

int MSComm::InBufferCount() const {
    return d->inBufferCount();
}

void MSComm::setInBufferCount(int count) {
    if (count != 0) {
        throw RunTimeError(err::kInvalidPropertyValue,
                           QStringLiteral("Invalid property value: InBufferCount %1 (only 0 "
                                          "discards what waits)")
                               .arg(count));
    }
    if (d->isOpen())
        d->port.clear(QSerialPort::Input);
    d->heldInput.clear();
}

int MSComm::OutBufferCount() const {
    if (!d->isOpen())
        return 0;
    return static_cast<int>(
        std::min<qint64>(d->port.bytesToWrite() + d->driverOutCount(), INT_MAX));
}

bool MSComm::PortOpen() const {
    return d->isOpen();
}

void MSComm::setPortOpen(bool open) {
    if (!open)
        d->lostDescription.clear(); // the program has taken note of the closed port
    if (open == d->isOpen()) {
        if (open) {
            throw RunTimeError(err::kPortAlreadyOpen,
                               QStringLiteral("Port already open: %1").arg(d->where()));
        }
        return;
    }
    if (open)
        d->open();
    else
        d->close();
}

void MSComm::setOutput(const QString &text) {
    if (!d->isOpen())
        throw d->notOpen();
    // On this 7-bit line the eighth bit would be stripped and the radio would receive another
    // command than the operator wrote.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].unicode() > 0x7F) {
            throw RunTimeError(err::kNotSevenBit,
                               QStringLiteral("Text outside 7-bit ASCII: \"%1\" (U+%2) at "
                                              "position %3 would reach the radio changed; nothing "
                                              "was sent")
                                   .arg(text[i])
                                   .arg(text[i].unicode(), 4, 16, QLatin1Char('0'))
                                   .arg(i + 1));
        }
    }
    const QByteArray bytes = text.toLatin1();
    if (bytes.isEmpty())
        return;
    const QString name = d->where();
    if (d->port.write(bytes) != bytes.size()) {
        throw RunTimeError(
            err::kWriteFailed,
            QStringLiteral("Write failed on %1: %2").arg(d->where(), d->port.errorString()));
    }
    // Qt would hand the bytes over only when the event pump next runs.
    if (!d->pushToDriver()) {
        throw RunTimeError(
            err::kWriteFailed,
            QStringLiteral("Write failed on %1: %2").arg(d->where(), d->port.errorString()));
    }
    if (!d->isOpen()) {
        throw RunTimeError(
            err::kDeviceLost,
            QStringLiteral("%1 was lost: the device went away while sending").arg(name));
    }
}

QString MSComm::Input() {
    if (d->isOpen())
        d->pullFromDriver();
    if (!d->isOpen()) { // what had come in before the device went away, if anything
        const qsizetype n = d->inputLen > 0 ? std::min<qsizetype>(d->inputLen, d->heldInput.size())
                                            : d->heldInput.size();
        const QByteArray bytes = d->heldInput.left(n);
        d->heldInput.remove(0, n);
        return QString::fromLatin1(bytes);
    }
    const QByteArray bytes = d->inputLen > 0 ? d->port.read(d->inputLen) : d->port.readAll();
    return QString::fromLatin1(bytes);
}

std::int16_t MSComm::CommEvent() const {
    return d->commEvent;
}

bool MSComm::waitForInput(double seconds) {
    const std::int64_t deadline = deadlineAfter(seconds);
    while (d->isOpen()) {
        if (d->inBufferCount() > 0)
            return true;
        const bool sending = d->port.bytesToWrite() > 0;
        const short ready = d->pollDevice(sending ? POLLIN | POLLOUT : POLLIN, deadline);
        if (ready == 0)
            return d->inBufferCount() > 0;
        if ((ready & POLLOUT) != 0)
            d->pushToDriver();
        if ((ready & POLLIN) != 0 && d->inBufferCount() == 0 && d->deviceGone()) {
            d->lose();
            return false;
        }
    }
    return false;
}

void MSComm::waitForOutput(double seconds) {
    const std::int64_t deadline = deadlineAfter(seconds);
    while (d->isOpen() && OutBufferCount() > 0) {
        const std::int64_t left = deadline - monotonicNsecs();
        if (left <= 0)
            return;
        if (d->port.bytesToWrite() > 0) {
            if ((d->pollDevice(POLLOUT, deadline) & POLLOUT) != 0)
                d->pushToDriver();
        } else {
            // Only the driver's queue is left; it gives no wake-up when it empties.
            const timespec nap = toTimespec(std::min(left, kDrainNapNsecs));
            ::ppoll(nullptr, 0, &nap, nullptr);
        }
    }
}

QString MSComm::deviceName() const {
    return devicePathForPort(d->commPort);
}

void MSComm::raiseCommEvent(std::int16_t code) {
    QMetaObject::invokeMethod(
        this, [this, code] { d->deliver(code); }, Qt::QueuedConnection);
}

} // namespace korvane
