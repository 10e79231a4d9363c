// The console's main job end to end against the simulated radio: open, sync, status request,
// every preset, the report landing in the slots and the report box at every line speed, and a
// radio that hangs up.

#include "support/console.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

class TestConsoleWithSim : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void statusFillsEverySlot();
    void wholeReportAtEverySpeed_data();
    void wholeReportAtEverySpeed();
    void syncPollsAndMeterLinesFlow();
    void everyPresetIsAnswered_data();
    void everyPresetIsAnswered();
    void hangUpIsHandledCleanly();
};

void TestConsoleWithSim::initTestCase() {
    if (SimRadio::program().isEmpty())
        QFAIL(qPrintable(notBuilt("rt1446-sim")));
}

void TestConsoleWithSim::statusFillsEverySlot() {
    ConsoleWithSim console;
    QVERIFY(!console.sim().path().isEmpty());
    console.startUp();
    console.openPort();
    console.click("cmdGetStatus");
    QVERIFY(console.runUntilReportCompleted());
    QVERIFY2(console.emptySlots().isEmpty(), qPrintable(console.emptySlots()));
    QVERIFY(console.slot(0).isEmpty()); // every line the radio sends has a slot of its own
    const QString report = console.window().txtFromVO1446->toPlainText();
    QVERIFY(report.endsWith(QStringLiteral(".<")));
    QCOMPARE(report.count(QLatin1Char('<')), 36);
    QVERIFY(console.window().cmdGetStatus->isEnabled());
}

void TestConsoleWithSim::wholeReportAtEverySpeed_data() {
    QTest::addColumn<int>("baud");
    // At 4800 baud and below a status report takes longer than one receive burst may last, and
    // at 300 baud every character of a poll answer comes after a quiet time of its own.
    for (const int baud : {300, 1200, 4800, 9600, 115200})
        QTest::newRow(qPrintable(QStringLiteral("%1 baud").arg(baud))) << baud;
}

void TestConsoleWithSim::wholeReportAtEverySpeed() {
    QFETCH(int, baud);
    ConsoleWithSim console({QStringLiteral("--baud"), QString::number(baud)});
    SimRadio &radio = console.sim();
    console.startUp();
    // The box offers speeds up to 19200; the radio paces the line at its own in any case.
    QComboBox *speeds = console.window().cboBaudRate;
    speeds->setCurrentIndex(speeds->count() - 1);
    speeds->setCurrentText(QString::number(baud));
    console.openPort();
    QPlainTextEdit *box = console.window().txtFromVO1446;
    auto nextReportShown = [&] {
        box->clear();
        // A status report is 176 characters, ten bit times each.
        const int msecs = 176 * 10 * 1000 / baud + 3000;
        return console.runUntil([&] { return !box->toPlainText().isEmpty(); }, msecs);
    };
    auto asShown = [](const QByteArray &report) {
        return QString::fromLatin1(report).replace(QLatin1Char('\n'), QLatin1Char('<'));
    };

    console.click("cmdGetStatus");
    QVERIFY(nextReportShown());
    console.click("cmdSyncOnOff"); // the poll is long overdue: it goes out at once
    const QString status = box->toPlainText();
    QVERIFY(nextReportShown());
    const QString pollAnswer = box->toPlainText();
    const std::optional<QList<QByteArray>> sent = radio.reportsSent();
    QVERIFY(sent && sent->size() >= 2);
    QCOMPARE(status, asShown(sent->at(0)));
    QCOMPARE(status.count(QLatin1Char('<')), 36);
    QCOMPARE(pollAnswer, asShown(sent->at(1)));

    // With sync on, a status report that takes longer than the reply wait (six seconds at 300
    // baud) is not cut by a poll: the wait runs from the last character received.
    console.click("cmdGetStatus");
    QVERIFY(nextReportShown());
    const std::optional<QList<QByteArray>> now = radio.reportsSent();
    QVERIFY(now && now->size() >= 3);
    QCOMPARE(box->toPlainText(), asShown(now->at(2)));
    const double asked = radio.events("CMD").last().time;
    const double answered = radio.events("TX-END").at(2).time;
    for (const SimRadio::Event &poll : radio.events("POLL"))
        QVERIFY2(poll.time < asked || poll.time > answered,
                 qPrintable(QStringLiteral("a poll %1 s into the report").arg(poll.time - asked)));
}

void TestConsoleWithSim::syncPollsAndMeterLinesFlow() {
    ConsoleWithSim console;
    console.startUp();
    console.openPort();
    console.click("cmdSyncOnOff");
    // The first poll goes out just over 1.55 s after the port opens; its answer carries meter
    // lines, and the loop keeps polling on its own.
    QVERIFY(console.runUntil([&] { return !console.slot(31).isEmpty(); }, 5000));
    console.runFor(2000);
    QVERIFY(console.sim().count("POLL") >= 2);
    QCOMPARE(console.window().cmdSyncOnOff->text(), QStringLiteral("Stop Sync"));
    QVERIFY(console.state().SyncEnabled);
    QVERIFY(console.slot(17).startsWith(QLatin1Char('U')));
}

void TestConsoleWithSim::everyPresetIsAnswered_data() {
    QTest::addColumn<int>("preset");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QString>("answer");
    QTest::newRow("?!") << 0 << 33 << ".";
    QTest::newRow("F1000000!") << 1 << 18 << "F1000000";
    QTest::newRow("D!") << 2 << 23 << "D";
    QTest::newRow("H!") << 3 << 24 << "H";
    QTest::newRow("I!") << 4 << 25 << "I";
    QTest::newRow("S!") << 5 << 26 << "S";
    QTest::newRow("V!") << 6 << 27 << "V";
    QTest::newRow("A! F1234567!") << 7 << 18 << "F1234567";
}

void TestConsoleWithSim::everyPresetIsAnswered() {
    QFETCH(int, preset);
    QFETCH(int, slot);
    QFETCH(QString, answer);
    ConsoleWithSim console;
    console.startUp();
    console.openPort();
    console.window().cboCommand->setCurrentIndex(preset);
    console.window().cmbInitial->setEditText(QStringLiteral("."));
    console.click("cmdSendCmd");
    QVERIFY(console.runUntilReportCompleted());
    QVERIFY2(console.slot(slot).startsWith(answer), qPrintable(console.slot(slot)));
    QVERIFY(!console.window().txtCommandTime->text().isEmpty());
    QVERIFY(!console.window().txtResponseTime->text().isEmpty());
    const double elapsed = console.window().txtElapsedTime->text().toDouble();
    QVERIFY2(elapsed > 0.0 && elapsed < 3.0, qPrintable(console.window().txtElapsedTime->text()));
}

void TestConsoleWithSim::hangUpIsHandledCleanly() {
    ConsoleWithSim console({QStringLiteral("--hangup-after"), QStringLiteral("60")});
    console.startUp();
    console.openPort();
    console.click("cmdSyncOnOff");
    console.click("cmdGetStatus"); // the status report is longer than 60 bytes
    QVERIFY(console.runUntil(
        [&] { return console.window().cmdCOMStatus->text() == QLatin1String("Start Probe"); },
        5000));
    QVERIFY2(console.message().startsWith(QStringLiteral("Err 8017. ")),
             qPrintable(console.message()));
    QCOMPARE(console.window().cmdSyncOnOff->text(), QStringLiteral("Start Sync"));
    QVERIFY(!console.state().SyncEnabled);
    QVERIFY(console.window().cboCommPort->isEnabled());
    // What came before the hang-up was routed; nothing is lost from complete lines.
    QVERIFY(!console.slot(31).isEmpty());
}

QTEST_MAIN(TestConsoleWithSim)
#include "tst_console_with_sim.moc"
