#include "device/network_link.h"

#include "device/socket_os.h"

namespace korvane {

namespace {
constexpr qsizetype kLongestServerWords = 160;
} // namespace

// An idle connection is probed after 3 s, every second, and given up after 3 unanswered probes:
// kSilenceSecs in all, as for unacknowledged output.
void watchForSilence(qintptr fd) {
    os::setKeepAlive(fd, 3, 1, 3);
    os::setUnacknowledgedLimit(fd, kSilenceSecs * 1000);
}

bool peerWindowShut(qintptr fd) {
    return os::bytesUnsent(fd) > 0 && os::nothingInFlight(fd);
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
