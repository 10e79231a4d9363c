// The fault matrix: the whole console (real window, real serial control, real probe loop) against
// the simulated radio misbehaving on request, each case ending in a check of what the window
// shows and of what reached the slots.
//
// Every case: no crash, no hang, and the controls tell the truth ("Start Probe" exactly when the
// port is closed, port and baud boxes enabled exactly then, polling on exactly under "Stop Sync").
//
//   case                               expected outcome
//   ---------------------------------  ------------------------------------------------------
//   radio hangs up mid-burst           "Start Probe", "Start Sync", boxes enabled, one
//                                      "Err 8017." naming the device; every whole line sent
//                                      before the hang-up in its slot, in order; the cut one
//                                      dropped
//   radio hangs up while sync polls    the same, and the poll light white
//   radio hangs up in the drain wait   the close ends at once with "Err 8017.", no hang
//   no such device                     "Err 8002. ... does not exist"; "Stop Probe" stays (no
//                                      roll-back) with the port closed; the next click closes
//   permission denied (mode 000)       "Err 8016. Permission denied ..."; same; opens once the
//                                      mode is back
//   held by a second control, or by    "Err 8010. The device is in use ... held by another
//   another program                    program"; same; opens once let go. Korvane holds its
//                                      port exclusively: no second program takes it
//   garbage, CR LF, pause in a line    every line exactly as sent, in the slot of its key
//   every byte value but LF            routed unchanged, one character per byte
//   a line of a megabyte               dropped whole, "Received line too long" counts add up
//                                      to its length; the report after it arrives whole;
//                                      turns < 300 ms; receive buffer far below the line
//   stream that never pauses           turns < 300 ms apart at 9600 baud (< 1 s unpaced);
//                                      every line from the open to the hang-up routed in order
//   tens of thousands of "J" lines     the count back under 15 after every pass (a poll
//                                      forced each time), no "Overflow", nothing lost
//   report across midnight             elapsed time positive and small; polls 1.55 s apart
//   clock set back an hour             one poll at once, then 1.55 s apart; no stall
//   100 rapid Start/Stop Probe clicks  ends as the last click says; next report whole
//   clicks during the drain wait       nested closes end consistent; the port works after
//   stop and start inside a report     the line cut by the stop is not glued to the next one
//   window closed mid-burst            program ended, port closed, nothing runs on after

#include "app/probe_loop.h"
#include "base/run_time_error.h"
#include "device/mscomm.h"
#include "support/console.h"
#include "support/fake_clock.h"
#include "support/fault_predicates.h"
#include "support/permissions.h"
#include "support/port_holder.h"
#include "support/sim_radio.h"
#include "support/slot_recorder.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <memory>
#include <optional>
#include <sys/stat.h>

using namespace korvane;
using namespace korvane::test;

class TestFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void radioHangsUp_data();
    void radioHangsUp();
    void radioHangsUpDuringTheDrainWait();
    void deviceCannotBeOpened_data();
    void deviceCannotBeOpened();
    void secondProgramCannotTakeTheOpenPort();
    void noisyLines_data();
    void noisyLines();
    void everyByteValue();
    void megabyteLine();
    void neverPausingStream_data();
    void neverPausingStream();
    void tensOfThousandsOfMeterLines();
    void reportAcrossMidnight();
    void clockSetBack();
    void rapidProbeClicks();
    void clicksDuringTheDrainWait();
    void reopenedInTheMiddleOfAReport_data();
    void reopenedInTheMiddleOfAReport();
    void windowClosedInTheMiddleOfABurst();
};

void TestFaults::initTestCase() {
    if (SimRadio::program().isEmpty())
        QSKIP("KORVANE_SIM does not name the simulated radio");
}

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
    console.window().cboCommand->setEditText(QString(200000, QLatin1Char('F')) + QLatin1Char('!'));
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
void TestFaults::deviceCannotBeOpened_data() {
    QTest::addColumn<QString>("why");
    QTest::addColumn<QString>("messageStart");
    QTest::addColumn<QString>("says");
    QTest::newRow("no such device") << "missing"
                                    << "Err 8002. "
                                    << "does not exist";
    QTest::newRow("permission denied") << "mode 000"
                                       << "Err 8016. "
                                       << "Permission denied";
    QTest::newRow("held by a second control") << "second control"
                                              << "Err 8010. "
                                              << "held by another program";
    QTest::newRow("held by another program") << "other program"
                                             << "Err 8010. "
                                             << "held by another program";
}

void TestFaults::deviceCannotBeOpened() {
    QFETCH(QString, why);
    QFETCH(QString, messageStart);
    QFETCH(QString, says);
    SimRadio radio;
    QVERIFY(!radio.path().isEmpty());
    const QByteArray device = radio.path().toLocal8Bit();
    Console console(why == QLatin1String("missing") ? QStringLiteral("1=/nonexistent/ttyKV0")
                                                    : radio.ports());
    console.startUp();
    console.window().cboCommPort->setEditText(QStringLiteral("1"));
    SlotRecorder recorder(console.window());

    std::unique_ptr<WithoutPermissionOverride> asAnyone;
    std::unique_ptr<MSComm> second;
    std::unique_ptr<OtherProgram> other;
    if (why == QLatin1String("mode 000")) {
        QCOMPARE(::chmod(device.constData(), 0), 0);
        asAnyone = std::make_unique<WithoutPermissionOverride>();
    } else if (why == QLatin1String("second control")) {
        second = std::make_unique<MSComm>();
        second->setCommPort(1);
        second->setPortOpen(true);
    } else if (why == QLatin1String("other program")) {
        other = std::make_unique<OtherProgram>(radio.path());
        QCOMPARE(other->answer(), QStringLiteral("open"));
    }

    console.click("cmdCOMStatus");
    asAnyone.reset();
    QVERIFY2(console.message().startsWith(messageStart) && console.message().contains(says),
             qPrintable(console.message()));
    // A failed open is not rolled back: the button reads "Stop Probe" and its next click
    // closes, with the boxes locked until then.
    QCOMPARE(console.window().cmdCOMStatus->text(), kStopProbe);
    QVERIFY(!console.window().cboCommPort->isEnabled());
    QVERIFY(!console.app().MSComm1.PortOpen());
    console.runFor(50);
    console.click("cmdCOMStatus");
    QCOMPARE(untruths(console), QString());
    QCOMPARE(console.window().cmdCOMStatus->text(), kStartProbe);
    if (why == QLatin1String("missing"))
        return;

    // Once the device is free again the operator opens it, and the radio answers.
    ::chmod(device.constData(), 0620);
    second.reset();
    other.reset();
    console.openPort();
    QCOMPARE(untruths(console), QString());
    console.click("cmdGetStatus");
    QVERIFY(console.runUntil([&] { return recorder.count(33) == 1; }, 3000));
    QCOMPARE(recorder.count(), 36);
}

void TestFaults::secondProgramCannotTakeTheOpenPort() {
    SimRadio radio;
    Console console(radio.ports());
    console.startUp();
    console.openPort();
    QVERIFY(console.app().MSComm1.PortOpen());
    MSComm second;
    second.setCommPort(1);
    try {
        second.setPortOpen(true);
        QFAIL("a second control opened the port");
    } catch (const RunTimeError &e) {
        QCOMPARE(e.number(), err::kDeviceInUse);
    }
    OtherProgram other(radio.path());
    QVERIFY2(other.answer().startsWith(QStringLiteral("Err 8010. The device is in use: ")),
             qPrintable(other.answer()));
    QVERIFY(console.app().MSComm1.PortOpen());
}
void TestFaults::noisyLines_data() {
    QTest::addColumn<QStringList>("options");
    QTest::newRow("garbage: NUL, above 127, control characters")
        << QStringList{QStringLiteral("--garbage")};
    QTest::newRow("carriage return before each line feed") << QStringList{QStringLiteral("--crlf")};
    QTest::newRow("a pause inside every line")
        << QStringList{QStringLiteral("--pause-in-line"), QStringLiteral("40")};
}

void TestFaults::noisyLines() {
    QFETCH(QStringList, options);
    SimRadio radio(options);
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdGetStatus");
    qint64 longest = 0;
    QVERIFY(runWatched(
        console, [&] { return recorder.count(33) == 1; }, 5000, longest));
    console.runFor(50);
    const std::optional<QByteArray> sent = radio.bytesSent();
    QVERIFY(sent);
    QCOMPARE(recorder.texts(), wholeLines(*sent));
    QCOMPARE(misrouted(recorder).join(QLatin1Char('|')), QString());
    QCOMPARE(errors(recorder).join(QLatin1Char('|')), QString());
    QCOMPARE(untruths(console), QString());
    QVERIFY(console.window().cmdGetStatus->isEnabled());
}

void TestFaults::everyByteValue() {
    // The simulated radio mixes garbage in at random; here every byte value but the line feed
    // comes once, inside a line of its own, straight from the radio's end of a pseudo-terminal.
    Console console;
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    QByteArray stream;
    QStringList expected;
    for (int b = 0; b < 256; ++b) {
        if (b == '\n')
            continue;
        const QByteArray line = QByteArray("A") + char(b) + "z";
        stream += line + '\n';
        expected << QString::fromLatin1(line);
    }
    stream += ".\n";
    expected << QStringLiteral(".");
    console.radio().write(stream);
    QVERIFY(console.runUntil([&] { return recorder.count(33) == 1; }));
    QCOMPARE(recorder.texts(), expected);
    QCOMPARE(misrouted(recorder).join(QLatin1Char('|')), QString());
    QCOMPARE(errors(recorder).join(QLatin1Char('|')), QString());
}

void TestFaults::megabyteLine() {
    constexpr qint64 kLength = 1'000'000;
    SimRadio radio(
        {QStringLiteral("--long-line"), QString::number(kLength), QStringLiteral("--no-pace")});
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdGetStatus");
    qint64 longest = 0;
    qsizetype largestBuffer = 0;
    QVERIFY(runWatched(
        console,
        [&] {
            largestBuffer = std::max(largestBuffer, console.state().RxBuffer.size());
            return recorder.count(33) == 1;
        },
        15000, longest));
    console.runFor(50);
    // The long line is dropped whole and said so; the report after it arrives whole.
    QCOMPARE(droppedCharacters(recorder), kLength);
    QCOMPARE(recorder.count(), qint64(36));
    QCOMPARE(misrouted(recorder).join(QLatin1Char('|')), QString());
    for (const QString &line : recorder.texts())
        QVERIFY2(!line.startsWith(QLatin1Char('L')), qPrintable(line.left(40)));
    QCOMPARE(untruths(console), QString());
    QVERIFY2(longest < kFrozenMsecs, qPrintable(QString::number(longest)));
    // The receive buffer holds one burst and a kept tail, never the line.
    QVERIFY2(largestBuffer < 256 * 1024, qPrintable(QString::number(largestBuffer)));
}

void TestFaults::neverPausingStream_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<qint64>("frozenLimit");
    // Poll answers back to back: at 9600 baud, and as fast as the console takes them. The radio
    // hangs up after a set number of bytes, so what it sent is known to the byte.
    QTest::newRow("at 9600 baud") << QStringList{QStringLiteral("--stream"),
                                                 QStringLiteral("--hangup-after"),
                                                 QStringLiteral("1500")}
                                  << kFrozenMsecs;
    // Far faster than any serial line: one burst can hold thousands of lines to frame, so here
    // only that the window never stops turning is checked.
    QTest::newRow("unpaced") << QStringList{QStringLiteral("--stream"), QStringLiteral("--no-pace"),
                                            QStringLiteral("--hangup-after"),
                                            QStringLiteral("300000")}
                             << qint64(1000);
}

void TestFaults::neverPausingStream() {
    QFETCH(QStringList, options);
    QFETCH(qint64, frozenLimit);
    SimRadio radio(options);
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    qint64 longest = 0;
    QVERIFY(runWatched(
        console, [&] { return console.window().cmdCOMStatus->text() == kStartProbe; }, 15000,
        longest));
    console.runFor(50);
    QVERIFY2(longest < frozenLimit, qPrintable(QString::number(longest)));
    const std::optional<QByteArray> sent = radio.bytesSent();
    QVERIFY(sent);
    QCOMPARE(unbrokenTail(recorder.texts(), wholeLines(*sent)), QString());
    QVERIFY(console.message().startsWith(QStringLiteral("Err 8017. ")));
    QCOMPARE(untruths(console), QString());
}

void TestFaults::tensOfThousandsOfMeterLines() {
    // An unpaced stream of answers with 100 meter lines each, sync on: every pass frames more
    // than 15 of them, so every pass forces a poll.
    SimRadio radio({QStringLiteral("--stream"), QStringLiteral("--no-pace"),
                    QStringLiteral("--meter-lines"), QStringLiteral("100"),
                    QStringLiteral("--hangup-after"), QStringLiteral("400000")});
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdSyncOnOff");
    std::int16_t highest = 0;
    QVERIFY(console.runUntil(
        [&] {
            highest = std::max(highest, console.state().JTokenCount);
            return console.window().cmdCOMStatus->text() == kStartProbe;
        },
        20000));
    console.runFor(50);
    const std::optional<QByteArray> sent = radio.bytesSent();
    QVERIFY(sent);
    QCOMPARE(unbrokenTail(recorder.texts(), wholeLines(*sent)), QString());
    QVERIFY2(recorder.count(31) > 40000, qPrintable(QString::number(recorder.count(31))));
    QVERIFY2(radio.count("POLL") > 5, qPrintable(QString::number(radio.count("POLL"))));
    // The count never carries past one pass, and so never overflows in normal flow.
    QVERIFY2(highest < kForcedPollJLines, qPrintable(QString::number(highest)));
    // The only failure is the hang-up, seen by a poll going out or by the receiving side.
    for (const QString &e : errors(recorder))
        QVERIFY2(e.startsWith(QStringLiteral("Err 8017. ")), qPrintable(e));
    QVERIFY(console.message().startsWith(QStringLiteral("Err 8017. ")));
    QCOMPARE(untruths(console), QString());
}
void TestFaults::reportAcrossMidnight() {
    RunningClock clock(86399.0);
    ClockInstaller install(&clock);
    // The answer to the command comes after midnight.
    SimRadio radio({QStringLiteral("--reply-delay"), QStringLiteral("1300")});
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdSyncOnOff");
    console.window().cmbInitial->setEditText(QStringLiteral("."));
    console.window().cboCommand->setEditText(QStringLiteral("F1000000!"));
    console.click("cmdSendCmd");
    const double commandTime = console.window().txtCommandTime->text().toDouble();
    // Polls keep their cadence across midnight: the second comes 1.55 s after the first.
    QVERIFY(console.runUntil([&] { return radio.count("POLL") == 2; }, 5000));
    QVERIFY(console.runUntil([&] { return recorder.count(33) >= 2; }, 3000));

    QVERIFY2(commandTime > 86399.0, qPrintable(QString::number(commandTime)));
    const double response = console.window().txtResponseTime->text().toDouble();
    QVERIFY2(response < 5.0, qPrintable(console.window().txtResponseTime->text()));
    const double elapsed = console.window().txtElapsedTime->text().toDouble();
    QVERIFY2(elapsed > 1.0 && elapsed < 5.0, qPrintable(console.window().txtElapsedTime->text()));
    const QList<SimRadio::Event> polls = radio.events("POLL");
    const double gap = polls[1].time - polls[0].time;
    QVERIFY2(gap > 1.45 && gap < 1.75, qPrintable(QString::number(gap)));
    QCOMPARE(recorder.last(18), QStringLiteral("F1000000"));
    QCOMPARE(errors(recorder).join(QLatin1Char('|')), QString());
    QCOMPARE(untruths(console), QString());
}

void TestFaults::clockSetBack() {
    RunningClock clock(50000.0);
    ClockInstaller install(&clock);
    SimRadio radio({QStringLiteral("--reply-delay"), QStringLiteral("300")});
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdSyncOnOff");
    QVERIFY(console.runUntil([&] { return radio.count("POLL") == 1; }, 3000));
    console.window().cmbInitial->setEditText(QStringLiteral("F"));
    console.window().cboCommand->setEditText(QStringLiteral("F1000000!"));
    console.click("cmdSendCmd");
    clock.setBack(3600.0); // the answer comes an hour "earlier"
    const double setBackAt = monotonicSeconds();
    QVERIFY(console.runUntil([&] { return radio.count("POLL") == 3; }, 5000));
    console.runFor(400);

    // No stall of an hour and no burst of polls: the last poll now lies in the future, which
    // reads as before midnight, so the next goes out at once and the cadence goes on from it.
    const QList<SimRadio::Event> polls = radio.events("POLL");
    QCOMPARE(polls.size(), 3);
    QVERIFY2(polls[1].time - setBackAt < 0.3,
             qPrintable(QString::number(polls[1].time - setBackAt)));
    const double gap = polls[2].time - polls[1].time;
    QVERIFY2(gap > 1.45 && gap < 1.75, qPrintable(QString::number(gap)));
    QCOMPARE(recorder.last(18), QStringLiteral("F1000000"));
    const double elapsed = console.window().txtElapsedTime->text().toDouble();
    QVERIFY2(elapsed >= 0.0, qPrintable(console.window().txtElapsedTime->text()));
    QCOMPARE(errors(recorder).join(QLatin1Char('|')), QString());
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
    console.window().cboCommand->setEditText(QString(100000, QLatin1Char('D')) + QLatin1Char('!'));
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

int main(int argc, char *argv[]) {
    if (const std::optional<int> status = runAsPortHolder(argc, argv))
        return *status;
    QApplication app(argc, argv);
    TestFaults test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_faults.moc"
