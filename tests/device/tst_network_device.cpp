// The network device on its own, against what ser2net will not do on demand (a scripted Telnet
// peer) and against ser2net itself for the ways an open fails: every failure names the port, the
// address and the reason within the open's bound; the server's words are never taken for the
// radio's; a server that leaves settings unanswered does not hold the open up; the radio's bytes
// come through whole however the wire cuts them; the server's notifications raise the comm events
// a local line raises; a half-open connection bounds the drain; a closed one loses the port with
// the bytes that had come; a silent server, one that stops reading and a raw server's parting
// words are each told for what they are.

#include "base/comm_event.h"
#include "base/run_time_error.h"
#include "device/network_serial_device.h"
#include "device/port_lock.h"
#include "device/wait_clock.h"
#include "support/ser2net.h"
#include "support/sim_radio.h"
#include "support/telnet_peer.h"
#include "support/test_resolver.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace korvane;
using namespace korvane::test;

namespace {

std::unique_ptr<NetworkSerialDevice> deviceFor(const QString &url) {
    QString why;
    const std::optional<NetworkAddress> address = parseNetworkAddress(url, &why);
    Q_ASSERT(address);
    return std::make_unique<NetworkSerialDevice>(3, url, *address);
}

// The open's failure, or 0 and empty when it opened.
std::pair<int, QString> openFailure(NetworkSerialDevice &device, qint64 *msecs = nullptr) {
    QElapsedTimer timer;
    timer.start();
    std::pair<int, QString> failure{0, QString()};
    try {
        device.open(LineSettings{}, 0);
    } catch (const RunTimeError &e) {
        failure = {e.number(), e.description()};
    }
    if (msecs)
        *msecs = timer.elapsed();
    return failure;
}

QByteArray readFor(NetworkSerialDevice &device, qsizetype bytes, int msecs = 3000) {
    QByteArray got;
    const std::int64_t deadline = deadlineAfter(msecs / 1000.0);
    while (got.size() < bytes && device.waitForInput(deadline))
        got += device.read(0);
    return got;
}

} // namespace

class TstNetworkDevice : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void openFailsTruthfully_data();
    void openFailsTruthfully();
    void unansweredSettingsDoNotHoldTheOpen();
    void bytesComeWholeHoweverCut();
    void notificationsRaiseCommEvents();
    void halfOpenBoundsTheDrain();
    void serverCloseLosesThePort();
    void lossIsTold_data();
    void lossIsTold();
};

void TstNetworkDevice::openFailsTruthfully_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("reason");
    QTest::newRow("name does not resolve") << "unresolvable" << 8021 << "does not resolve";
    QTest::newRow("name server silent")
        << "slow lookup" << 8023 << "no answer from the name server";
    QTest::newRow("refused") << "refused" << 8022 << "refused the connection";
    QTest::newRow("taken, never negotiated") << "silent" << 8023 << "no Telnet answer within 3 s";
    QTest::newRow("listening, never accepted") << "backlog" << 8023 << "within 3 s";
    // ser2net says why and closes; when our Telnet negotiation is still unread on its side, its
    // kernel resets the connection, and its words must survive the reset.
    QTest::newRow("device missing")
        << "missing" << 8019 << "the server closed the connection: Device open failure";
    QTest::newRow("served to another") << "taken" << 8010 << "Port already in use";
}

void TstNetworkDevice::openFailsTruthfully() {
    QFETCH(QString, setup);
    QFETCH(int, number);
    QFETCH(QString, reason);
    QString url;
    std::unique_ptr<TelnetPeer> peer;
    std::unique_ptr<Ser2Net> server;
    std::unique_ptr<SimRadio> radio;
    QTcpSocket holder;
    QTcpServer neverAccepting;
    if (setup == QLatin1String("unresolvable")) {
        url = QStringLiteral("rfc2217://nonexistent.invalid:7001");
    } else if (setup == QLatin1String("slow lookup")) {
        url = QStringLiteral("rfc2217://%1:7001").arg(kSlowName);
    } else if (setup == QLatin1String("refused") || setup == QLatin1String("silent")) {
        TelnetPeer::Options options;
        options.negotiate = false;
        peer = std::make_unique<TelnetPeer>(options);
        url = peer->url();
        if (setup == QLatin1String("refused"))
            peer->refuse();
    } else if (setup == QLatin1String("backlog")) {
        // Listening, but the program never takes the connection: the kernel completes it.
        QVERIFY(neverAccepting.listen(QHostAddress::LocalHost));
        neverAccepting.pauseAccepting();
        url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(neverAccepting.serverPort());
    } else {
        if (!Ser2Net::installed())
            QFAIL(Ser2Net::notInstalled());
        if (setup == QLatin1String("missing")) {
            server = std::make_unique<Ser2Net>(QStringLiteral("/dev/korvane-no-such-device"),
                                               Ser2Net::Accepter::Rfc2217);
        } else {
            if (SimRadio::program().isEmpty())
                QFAIL(qPrintable(notBuilt("rt1446-sim")));
            radio = std::make_unique<SimRadio>();
            server = std::make_unique<Ser2Net>(radio->path(), Ser2Net::Accepter::Rfc2217);
            holder.connectToHost(QHostAddress::LocalHost, server->port());
            QVERIFY(holder.waitForConnected(3000));
            QVERIFY(holder.waitForReadyRead(3000)); // ser2net serves it
            // ser2net greets before its device is open: the second connection comes once it is.
            const QByteArray device = realDevicePath(QFile::encodeName(radio->path()));
            QVERIFY(QTest::qWaitFor(
                [&] { return processesHolding(device).contains(pid_t(server->processId())); },
                3000));
        }
        QVERIFY2(server->isListening(), qPrintable(server->errorString()));
        url = server->url();
    }
    auto device = deviceFor(url);
    qint64 msecs = 0;
    const auto [got, description] = openFailure(*device, &msecs);
    QVERIFY2(got == number, qPrintable(QString::number(got) + QStringLiteral(": ") + description));
    QVERIFY2(description.contains(QStringLiteral("COM3 (%1)").arg(url)), qPrintable(description));
    QVERIFY2(description.contains(reason), qPrintable(description));
    // The bound, not the kernel's minutes; a loaded machine may add to it.
    QVERIFY2(msecs < NetworkSerialDevice::kOpenBoundMsecs + 3000,
             qPrintable(QString::number(msecs)));
    QVERIFY(!device->isOpen());
    releaseSlowLookups();
}

void TstNetworkDevice::unansweredSettingsDoNotHoldTheOpen() {
    TelnetPeer::Options options;
    options.acknowledge = false;
    TelnetPeer peer(options);
    auto device = deviceFor(peer.url());
    LineSettings settings;
    settings.baud = 4800;
    settings.parity = LineSettings::Parity::Odd;
    settings.dataBits = 7;
    settings.stopBits = LineSettings::StopBits::OneAndHalf;
    QElapsedTimer timer;
    timer.start();
    device->open(settings, 0);
    QVERIFY(timer.elapsed() < 1500);
    QVERIFY(device->isOpen());
    // Every setting went out, in the order a server takes them.
    QVERIFY(TelnetPeer::waitUntil([&] { return peer.comPortRequests().size() >= 4; }));
    const QList<comport::Message> asked = peer.comPortRequests();
    QCOMPARE(asked[0].command, comport::Command::SetBaudRate);
    QCOMPARE(asked[0].number(), std::optional<std::uint32_t>(4800));
    QCOMPARE(asked[1].number(), std::optional<std::uint32_t>(7));
    QCOMPARE(asked[2].number(), std::optional<std::uint32_t>(std::uint8_t(comport::Parity::Odd)));
    QCOMPARE(asked[3].number(),
             std::optional<std::uint32_t>(std::uint8_t(comport::StopSize::OneAndHalf)));
    // A change while open goes out at once.
    settings.baud = 1200;
    device->setLine(settings, 0);
    QVERIFY(TelnetPeer::waitUntil([&] {
        const QList<comport::Message> all = peer.comPortRequests();
        return std::any_of(all.begin(), all.end(), [](const comport::Message &m) {
            return m.command == comport::Command::SetBaudRate && m.number() == 1200u;
        });
    }));
    device->write(QByteArray("U"));
    QVERIFY(peer.waitForData(1));
    QCOMPARE(peer.receivedData(), QByteArray("U"));
}

void TstNetworkDevice::bytesComeWholeHoweverCut() {
    TelnetPeer peer;
    auto device = deviceFor(peer.url());
    device->open(LineSettings{}, 0);
    // Commands and doubled 0xFF cut between their bytes, with pauses between the pieces.
    const QByteArray data("J057\n\xff\xffU\r\n\xff.\n", 13);
    QByteArray wire = telnet::encodeOption(telnet::kWill, telnet::kSuppressGoAhead);
    wire += telnet::encodeData(data.left(6), true) + telnet::encodeCommand(telnet::kNop) +
            telnet::encodeData(data.mid(6), true);
    QList<qsizetype> cuts;
    for (qsizetype i = 1; i < wire.size(); i += 2)
        cuts << i;
    peer.send(wire, cuts, 2);
    QCOMPARE(readFor(*device, data.size()), data);
    QCOMPARE(device->bytesWaiting(), 0);
    // Output: a 0xFF is doubled on the wire and arrives as one.
    device->write(QByteArray("A\xff"
                             "B",
                             3));
    QVERIFY(peer.waitForData(3));
    QCOMPARE(peer.receivedData(), QByteArray("A\xff"
                                             "B",
                                             3));
}

void TstNetworkDevice::notificationsRaiseCommEvents() {
    TelnetPeer peer;
    auto device = deviceFor(peer.url());
    device->open(LineSettings{}, 0);
    QList<std::int16_t> codes;
    connect(device.get(), &SerialDevice::lineEvent, this,
            [&](std::int16_t code) { codes << code; });
    using comport::Command;
    peer.send(comport::serverMessage(Command::NotifyModemState, QByteArray(1, char(0x00))));
    peer.send(
        comport::serverMessage(Command::NotifyModemState,
                               QByteArray(1, char(comport::kModemCts | comport::kModemDeltaCts))));
    peer.send(
        comport::serverMessage(Command::NotifyModemState,
                               QByteArray(1, char(comport::kModemCts | comport::kModemRingEnded))));
    peer.send(comport::serverMessage(
        Command::NotifyLineState,
        QByteArray(1, char(comport::kLineBreak | comport::kLineParityError))));
    peer.sendData("x");
    QCOMPARE(readFor(*device, 1), QByteArray("x"));
    QCOMPARE(codes, (QList<std::int16_t>{comEvCTS, comEvRing, comEventBreak, comEventRxParity}));
}

void TstNetworkDevice::halfOpenBoundsTheDrain() {
    TelnetPeer peer;
    auto device = deviceFor(peer.url());
    device->open(LineSettings{}, 0);
    peer.goHalfOpen();
    const QByteArray chunk(64 * 1024, 'U');
    for (int i = 0; i < 64 && device->isOpen(); ++i)
        device->write(chunk);
    QVERIFY(device->bytesToSend() > 0);
    QElapsedTimer timer;
    timer.start();
    device->waitForOutput(deadlineAfter(0.3));
    QVERIFY(timer.elapsed() < 1000);
    QVERIFY(device->bytesToSend() > 0);
    device->close(); // drops what did not drain, at once
    QVERIFY(timer.elapsed() < 1500);
    QCOMPARE(device->bytesToSend(), 0);
    QVERIFY(!device->isOpen());
}

void TstNetworkDevice::serverCloseLosesThePort() {
    TelnetPeer peer;
    const QString lostText =
        QStringLiteral("COM3 (%1) was lost: the server closed the connection").arg(peer.url());
    {
        // Seen by the event pump: what had come is handed on with the loss.
        auto device = deviceFor(peer.url());
        device->open(LineSettings{}, 0);
        QSignalSpy lost(device.get(), &SerialDevice::lost);
        peer.sendData("J057\n.");
        peer.close();
        QTRY_VERIFY(!device->isOpen());
        QCOMPARE(lost.size(), 1);
        QCOMPARE(lost[0][0].toString(), lostText);
        QCOMPARE(lost[0][1].toByteArray(), QByteArray("J057\n."));
    }
    {
        // Seen by the receive wait, which dispatches nothing.
        QVERIFY(TelnetPeer::waitUntil([&] { return !peer.isConnected(); }));
        auto device = deviceFor(peer.url());
        device->open(LineSettings{}, 0);
        QSignalSpy lost(device.get(), &SerialDevice::lost);
        peer.close();
        QVERIFY(!device->waitForInput(deadlineAfter(3)));
        QVERIFY(!device->isOpen());
        QCOMPARE(lost.size(), 1);
        QCOMPARE(lost[0][0].toString(), lostText);
    }
}

void TstNetworkDevice::lossIsTold_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("reason");
    QTest::newRow("server silent") << "silent"
                                   << "no answer from the server within 6 s";
    QTest::newRow("server stops reading") << "not reading"
                                          << "the server stopped reading";
    // A raw server's words, once the open is done, are not the radio's: they are kept for the
    // close that follows them.
    QTest::newRow("raw server explains, closes late")
        << "raw words"
        << "the server closed the connection: Device open failure: no such device";
}

// A connection that ends while the console polls is told for what it was, and the polls
// meanwhile never fail on their own ("Write failed"): it was the connection that went.
void TstNetworkDevice::lossIsTold() {
    QFETCH(QString, setup);
    QFETCH(QString, reason);
    TelnetPeer::Options options;
    if (setup == QLatin1String("raw words")) {
        options.telnet = false;
        options.greeting = "Device open failure: no such device\r\n";
        options.closeAfterMsecs = 1000;
    }
    TelnetPeer peer(options);
    auto device = deviceFor(peer.url());
    device->open(LineSettings{}, 0);
    QSignalSpy lost(device.get(), &SerialDevice::lost);
    if (setup == QLatin1String("silent")) {
        peer.goSilent();
    } else if (setup == QLatin1String("not reading")) {
        peer.goHalfOpen();
        const QByteArray chunk(64 * 1024, 'U');
        for (int i = 0; i < 64 && device->isOpen(); ++i)
            device->write(chunk);
    }
    QElapsedTimer timer;
    timer.start();
    QStringList failures;
    while (device->isOpen() && timer.elapsed() < 15000) {
        try {
            device->write(QByteArray("U"));
        } catch (const RunTimeError &e) {
            failures << e.message();
        }
        device->waitForInput(deadlineAfter(0.1)); // the receive wait: dispatches nothing
    }
    QVERIFY(!device->isOpen());
    QCOMPARE(failures, QStringList());
    QCOMPARE(lost.size(), 1);
    QCOMPARE(lost[0][0].toString(),
             QStringLiteral("COM3 (%1) was lost: %2").arg(peer.url(), reason));
    QCOMPARE(lost[0][1].toByteArray(), QByteArray()); // nothing of it as the radio's
}

QTEST_GUILESS_MAIN(TstNetworkDevice)
#include "tst_network_device.moc"
