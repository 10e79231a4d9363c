// The fault matrix, a device lost: the radio hangs up in the middle of a burst, while sync
// polls, and while a close waits for the output to drain.

#include "faults_test.h"

#include "device/mscomm.h"
#include "support/console.h"
#include "support/fault_predicates.h"
#include "support/sim_radio.h"
#include "support/slot_recorder.h"
#include "text/command_text.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

void TestFaults::radioHangsUp_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("sync");
    QTest::addColumn<bool>("status");
    // The full status report is some 250 bytes, a quarter of a second at 9600 baud.
    QTest::newRow("in the middle of a burst")
        << QStringList{QStringLiteral("--hangup-after"), QStringLiteral("100")} << false << true;
    // 16 meter lines an answer: each answer forces the next poll at once.
    QTest::newRow("while sync polls")
        << QStringList{QStringLiteral("--meter-lines"), QStringLiteral("16"),
                       QStringLiteral("--hangup-after"), QStringLiteral("300")}
        << true << false;
}

void TestFaults::radioHangsUp() {
    QFETCH(QStringList, options);
    QFETCH(bool, sync);
    QFETCH(bool, status);
    SimRadio radio(options);
    QVERIFY(!radio.path().isEmpty());
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    if (sync)
        console.click("cmdSyncOnOff");
    if (status)
        console.click("cmdGetStatus");
    qint64 longest = 0;
    QVERIFY(runWatched(
        console, [&] { return console.window().cmdCOMStatus->text() == kStartProbe; }, 8000,
        longest));
    console.runFor(100);

    QVERIFY2(console.message().startsWith(QStringLiteral("Err 8017. ")) &&
                 console.message().contains(radio.path()),
             qPrintable(console.message()));
    QCOMPARE(errors(recorder).size(), 1);
    QCOMPARE(console.window().cmdSyncOnOff->text(), kStartSync);
    QCOMPARE(untruths(console), QString());
    // Every whole line that came before the hang-up reached its slot; the cut one did not.
    const std::optional<QByteArray> sent = radio.bytesSent();
    QVERIFY(sent);
    QVERIFY(radio.count("HANGUP") == 1);
    QCOMPARE(recorder.texts(), wholeLines(*sent));
    QCOMPARE(misrouted(recorder).join(QLatin1Char('|')), QString());
    QVERIFY2(longest < kFrozenMsecs, qPrintable(QString::number(longest)));
}

void TestFaults::radioHangsUpDuringTheDrainWait() {
    SimRadio radio;
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdSyncOnOff");
    // A radio that takes nothing: the command backs up in the line's buffers.
    radio.freeze();
    console.window().cboCommand->setEditText(QString(kLongestCommand - 1, QLatin1Char('F')) +
                                             QLatin1Char('!'));
    console.click("cmdSendCmd");
    QVERIFY(console.app().MSComm1.OutBufferCount() > 0);

    QTimer plug;
    plug.setSingleShot(true);
    QObject::connect(&plug, &QTimer::timeout, [&] { radio.pullPlug(); });
    plug.start(150);
    // Should the wait outlive the device, end it here so that the test reports it.
    bool hung = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        hung = true;
        console.app().MSComm1.setPortOpen(false);
    });
    watchdog.start(3000);
    QElapsedTimer closing;
    closing.start();
    console.click("cmdCOMStatus");
    const qint64 took = closing.elapsed();
    watchdog.stop();
    console.runFor(100);

    QVERIFY2(!hung, "the drain wait outlived the device");
    QVERIFY2(took < 1000, qPrintable(QString::number(took)));
    QCOMPARE(console.window().cmdCOMStatus->text(), kStartProbe);
    QCOMPARE(untruths(console), QString());
    QVERIFY2(console.message().startsWith(QStringLiteral("Err 8017. ")),
             qPrintable(console.message()));
}
