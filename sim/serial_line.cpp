#include "serial_line.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace sim {

namespace {

constexpr int kDefaultBaud = 9600;

QString systemError(const QString &what) {
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

void closeFd(int &fd) {
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

} // namespace

SerialLine::~SerialLine() {
    hangUp();
}

bool SerialLine::openPseudoTerminal(QString *error) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        *error = systemError(QStringLiteral("cannot open a pseudo-terminal"));
        return false;
    }
    char name[256] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 ||
        ptsname_r(master, name, sizeof name) != 0) {
        *error = systemError(QStringLiteral("cannot unlock the pseudo-terminal"));
        ::close(master);
        return false;
    }
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        *error = systemError(QStringLiteral("cannot open ") + QString::fromLocal8Bit(name));
        ::close(master);
        return false;
    }
    // A new slave echoes and edits lines: the radio's own answers would come straight back to
    // it as input. Raw until the console opens it and sets it as it likes.
    termios tio{};
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    setLineSpeed(slave, kDefaultBaud);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    m_fd = master;
    m_slaveKeep = slave;
    m_path = QString::fromLocal8Bit(name);
    m_settingsAtOpen = settings();
    return true;
}

bool SerialLine::openDevice(const QString &path, int baud, QString *error) {
    const QByteArray local = path.toLocal8Bit();
    const int fd = ::open(local.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        *error = systemError(QStringLiteral("cannot open ") + path);
        return false;
    }
    termios tio{};
    if (tcgetattr(fd, &tio) != 0) {
        *error = systemError(path + QStringLiteral(" is not a serial device"));
        ::close(fd);
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag &= ~tcflag_t(CSIZE | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS7 | PARENB | PARODD | CLOCAL | CREAD;
    tio.c_cc[VMIN] = 1;
    tio.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &tio) != 0 || !setLineSpeed(fd, baud)) {
        *error = systemError(path + QStringLiteral(": cannot set ") + QString::number(baud) +
                             QStringLiteral(" baud, odd parity, 7 data bits, 1 stop bit"));
        ::close(fd);
        return false;
    }
    tcflush(fd, TCIOFLUSH);
    m_fd = fd;
    m_path = path;
    return true;
}

int SerialLine::currentBaud() const {
    return readLineSpeed(m_slaveKeep >= 0 ? m_slaveKeep : m_fd);
}

QByteArray SerialLine::settings() const {
    termios tio{};
    if (m_slaveKeep < 0 || tcgetattr(m_slaveKeep, &tio) != 0)
        return {};
    // Field by field: the structure's padding holds nothing worth comparing.
    QByteArray out;
    for (tcflag_t flags : {tio.c_iflag, tio.c_oflag, tio.c_cflag, tio.c_lflag})
        out.append(reinterpret_cast<const char *>(&flags), sizeof flags);
    out.append(reinterpret_cast<const char *>(tio.c_cc), sizeof tio.c_cc);
    out += QByteArray::number(readLineSpeed(m_slaveKeep));
    return out;
}

void SerialLine::drain(double seconds) {
    if (m_fd < 0)
        return;
    if (m_slaveKeep < 0) {
        tcdrain(m_fd);
        return;
    }
    // Bytes written to the master reach the slave's input queue a moment later, through work
    // the kernel schedules (late, on a busy machine). So the queue counts as empty only when it
    // reads so twice, a little apart, after a first wait.
    constexpr useconds_t kStep = 10'000;
    int emptyReadings = 0;
    usleep(2 * kStep);
    for (double waited = 0; waited < seconds && emptyReadings < 2; waited += kStep / 1e6) {
        int queued = 0;
        if (ioctl(m_slaveKeep, TIOCINQ, &queued) != 0)
            return;
        emptyReadings = queued == 0 ? emptyReadings + 1 : 0;
        usleep(kStep);
    }
}

void SerialLine::hangUp() {
    closeFd(m_slaveKeep);
    closeFd(m_fd);
}

} // namespace sim
