#pragma once
// What a network port's connection needs beyond its socket: the kernel told to give up on a peer
// that stopped answering, the server's words as a message can show them, and the console's
// handshaking as the com-port option names it.

#include "text/telnet_codec.h"

#include <QByteArray>
#include <QString>

namespace korvane {

// Line errors a server is asked to report, as a local line's watch reports them.
inline constexpr std::uint8_t kReportedLineErrors =
    comport::kLineBreak | comport::kLineFramingError | comport::kLineParityError |
    comport::kLineOverrun;

// A connection whose peer stops answering (a cable pulled, a host gone) ends in seconds rather
// than the kernel's quarter of an hour: unacknowledged output, or an idle connection's probes,
// give up after kSilenceSecs, and the socket reports the loss. So does output that a peer
// which stopped reading leaves waiting that long behind its shut window.
inline constexpr int kSilenceSecs = 6;
void watchForSilence(qintptr fd);

// Whether output waits in the kernel while nothing of it is on its way: the peer acknowledged
// everything sent and shut its window, i.e. it stopped reading. (A peer that does not answer at
// all leaves output on its way, unacknowledged.)
bool peerWindowShut(qintptr fd);

// What the server wrote, as one printable line of at most 160 characters.
QString serverWords(const QByteArray &bytes);

// Handshaking 0 none, 1 XON/XOFF, 2 RTS/CTS.
comport::Control flowControlFor(int handshaking);

} // namespace korvane
