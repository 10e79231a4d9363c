#include "sim_harness.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace simtest {

double now() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

QList<QByteArray> completeLines(const QByteArray &bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    lines.removeLast(); // the text after the last line feed: no line yet
    return lines;
}

int reportsIn(const QByteArray &bytes) {
    int n = 0;
    for (const QByteArray &line : completeLines(bytes)) {
        if (line.startsWith('.'))
            ++n;
    }
    return n;
}

double longestGap(const QList<Chunk> &chunks) {
    double gap = 0;
    for (qsizetype i = 1; i < chunks.size(); ++i)
        gap = std::max(gap, chunks[i].time - chunks[i - 1].time);
    return gap;
}

QString bestOf(int tries, const std::function<QString()> &attempt) {
    QString failure;
    for (int i = 0; i < tries; ++i) {
        failure = attempt();
        if (failure.isEmpty())
            break;
    }
    return failure;
}

int openRaw(const QString &path) {
    const int fd = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return -1;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

Sim::Sim(const QStringList &arguments, QProcess::ProcessChannelMode errors)
    : m_radio(arguments, errors, QStringLiteral(RT1446_SIM_PATH)) {}

Sim::~Sim() {
    closeConsole();
}

int Sim::console() {
    if (m_console < 0 && !path().isEmpty())
        m_console = openRaw(path());
    return m_console;
}

void Sim::closeConsole() {
    if (m_console >= 0)
        ::close(m_console);
    m_console = -1;
}

void Sim::send(const QByteArray &bytes) {
    const int fd = console();
    qsizetype done = 0;
    while (fd >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 100);
        } else if (n < 0 && errno != EINTR) {
            return;
        }
    }
}

QList<Chunk> Sim::readTimed(int msecs, const std::function<bool(const QByteArray &)> &done) {
    QList<Chunk> chunks;
    QByteArray all;
    const int fd = console();
    const double end = now() + msecs / 1000.0;
    while (fd >= 0) {
        const double left = end - now();
        if (left <= 0 || (done && done(all)))
            break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left * 1000) + 1) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            chunks.append({now(), QByteArray(buffer, n)});
            all.append(buffer, n);
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            break; // the line hung up
        }
    }
    return chunks;
}

QByteArray Sim::read(int msecs, const std::function<bool(const QByteArray &)> &done) {
    QByteArray all;
    for (const Chunk &chunk : readTimed(msecs, done))
        all += chunk.bytes;
    return all;
}

QByteArray Sim::readReports(int count, int msecs) {
    return read(msecs, [count](const QByteArray &all) { return reportsIn(all) >= count; });
}

} // namespace simtest
