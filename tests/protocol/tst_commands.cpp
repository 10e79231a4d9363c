// What reaches the radio for each preset and request, byte for byte, and the sync switch telling
// the truth about polling, whatever the operator does and however the radio answers.

#include "handlers/protocol/protocol_timing.h"
#include "support/console.h"
#include "support/fake_clock.h"
#include "support/fault_predicates.h"
#include "support/sim_radio.h"
#include "window/shape.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

using namespace korvane;
using namespace korvane::test;

class TestCommands : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void presetBytes_data();
    void presetBytes();
    void commandTimeIsStamped();
    void emptyCommandSendsNothing();
    void eightBitCommandSendsNothing();
    void commandOnClosedPortOpensItFirst();
    void statusRequest();
    void statusRequestWithPortClosed();
    void syncButtonTellsTheTruth_data();
    void syncButtonTellsTheTruth();
    void stopSyncTurnsIndicatorWhite();
    void pollingFollowsTheButton();
};

void TestCommands::presetBytes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("?!") << "?!" << QByteArray("?\n");
    QTest::newRow("F1000000!") << "F1000000!" << QByteArray("F1000000\n");
    QTest::newRow("D!") << "D!" << QByteArray("D\n");
    QTest::newRow("H!") << "H!" << QByteArray("H\n");
    QTest::newRow("I!") << "I!" << QByteArray("I\n");
    QTest::newRow("S!") << "S!" << QByteArray("S\n");
    QTest::newRow("V!") << "V!" << QByteArray("V\n");
    QTest::newRow("A! F1234567!") << "A! F1234567!" << QByteArray("A\n F1234567\n");
    QTest::newRow("typed D") << "D" << QByteArray("D\n");
    QTest::newRow("! alone") << "!" << QByteArray("\n");
}

void TestCommands::presetBytes() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    Console console;
    console.startUp();
    console.openPort();
    console.window().cboCommand->setEditText(text);
    console.click("cmdSendCmd");
    QCOMPARE(console.radio().read(200, int(bytes.size()) + 1), bytes);
    QCOMPARE(console.message(), QStringLiteral("Sending ") + QString::fromLatin1(bytes) +
                                    QStringLiteral(" command..."));
    QCOMPARE(console.window().cboCommand->currentText(), text); // the box keeps what was typed
    QCOMPARE(console.window().cboCommand->count(), 8);          // and its list is unchanged
}

void TestCommands::commandTimeIsStamped() {
    ManualClock clock(45296.515625);
    ClockInstaller install(&clock);
    Console console;
    console.startUp();
    console.openPort();
    console.click("cmdSendCmd");
    QCOMPARE(console.window().txtCommandTime->text(), QStringLiteral(" 45296.52"));
}

void TestCommands::emptyCommandSendsNothing() {
    Console console;
    console.startUp();
    console.openPort();
    console.click("cmdSyncOnOff");
    console.window().cboCommand->setEditText(QString());
    console.click("cmdSendCmd");
    QVERIFY2(console.message().startsWith(QStringLiteral("Err 5. ")),
             qPrintable(console.message()));
    QCOMPARE(console.radio().read(50), QByteArray());
    QVERIFY(console.state().SyncEnabled); // nothing went out: nothing to wait for
    QCOMPARE(console.window().txtCommandTime->text(), QString());
}

void TestCommands::eightBitCommandSendsNothing() {
    Console console;
    console.startUp();
    console.openPort();
    console.window().cboCommand->setEditText(QStringLiteral("F14\u00e9!"));
    console.click("cmdSendCmd");
    QVERIFY2(console.message().startsWith(QStringLiteral("Err 8018. ")),
             qPrintable(console.message()));
    QCOMPARE(console.radio().read(50), QByteArray());
}

void TestCommands::commandOnClosedPortOpensItFirst() {
    Console console;
    console.startUp();
    console.window().cboCommand->setEditText(QStringLiteral("V!"));
    console.click("cmdSendCmd");
    QCOMPARE(console.window().cmdCOMStatus->text(), QStringLiteral("Stop Probe"));
    QCOMPARE(console.radio().read(200, 2), QByteArray("V\n"));
}

void TestCommands::statusRequest() {
    Console console;
    console.startUp();
    console.openPort();
    console.click("cmdGetStatus");
    QCOMPARE(console.radio().read(200, 3), QByteArray("?\n"));
    QVERIFY(!console.window().cmdGetStatus->isEnabled());
    QCOMPARE(console.state().QuietTime, kReplyQuietTime);
    QCOMPARE(console.window().txtCommandTime->text(), QString());
    // The next received batch gives the button back.
    console.radio().write("A1\n.\n");
    QVERIFY(console.runUntil([&] { return console.window().cmdGetStatus->isEnabled(); }));
    QCOMPARE(console.slot(10), QStringLiteral("A1"));
}

void TestCommands::statusRequestWithPortClosed() {
    Console console;
    console.startUp();
    console.click("cmdSyncOnOff");
    const QString before = console.message();
    console.click("cmdGetStatus");
    QCOMPARE(console.message(), before);
    QVERIFY(!console.window().cmdGetStatus->isEnabled());
    QVERIFY(console.state().SyncEnabled); // nothing went out: polling follows the button
}

// The sequences that left the button and polling disagreeing. After each, with no request
// outstanding, polling must be on exactly when the button reads "Stop Sync".
void TestCommands::syncButtonTellsTheTruth_data() {
    QTest::addColumn<QStringList>("steps");
    QTest::newRow("start sync, then a report completes") << QStringList{"sync", "report"};
    QTest::newRow("get status, send command, report")
        << QStringList{"sync", "status", "command", "report"};
    QTest::newRow("stop sync while a status reply is awaited")
        << QStringList{"sync", "status", "sync", "report"};
    QTest::newRow("command then report") << QStringList{"sync", "command", "report"};
    QTest::newRow("sync on and off, report") << QStringList{"sync", "sync", "report"};
}

void TestCommands::syncButtonTellsTheTruth() {
    QFETCH(QStringList, steps);
    Console console;
    console.startUp();
    console.openPort();
    for (const QString &step : steps) {
        if (step == QLatin1String("sync")) {
            console.click("cmdSyncOnOff");
        } else if (step == QLatin1String("status")) {
            console.click("cmdGetStatus");
            QVERIFY(!console.state().SyncEnabled); // suspended until its report completes
        } else if (step == QLatin1String("command")) {
            console.click("cmdSendCmd");
        } else if (step == QLatin1String("report")) {
            console.radio().write("A1\n.\n");
            QVERIFY(console.runUntil([&] { return console.slot(33) == QLatin1String("."); }));
        }
        console.radio().read(20, 1000);
    }
    const bool buttonOn = console.window().cmdSyncOnOff->text() == QLatin1String("Stop Sync");
    QCOMPARE(console.state().SyncEnabled, buttonOn);
}

void TestCommands::stopSyncTurnsIndicatorWhite() {
    Console console;
    console.startUp();
    console.openPort();
    console.click("cmdSyncOnOff");
    console.state().LastPollTime -= 2.0;
    QVERIFY(console.runUntil([&] { return console.radio().read(5) == "U"; }));
    console.click("cmdSyncOnOff");
    QCOMPARE(console.window().LED[0]->fillColor(), QColor(Qt::white));
    console.state().LastPollTime -= 2.0;
    console.runFor(50);
    QCOMPARE(console.radio().read(20), QByteArray());
}

// The property: whatever the operator does and however the radio behaves, once no reply is
// awaited any more (its report came, or two poll intervals went by without it) polling is on
// exactly when the sync button reads "Stop Sync", as the radio sees it. Random sequences of
// actions, seeded: KORVANE_SEED repeats a failing one.
void TestCommands::pollingFollowsTheButton() {
    if (SimRadio::program().isEmpty())
        QFAIL(qPrintable(notBuilt("rt1446-sim")));
    const quint32 seed = qEnvironmentVariableIsSet("KORVANE_SEED")
                             ? quint32(qEnvironmentVariableIntValue("KORVANE_SEED"))
                             : QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    const QStringList actions{"send",         "empty send",    "bad send",
                              "status",       "sync",          "open/close",
                              "radio silent", "radio answers", "radio hangs up"};
    constexpr int kSequences = 4;
    constexpr int kSteps = 12;

    for (int sequence = 0; sequence < kSequences; ++sequence) {
        // The radio behind a link of its own, so that one started after a hang-up is the same
        // port to the console.
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("radio"));
        auto startRadio = [&] { return std::make_unique<SimRadio>(QStringList{"--link", link}); };
        std::unique_ptr<SimRadio> radio = startRadio();
        Console console(QStringLiteral("1=") + link);
        console.startUp();
        QStringList done;
        auto where = [&] {
            return QStringLiteral("seed %1 (KORVANE_SEED=%1 repeats it), sequence %2: %3")
                .arg(seed)
                .arg(sequence)
                .arg(done.join(QStringLiteral(", ")));
        };

        for (int step = 0; step < kSteps; ++step) {
            const QString action = actions[random.bounded(int(actions.size()))];
            done << action;
            if (action == QLatin1String("send") || action == QLatin1String("empty send") ||
                action == QLatin1String("bad send")) {
                const QString text = action == QLatin1String("send") ? QStringLiteral("V!")
                                     : action == QLatin1String("bad send")
                                         ? QStringLiteral("F\u00e9!")
                                         : QString();
                console.window().cboCommand->setEditText(text);
                console.click("cmdSendCmd");
            } else if (action == QLatin1String("status")) {
                console.click("cmdGetStatus"); // nothing while disabled, as for the operator
            } else if (action == QLatin1String("sync")) {
                console.click("cmdSyncOnOff");
            } else if (action == QLatin1String("open/close")) {
                console.click("cmdCOMStatus");
            } else if (action == QLatin1String("radio silent")) {
                radio->freeze();
            } else if (action == QLatin1String("radio answers")) {
                radio->thaw();
            } else {
                radio->pullPlug();
                radio = startRadio();
            }
            console.runFor(int(random.bounded(300)));
            if (step + 1 < kSteps && random.bounded(3) != 0)
                continue;

            // A quiet stretch: whatever was sent is answered or given up on.
            done << QStringLiteral("quiet");
            QVERIFY2(console.runUntil([&] { return !console.app().commands.replyAwaited(); },
                                      int(kReplyWait * 1000) + 2000),
                     qPrintable(where()));
            const QString wrong = untruths(console);
            QVERIFY2(wrong.isEmpty(), qPrintable(where() + ": " + wrong));
            radio->thaw();
            console.runFor(300); // what waited in the line is read and answered
            if (!console.app().MSComm1.PortOpen())
                continue;
            // The next poll is due at once, if polling is on.
            const int before = radio->count("POLL");
            console.state().LastPollTime -= 2 * kPollInterval;
            // A poll is waited for until it comes (or, under "Start Sync", a while longer than one
            // would take): the radio logs it only once it has read it.
            const bool stopSync = console.window().cmdSyncOnOff->text() == kStopSync;
            const bool polled = console.runUntil([&] { return radio->count("POLL") > before; },
                                                 stopSync ? 3000 : 600);
            QVERIFY2(
                polled == stopSync,
                qPrintable(where() + (polled ? QStringLiteral(": polled under \"Start Sync\"")
                                             : QStringLiteral(": no poll under \"Stop Sync\""))));
        }
    }
}

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
