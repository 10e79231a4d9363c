// The Telnet codec against a real serial device server: ser2net on loopback serving the
// simulated radio's pseudo-terminal. Negotiation settles with nothing answered twice, the line
// settings are acknowledged as sent and the baud reaches the radio, and the radio's bytes pass
// both ways, a doubled 0xFF arriving as one.

#include "support/ser2net.h"
#include "support/sim_radio.h"
#include "text/telnet_codec.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>

using namespace korvane;
using namespace korvane::test;
using Side = TelnetNegotiation::Side;

class TstTelnetSer2net : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void settingsReachTheRadio_data();
    void settingsReachTheRadio();
    void bytesPassBothWays_data();
    void bytesPassBothWays();
};

namespace {

// The console's side of the session, as plainly as a test can hold it.
struct Client {
    QTcpSocket socket;
    bool telnet = true;
    TelnetDecoder decoder;
    TelnetNegotiation negotiation;
    QByteArray data;
    QByteArray answers; // what negotiation answered, after our own requests
    QList<comport::Message> replies;

    bool connectTo(quint16 port, bool withTelnet) {
        telnet = withTelnet;
        socket.connectToHost(QHostAddress::LocalHost, port);
        if (!socket.waitForConnected(3000))
            return false;
        if (telnet)
            socket.write(negotiation.start());
        return true;
    }
    void send(const QByteArray &wire) {
        socket.write(wire);
        socket.waitForBytesWritten(1000);
    }
    // Reads for `msecs`, or until `done` holds.
    void read(
        int msecs, const std::function<bool()> &done = [] { return false; }) {
        QElapsedTimer timer;
        timer.start();
        while (!done() && timer.elapsed() < msecs) {
            if (!socket.waitForReadyRead(int(std::max<qint64>(1, msecs - timer.elapsed()))))
                continue;
            const QByteArray bytes = socket.readAll();
            if (!telnet) {
                data += bytes;
                continue;
            }
            decoder.decode(bytes, data, [this](const TelnetEvent &event) {
                if (event.kind == TelnetEvent::Kind::Option) {
                    const QByteArray answer = negotiation.receive(event.code, event.option);
                    answers += answer;
                    socket.write(answer);
                    decoder.setPeerBinary(negotiation.enabled(Side::Remote, telnet::kBinary));
                } else if (const auto message = comport::parseMessage(event)) {
                    replies.append(*message);
                }
            });
        }
    }
};

} // namespace

void TstTelnetSer2net::init() {
    if (!Ser2Net::installed())
        QFAIL(Ser2Net::notInstalled());
    if (SimRadio::program().isEmpty())
        QFAIL(qPrintable(notBuilt("rt1446-sim")));
}

void TstTelnetSer2net::settingsReachTheRadio_data() {
    QTest::addColumn<QString>("settings");
    QTest::newRow("9600,O,7,1") << "9600,O,7,1";
    QTest::newRow("115200,N,8,1") << "115200,N,8,1";
    QTest::newRow("300,E,7,2") << "300,E,7,2";
}

void TstTelnetSer2net::settingsReachTheRadio() {
    QFETCH(QString, settings);
    const LineSettings line = *parseSettingsText(settings);
    SimRadio radio;
    QVERIFY(radio.isRunning());
    Ser2Net server(radio.path(), Ser2Net::Accepter::Rfc2217);
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));

    Client client;
    QVERIFY(client.connectTo(server.port(), true));
    client.read(2000, [&] { return client.negotiation.enabled(Side::Local, telnet::kComPort); });
    client.read(100); // whatever else the greeting brings
    // Every option the program wants is on, ECHO is refused, and nothing else was answered:
    // ser2net's requests crossed ours, and each side took the other's as the answer.
    QVERIFY(client.negotiation.enabled(Side::Local, telnet::kBinary));
    QVERIFY(client.negotiation.enabled(Side::Remote, telnet::kBinary));
    QVERIFY(client.negotiation.enabled(Side::Remote, telnet::kSuppressGoAhead));
    QVERIFY(!client.negotiation.enabled(Side::Remote, telnet::kEcho));
    QCOMPARE(client.answers.toHex(' '),
             telnet::encodeOption(telnet::kDont, telnet::kEcho).toHex(' '));

    client.send(comport::lineSettingsMessages(line));
    auto acknowledged = [&](comport::Command command) -> std::optional<std::uint32_t> {
        for (const comport::Message &reply : client.replies) {
            if (reply.fromServer && reply.command == command)
                return reply.number();
        }
        return std::nullopt;
    };
    client.read(2000, [&] { return acknowledged(comport::Command::SetStopSize).has_value(); });
    QCOMPARE(acknowledged(comport::Command::SetBaudRate), std::uint32_t(line.baud));
    QCOMPARE(acknowledged(comport::Command::SetDataSize), std::uint32_t(line.dataBits));
    QCOMPARE(acknowledged(comport::Command::SetParity),
             std::uint32_t(comport::parityFor(line.parity)));
    QCOMPARE(acknowledged(comport::Command::SetStopSize),
             std::uint32_t(comport::stopSizeFor(line.stopBits)));

    // A poll: the answer comes back whole, and the radio took it at the baud asked for.
    client.send(telnet::encodeData("U", true));
    client.read(5000, [&] { return client.data.endsWith(".\n"); });
    QVERIFY2(client.data.startsWith('J') && client.data.endsWith("\n.\n"), client.data.constData());
    const QList<SimRadio::Event> bauds = radio.events("BAUD");
    QVERIFY(!bauds.isEmpty());
    QCOMPARE(bauds.last().fields.value(0).toInt(), line.baud);
}

void TstTelnetSer2net::bytesPassBothWays_data() {
    QTest::addColumn<bool>("telnet");
    QTest::newRow("telnet") << true;
    QTest::newRow("raw") << false;
}

// A command with a 0xFF in it reaches the radio with one 0xFF, doubled on a Telnet port and as
// it is on a raw one; the radio's answer comes back whole.
void TstTelnetSer2net::bytesPassBothWays() {
    QFETCH(bool, telnet);
    SimRadio radio;
    QVERIFY(radio.isRunning());
    Ser2Net server(radio.path(), telnet ? Ser2Net::Accepter::Rfc2217 : Ser2Net::Accepter::Raw);
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    QVERIFY(server.url().endsWith(QLatin1Char(':') + QString::number(server.port())));

    Client client;
    QVERIFY(client.connectTo(server.port(), telnet));
    const QByteArray command("F\xff\n");
    client.send(telnet ? telnet::encodeData(command, true) : command);
    client.read(3000, [&] { return client.data.endsWith(".\n"); });
    QVERIFY2(client.data.startsWith('E') && client.data.endsWith("\n.\n"), client.data.constData());
    QStringList received;
    for (const SimRadio::Event &event : radio.events("RX")) {
        for (const QByteArray &byte : event.fields)
            received << QString::fromLatin1(byte);
    }
    QCOMPARE(received.join(QLatin1Char(' ')), QStringLiteral("46 ff 0a"));
}

QTEST_GUILESS_MAIN(TstTelnetSer2net)
#include "tst_telnet_ser2net.moc"
