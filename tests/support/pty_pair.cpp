#include "support/pty_pair.h"

#include <QElapsedTimer>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace korvane::test {

PtyPair::PtyPair() {
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0)
        return;
    // The radio's end sees raw bytes: no echo, no line editing, no CR/LF translation.
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
    m_master = master;
    m_slaveKeep = slave;
    m_slavePath = QString::fromLocal8Bit(name);
}

PtyPair::~PtyPair() {
    if (m_master >= 0)
        ::close(m_master);
    if (m_slaveKeep >= 0)
        ::close(m_slaveKeep);
}

void PtyPair::write(const QByteArray &bytes) {
    qsizetype done = 0;
    while (done < bytes.size() && m_master >= 0) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{m_master, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

QByteArray PtyPair::read(int msecs, int atLeast) {
    QByteArray out;
    QElapsedTimer timer;
    timer.start();
    while (m_master >= 0) {
        const qint64 left = msecs - timer.elapsed();
        if (left <= 0 || out.size() >= atLeast)
            break;
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left)) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n > 0)
            out.append(buf, n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            break;
    }
    return out;
}

void PtyPair::hangUp() {
    if (m_slaveKeep >= 0) {
        ::close(m_slaveKeep);
        m_slaveKeep = -1;
    }
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
}

PortsEnvironment::PortsEnvironment(const QString &table) : PortsEnvironment(table.toLocal8Bit()) {}

PortsEnvironment::PortsEnvironment(const QByteArray &table) {
    m_hadOld = qEnvironmentVariableIsSet("KORVANE_PORTS");
    m_old = qgetenv("KORVANE_PORTS");
    qputenv("KORVANE_PORTS", table);
}

PortsEnvironment::~PortsEnvironment() {
    if (m_hadOld)
        qputenv("KORVANE_PORTS", m_old);
    else
        qunsetenv("KORVANE_PORTS");
}

std::function<std::map<int, QString>()> portTableWith(int port, const QString &device) {
    return [port, device] { return std::map<int, QString>{{port, device}}; };
}

} // namespace korvane::test
