// The Telnet codec's com-port option: the client's messages byte for byte, the server's answers
// (as ser2net sends them) read back, and the comm events its notifications raise.

#include "base/comm_event.h"
#include "telnet_codec_test.h"

#include <QTest>

using namespace korvane;
using namespace korvane::telnet;

void TstTelnetCodec::lineSettingsMessages_data() {
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QByteArray>("wire");
    QTest::newRow("9600,O,7,1") << "9600,O,7,1"
                                << hex("ff fa 2c 01 00 00 25 80 ff f0  ff fa 2c 02 07 ff f0"
                                       "ff fa 2c 03 02 ff f0  ff fa 2c 04 01 ff f0");
    QTest::newRow("115200,N,8,1") << "115200,N,8,1"
                                  << hex("ff fa 2c 01 00 01 c2 00 ff f0  ff fa 2c 02 08 ff f0"
                                         "ff fa 2c 03 01 ff f0  ff fa 2c 04 01 ff f0");
    QTest::newRow("300,E,7,2") << "300,E,7,2"
                               << hex("ff fa 2c 01 00 00 01 2c ff f0  ff fa 2c 02 07 ff f0"
                                      "ff fa 2c 03 03 ff f0  ff fa 2c 04 02 ff f0");
    QTest::newRow("110,M,5,1.5") << "110,M,5,1.5"
                                 << hex("ff fa 2c 01 00 00 00 6e ff f0  ff fa 2c 02 05 ff f0"
                                        "ff fa 2c 03 04 ff f0  ff fa 2c 04 03 ff f0");
    // A baud with a 0xFF byte: doubled inside the subnegotiation.
    QTest::newRow("65535,S,6,1") << "65535,S,6,1"
                                 << hex("ff fa 2c 01 00 00 ff ff ff ff ff f0  ff fa 2c 02 06 ff f0"
                                        "ff fa 2c 03 05 ff f0  ff fa 2c 04 01 ff f0");
}

void TstTelnetCodec::lineSettingsMessages() {
    QFETCH(QString, settings);
    QFETCH(QByteArray, wire);
    const std::optional<LineSettings> parsed = parseSettingsText(settings);
    QVERIFY(parsed);
    const QByteArray sent = comport::lineSettingsMessages(*parsed);
    QCOMPARE(sent.toHex(' '), wire.toHex(' '));

    // Read back as a server reads them: the same four settings.
    TelnetDecoder decoder;
    const TelnetDecoder::Decoded decoded = decoder.decode(sent);
    QVERIFY(decoded.data.isEmpty());
    QCOMPARE(decoded.events.size(), 4);
    const comport::Command order[] = {comport::Command::SetBaudRate, comport::Command::SetDataSize,
                                      comport::Command::SetParity, comport::Command::SetStopSize};
    const std::uint32_t values[] = {std::uint32_t(parsed->baud), std::uint32_t(parsed->dataBits),
                                    std::uint32_t(comport::parityFor(parsed->parity)),
                                    std::uint32_t(comport::stopSizeFor(parsed->stopBits))};
    for (int i = 0; i < 4; ++i) {
        const std::optional<comport::Message> message = comport::parseMessage(decoded.events[i]);
        QVERIFY(message);
        QVERIFY(!message->fromServer);
        QCOMPARE(message->command, order[i]);
        QCOMPARE(message->number(), values[i]);
    }
}

void TstTelnetCodec::clientMessages_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("wire");
    using namespace comport;
    QTest::newRow("DTR on") << setControl(Control::DtrOn) << hex("ff fa 2c 05 08 ff f0");
    QTest::newRow("RTS off") << setControl(Control::RtsOff) << hex("ff fa 2c 05 0c ff f0");
    QTest::newRow("no flow control")
        << setControl(Control::FlowNone) << hex("ff fa 2c 05 01 ff f0");
    QTest::newRow("break on") << setControl(Control::BreakOn) << hex("ff fa 2c 05 05 ff f0");
    QTest::newRow("every modem line") << setModemStateMask(0xff) << hex("ff fa 2c 0b ff ff ff f0");
    QTest::newRow("line errors") << setLineStateMask(kLineBreak | kLineFramingError |
                                                     kLineParityError | kLineOverrun)
                                 << hex("ff fa 2c 0a 1e ff f0");
    QTest::newRow("purge both") << purgeData(Purge::Both) << hex("ff fa 2c 0c 03 ff f0");
    QTest::newRow("suspend") << flowControlSuspend() << hex("ff fa 2c 08 ff f0");
    QTest::newRow("resume") << flowControlResume() << hex("ff fa 2c 09 ff f0");
    QTest::newRow("ask the baud") << setBaudRate(0) << hex("ff fa 2c 01 00 00 00 00 ff f0");
}

void TstTelnetCodec::clientMessages() {
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, wire);
    QCOMPARE(sent.toHex(' '), wire.toHex(' '));
}

// Answers as ser2net sent them to the program's requests, and answers no server should send.
void TstTelnetCodec::serverReplies_data() {
    QTest::addColumn<QByteArray>("wire");
    QTest::addColumn<int>("command");   // -1: not a com-port message the program can use
    QTest::addColumn<qint64>("number"); // -1: no number
    using C = comport::Command;
    QTest::newRow("baud 9600") << hex("ff fa 2c 65 00 00 25 80 ff f0") << int(C::SetBaudRate)
                               << qint64(9600);
    QTest::newRow("baud 115200") << hex("ff fa 2c 65 00 01 c2 00 ff f0") << int(C::SetBaudRate)
                                 << qint64(115200);
    QTest::newRow("data size 7") << hex("ff fa 2c 66 07 ff f0") << int(C::SetDataSize) << qint64(7);
    QTest::newRow("parity odd") << hex("ff fa 2c 67 02 ff f0") << int(C::SetParity) << qint64(2);
    QTest::newRow("stop size 2") << hex("ff fa 2c 68 02 ff f0") << int(C::SetStopSize) << qint64(2);
    QTest::newRow("hardware flow")
        << hex("ff fa 2c 69 03 ff f0") << int(C::SetControl) << qint64(3);
    QTest::newRow("modem state") << hex("ff fa 2c 6b b1 ff f0") << int(C::NotifyModemState)
                                 << qint64(0xb1);
    QTest::newRow("line state") << hex("ff fa 2c 6a 12 ff f0") << int(C::NotifyLineState)
                                << qint64(0x12);
    QTest::newRow("modem mask with 0xFF")
        << hex("ff fa 2c 6f ff ff ff f0") << int(C::SetModemStateMask) << qint64(0xff);
    QTest::newRow("purge") << hex("ff fa 2c 70 03 ff f0") << int(C::PurgeData) << qint64(3);
    QTest::newRow("signature") << hex("ff fa 2c 64 73 65 72 32 6e 65 74 ff f0") << int(C::Signature)
                               << qint64(-1);
    QTest::newRow("suspend") << hex("ff fa 2c 6c ff f0") << int(C::FlowControlSuspend)
                             << qint64(-1);
    QTest::newRow("baud too short") << hex("ff fa 2c 65 25 80 ff f0") << -1 << qint64(-1);
    QTest::newRow("baud too long")
        << hex("ff fa 2c 65 00 00 00 00 25 80 ff f0") << -1 << qint64(-1);
    QTest::newRow("data size without value") << hex("ff fa 2c 66 ff f0") << -1 << qint64(-1);
    QTest::newRow("suspend with a value") << hex("ff fa 2c 6c 01 ff f0") << -1 << qint64(-1);
    QTest::newRow("code 113") << hex("ff fa 2c 71 00 ff f0") << -1 << qint64(-1);
    QTest::newRow("code 13") << hex("ff fa 2c 0d 00 ff f0") << -1 << qint64(-1);
    QTest::newRow("empty") << hex("ff fa 2c ff f0") << -1 << qint64(-1);
    QTest::newRow("another option") << hex("ff fa 18 65 00 00 25 80 ff f0") << -1 << qint64(-1);
    QTest::newRow("cut short") << hex("ff fa 2c 66 07 ff f1") << -1 << qint64(-1);
}

void TstTelnetCodec::serverReplies() {
    QFETCH(QByteArray, wire);
    QFETCH(int, command);
    QFETCH(qint64, number);
    TelnetDecoder decoder;
    const TelnetDecoder::Decoded decoded = decoder.decode(wire);
    QVERIFY(!decoded.events.isEmpty());
    const std::optional<comport::Message> message = comport::parseMessage(decoded.events[0]);
    QCOMPARE(message.has_value(), command >= 0);
    if (!message)
        return;
    QVERIFY(message->fromServer);
    QCOMPARE(int(message->command), command);
    QCOMPARE(message->number().has_value(), number >= 0);
    if (number >= 0)
        QCOMPARE(qint64(*message->number()), number);
}

void TstTelnetCodec::commEvents_data() {
    QTest::addColumn<bool>("modem"); // a modem-state notification, else a line-state one
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("before"); // the previous modem state; -1 for none
    QTest::addColumn<QList<int>>("events");
    using namespace comport;
    QTest::newRow("nothing changed") << true << 0xb0 << 0xb0 << QList<int>{};
    QTest::newRow("first notice, lines up") << true << 0xb0 << -1 << QList<int>{};
    QTest::newRow("delta CTS") << true << (kModemCts | kModemDeltaCts) << -1 << QList<int>{3};
    QTest::newRow("delta CD, CD still up")
        << true << (kModemCd | kModemDeltaCd) << int(kModemCd) << QList<int>{5};
    QTest::newRow("every delta") << true << 0x0f << -1 << QList<int>{3, 4, 5, 6};
    QTest::newRow("CD dropped, no delta bit") << true << 0x30 << 0xb0 << QList<int>{5};
    QTest::newRow("DSR rose, no delta bit") << true << 0x20 << 0x00 << QList<int>{4};
    QTest::newRow("ring began") << true << int(kModemRi) << 0 << QList<int>{6};
    QTest::newRow("ring ended") << true << int(kModemRingEnded) << int(kModemRi) << QList<int>{6};
    QTest::newRow("delta and change, once")
        << true << int(kModemDeltaCts) << int(kModemCts) << QList<int>{3};
    QTest::newRow("line quiet") << false << int(kLineDataReady | kLineShiftRegisterEmpty) << -1
                                << QList<int>{};
    QTest::newRow("break") << false << int(kLineBreak) << -1 << QList<int>{1001};
    QTest::newRow("framing") << false << int(kLineFramingError) << -1 << QList<int>{1004};
    QTest::newRow("overrun") << false << int(kLineOverrun) << -1 << QList<int>{1006};
    QTest::newRow("parity") << false << int(kLineParityError) << -1 << QList<int>{1009};
    QTest::newRow("every fault") << false << 0xff << -1 << QList<int>{1001, 1004, 1006, 1009};
}

void TstTelnetCodec::commEvents() {
    QFETCH(bool, modem);
    QFETCH(int, bits);
    QFETCH(int, before);
    QFETCH(QList<int>, events);
    const std::vector<std::int16_t> got =
        modem ? comport::commEventsFrom(
                    comport::ModemState{std::uint8_t(bits)},
                    before < 0 ? std::nullopt
                               : std::optional(comport::ModemState{std::uint8_t(before)}))
              : comport::commEventsFrom(comport::LineState{std::uint8_t(bits)});
    QCOMPARE(QList<int>(got.begin(), got.end()), events);
}

// Steps of a client's negotiation, each "what happens => what the client sends":
// "start", "<- DO 44" (received), "want local 0" / "drop remote 0" (the program asks).
