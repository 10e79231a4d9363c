#include "device/network_link.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>

namespace korvane {

namespace {
constexpr qsizetype kLongestServerWords = 160;
} // namespace

void watchForSilence(qintptr fd) {
    const int on = 1;
    const int idle = 3;
    const int interval = 1;
    const int probes = 3;
    const unsigned int userTimeout = kSilenceSecs * 1000;
    ::setsockopt(int(fd), SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
    ::setsockopt(int(fd), IPPROTO_TCP, TCP_USER_TIMEOUT, &userTimeout, sizeof userTimeout);
}

bool peerWindowShut(qintptr fd) {
    int queued = 0;
    if (::ioctl(int(fd), TIOCOUTQ, &queued) != 0 || queued <= 0)
        return false;
    tcp_info info{};
    socklen_t size = sizeof info;
    return ::getsockopt(int(fd), IPPROTO_TCP, TCP_INFO, &info, &size) == 0 &&
           info.tcpi_unacked == 0;
}

QString serverWords(const QByteArray &bytes) {
    QString text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        text += byte >= 0x20 && byte < 0x7F ? QChar(QLatin1Char(c)) : QChar(QLatin1Char(' '));
    }
    text = text.simplified();
    return text.size() > kLongestServerWords
               ? text.left(kLongestServerWords) + QStringLiteral("...")
               : text;
}

comport::Control flowControlFor(int handshaking) {
    switch (handshaking) {
    case 1:
        return comport::Control::FlowXonXoff;
    case 2:
        return comport::Control::FlowHardware;
    default:
        return comport::Control::FlowNone;
    }
}

} // namespace korvane
