// The session log's text, fed a session of any events: bytes received in pieces of any size,
// bytes sent, polls (written or counted), messages, and the port opened, closed and lost in
// between.
//
// The log must be lines of plain ASCII, each a record of the log's shape, and read back by the
// tests' reader of the log (written from its description, not from this code) it must give every
// byte received and every byte sent, in order, and every message.
//
// Input: one byte that says whether polls are counted, then events, each a control byte (bits
// 0-2 the event; bit 7: the length byte counts in 64s, for lines past the longest kept) and, for
// events that carry bytes, a length byte and that many bytes.

#include "fuzz_support.h"
#include "support/traffic_session.h"

using namespace korvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 1)
        return 0;
    test::TrafficSession session((data[0] & 1) != 0);
    const QByteArray stamp = "2026-12-07 15:58:29.741";
    std::size_t at = 1;
    while (at < size) {
        const std::uint8_t control = data[at++];
        const int kind = control & 7;
        QByteArray bytes;
        if (kind <= 3 || kind == 5) {
            std::size_t length = at < size ? data[at++] : 0;
            if ((control & 0x80) != 0)
                length *= 64;
            length = std::min(length, size - at);
            bytes = QByteArray(reinterpret_cast<const char *>(data + at),
                               static_cast<qsizetype>(length));
            at += length;
        }
        session.add(kind, stamp, bytes, (control & 0x08) != 0);
    }
    session.finish(stamp);

    for (const char c : session.log())
        FUZZ_CHECK(c == '\n' || (c >= 0x20 && c <= 0x7E),
                   QStringLiteral("byte %1 in the log").arg(int(static_cast<unsigned char>(c))));
    const QString unread = session.unread();
    FUZZ_CHECK(unread.isEmpty(), unread);
    return 0;
}
