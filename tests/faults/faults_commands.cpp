// The fault matrix, commands: a command given while the port is closed, never opened or left
// closed by a failed open; a command longer than a command may be.

#include "faults_test.h"

#include "handlers/protocol/commands.h"
#include "support/console.h"
#include "support/fault_predicates.h"
#include "support/permissions.h"
#include "support/sim_radio.h"
#include "support/slot_recorder.h"
#include "text/command_text.h"
#include "text/token_keys.h"

#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

using namespace korvane;
using namespace korvane::test;

void TestFaults::commandOnAClosedPort_data() {
    QTest::addColumn<bool>("failedOpenFirst");
    QTest::newRow("never opened") << false;
    QTest::newRow("after a failed open, sync on") << true;
}

void TestFaults::commandOnAClosedPort() {
    QFETCH(bool, failedOpenFirst);
    SimRadio radio;
    const QByteArray device = radio.path().toLocal8Bit();
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    if (failedOpenFirst) {
        QCOMPARE(::chmod(device.constData(), 0), 0);
        {
            WithoutPermissionOverride asAnyone;
            console.click("cmdCOMStatus");
        }
        ::chmod(device.constData(), 0620);
        QVERIFY2(console.message().startsWith(QStringLiteral("Err 8016. ")),
                 qPrintable(console.message()));
        console.runFor(50);
    }
    console.click("cmdSyncOnOff");
    console.window().cboCommand->setEditText(QStringLiteral("V!"));
    console.click("cmdSendCmd");

    // The port opened and the command went out; sync was not touched on the way.
    QVERIFY(console.app().MSComm1.PortOpen());
    QCOMPARE(console.window().cmdSyncOnOff->text(), kStopSync);
    QVERIFY(console.runUntil([&] { return console.app().loop.probing(); }, 1000));
    // Probing has started; the reply is still awaited with the quiet time of a reply.
    QCOMPARE(console.state().QuietTime, kReplyQuietTime);
    QVERIFY(console.runUntil([&] { return recorder.count(33) == 1; }, 3000));
    QCOMPARE(recorder.last(27), QStringLiteral("V0"));
    QCOMPARE(radio.events("CMD").size(), 1);
    // Once the answer is in, polling goes on under "Stop Sync".
    QVERIFY(console.runUntil([&] { return radio.count("POLL") > 0; }, 3000));
    QCOMPARE(console.window().cmdSyncOnOff->text(), kStopSync);
    QCOMPARE(untruths(console), QString());
    QCOMPARE(errors(recorder).size(), failedOpenFirst ? 1 : 0);
}

void TestFaults::overlongCommand_data() {
    QTest::addColumn<int>("length");
    QTest::newRow("as long as a command may be") << int(kLongestCommand);
    QTest::newRow("one character more") << int(kLongestCommand) + 1;
    QTest::newRow("a page pasted") << 100000;
}

void TestFaults::overlongCommand() {
    QFETCH(int, length);
    SimRadio radio;
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    // Pasted into the empty box, as an operator would: the box keeps all of it.
    QLineEdit *box = console.window().cboCommand->lineEdit();
    box->clear();
    const QString command = QString(length - 1, QLatin1Char('A')) + QLatin1Char('!');
    QGuiApplication::clipboard()->setText(command);
    box->setFocus();
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(box->text().size(), qsizetype(length));
    console.click("cmdSendCmd");

    const bool sent = length <= kLongestCommand;
    if (sent) {
        // It went out whole: the radio counts every byte of it before refusing it.
        QVERIFY(console.runUntil([&] { return recorder.count(slotForLine(u"E")) == 1; }, 10000));
        QCOMPARE(recorder.last(slotForLine(u"E")),
                 QStringLiteral("ECOMMAND TOO LONG %1 BYTES").arg(length - 1));
    } else {
        // Refused whole with its reason; the port was not even opened for it.
        QVERIFY2(console.message().startsWith(
                     QStringLiteral("Err 8024. Command too long: %1 ").arg(length)),
                 qPrintable(console.message().left(200)));
        QVERIFY(!console.app().MSComm1.PortOpen());
        console.runFor(100);
        QCOMPARE(radio.count("RX"), 0);
    }
    QCOMPARE(box->text(), command); // nothing typed is lost either way
    QCOMPARE(untruths(console), QString());
}
