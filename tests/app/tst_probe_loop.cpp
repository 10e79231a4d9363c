// The probe loop on a real pseudo-terminal: start-up fills the window, and a batch left waiting
// when the port closes is framed at the next open, not while the port is closed.

#include "support/console.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

class TestProbeLoop : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void startUpFillsTheWindow();
    void batchWaitingAcrossClosePortIsFramedLater();
};

void TestProbeLoop::startUpFillsTheWindow() {
    Console console(QStringLiteral("2=%1 5=/nonexistent/tty"));
    console.startUp();
    frmKorvane &w = console.window();
    QCOMPARE(w.windowTitle(), QStringLiteral("Korvane V0.40 8-18-11:2116"));
    QCOMPARE(w.cboBaudRate->currentText(), QStringLiteral("9600"));
    QCOMPARE(w.cboCommand->currentText(), QStringLiteral("?!"));
    QCOMPARE(w.cboCommPort->count(), 1);
    QCOMPARE(w.cboCommPort->currentText(), QStringLiteral("2"));
    QCOMPARE(console.message(), QStringLiteral("Com 2 found"));
    QCOMPARE(w.cmdCOMStatus->text(), QStringLiteral("Start Probe"));
    QCOMPARE(w.cmdSyncOnOff->text(), QStringLiteral("Start Sync"));
}

void TestProbeLoop::batchWaitingAcrossClosePortIsFramedLater() {
    Console console;
    console.startUp();
    console.openPort();
    console.state().RxBuffer = QStringLiteral("A1\n");
    console.state().ResponseReady = true;
    console.click("cmdCOMStatus"); // closed before the loop's next pass
    console.runFor(20);
    QVERIFY(!console.app().loop.probing());
    QCOMPARE(console.slot(10), QString()); // not framed while closed
    console.openPort();
    console.runFor(20);
    QCOMPARE(console.slot(10), QStringLiteral("A1"));
}

QTEST_MAIN(TestProbeLoop)
#include "tst_probe_loop.moc"
