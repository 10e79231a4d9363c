// The fault matrix, the operator: rapid clicks, clicks while a close waits for the output, a stop
// and start inside a report, and the window closed in the middle of a burst.

#include "faults_test.h"

#include "base/timer_value.h"
#include "device/mscomm.h"
#include "support/console.h"
#include "support/fault_predicates.h"
#include "support/sim_radio.h"
#include "support/slot_recorder.h"
#include "text/command_text.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

void TestFaults::pressHeldOverAPoll_data() {
    QTest::addColumn<bool>("mouse");
    QTest::addColumn<int>("holdMsecs");
    // A quick click and a slow one pressed just before a poll is due, and a press held across a
    // whole poll interval; with the mouse, and with Space on the focused button.
    for (const int hold : {120, 250, 1700}) {
        QTest::addRow("mouse held %d ms", hold) << true << hold;
        QTest::addRow("Space held %d ms", hold) << false << hold;
    }
}

void TestFaults::pressHeldOverAPoll() {
    QFETCH(bool, mouse);
    QFETCH(int, holdMsecs);
    SimRadio radio;
    Console console(radio.ports());
    console.startUp();
    console.openPort();
    console.click("cmdSyncOnOff");
    QPushButton *button = console.window().cmdSendCmd;
    button->setFocus();
    constexpr int kPresses = 3;
    for (int press = 0; press < kPresses; ++press) {
        // Pressed so that the next poll comes while the button is held down.
        const double pressAt = kPollInterval - double(std::min(holdMsecs, 1000)) / 2000.0;
        QVERIFY(console.runUntil(
            [&] {
                return console.state().SyncEnabled &&
                       korvane::clock().timer() - console.state().LastPollTime > pressAt;
            },
            5000));
        const double pollBefore = console.state().LastPollTime;
        if (mouse)
            QTest::mousePress(button, Qt::LeftButton);
        else
            QTest::keyPress(button, Qt::Key_Space);
        console.runFor(holdMsecs);
        QVERIFY2(console.state().LastPollTime != pollBefore, "no poll came during the press");
        if (mouse)
            QTest::mouseRelease(button, Qt::LeftButton);
        else
            QTest::keyRelease(button, Qt::Key_Space);
        QVERIFY2(console.runUntil([&] { return radio.count("CMD") == press + 1; }, 3000),
                 qPrintable(QStringLiteral("press %1 sent nothing").arg(press + 1)));
    }
    QVERIFY(console.runUntil([&] { return !console.app().commands.replyAwaited(); }, 5000));
    QCOMPARE(untruths(console), QString());
}

void TestFaults::rapidProbeClicks() {
    SimRadio radio;
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdSyncOnOff");
    console.click("cmdGetStatus");
    console.runFor(60); // the report is on its way
    for (int i = 0; i < 100; ++i) {
        console.click("cmdCOMStatus");
        QCoreApplication::processEvents();
    }
    QCOMPARE(console.window().cmdCOMStatus->text(), kStopProbe);
    QCOMPARE(untruths(console), QString());
    console.runFor(300);
    QCOMPARE(untruths(console), QString());
    // A report that starts after all that arrives whole.
    const qint64 before = recorder.count(33);
    console.click("cmdGetStatus");
    QVERIFY(console.runUntil([&] { return recorder.count(33) == before + 1; }, 3000));
    console.runFor(50);
    const std::optional<QByteArray> sent = radio.bytesSent();
    QVERIFY(sent);
    QCOMPARE(invented(recorder, wholeLines(*sent)).join(QLatin1Char('|')), QString());
    QCOMPARE(misrouted(recorder).join(QLatin1Char('|')), QString());
    QCOMPARE(errors(recorder).join(QLatin1Char('|')), QString());
    console.click("cmdCOMStatus");
    QCOMPARE(untruths(console), QString());
    QCOMPARE(console.message(), QStringLiteral("Closing COM Port 1"));
}

void TestFaults::clicksDuringTheDrainWait() {
    SimRadio radio;
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    radio.freeze();
    console.window().cboCommand->setEditText(QString(kLongestCommand - 1, QLatin1Char('D')) +
                                             QLatin1Char('!'));
    console.click("cmdSendCmd");
    console.window().cboCommand->setEditText(QStringLiteral("F1000000!"));
    // While the close waits for the output to drain, the operator clicks everything, closing
    // again twice (a close inside a close inside a close); the radio takes bytes again at 300 ms
    // and the last click comes as the waits end.
    const struct {
        int at;
        const char *button;
    } clicks[] = {{20, "cmdSyncOnOff"},  {40, "cmdGetStatus"},  {60, "cmdSendCmd"},
                  {80, "cmdCOMStatus"},  {100, "cmdSyncOnOff"}, {120, "cmdCOMStatus"},
                  {140, "cmdGetStatus"}, {160, "cmdSendCmd"},   {305, "cmdCOMStatus"}};
    int clicked = 0;
    for (const auto &c : clicks) {
        QTimer::singleShot(c.at, &console.window(), [&console, &clicked, button = c.button] {
            ++clicked;
            console.click(button);
        });
    }
    QTimer::singleShot(300, &console.window(), [&radio] { radio.thaw(); });
    bool hung = false;
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] {
        hung = true;
        radio.thaw();
    });
    watchdog.start(5000);
    console.click("cmdCOMStatus");
    watchdog.stop();
    console.runFor(300);
    QVERIFY(!hung);
    QCOMPARE(clicked, int(std::size(clicks)));
    QCOMPARE(untruths(console), QString());
    QCOMPARE(errors(recorder).join(QLatin1Char('|')), QString());

    // Whatever the clicks left, the next open works.
    if (console.window().cmdCOMStatus->text() == kStartProbe)
        console.openPort();
    if (console.window().cmdSyncOnOff->text() == kStartSync)
        console.click("cmdSyncOnOff");
    const qint64 before = recorder.count(33);
    console.click("cmdGetStatus");
    QVERIFY(console.runUntil([&] { return recorder.count(33) > before; }, 3000));
    QCOMPARE(untruths(console), QString());
}

void TestFaults::reopenedInTheMiddleOfAReport_data() {
    QTest::addColumn<bool>("passBetween");
    QTest::newRow("stop, a turn of the loop, start") << true;
    QTest::newRow("stop and start at once") << false;
}

void TestFaults::reopenedInTheMiddleOfAReport() {
    QFETCH(bool, passBetween);
    // At 1200 baud the status report takes two seconds: stop in the middle of a line of it.
    SimRadio radio({QStringLiteral("--baud"), QStringLiteral("1200")});
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdGetStatus");
    QVERIFY(console.runUntil(
        [&] {
            const QString &rx = console.state().RxBuffer;
            return recorder.count() > 3 && !rx.isEmpty() && !rx.contains(QLatin1Char('\n'));
        },
        3000));
    console.click("cmdCOMStatus");
    if (passBetween)
        console.runFor(100);
    console.click("cmdCOMStatus");
    QCOMPARE(untruths(console), QString());
    console.runFor(200);
    const qint64 before = recorder.count(33);
    console.click("cmdGetStatus");
    QVERIFY(console.runUntil([&] { return recorder.count(33) > before; }, 5000));
    const std::optional<QByteArray> sent = radio.bytesSent();
    QVERIFY(sent);
    // The line cut by the stop is not glued to the first line after the start.
    QCOMPARE(invented(recorder, wholeLines(*sent)).join(QLatin1Char('|')), QString());
    QCOMPARE(misrouted(recorder).join(QLatin1Char('|')), QString());
    QCOMPARE(errors(recorder).join(QLatin1Char('|')), QString());
}

void TestFaults::windowClosedInTheMiddleOfABurst() {
    // At 1200 baud the status report takes two seconds.
    SimRadio radio({QStringLiteral("--baud"), QStringLiteral("1200")});
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdSyncOnOff");
    console.click("cmdGetStatus");
    QVERIFY(console.runUntil([&] { return recorder.count() > 0; }, 3000));
    QCOMPARE(recorder.count(33), qint64(0)); // the report is still coming
    console.window().close();
    QVERIFY(console.ended());
    QVERIFY(!console.app().MSComm1.PortOpen());
    // Nothing runs on after the shutdown: no late receive event, no poll.
    const qint64 routed = recorder.count();
    const int polls = radio.count("POLL");
    QTest::qWait(200);
    QCOMPARE(recorder.count(), routed);
    QCOMPARE(radio.count("POLL"), polls);
    QCOMPARE(errors(recorder).join(QLatin1Char('|')), QString());
}
