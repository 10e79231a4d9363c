// The console's main job end to end against the simulated radio: open, sync, status request,
// every preset, the report landing in the slots and the report box, and a radio that hangs up.

#include "support/console.h"
#include "support/sim_radio.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

namespace {
bool reportCompleted(Console &c, int msecs = 5000) {
    c.window().StatusToken[33]->clear();
    return c.runUntil([&] { return c.slot(33) == QLatin1String("."); }, msecs);
}
} // namespace

class TestConsoleWithSim : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void statusFillsEverySlot();
    void syncPollsAndMeterLinesFlow();
    void everyPresetIsAnswered_data();
    void everyPresetIsAnswered();
    void hangUpIsHandledCleanly();
};

void TestConsoleWithSim::initTestCase() {
    if (SimRadio::program().isEmpty())
        QSKIP("KORVANE_SIM does not name the simulated radio");
}

void TestConsoleWithSim::statusFillsEverySlot() {
    SimRadio radio;
    QVERIFY(!radio.path().isEmpty());
    Console console(radio.ports());
    console.startUp();
    console.openPort();
    console.click("cmdGetStatus");
    QVERIFY(reportCompleted(console));
    for (int slot = 1; slot < 36; ++slot)
        QVERIFY2(!console.slot(slot).isEmpty(), qPrintable(QString::number(slot)));
    QVERIFY(console.slot(0).isEmpty()); // every line the radio sends has a slot of its own
    const QString report = console.window().txtFromVO1446->toPlainText();
    QVERIFY(report.endsWith(QStringLiteral(".<")));
    QCOMPARE(report.count(QLatin1Char('<')), 36);
    QVERIFY(console.window().cmdGetStatus->isEnabled());
}

void TestConsoleWithSim::syncPollsAndMeterLinesFlow() {
    SimRadio radio;
    Console console(radio.ports());
    console.startUp();
    console.openPort();
    console.click("cmdSyncOnOff");
    // The first poll goes out just over 1.55 s after the port opens; its answer carries meter
    // lines, and the loop keeps polling on its own.
    QVERIFY(console.runUntil([&] { return !console.slot(31).isEmpty(); }, 5000));
    console.runFor(2000);
    QVERIFY(radio.count("POLL") >= 2);
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
    SimRadio radio;
    Console console(radio.ports());
    console.startUp();
    console.openPort();
    console.window().cboCommand->setCurrentIndex(preset);
    console.window().cmbInitial->setEditText(QStringLiteral("."));
    console.click("cmdSendCmd");
    QVERIFY(reportCompleted(console));
    QVERIFY2(console.slot(slot).startsWith(answer), qPrintable(console.slot(slot)));
    QVERIFY(!console.window().txtCommandTime->text().isEmpty());
    QVERIFY(!console.window().txtResponseTime->text().isEmpty());
    const double elapsed = console.window().txtElapsedTime->text().toDouble();
    QVERIFY2(elapsed > 0.0 && elapsed < 3.0, qPrintable(console.window().txtElapsedTime->text()));
}

void TestConsoleWithSim::hangUpIsHandledCleanly() {
    SimRadio radio({QStringLiteral("--hangup-after"), QStringLiteral("60")});
    Console console(radio.ports());
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
