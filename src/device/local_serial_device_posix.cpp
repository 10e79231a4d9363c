#include "device/local_serial_device.h"

#include "device/line_setup.h"
#include "device/open_failure.h"
#include "device/wait_clock.h"
#include "text/path_bytes.h"

#include <QFile>
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvane {

namespace {
// Read errors in a row, with no byte read between them, after which the device counts as lost
// even though it does not say so.
constexpr int kStaleReadErrorLimit = 100;
// A short sleep while the driver drains its output queue; far below a character time at the
// speeds this line runs.
constexpr std::int64_t kDrainNapNsecs = 2'000'000;
} // namespace

LocalSerialDevice::LocalSerialDevice(int port, QString path, QObject *parent)
    : SerialDevice(parent), m_number(port), m_path(std::move(path)) {
    connect(&m_port, &QSerialPort::readyRead, this, [this] {
        m_staleReadErrors = 0;
        Q_EMIT readyRead();
    });
    connect(&m_port, &QSerialPort::errorOccurred, this,
            [this](QSerialPort::SerialPortError error) { onPortError(error); });
    connect(&m_lineWatch, &LineWatch::lineEvent, this, &SerialDevice::lineEvent);
    connect(&m_lineWatch, &LineWatch::deviceGone, this, [this] { lose(); });
}

LocalSerialDevice::~LocalSerialDevice() {
    close();
}

QString LocalSerialDevice::name() const {
    return QStringLiteral("COM%1 (%2)").arg(m_number).arg(m_path);
}

void LocalSerialDevice::open(const LineSettings &settings, int handshaking) {
    // The device by its real path: the lock file is named after it, and two paths to one device
    // are one port.
    const QByteArray device = realDevicePath(bytesOfPath(m_path));
    if (device.isEmpty())
        throw openFailure(name(), m_path, false, osReason(errno));
    const QString refused = refusedSettings(settings, handshaking);
    if (!refused.isEmpty())
        throw settingsRefused(name(), refused,
                              QStringLiteral("the operating system cannot give it"));

    m_lock.acquire(device, name());
    const QString lockProblem = lockDirectoryProblem();
    m_openNotice = lockProblem.isEmpty()
                       ? QString()
                       : name() + QStringLiteral(": ") + lockProblem +
                             QStringLiteral(", so other programs are not told by a lock file that "
                                            "the port is in use; it is still locked against them "
                                            "with flock");
    m_port.setPortName(QFile::decodeName(device));
    m_port.setReadBufferSize(kDeviceReadBuffer);
    if (!m_port.open(QIODevice::ReadWrite)) {
        const bool lockRefused = m_port.error() == QSerialPort::PermissionError;
        m_lock.release();
        RunTimeError failure = openFailure(name(), m_path, lockRefused, m_port.errorString());
        if (failure.number() == err::kDeviceInUse.number) {
            const QList<pid_t> holders = processesHolding(device);
            if (!holders.isEmpty())
                failure = RunTimeError(err::kDeviceInUse,
                                       QStringLiteral("%1 is held by another program (process %2)")
                                           .arg(name())
                                           .arg(holders.front()));
        }
        throw failure;
    }
    try {
        applyLine(m_port, settings, handshaking, name());
    } catch (const RunTimeError &) {
        m_port.close();
        m_lock.release();
        throw;
    }
    // A freshly opened line starts empty, as a real port does: a pseudo-terminal (or a port left
    // open by the simulated radio's side) may still hold bytes from before the port was ours, and
    // the radio did not send them to this session.
    m_port.clear(QSerialPort::Input);
    m_staleReadErrors = 0;
    m_lineWatch.start(fd());
}

void LocalSerialDevice::setLine(const LineSettings &settings, int handshaking) {
    applyLine(m_port, settings, handshaking, name());
}

void LocalSerialDevice::close() {
    m_lineWatch.stop();
    if (m_port.isOpen())
        m_port.close();
    m_lock.release();
}

qint64 LocalSerialDevice::driverInCount() const {
    int n = 0;
    return fd() >= 0 && ::ioctl(fd(), FIONREAD, &n) == 0 ? n : 0;
}

qint64 LocalSerialDevice::driverOutCount() const {
    int n = 0;
    return fd() >= 0 && ::ioctl(fd(), TIOCOUTQ, &n) == 0 ? n : 0;
}

qint64 LocalSerialDevice::bytesWaiting() const {
    return isOpen() ? m_port.bytesAvailable() + driverInCount() : 0;
}

qint64 LocalSerialDevice::bytesToSend() const {
    return isOpen() ? m_port.bytesToWrite() + driverOutCount() : 0;
}

// Takes what waits in the driver now into Qt's buffer, without waiting for the event pump. Only
// what waits at the call: a sender that never pauses keeps the driver refilling, and chasing it
// would make one read as long as the stream.
void LocalSerialDevice::pullFromDriver() {
    const qint64 wanted = m_port.bytesAvailable() + driverInCount();
    for (int guard = 0;
         guard < 64 && isOpen() && m_port.bytesAvailable() < wanted && driverInCount() > 0;
         ++guard) {
        if (!m_port.waitForReadyRead(0))
            break;
    }
}

QByteArray LocalSerialDevice::read(qint64 maxBytes) {
    if (!isOpen())
        return QByteArray();
    pullFromDriver();
    if (!isOpen())
        return QByteArray();
    QByteArray bytes = maxBytes > 0 ? m_port.read(maxBytes) : m_port.readAll();
    // A full buffer turns Qt's reading off, and a read that its buffer answers alone does not
    // turn it on again: room was made, so reading resumes (and with it readyRead).
    m_port.setReadBufferSize(kDeviceReadBuffer);
    return bytes;
}

// Hands Qt's write buffer to the driver as far as the driver takes it now. Only when the device
// is writable: a write that would block counts as a write error in Qt. Returns false when the
// operating system refused the bytes; a hang-up loses the device.
bool LocalSerialDevice::pushToDriver() {
    if (!isOpen() || m_port.bytesToWrite() == 0)
        return true;
    pollfd p{fd(), POLLOUT, 0};
    if (::poll(&p, 1, 0) != 1)
        return true;
    if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        lose();
        return true;
    }
    return (p.revents & POLLOUT) == 0 || m_port.flush() || !isOpen();
}

void LocalSerialDevice::write(const QByteArray &bytes) {
    const QString where = name();
    if (m_port.write(bytes) != bytes.size() || !pushToDriver()) {
        throw RunTimeError(err::kWriteFailed, where, m_port.errorString());
    }
}

void LocalSerialDevice::discardInput() {
    if (isOpen())
        m_port.clear(QSerialPort::Input);
}

void LocalSerialDevice::discardOutput() {
    if (isOpen())
        m_port.clear(QSerialPort::Output);
}

void LocalSerialDevice::lose() {
    if (!isOpen())
        return;
    const QString description =
        errorDescription(err::kDeviceLost, name(), QStringLiteral("the device went away"));
    QByteArray received = m_port.readAll();
    char buffer[4096];
    // Bounded: a device still streaming must not hold the loss up.
    for (int reads = 0; reads < 64; ++reads) {
        const ssize_t n = ::read(fd(), buffer, sizeof buffer);
        if (n <= 0)
            break;
        received.append(buffer, n);
    }
    close();
    Q_EMIT lost(description, received);
}

// Qt reports a read that found nothing as a read error. That happens on a hang-up (the read sees
// end of file, over and over) but also when the bytes that woke Qt's notifier were already taken
// by a read or the quiet wait: a read on this raw line then returns 0 as well. Only the device
// can tell the two apart.
void LocalSerialDevice::onPortError(QSerialPort::SerialPortError error) {
    if (!isOpen() || (error != QSerialPort::ReadError && error != QSerialPort::ResourceError))
        return;
    if (deviceGone() || ++m_staleReadErrors > kStaleReadErrorLimit) {
        lose();
        return;
    }
    m_port.clearError();
    if (error == QSerialPort::ResourceError)
        m_port.setReadBufferSize(m_port.readBufferSize()); // Qt stops reading after this one
}

bool LocalSerialDevice::deviceGone() const {
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

// Waits on the device until `events` are ready or the deadline passes. Returns the ready events,
// 0 at the deadline; a hang-up loses the device and returns 0.
short LocalSerialDevice::pollDevice(short events, std::int64_t deadline) {
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

bool LocalSerialDevice::waitForInput(std::int64_t deadline) {
    while (isOpen()) {
        if (bytesWaiting() > 0)
            return true;
        const bool sending = m_port.bytesToWrite() > 0;
        const short ready = pollDevice(sending ? POLLIN | POLLOUT : POLLIN, deadline);
        if (ready == 0)
            return bytesWaiting() > 0;
        if ((ready & POLLOUT) != 0)
            pushToDriver();
        if ((ready & POLLIN) != 0 && bytesWaiting() == 0 && deviceGone()) {
            lose();
            return false;
        }
    }
    return false;
}

void LocalSerialDevice::waitForOutput(std::int64_t deadline) {
    while (isOpen() && bytesToSend() > 0) {
        const std::int64_t left = deadline - monotonicNsecs();
        if (left <= 0)
            return;
        if (m_port.bytesToWrite() > 0) {
            if ((pollDevice(POLLOUT, deadline) & POLLOUT) != 0)
                pushToDriver();
        } else {
            // Only the driver's queue is left; it gives no wake-up when it empties.
            const timespec nap = toTimespec(std::min(left, kDrainNapNsecs));
            ::ppoll(nullptr, 0, &nap, nullptr);
        }
    }
}

} // namespace korvane
