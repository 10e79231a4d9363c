// The radio protocol's pass on a real pseudo-terminal with a clock the test holds: the poll
// schedule (cadence, forced poll, midnight, clock set back), the indicator, framing a batch into
// the window, and a poll that cannot go out.

#include "handlers/protocol/protocol_timing.h"
#include "support/console.h"
#include "support/fake_clock.h"
#include "window/shape.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

class TestRadioProtocol : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pollCadence_data();
    void pollCadence();
    void forcedPollAfterFifteenJLines();
    void noPollWhileSyncIsOff();
    void indicatorBlinks();
    void completeBatchReachesTheWindow();
    void failedPollIsReportedAndRetriedAtTheCadence();
};

// Each row: where LastPollTime stands, where the clock is, and whether a poll goes out.
void TestRadioProtocol::pollCadence_data() {
    QTest::addColumn<double>("lastPoll");
    QTest::addColumn<double>("now");
    QTest::addColumn<bool>("polls");
    QTest::newRow("exactly the interval: not yet") << 1000.0 << 1000.0 + kPollInterval << false;
    QTest::newRow("just past the interval") << 1000.0 << 1000.02 + kPollInterval << true;
    QTest::newRow("midnight, 1.2 s later: not yet") << 86399.0 << 0.2 << false;
    QTest::newRow("midnight, just past the interval") << 86399.0 << kPollInterval - 0.98 << true;
    QTest::newRow("clock set back polls at once") << 50000.0 << 40000.0 << true;
}

void TestRadioProtocol::pollCadence() {
    QFETCH(double, lastPoll);
    QFETCH(double, now);
    QFETCH(bool, polls);
    ManualClock clock(lastPoll);
    ClockInstaller install(&clock);
    Console console;
    console.startUp();
    console.openPort();
    console.click("cmdSyncOnOff");
    console.state().LastPollTime = lastPoll;
    clock.set(now);
    console.runFor(30);
    QCOMPARE(console.radio().read(50) == "U", polls);
    if (!polls && lastPoll > now) // the midnight correction moved the last poll a day back
        QCOMPARE(console.state().LastPollTime, lastPoll - 86400.0);
}

void TestRadioProtocol::forcedPollAfterFifteenJLines() {
    ManualClock clock(2000.0);
    ClockInstaller install(&clock);
    Console console;
    console.startUp();
    console.openPort();
    console.click("cmdSyncOnOff");
    auto feed = [&](int jLines) {
        for (int i = 0; i < jLines; ++i)
            console.state().RxBuffer += QStringLiteral("J%1\n").arg(i);
        console.state().ResponseReady = true;
        console.runFor(20);
    };
    feed(14);
    QCOMPARE(console.state().JTokenCount, 14);
    QCOMPARE(console.radio().read(30), QByteArray());
    feed(1); // the fifteenth, in a later batch
    QCOMPARE(console.radio().read(100), QByteArray("U"));
    QCOMPARE(console.state().JTokenCount, 0);
    QCOMPARE(console.slot(31), QStringLiteral("J0"));
}

void TestRadioProtocol::noPollWhileSyncIsOff() {
    ManualClock clock(3000.0);
    ClockInstaller install(&clock);
    Console console;
    console.startUp();
    console.openPort();
    clock.advance(5.0);
    console.runFor(30);
    QCOMPARE(console.radio().read(30), QByteArray());
    QCOMPARE(console.state().LastPollTime, 3000.0);
}

void TestRadioProtocol::indicatorBlinks() {
    ManualClock clock(4000.0);
    ClockInstaller install(&clock);
    Console console;
    console.startUp();
    console.openPort();
    console.click("cmdSyncOnOff");
    clock.advance(1.6);
    console.runFor(20);
    QCOMPARE(console.window().LED[0]->fillColor(), QColor(0, 255, 0));
    clock.advance(0.49);
    console.runFor(20);
    QCOMPARE(console.window().LED[0]->fillColor(), QColor(0, 255, 0));
    clock.advance(0.03);
    console.runFor(20);
    QCOMPARE(console.window().LED[0]->fillColor(), QColor(255, 255, 255));
}

void TestRadioProtocol::completeBatchReachesTheWindow() {
    Console console;
    console.startUp();
    console.openPort();
    ProbeState &s = console.state();
    s.SyncEnabled = true;
    s.QuietTime = kReplyQuietTime;
    s.RxBuffer = QStringLiteral("J7\nK1\n.\nF1");
    s.ResponseReady = true;
    console.runFor(20);
    QCOMPARE(console.slot(31), QStringLiteral("J7"));
    QCOMPARE(console.slot(17), QStringLiteral("K1"));
    QCOMPARE(console.slot(33), QStringLiteral("."));
    QCOMPARE(console.window().txtFromVO1446->toPlainText(), QStringLiteral("J7<K1<.<F1"));
    QCOMPARE(s.QuietTime, kNormalQuietTime);
    QCOMPARE(s.SyncEnabled, false);
    QCOMPARE(s.RxBuffer, QStringLiteral("F1")); // the unfinished line waits for its end
    QVERIFY(console.window().cmdGetStatus->isEnabled());
}

void TestRadioProtocol::failedPollIsReportedAndRetriedAtTheCadence() {
    ManualClock clock(5000.0);
    ClockInstaller install(&clock);
    Console console(QStringLiteral("1=%1 2=/nonexistent/tty"));
    console.startUp();
    console.window().cboCommPort->setEditText(QStringLiteral("2"));
    console.click("cmdCOMStatus"); // the open fails, the button still reads "Stop Probe"
    console.click("cmdSyncOnOff");
    console.runFor(10); // probing starts: the last poll counts from now
    int errors = 0;
    // Each retry says that no poll went out, and keeps the reason the open failed.
    QObject::connect(console.window().txtErrMsg, &QLineEdit::textChanged, [&](const QString &t) {
        if (t.startsWith(QStringLiteral("Err 8002. ")) && t.contains(QStringLiteral("no poll")))
            ++errors;
    });
    clock.advance(1.6);
    console.runFor(30);
    QCOMPARE(errors, 1);
    QVERIFY(console.window().cmdSendCmd->isEnabled());
    console.runFor(30); // no retry on every pass
    QCOMPARE(errors, 1);
    clock.advance(1.6);
    console.runFor(30);
    QCOMPARE(errors, 2);
}

QTEST_MAIN(TestRadioProtocol)
#include "tst_radio_protocol.moc"
