// The fault matrix, the clock: a report across midnight and the clock set back an hour.

#include "faults_test.h"

#include "support/console.h"
#include "support/fake_clock.h"
#include "support/fault_predicates.h"
#include "support/sim_radio.h"
#include "support/slot_recorder.h"

#include <QComboBox>
#include <QLineEdit>
#include <QtTest>

using namespace korvane;

namespace {
// A poll one interval after another: never early, and late only by the load the machine is under,
// far less than a missed poll (two intervals) or an hour's stall.
constexpr double kNextPollLate = 3.0;
} // namespace
using namespace korvane::test;

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
    QVERIFY2(gap > 1.45 && gap < kNextPollLate, qPrintable(QString::number(gap)));
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
    // reads as before midnight, so the next goes out as soon as the command's answer is in, and
    // the cadence goes on from it.
    const QList<SimRadio::Event> polls = radio.events("POLL");
    QCOMPARE(polls.size(), 3);
    const QList<SimRadio::Event> answers = radio.events("TX-END");
    QVERIFY(answers.size() >= 2);
    const double answered = answers[1].time; // the first answered the first poll
    QVERIFY2(answered - setBackAt < 2.0, qPrintable(QString::number(answered - setBackAt)));
    // "At once": well before the poll interval would have brought it.
    QVERIFY2(polls[1].time - answered < 1.0, qPrintable(QString::number(polls[1].time - answered)));
    const double gap = polls[2].time - polls[1].time;
    QVERIFY2(gap > 1.45 && gap < kNextPollLate, qPrintable(QString::number(gap)));
    QCOMPARE(recorder.last(18), QStringLiteral("F1000000"));
    const double elapsed = console.window().txtElapsedTime->text().toDouble();
    QVERIFY2(elapsed >= 0.0, qPrintable(console.window().txtElapsedTime->text()));
    QCOMPARE(errors(recorder).join(QLatin1Char('|')), QString());
    QCOMPARE(untruths(console), QString());
}
