// The Telnet codec a radio behind a serial device server is reached through: the decoder fed
// whole, byte by byte and cut at every position; encoded streams of random data and commands
// decoding back to themselves however they are cut; the com-port messages byte for byte and the
// server's answers (as ser2net sends them) read back; the comm events its notifications raise;
// and negotiation answers that never start a loop.

#include "telnet_codec_test.h"
#include "text/telnet_codec.h"

#include <QRandomGenerator>
#include <QTest>

using namespace korvane;
using namespace korvane::telnet;
using Side = TelnetNegotiation::Side;

namespace {

QString verbName(std::uint8_t verb) {
    switch (verb) {
    case kWill:
        return QStringLiteral("WILL");
    case kWont:
        return QStringLiteral("WONT");
    case kDo:
        return QStringLiteral("DO");
    case kDont:
        return QStringLiteral("DONT");
    }
    return QString::number(verb);
}

// An event as the tables write it: "WILL 44", "CMD 241", "SB 44 6500002580" ("SB!" when cut
// short; long payloads by their length), behind "@n" for the data bytes before it.
QString describe(const TelnetEvent &event, qsizetype at) {
    QString text = QStringLiteral("@%1 ").arg(at);
    switch (event.kind) {
    case TelnetEvent::Kind::Command:
        return text + QStringLiteral("CMD %1").arg(event.code);
    case TelnetEvent::Kind::Option:
        return text + verbName(event.code) + QStringLiteral(" %1").arg(event.option);
    case TelnetEvent::Kind::Subnegotiation:
        text += QLatin1String(event.intact ? "SB " : "SB! ") + QString::number(event.option);
        if (event.payload.size() > 16)
            return text + QStringLiteral(" <%1 bytes>").arg(event.payload.size());
        if (!event.payload.isEmpty())
            text += QLatin1Char(' ') + QString::fromLatin1(event.payload.toHex());
        return text;
    }
    return text;
}

// Decodes the pieces one after the other through one decoder.
QStringList decodePieces(const QList<QByteArray> &pieces, bool binary, QByteArray &data) {
    TelnetDecoder decoder;
    decoder.setPeerBinary(binary);
    QStringList events;
    for (const QByteArray &piece : pieces) {
        decoder.decode(piece, data,
                       [&](const TelnetEvent &event) { events << describe(event, data.size()); });
    }
    return events;
}

QString names(const QByteArray &wire) {
    // Negotiation bytes as "WILL 44 DONT 1" for the tables.
    QStringList words;
    for (qsizetype i = 0; i + 2 < wire.size(); i += 3) {
        if (std::uint8_t(wire[i]) != kIac)
            return QStringLiteral("?") + wire.toHex();
        words << verbName(std::uint8_t(wire[i + 1])) + QLatin1Char(' ') +
                     QString::number(std::uint8_t(wire[i + 2]));
    }
    if (wire.size() % 3 != 0)
        return QStringLiteral("?") + wire.toHex();
    return words.join(QLatin1Char(' '));
}

} // namespace

void TstTelnetCodec::decode_data() {
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<bool>("binary");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("events");

    QTest::newRow("plain data") << QByteArray("J057\nU0001\n.\n") << true
                                << QByteArray("J057\nU0001\n.\n") << QStringList();
    QTest::newRow("doubled 0xFF") << hex("41 ff ff 42") << true << hex("41 ff 42") << QStringList();
    QTest::newRow("only doubled 0xFF")
        << hex("ff ff ff ff ff ff") << true << hex("ff ff ff") << QStringList();
    QTest::newRow("option amid data")
        << hex("41 ff fd 00 42") << true << QByteArray("AB") << QStringList{"@1 DO 0"};
    QTest::newRow("ser2net's greeting")
        << hex("ff fb 03 ff fd 03 ff fb 01 ff fe 01 ff fd 00 ff fb 00 ff fd 2c") << false
        << QByteArray() << QStringList{"@0 WILL 3", "@0 DO 3",   "@0 WILL 1", "@0 DONT 1",
                                       "@0 DO 0",   "@0 WILL 0", "@0 DO 44"};
    QTest::newRow("baud answer") << hex("ff fa 2c 65 00 00 25 80 ff f0 55") << true
                                 << QByteArray("U") << QStringList{"@0 SB 44 6500002580"};
    QTest::newRow("0xFF inside a subnegotiation")
        << hex("58 ff fa 2c 6b ff ff ff f0") << true << QByteArray("X")
        << QStringList{"@1 SB 44 6bff"};
    QTest::newRow("empty subnegotiation")
        << hex("ff fa 2c ff f0") << true << QByteArray() << QStringList{"@0 SB 44"};
    QTest::newRow("NOP BRK DM GA")
        << hex("ff f1 41 ff f3 ff f2 ff f9") << true << QByteArray("A")
        << QStringList{"@0 CMD 241", "@1 CMD 243", "@1 CMD 242", "@1 CMD 249"};
    QTest::newRow("stray SE and an unknown command")
        << hex("ff f0 ff 41 42") << true << QByteArray("B")
        << QStringList{"@0 CMD 240", "@0 CMD 65"};
    QTest::newRow("subnegotiation cut short by an option")
        << hex("ff fa 2c 01 00 ff fb 03 41") << true << QByteArray("A")
        << QStringList{"@0 SB! 44 0100", "@0 WILL 3"};
    QTest::newRow("subnegotiation inside a subnegotiation")
        << hex("ff fa 2c 01 ff fa 2c 02 07 ff f0") << true << QByteArray()
        << QStringList{"@0 SB! 44 01", "@0 SB 44 0207"};
    QTest::newRow("option byte 255")
        << hex("ff fb ff 41 ff fa ff 00 ff f0") << true << QByteArray("A")
        << QStringList{"@0 WILL 255", "@1 SB 255 00"};
    QByteArray overlong = hex("ff fa 2c 00");
    overlong += QByteArray(3000, 'x');
    overlong += hex("ff ff ff f0 41");
    QTest::newRow("overlong subnegotiation")
        << overlong << true << QByteArray("A") << QStringList{"@0 SB! 44 <1024 bytes>"};
    // At the limit the payload is whole; one byte more (here a doubled 0xFF) and it is cut.
    const QByteArray full = QByteArray(TelnetDecoder::kMaxSubnegotiation - 1, 'x');
    QTest::newRow("subnegotiation at the limit")
        << hex("ff fa 2c") + full + hex("ff ff ff f0") << true << QByteArray()
        << QStringList{"@0 SB 44 <1024 bytes>"};
    QTest::newRow("subnegotiation past the limit")
        << hex("ff fa 2c") + full + hex("ff ff ff ff ff f0") << true << QByteArray()
        << QStringList{"@0 SB! 44 <1024 bytes>"};
    QTest::newRow("subnegotiation a byte past the limit")
        << hex("ff fa 2c") + QByteArray(TelnetDecoder::kMaxSubnegotiation + 1, 'y') + hex("ff f0")
        << true << QByteArray() << QStringList{"@0 SB! 44 <1024 bytes>"};
    QTest::newRow("text: CR NUL is a CR")
        << hex("41 0d 00 42") << false << QByteArray("A\rB") << QStringList();
    QTest::newRow("binary: CR NUL stays")
        << hex("41 0d 00 42") << true << QByteArray("A\r\0B", 4) << QStringList();
    QTest::newRow("text: CR LF stays")
        << hex("0d 0a 0d 00 0d 0d 00") << false << QByteArray("\r\n\r\r\r") << QStringList();
    QTest::newRow("text: a NUL not after CR stays")
        << hex("00 41 00 0d 00 00") << false << QByteArray("\0A\0\r\0", 5) << QStringList();
    QTest::newRow("text: a command between CR and NUL")
        << hex("0d ff f1 00") << false << QByteArray("\r\0", 2) << QStringList{"@1 CMD 241"};
    QTest::newRow("text: 0xFF after CR")
        << hex("0d ff ff 00") << false << QByteArray("\r\xff\0", 3) << QStringList();
}

// Whole, byte by byte, and cut in two at every position, and in three at every pair of
// positions: always the same data and the same events at the same places.
void TstTelnetCodec::decode() {
    QFETCH(QByteArray, wire);
    QFETCH(bool, binary);
    QFETCH(QByteArray, data);
    QFETCH(QStringList, events);

    QByteArray whole;
    QCOMPARE(decodePieces({wire}, binary, whole), events);
    QCOMPARE(whole, data);

    QList<QByteArray> bytes;
    for (const char c : wire)
        bytes << QByteArray(1, c);
    QByteArray single;
    QCOMPARE(decodePieces(bytes, binary, single), events);
    QCOMPARE(single, data);

    const qsizetype n = wire.size();
    const qsizetype step = n > 100 ? 97 : 1; // the long row: a sample of the cuts
    for (qsizetype i = 0; i <= n; i += step) {
        for (qsizetype j = i; j <= n; j += step) {
            QByteArray out;
            const QStringList got =
                decodePieces({wire.left(i), wire.mid(i, j - i), wire.mid(j)}, binary, out);
            if (got != events || out != data)
                QFAIL(qPrintable(QStringLiteral("cut at %1 and %2: %3 / %4")
                                     .arg(i)
                                     .arg(j)
                                     .arg(QString::fromLatin1(out.toHex()), got.join(", "))));
        }
    }
}

// Random data (heavy in 0xFF, CR, LF and NUL) with random commands, options, subnegotiations and
// switches between text and binary mode, encoded, cut at random and decoded: the data and the
// events come back exactly, wherever the cuts fall. The switch is made by the event handler, as
// the program does when the peer's BINARY is agreed.
void TstTelnetCodec::randomStreamsRoundTrip() {
    QRandomGenerator random(2217);
    static const char kSpicy[] = {'\xff', '\r', '\n', '\0', '\xf0', '\xfa', 'U'};
    auto randomBytes = [&](int longest) {
        QByteArray bytes;
        const int n = random.bounded(longest + 1);
        for (int i = 0; i < n; ++i) {
            bytes += random.bounded(3) == 0 ? char(random.bounded(256))
                                            : kSpicy[random.bounded(int(sizeof kSpicy))];
        }
        return bytes;
    };

    for (int round = 0; round < 3000; ++round) {
        bool binary = random.bounded(2) == 0;
        const bool startBinary = binary;
        QByteArray wire;
        QByteArray data;
        QStringList events;
        const int items = random.bounded(12);
        for (int item = 0; item < items; ++item) {
            switch (random.bounded(5)) {
            case 0:
            case 1: {
                const QByteArray chunk = randomBytes(40);
                wire += telnet::encodeData(chunk, binary);
                data += chunk;
                break;
            }
            case 2: {
                static const std::uint8_t kCommands[] = {kNop, kBrk, kDm, kGa, kAyt, kSe, 7};
                const std::uint8_t command = kCommands[random.bounded(int(sizeof kCommands))];
                wire += encodeCommand(command);
                events << QStringLiteral("@%1 CMD %2").arg(data.size()).arg(command);
                break;
            }
            case 3: {
                // WILL / WONT BINARY switch the mode the data after them are sent in.
                const std::uint8_t verb = std::uint8_t(kWill + random.bounded(4));
                const std::uint8_t option =
                    random.bounded(2) == 0 ? kBinary : std::uint8_t(random.bounded(256));
                wire += encodeOption(verb, option);
                events
                    << QStringLiteral("@%1 %2 %3").arg(data.size()).arg(verbName(verb)).arg(option);
                if (option == kBinary && (verb == kWill || verb == kWont))
                    binary = verb == kWill;
                break;
            }
            case 4: {
                const std::uint8_t option = std::uint8_t(random.bounded(256));
                const QByteArray payload = randomBytes(20);
                wire += encodeSubnegotiation(option, payload);
                TelnetEvent event;
                event.kind = TelnetEvent::Kind::Subnegotiation;
                event.option = option;
                event.payload = payload;
                events << describe(event, data.size());
                break;
            }
            }
        }

        TelnetDecoder decoder;
        decoder.setPeerBinary(startBinary);
        QByteArray out;
        QStringList got;
        for (qsizetype pos = 0; pos < wire.size();) {
            const qsizetype length = 1 + random.bounded(random.bounded(2) == 0 ? 4 : 64);
            decoder.decode(QByteArrayView(wire).sliced(pos, std::min(length, wire.size() - pos)),
                           out, [&](const TelnetEvent &event) {
                               got << describe(event, out.size());
                               if (event.kind == TelnetEvent::Kind::Option &&
                                   event.option == kBinary &&
                                   (event.code == kWill || event.code == kWont))
                                   decoder.setPeerBinary(event.code == kWill);
                           });
            pos += length;
        }
        if (out != data || got != events || decoder.midCommand())
            QFAIL(qPrintable(QStringLiteral("round %1: wire %2\n got %3 [%4]\n sent %5 [%6]")
                                 .arg(round)
                                 .arg(QString::fromLatin1(wire.toHex()),
                                      QString::fromLatin1(out.toHex()), got.join(", "),
                                      QString::fromLatin1(data.toHex()), events.join(", "))));
    }
}

void TstTelnetCodec::encodeData_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<bool>("binary");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("a poll") << QByteArray("U") << true << QByteArray("U");
    QTest::newRow("0xFF doubled") << hex("ff 41 ff") << true << hex("ff ff 41 ff ff");
    QTest::newRow("binary: CR alone") << QByteArray("A\rB\r") << true << QByteArray("A\rB\r");
    QTest::newRow("text: CR alone gets a NUL")
        << QByteArray("A\rB\r") << false << QByteArray("A\r\0B\r\0", 6);
    QTest::newRow("text: CR LF stays")
        << QByteArray("F1000\r\n") << false << QByteArray("F1000\r\n");
    QTest::newRow("text: 0xFF doubled too") << hex("0d ff") << false << hex("0d 00 ff ff");
}

void TstTelnetCodec::encodeData() {
    QFETCH(QByteArray, data);
    QFETCH(bool, binary);
    QFETCH(QByteArray, wire);
    QCOMPARE(telnet::encodeData(data, binary), wire);
}

void TstTelnetCodec::negotiation_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("enabled"); // at the end: "local 44", "remote 0", ...

    const QStringList all{"local 0", "local 3", "local 44", "remote 0", "remote 3"};
    QTest::newRow("start") << QStringList{"start => WILL 0 WILL 3 WILL 44 DO 0 DO 3"}
                           << QStringList{};
    // What ser2net sends on connect, crossing the client's own requests, then its second DO SGA
    // (it acknowledges an acknowledgement): only ECHO is refused, nothing else answered.
    QTest::newRow("ser2net's greeting") << QStringList{"start => WILL 0 WILL 3 WILL 44 DO 0 DO 3",
                                                       "<- WILL 3 =>",
                                                       "<- DO 3 =>",
                                                       "<- WILL 1 => DONT 1",
                                                       "<- DONT 1 =>",
                                                       "<- DO 0 =>",
                                                       "<- WILL 0 =>",
                                                       "<- DO 44 =>",
                                                       "<- DO 3 =>"}
                                        << all;
    QTest::newRow("server asks first")
        << QStringList{"<- DO 44 => WILL 44", "<- WILL 0 => DO 0",   "<- DO 0 => WILL 0",
                       "<- WILL 3 => DO 3",   "<- DO 1 => WONT 1",   "<- WILL 1 => DONT 1",
                       "<- DO 24 => WONT 24", "<- WILL 5 => DONT 5", "<- WILL 0 =>",
                       "<- DO 3 => WILL 3"}
        << all;
    QTest::newRow("server refuses") << QStringList{"start => WILL 0 WILL 3 WILL 44 DO 0 DO 3",
                                                   "<- DONT 44 =>",
                                                   "<- WONT 0 =>",
                                                   "<- DONT 0 =>",
                                                   "<- DO 3 =>",
                                                   "<- WILL 3 =>"}
                                    << QStringList{"local 3", "remote 3"};
    QTest::newRow("server turns an option off")
        << QStringList{"<- DO 44 => WILL 44", "<- DONT 44 => WONT 44", "<- DONT 44 =>",
                       "<- DO 44 => WILL 44"}
        << QStringList{"local 44"};
    QTest::newRow("change of mind while asking")
        << QStringList{"want local 0 => WILL 0", "drop local 0 =>", "<- DO 0 => WONT 0",
                       "<- DONT 0 =>"}
        << QStringList{};
    QTest::newRow("change of mind withdrawn")
        << QStringList{"want remote 0 => DO 0", "drop remote 0 =>", "want remote 0 =>",
                       "<- WILL 0 =>"}
        << QStringList{"remote 0"};
    QTest::newRow("asked to stop, then on again")
        << QStringList{"<- WILL 0 => DO 0", "drop remote 0 => DONT 0", "want remote 0 =>",
                       "<- WONT 0 => DO 0", "<- WILL 0 =>"}
        << QStringList{"remote 0"};
    QTest::newRow("offer against our refusal")
        << QStringList{"<- WILL 0 => DO 0", "drop remote 0 => DONT 0", "<- WILL 0 =>"}
        << QStringList{};
    // A peer that repeats a request in one read did not wait for the answer: one refusal is
    // enough. A change of state is answered each time.
    QTest::newRow("repeats within a read") << QStringList{"read =>",
                                                          "<- WILL 1 => DONT 1",
                                                          "<- DO 24 => WONT 24",
                                                          "<- WILL 1 =>",
                                                          "<- DO 24 =>",
                                                          "<- WILL 0 => DO 0",
                                                          "<- WONT 0 => DONT 0",
                                                          "<- WILL 0 => DO 0",
                                                          "<- WONT 0 => DONT 0",
                                                          "read =>",
                                                          "<- WILL 1 => DONT 1",
                                                          "<- WILL 1 =>"}
                                           << QStringList{};
}

void TstTelnetCodec::negotiation() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, enabled);
    TelnetNegotiation client;
    static const QHash<QString, std::uint8_t> kVerbs{
        {"WILL", kWill}, {"WONT", kWont}, {"DO", kDo}, {"DONT", kDont}};
    for (const QString &step : steps) {
        const QString what = step.section(QStringLiteral(" =>"), 0, 0);
        const QString expected = step.section(QStringLiteral("=> "), 1).trimmed();
        const QStringList words = what.split(QLatin1Char(' '));
        QByteArray sent;
        if (what == QLatin1String("start"))
            sent = client.start();
        else if (what == QLatin1String("read"))
            client.beginRead();
        else if (words[0] == QLatin1String("<-"))
            sent = client.receive(kVerbs.value(words[1]), std::uint8_t(words[2].toInt()));
        else
            sent =
                client.request(words[1] == QLatin1String("local") ? Side::Local : Side::Remote,
                               std::uint8_t(words[2].toInt()), words[0] == QLatin1String("want"));
        QVERIFY2(names(sent) == expected,
                 qPrintable(step + QStringLiteral(": sent ") + names(sent)));
    }
    QStringList got;
    for (int option = 0; option < 256; ++option) {
        if (client.enabled(Side::Local, std::uint8_t(option)))
            got << QStringLiteral("local %1").arg(option);
    }
    for (int option = 0; option < 256; ++option) {
        if (client.enabled(Side::Remote, std::uint8_t(option)))
            got << QStringLiteral("remote %1").arg(option);
    }
    QCOMPARE(got, enabled);
}

// Two ends negotiating by the Q method, with random policies, random requests made at random
// moments and the two directions' traffic interleaved at random: the talk always dies down, no
// request is left waiting, and both ends agree on every option.
void TstTelnetCodec::negotiationsSettle() {
    QRandomGenerator random(1143);
    for (int round = 0; round < 500; ++round) {
        static const std::uint8_t kOptions[] = {kBinary, kEcho, kSuppressGoAhead, kComPort};
        TelnetNegotiation::Policy policies[2];
        for (auto &policy : policies) {
            for (const std::uint8_t option : kOptions) {
                policy.local[option] = random.bounded(3) != 0;
                policy.remote[option] = random.bounded(3) != 0;
            }
        }
        TelnetNegotiation ends[2] = {TelnetNegotiation(policies[0]),
                                     TelnetNegotiation(policies[1])};
        QByteArray inFlight[2]; // toward end 0, toward end 1
        inFlight[1] += ends[0].start();
        if (random.bounded(2) == 0)
            inFlight[0] += ends[1].start();
        int requestsLeft = random.bounded(20);
        int messages = 0;
        while (!inFlight[0].isEmpty() || !inFlight[1].isEmpty() || requestsLeft > 0) {
            const int choice = random.bounded(3);
            if (choice == 2 || (inFlight[0].isEmpty() && inFlight[1].isEmpty())) {
                if (requestsLeft-- <= 0)
                    continue;
                const int who = random.bounded(2);
                inFlight[1 - who] += ends[who].request(
                    random.bounded(2) == 0 ? Side::Local : Side::Remote,
                    kOptions[random.bounded(int(sizeof kOptions))], random.bounded(2) == 0);
                continue;
            }
            // One read takes one to three commands; the answers go out after it.
            const int to = inFlight[choice].isEmpty() ? 1 - choice : choice;
            ends[to].beginRead();
            QByteArray answers;
            for (int n = 1 + random.bounded(3); n > 0 && !inFlight[to].isEmpty(); --n) {
                const QByteArray command = inFlight[to].left(3);
                inFlight[to].remove(0, 3);
                answers += ends[to].receive(std::uint8_t(command[1]), std::uint8_t(command[2]));
                QVERIFY2(++messages < 1000,
                         qPrintable(QStringLiteral("round %1 loops").arg(round)));
            }
            inFlight[1 - to] += answers;
        }
        for (int option = 0; option < 256; ++option) {
            const auto o = std::uint8_t(option);
            for (int e = 0; e < 2; ++e) {
                QVERIFY(!ends[e].pending(Side::Local, o) && !ends[e].pending(Side::Remote, o));
                QCOMPARE(ends[e].enabled(Side::Local, o), ends[1 - e].enabled(Side::Remote, o));
            }
        }
    }
}

QTEST_APPLESS_MAIN(TstTelnetCodec)
#include "tst_telnet_codec.moc"
