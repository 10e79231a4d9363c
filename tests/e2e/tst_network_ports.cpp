// The whole console on a network port: the real window, the simulated radio on a
// pseudo-terminal, ser2net on loopback serving it. The held session (open, status, sync, a
// command, the times) as on a local port; a baud chosen in the window reaches the radio; ser2net
// killed mid-session loses the port as a pulled adapter does; raw tcp too. Each failure to open is
// told on the message line with its number, the port, the address and the reason, and nothing
// hangs. Discovery lists a network port only when it answers, each on its own, and a silent one
// (or a name that never resolves) costs the probe's bound, not the open's. A server flooding Telnet
// requests it never reads the answers to neither holds the window nor grows the console's memory:
// the port is lost, with the reason. A server flooding valid answers faster than any line keeps the
// window live, the polls going and memory flat.

#include "support/console.h"
#include "support/fault_predicates.h"
#include "support/ser2net.h"
#include "support/sim_radio.h"
#include "support/slot_recorder.h"
#include "support/telnet_peer.h"
#include "support/test_resolver.h"
#include "text/telnet_codec.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

namespace {

// A loopback port where a connection gets no answer at all: a listening socket whose queue of
// connections not yet taken is full, so the kernel drops every further attempt unanswered.
struct SilentPort {
    QTcpServer server;
    std::vector<std::unique_ptr<QTcpSocket>> fillers;
    SilentPort() {
        server.setListenBacklogSize(0);
        server.listen(QHostAddress::LocalHost);
        server.pauseAccepting();
        for (int i = 0; i < 4; ++i) {
            auto socket = std::make_unique<QTcpSocket>();
            socket->connectToHost(QHostAddress::LocalHost, server.serverPort());
            socket->waitForConnected(100);
            fillers.push_back(std::move(socket));
        }
    }
};

} // namespace

class TestNetworkPorts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void heldSessionThroughSer2net();
    void rawTcpCarriesTheSession();
    void openFailuresAreTold_data();
    void openFailuresAreTold();
    void closingWhileAnOpenWaits();
    void discoveryListsOnlyWhatAnswers();
    void negotiationFloodLosesThePort();
    void answerFloodKeepsTheConsoleLive_data();
    void answerFloodKeepsTheConsoleLive();
};

void TestNetworkPorts::init() {
    if (SimRadio::program().isEmpty())
        QFAIL(qPrintable(notBuilt("rt1446-sim")));
    if (!Ser2Net::installed())
        QFAIL(Ser2Net::notInstalled());
}

void TestNetworkPorts::heldSessionThroughSer2net() {
    SimRadio radio;
    Ser2Net server(radio.path(), Ser2Net::Accepter::Rfc2217);
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    Console console(QStringLiteral("1=") + server.url());
    console.startUp();
    QCOMPARE(console.listedPorts(), QStringList{QStringLiteral("1")});

    // A baud chosen while closed goes to the radio's line at the open.
    console.window().cboBaudRate->setCurrentText(QStringLiteral("4800"));
    console.openPort();
    QCOMPARE(console.window().cmdCOMStatus->text(), QStringLiteral("Stop Probe"));
    QVERIFY2(!console.message().startsWith(QStringLiteral("Err")), qPrintable(console.message()));

    console.click("cmdGetStatus");
    QVERIFY(console.runUntilReportCompleted());
    // The radio looks at its line's speed when a command comes in.
    const QList<SimRadio::Event> bauds = radio.events("BAUD");
    QVERIFY(!bauds.isEmpty());
    QCOMPARE(bauds.last().fields.value(0), QByteArray("4800"));
    QVERIFY2(console.emptySlots().isEmpty(), qPrintable(console.emptySlots()));
    // ser2net may pause inside a report for longer than the quiet time, cutting it in two
    // bursts: the slots are right either way, and the report box shows the report's end.
    QVERIFY(console.window().txtFromVO1446->toPlainText().endsWith(QStringLiteral(".<")));

    console.click("cmdSyncOnOff");
    QVERIFY(console.runUntil([&] { return radio.count("POLL") >= 2; }, 5000));
    QVERIFY(console.slot(17).startsWith(QLatin1Char('U')));

    console.window().cboCommand->setCurrentIndex(1); // F1000000!
    console.window().cmbInitial->setEditText(QStringLiteral("."));
    console.click("cmdSendCmd");
    QVERIFY(console.runUntilReportCompleted());
    QVERIFY(console.slot(18).startsWith(QStringLiteral("F1000000")));
    const double elapsed = console.window().txtElapsedTime->text().toDouble();
    QVERIFY2(elapsed > 0.0 && elapsed < 3.0, qPrintable(console.window().txtElapsedTime->text()));
    QCOMPARE(console.window().cmdSyncOnOff->text(), QStringLiteral("Stop Sync"));

    // The server goes: the port closes in the window as a lost local device's does.
    server.kill();
    QVERIFY(console.runUntil(
        [&] { return console.window().cmdCOMStatus->text() == QLatin1String("Start Probe"); }));
    QCOMPARE(console.message(),
             QStringLiteral("Err 8017. COM1 (%1) was lost: the server closed the connection")
                 .arg(server.url()));
    QCOMPARE(console.window().cmdSyncOnOff->text(), QStringLiteral("Start Sync"));
    QVERIFY(console.window().cboCommPort->isEnabled());
}

void TestNetworkPorts::rawTcpCarriesTheSession() {
    SimRadio radio;
    Ser2Net server(radio.path(), Ser2Net::Accepter::Raw);
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    Console console(QStringLiteral("1=") + server.url());
    console.startUp();
    console.openPort();
    console.click("cmdGetStatus");
    QVERIFY(console.runUntilReportCompleted());
    QVERIFY2(console.emptySlots().isEmpty(), qPrintable(console.emptySlots()));
}

void TestNetworkPorts::openFailuresAreTold_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("expected");
    QTest::newRow("unresolvable name")
        << "unresolvable"
        << "Err 8021. Could not open COM1 (%1): the name nonexistent.invalid "
           "does not resolve";
    QTest::newRow("refused") << "refused"
                             << "Err 8022. Could not open COM1 (%1): 127.0.0.1 port %2 refused "
                                "the connection";
    QTest::newRow("name server silent")
        << "slow lookup"
        << "Err 8023. Could not open COM1 (%1): no answer from the name server for " + kSlowName +
               " within 3 s";
    QTest::newRow("no answer") << "silent"
                               << "Err 8023. Could not open COM1 (%1): no answer from 127.0.0.1 "
                                  "port %2 within 3 s";
    QTest::newRow("no Telnet answer") << "mute peer"
                                      << "Err 8023. Could not open COM1 (%1): 127.0.0.1 port %2 "
                                         "took the connection but gave no Telnet answer";
    // A raw connection says nothing by itself: what the server says within moments of it is its
    // reason to close, however slow it is to close.
    QTest::newRow("raw server explains and closes")
        << "raw words"
        << "Err 8019. Could not open COM1 (%1): the server closed the connection: Device open "
           "failure: no such device";
    // ser2net's words survive the reset its close sends when our negotiation is still unread.
    QTest::newRow("server closes") << "missing device"
                                   << "Err 8019. Could not open COM1 (%1): the server closed the "
                                      "connection: Device open failure";
}

void TestNetworkPorts::openFailuresAreTold() {
    QFETCH(QString, setup);
    QFETCH(QString, expected);
    std::unique_ptr<TelnetPeer> peer;
    std::unique_ptr<SilentPort> silent;
    std::unique_ptr<Ser2Net> server;
    QString url;
    quint16 port = 0;
    if (setup == QLatin1String("unresolvable")) {
        url = QStringLiteral("rfc2217://nonexistent.invalid:7001");
    } else if (setup == QLatin1String("slow lookup")) {
        url = QStringLiteral("rfc2217://%1:7001").arg(kSlowName);
    } else if (setup == QLatin1String("silent")) {
        silent = std::make_unique<SilentPort>();
        port = silent->server.serverPort();
        url = QStringLiteral("rfc2217://127.0.0.1:%1").arg(port);
    } else if (setup == QLatin1String("missing device")) {
        server = std::make_unique<Ser2Net>(QStringLiteral("/dev/korvane-no-such-device"),
                                           Ser2Net::Accepter::Rfc2217);
        url = server->url();
    } else if (setup == QLatin1String("raw words")) {
        TelnetPeer::Options options;
        options.telnet = false;
        options.greeting = "Device open failure: no such device\r\n";
        options.closeAfterMsecs = 200;
        peer = std::make_unique<TelnetPeer>(options);
        url = peer->url();
    } else {
        TelnetPeer::Options options;
        options.negotiate = false;
        peer = std::make_unique<TelnetPeer>(options);
        port = peer->port();
        url = peer->url();
        if (setup == QLatin1String("refused"))
            peer->refuse();
    }
    Console console(QStringLiteral("1=") + url);
    console.startUp();
    // The port list's probe came and went (the peer may take it in only after the probe's own
    // connect returned); a peer holds one connection at a time.
    if (peer && setup != QLatin1String("refused"))
        QVERIFY(TelnetPeer::waitUntil(
            [&] { return peer->connections() >= 1 && !peer->isConnected(); }));
    console.window().cboCommPort->setEditText(QStringLiteral("1"));
    // However long the open waits, the window's events go on meanwhile: a tick every 10 ms.
    QElapsedTimer timer;
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, timer.elapsed() - lastTick);
        lastTick = timer.elapsed();
    });
    ticks.start(10);
    timer.start();
    console.click("cmdCOMStatus");
    const qint64 opened = timer.elapsed();
    longestGap = std::max(longestGap, opened - lastTick);
    ticks.stop();
    releaseSlowLookups();
    // The open's bound of 3 s, not the kernel's minutes; a loaded machine may add to it.
    QVERIFY2(opened < 6000, qPrintable(QString::number(opened)));
    QVERIFY2(longestGap < kFrozenMsecs, qPrintable(QString::number(longestGap)));
    const QString message = console.message();
    QVERIFY2(message.startsWith(expected.arg(url, QString::number(port))), qPrintable(message));
    // The port is closed: the next click is a close, and the one after it tries again.
    console.click("cmdCOMStatus");
    QCOMPARE(console.window().cmdCOMStatus->text(), QStringLiteral("Start Probe"));
}

// The operator closes the window while the open waits for a name server that does not answer:
// the shutdown runs then, not once the open gives up.
void TestNetworkPorts::closingWhileAnOpenWaits() {
    Console console(QStringLiteral("1=rfc2217://%1:7001").arg(kSlowName));
    console.startUp();
    releaseSlowLookups(); // the port list's own look-up
    console.window().cboCommPort->setEditText(QStringLiteral("1"));
    QElapsedTimer timer;
    qint64 endedAt = -1;
    QTimer::singleShot(200, [&] {
        console.window().close();
        if (console.ended())
            endedAt = timer.elapsed();
    });
    timer.start();
    console.click("cmdCOMStatus");
    const qint64 opened = timer.elapsed();
    releaseSlowLookups();
    QVERIFY2(
        endedAt >= 0 && endedAt < opened,
        qPrintable(
            QStringLiteral("ended at %1 ms, the open ended at %2 ms").arg(endedAt).arg(opened)));
}

void TestNetworkPorts::discoveryListsOnlyWhatAnswers() {
    SimRadio radio;
    Ser2Net server(radio.path(), Ser2Net::Accepter::Rfc2217);
    QVERIFY2(server.isListening(), qPrintable(server.errorString()));
    TelnetPeer closed;
    closed.refuse();
    SilentPort silent1;
    SilentPort silent2;
    // First a name whose look-up never ends: every other entry is still judged on its own.
    const QString ports =
        QStringLiteral("1=rfc2217://%6:1 2=%1 3=%2 4=rfc2217://127.0.0.1:%3 5=tcp://127.0.0.1:%4 "
                       "6=%5 7=rfc2217://nonexistent.invalid:1")
            .arg(server.url(), closed.url())
            .arg(silent1.server.serverPort())
            .arg(silent2.server.serverPort())
            .arg(QStringLiteral("%1"), kSlowName);
    Console console(ports);
    QElapsedTimer timer;
    timer.start();
    console.startUp();
    // Two silent hosts cost one bound together, far below an open's.
    QVERIFY2(timer.elapsed() < 1500, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(console.listedPorts(), (QStringList{QStringLiteral("2"), QStringLiteral("6")}));
    releaseSlowLookups();
    // The probe's connection is gone by the time the operator opens the port.
    console.window().cboCommPort->setCurrentText(QStringLiteral("2"));
    console.openPort();
    QVERIFY2(!console.message().startsWith(QStringLiteral("Err")), qPrintable(console.message()));
    console.click("cmdGetStatus");
    QVERIFY(console.runUntilReportCompleted());
}

// A server that floods the console with Telnet requests and never reads the answers: the window
// keeps turning, the console's memory does not follow the flood, and the port is lost with the
// reason once the answers back up.
void TestNetworkPorts::negotiationFloodLosesThePort() {
    TelnetPeer peer;
    Console console(QStringLiteral("1=") + peer.url());
    console.startUp();
    QVERIFY(TelnetPeer::waitUntil([&] { return peer.connections() >= 1 && !peer.isConnected(); }));
    console.openPort();
    QCOMPARE(console.window().cmdCOMStatus->text(), kStopProbe);
    using namespace telnet;
    // Offers the console refuses, over and over, and options turned on and off, which it must
    // answer each time.
    QByteArray pattern;
    for (int i = 0; i < 4; ++i)
        pattern += encodeOption(kWill, kEcho) + encodeOption(kDo, 24);
    pattern += encodeOption(kWont, kBinary) + encodeOption(kWill, kBinary) +
               encodeOption(kDont, kSuppressGoAhead) + encodeOption(kDo, kSuppressGoAhead);
    const qint64 before = residentKiB();
    peer.flood(pattern);
    qint64 longest = 0;
    qint64 peak = before;
    const bool lost = runWatched(
        console,
        [&] {
            peak = std::max(peak, residentKiB());
            return console.window().cmdCOMStatus->text() == kStartProbe;
        },
        30000, longest);
    const qint64 grown = peak - before;
    QVERIFY(lost);
    QCOMPARE(
        console.message(),
        QStringLiteral("Err 8017. COM1 (%1) was lost: the server stopped reading").arg(peer.url()));
    QVERIFY2(longest < 1000, qPrintable(QString::number(longest)));
    QVERIFY2(!kResidentSizeTellsMemory || grown < 16 * 1024, qPrintable(QString::number(grown)));
}

void TestNetworkPorts::answerFloodKeepsTheConsoleLive_data() {
    QTest::addColumn<bool>("telnet");
    QTest::newRow("rfc2217") << true;
    QTest::newRow("raw tcp") << false;
}

void TestNetworkPorts::answerFloodKeepsTheConsoleLive() {
    // A socket is not held back by a tty's buffer: a peer sends valid answers as fast as the
    // console takes them. Each burst, read and pass stays bounded, so the window answers, polls
    // go out under "Stop Sync", memory stays flat and the message line is not flooded.
    QFETCH(bool, telnet);
    TelnetPeer::Options options;
    options.telnet = telnet;
    TelnetPeer peer(options);
    Console console(QStringLiteral("1=") + peer.url());
    console.startUp();
    QVERIFY(TelnetPeer::waitUntil([&] { return peer.connections() >= 1 && !peer.isConnected(); }));
    SlotRecorder recorder(console.window(), false);
    console.openPort();
    console.click("cmdSyncOnOff");
    QByteArray answer;
    for (int i = 0; i < 100; ++i)
        answer += "J0" + QByteArray::number(10 + i % 90) + '\n';
    answer += "U0001\n.\n";
    const qint64 before = residentKiB();
    const qsizetype polledBefore = peer.receivedData().count('U');
    peer.flood(telnet ? telnet::encodeData(answer, false) : answer, true);
    qint64 longest = 0;
    qint64 peak = before;
    QElapsedTimer flooding;
    flooding.start();
    runWatched(
        console,
        [&] {
            peak = std::max(peak, residentKiB());
            return flooding.elapsed() > 3000;
        },
        5000, longest);
    const qsizetype polls = peer.receivedData().count('U') - polledBefore;
    qInfo("flood of %lld lines: longest gap %lld ms, memory +%lld KiB, %lld polls, %lld messages",
          static_cast<long long>(recorder.count()), static_cast<long long>(longest),
          static_cast<long long>(peak - before), static_cast<long long>(polls),
          static_cast<long long>(recorder.messages().size()));
    QVERIFY2(recorder.count() > 10000, qPrintable(QString::number(recorder.count())));
    QVERIFY2(longest < kFrozenMsecs, qPrintable(QString::number(longest)));
    QVERIFY2(!kResidentSizeTellsMemory || peak - before < 16 * 1024,
             qPrintable(QString::number(peak - before)));
    QVERIFY2(polls >= 2, qPrintable(QString::number(polls)));
    QVERIFY2(recorder.messages().size() < 50,
             qPrintable(recorder.messages().join(QLatin1Char('|'))));
    QCOMPARE(console.window().cmdCOMStatus->text(), kStopProbe);
}

QTEST_MAIN(TestNetworkPorts)
#include "tst_network_ports.moc"
