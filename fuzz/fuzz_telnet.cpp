// The Telnet codec, fed two ways by the first control byte's bit 2:
//
// - As a script of what a serial device server sends: data, lone commands, option commands and
//   subnegotiations (a tag byte each, see below). The script is encoded as the codec encodes it,
//   cut into pieces and decoded: the data must come back exactly, and the same events in the same
//   places between the data, wherever the cuts fall and whatever mode (text or binary) the
//   WILL/WONT BINARY among them switch to.
// - As arbitrary bytes off the wire: decoding must end, give the same data and events whole as
//   cut into pieces, keep every subnegotiation within its bound, never give more data than came,
//   and what it gave, encoded again, must decode to itself.
//
// Control bytes: the first chooses the cut (bits 0-1: whole, 1-4, 1-64 or 1-3000 bytes a piece),
// bit 2 the arbitrary bytes, bit 3 the mode the stream starts in (set: binary); the second seeds
// the piece lengths. Script tags: tag & 7 is 0-2 or 6-7 data of (tag >> 3) bytes, 3 a command
// (one byte), 4 an option command (verb & 3, option), 5 a subnegotiation (option, then tag >> 3
// bytes of payload).

#include "fuzz_support.h"
#include "text/telnet_codec.h"

using namespace korvane;
using namespace korvane::fuzz;
using namespace korvane::telnet;

namespace {

struct Result {
    QByteArray data;
    QList<TelnetEvent> events;
    QList<qsizetype> at;
    bool midCommand = false;

    friend bool operator==(const Result &, const Result &) = default;
};

bool switchesMode(const TelnetEvent &event) {
    return event.kind == TelnetEvent::Kind::Option && event.option == kBinary &&
           (event.code == kWill || event.code == kWont);
}

// The wire cut into pieces of 1 to `longest` bytes, lengths from the seed.
std::vector<QByteArrayView> cut(const QByteArray &wire, qsizetype longest, std::uint32_t seed) {
    std::vector<QByteArrayView> pieces;
    if (longest == 0) {
        pieces.emplace_back(wire);
        return pieces;
    }
    for (qsizetype pos = 0; pos < wire.size();) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        const qsizetype length = std::min<qsizetype>(
            1 + static_cast<qsizetype>(seed % static_cast<std::uint32_t>(longest)),
            wire.size() - pos);
        pieces.emplace_back(QByteArrayView(wire).sliced(pos, length));
        pos += length;
    }
    return pieces;
}

// Decodes the pieces in order, switching modes as the program does on the peer's BINARY.
Result decodeAll(const std::vector<QByteArrayView> &pieces, bool binary) {
    TelnetDecoder decoder;
    decoder.setPeerBinary(binary);
    Result result;
    for (const QByteArrayView piece : pieces) {
        decoder.decode(piece, result.data, [&](const TelnetEvent &event) {
            result.events.append(event);
            result.at.append(result.data.size());
            if (switchesMode(event))
                decoder.setPeerBinary(event.code == kWill);
        });
    }
    result.midCommand = decoder.midCommand();
    return result;
}

// The result sent again: data and events in their order, each command whole.
QByteArray encode(const Result &result, bool binary) {
    QByteArray wire;
    qsizetype done = 0;
    for (qsizetype i = 0; i < result.events.size(); ++i) {
        wire += encodeData(QByteArrayView(result.data).sliced(done, result.at[i] - done), binary);
        done = result.at[i];
        const TelnetEvent &event = result.events[i];
        switch (event.kind) {
        case TelnetEvent::Kind::Command:
            wire += encodeCommand(event.code);
            break;
        case TelnetEvent::Kind::Option:
            wire += encodeOption(event.code, event.option);
            if (switchesMode(event))
                binary = event.code == kWill;
            break;
        case TelnetEvent::Kind::Subnegotiation:
            wire += encodeSubnegotiation(event.option, event.payload);
            break;
        }
    }
    wire += encodeData(QByteArrayView(result.data).sliced(done), binary);
    return wire;
}

QString show(const Result &result) {
    return QStringLiteral("%1 data bytes %2, %3 events%4")
        .arg(result.data.size())
        .arg(QString::fromLatin1(result.data.left(40).toHex()))
        .arg(result.events.size())
        .arg(QLatin1String(result.midCommand ? ", mid-command" : ""));
}

// Reads the script; the expected result is built beside the wire.
QByteArray script(const std::uint8_t *data, std::size_t size, bool binary, Result &expected) {
    QByteArray wire;
    std::size_t pos = 0;
    auto next = [&]() -> std::uint8_t { return pos < size ? data[pos++] : 0; };
    while (pos < size) {
        const std::uint8_t tag = next();
        const std::size_t length = std::min<std::size_t>(tag >> 3, size - pos);
        switch (tag & 7) {
        case 3: {
            std::uint8_t command = next();
            if (command >= kSb) // SB and the option verbs are not lone commands
                command = std::uint8_t(command - 10);
            wire += encodeCommand(command);
            TelnetEvent event;
            event.code = command;
            expected.events.append(event);
            expected.at.append(expected.data.size());
            break;
        }
        case 4: {
            TelnetEvent event;
            event.kind = TelnetEvent::Kind::Option;
            event.code = std::uint8_t(kWill + (next() & 3));
            event.option = next();
            wire += encodeOption(event.code, event.option);
            expected.events.append(event);
            expected.at.append(expected.data.size());
            if (switchesMode(event))
                binary = event.code == kWill;
            break;
        }
        case 5: {
            TelnetEvent event;
            event.kind = TelnetEvent::Kind::Subnegotiation;
            event.code = kSb;
            event.option = next();
            const std::size_t n = std::min<std::size_t>(tag >> 3, size - pos);
            event.payload = QByteArray(reinterpret_cast<const char *>(data + pos), qsizetype(n));
            pos += n;
            wire += encodeSubnegotiation(event.option, event.payload);
            expected.events.append(event);
            expected.at.append(expected.data.size());
            break;
        }
        default: {
            const QByteArray chunk(reinterpret_cast<const char *>(data + pos), qsizetype(length));
            pos += length;
            wire += encodeData(chunk, binary);
            expected.data += chunk;
            break;
        }
        }
    }
    return wire;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint8_t mode = data[0];
    const std::uint32_t seed = 0x9E3779B9u ^ (std::uint32_t{data[1]} * 2654435761u);
    static constexpr qsizetype kLongest[] = {0, 4, 64, 3000};
    const qsizetype longest = kLongest[mode & 3];
    const bool arbitrary = (mode & 4) != 0;
    const bool binary = (mode & 8) != 0;
    const std::uint8_t *body = data + 2;
    const std::size_t length = size - 2;

    if (!arbitrary) {
        Result expected;
        const QByteArray wire = script(body, length, binary, expected);
        const Result got = decodeAll(cut(wire, longest, seed), binary);
        FUZZ_CHECK(got == expected, QStringLiteral("decoded ") + show(got) +
                                        QStringLiteral("; sent ") + show(expected));
        return 0;
    }

    const QByteArray wire(reinterpret_cast<const char *>(body), qsizetype(length));
    const Result whole = decodeAll({QByteArrayView(wire)}, binary);
    const Result pieces = decodeAll(cut(wire, longest == 0 ? 1 : longest, seed), binary);
    FUZZ_CHECK(pieces == whole, QStringLiteral("in pieces ") + show(pieces) +
                                    QStringLiteral("; whole ") + show(whole));
    FUZZ_CHECK(whole.data.size() <= wire.size(), show(whole));
    for (const TelnetEvent &event : whole.events)
        FUZZ_CHECK(event.payload.size() <= TelnetDecoder::kMaxSubnegotiation,
                   QString::number(event.payload.size()));

    // What was decoded, sent again whole, decodes to itself; only the flags of commands that
    // were cut short (and so could not be sent as they came) may differ.
    Result again = decodeAll({QByteArrayView(encode(whole, binary))}, binary);
    Result expected = whole;
    for (TelnetEvent &event : expected.events)
        event.intact = true;
    expected.midCommand = false;
    FUZZ_CHECK(again == expected, QStringLiteral("sent again ") + show(again) +
                                      QStringLiteral("; first ") + show(whole));
    return 0;
}
