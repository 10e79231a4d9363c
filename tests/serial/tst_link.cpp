// Opening and closing the port from the window, the shutdown, and a device that goes away, all
// on a real pseudo-terminal.

#include "support/console.h"
#include "window/simple_combo.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>
#include <atomic>
#include <thread>

using namespace korvane;
using namespace korvane::test;

class TestLink : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void openShowsThePortAndLocksTheBoxes();
    void openFailures_data();
    void openFailures();
    void closeTurnsSyncOffFirst();
    void closeWaitsForOutputAndStaysResponsive();
    void closeGivesUpOnOutputThatCannotDrain();
    void nestedCloseEndsConsistent();
    void shutdownDropsInputAndEnds();
    void shutdownWithPortClosedWritesNothing();
    void exitMenuShutsDown();
    void baudChoiceWhileClosedIsApplied();
    void lostDeviceShowsThePortClosed();
};

void TestLink::openShowsThePortAndLocksTheBoxes() {
    Console console(QStringLiteral("3=%1"));
    console.startUp();
    frmKorvane &w = console.window();
    console.click("cmdCOMStatus");
    QCOMPARE(console.message(), QStringLiteral("Opening COM Port 3"));
    QCOMPARE(w.cmdCOMStatus->text(), QStringLiteral("Stop Probe"));
    QVERIFY(!w.cboBaudRate->isEnabled());
    QVERIFY(!w.cboCommPort->isEnabled());
    QVERIFY(console.app().MSComm1.PortOpen());
    QCOMPARE(console.app().MSComm1.Settings(), QStringLiteral("9600,O,7,1"));
    QCOMPARE(console.app().link.settingsText(), QStringLiteral("9600,O,7,1"));
}

void TestLink::openFailures_data() {
    QTest::addColumn<QString>("ports");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<QString>("messageStart");
    QTest::newRow("port text not a number") << "1=%1"
                                            << "abc"
                                            << "Err 13. ";
    QTest::newRow("port number 0") << "1=%1"
                                   << "0"
                                   << "Err 380. ";
    QTest::newRow("port number below 0") << "1=%1"
                                         << "-3"
                                         << "Err 380. ";
    QTest::newRow("no device for the number") << "1=%1"
                                              << "9"
                                              << "Err 8002. ";
    QTest::newRow("device missing") << "1=%1 4=/nonexistent/tty"
                                    << "4"
                                    << "Err 8002. ";
}

void TestLink::openFailures() {
    QFETCH(QString, ports);
    QFETCH(QString, portText);
    QFETCH(QString, messageStart);
    Console console(ports);
    console.startUp();
    frmKorvane &w = console.window();
    w.cboCommPort->setEditText(portText);
    console.click("cmdCOMStatus");
    QVERIFY2(console.message().startsWith(messageStart), qPrintable(console.message()));
    // Nothing is rolled back: the next click closes.
    QCOMPARE(w.cmdCOMStatus->text(), QStringLiteral("Stop Probe"));
    QVERIFY(!w.cboCommPort->isEnabled());
    QVERIFY(!console.app().MSComm1.PortOpen());
    console.click("cmdCOMStatus");
    QCOMPARE(w.cmdCOMStatus->text(), QStringLiteral("Start Probe"));
    QVERIFY(w.cboCommPort->isEnabled());
    QVERIFY(w.cboBaudRate->isEnabled());
}

void TestLink::closeTurnsSyncOffFirst() {
    Console console;
    console.startUp();
    console.openPort();
    console.click("cmdSyncOnOff");
    QString syncWhenClosingShown;
    QObject::connect(console.window().txtErrMsg, &QLineEdit::textChanged, [&](const QString &t) {
        if (t.startsWith(QStringLiteral("Closing COM Port ")))
            syncWhenClosingShown = console.window().cmdSyncOnOff->text();
    });
    console.click("cmdCOMStatus");
    QCOMPARE(syncWhenClosingShown, QStringLiteral("Start Sync"));
    QCOMPARE(console.message(), QStringLiteral("Closing COM Port 1"));
    QVERIFY(!console.state().SyncEnabled);
    QVERIFY(!console.app().MSComm1.PortOpen());
}

void TestLink::closeWaitsForOutputAndStaysResponsive() {
    Console console;
    console.startUp();
    console.openPort();
    // More than the line's buffers hold: the close must wait for the radio end to read it.
    const QString big = QString(20000, QLatin1Char('F')) + QLatin1Char('!');
    console.window().cboCommand->setEditText(big);
    console.click("cmdSendCmd");
    int pumped = 0;
    QByteArray received;
    // Read the radio's end only while the close is waiting, from inside its event pump.
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
        ++pumped;
        received += console.radio().read(1, 1);
    });
    reader.start(1);
    console.click("cmdCOMStatus");
    reader.stop();
    received += console.radio().read(100, 20001 - int(received.size()));
    QVERIFY(pumped > 0);
    QCOMPARE(received.size(), 20001);
    QCOMPARE(console.window().cmdCOMStatus->text(), QStringLiteral("Start Probe"));
}

void TestLink::nestedCloseEndsConsistent() {
    Console console;
    console.startUp();
    console.openPort();
    console.window().cboCommand->setEditText(QString(30000, QLatin1Char('D')));
    console.click("cmdSendCmd");
    // The radio reads on its own, slowly, so the close has to wait.
    std::atomic<bool> stop{false};
    std::thread radio([&] {
        while (!stop) {
            console.radio().read(1, 4096);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    bool clickedAgain = false;
    QTimer::singleShot(1, [&] {
        clickedAgain = true;
        console.click("cmdCOMStatus"); // a second "Stop Probe" during the drain wait
    });
    console.click("cmdCOMStatus");
    stop = true;
    radio.join();
    QVERIFY(clickedAgain);
    QCOMPARE(console.window().cmdCOMStatus->text(), QStringLiteral("Start Probe"));
    QVERIFY(!console.message().startsWith(QStringLiteral("Err")));
    QVERIFY(!console.app().MSComm1.PortOpen());
}

void TestLink::shutdownDropsInputAndEnds() {
    Console console;
    console.startUp();
    console.openPort();
    console.app().MSComm1.setRThreshold(0); // keep the characters waiting
    console.radio().write("J1\nJ2\n");
    QVERIFY(QTest::qWaitFor([&] { return console.app().MSComm1.InBufferCount() == 6; }));
    console.window().close();
    QVERIFY(console.ended());
    QVERIFY(!console.app().MSComm1.PortOpen());
    QCOMPARE(console.slot(31), QString());
}

void TestLink::shutdownWithPortClosedWritesNothing() {
    Console console;
    console.startUp();
    console.window().close();
    QVERIFY(console.ended());
    QCOMPARE(console.radio().read(30), QByteArray());
}

void TestLink::exitMenuShutsDown() {
    Console console;
    console.startUp();
    console.openPort();
    console.window().Menu2->trigger();
    QVERIFY(console.ended());
    QVERIFY(!console.app().MSComm1.PortOpen());
}

void TestLink::baudChoiceWhileClosedIsApplied() {
    Console console(QStringLiteral("3=%1"));
    console.startUp();
    QComboBox *baud = console.window().cboBaudRate;
    baud->setCurrentIndex(baud->findText(QStringLiteral("300")));
    Q_EMIT baud->activated(baud->currentIndex());
    QCOMPARE(console.message(), QStringLiteral("Changed to Com Port 3"));
    QCOMPARE(console.app().MSComm1.Settings(), QStringLiteral("300,O,7,1"));
    QCOMPARE(int(console.app().MSComm1.CommPort()), 3);
}

void TestLink::lostDeviceShowsThePortClosed() {
    Console console;
    console.startUp();
    console.openPort();
    console.click("cmdSyncOnOff");
    console.radio().hangUp();
    QVERIFY(console.runUntil(
        [&] { return console.window().cmdCOMStatus->text() == QStringLiteral("Start Probe"); }));
    QVERIFY2(console.message().startsWith(QStringLiteral("Err 8017. ")),
             qPrintable(console.message()));
    QCOMPARE(console.window().cmdSyncOnOff->text(), QStringLiteral("Start Sync"));
    QVERIFY(console.window().cboCommPort->isEnabled());
    QVERIFY(!console.app().MSComm1.PortOpen());
    const QString shown = console.message();
    console.runFor(200); // reported once, and the loop does not spin on the dead device
    QCOMPARE(console.message(), shown);
}

void TestLink::closeGivesUpOnOutputThatCannotDrain() {
    // The radio reads nothing: the pseudo-terminal takes some kilobytes and the rest stays
    // queued.
    Console console;
    console.startUp();
    console.openPort();
    // The kernel makes room in steps of its own: fill until what waits stays put.
    for (int sent = 0; sent < 1 << 20 && console.app().MSComm1.OutBufferCount() < 1000;
         sent += 1000) {
        console.app().MSComm1.setOutput(QString(1000, QLatin1Char('A')));
        console.runFor(20);
    }
    const int queued = console.app().MSComm1.OutBufferCount();
    QVERIFY(queued > 0);
    const double bound = 2.0 + queued * 10.0 / 9600.0;
    QElapsedTimer closing;
    closing.start();
    console.click("cmdCOMStatus");
    const double took = static_cast<double>(closing.elapsed()) / 1e3;
    QVERIFY2(took >= bound - 0.05 && took < bound + 1.0, qPrintable(QString::number(took)));
    QCOMPARE(console.window().cmdCOMStatus->text(), QStringLiteral("Start Probe"));
    QVERIFY(!console.app().MSComm1.PortOpen());
    QVERIFY2(console.message().startsWith(QStringLiteral("Closing COM Port 1: %1 characters could "
                                                         "not be sent")
                                              .arg(queued)),
             qPrintable(console.message()));
}

QTEST_MAIN(TestLink)
#include "tst_link.moc"
