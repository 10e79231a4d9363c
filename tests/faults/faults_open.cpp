// The fault matrix, a device that cannot be opened: missing, not permitted, or held by a second
// control or another program; and the open port that no second program can take.

#include "faults_test.h"

#include "base/run_time_error.h"
#include "device/mscomm.h"
#include "handlers/protocol/protocol_timing.h"
#include "support/console.h"
#include "support/fake_clock.h"
#include "support/fault_predicates.h"
#include "support/permissions.h"
#include "support/port_holder.h"
#include "support/sim_radio.h"
#include "support/slot_recorder.h"

#include <QComboBox>
#include <QPushButton>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

using namespace korvane;
using namespace korvane::test;

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
    RunningClock clock(40000.0);
    ClockInstaller install(&clock);
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
        second = std::make_unique<MSComm>(portTableWith(1, radio.path()));
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
    // With sync on the loop keeps trying to poll; each try says so and keeps the reason.
    console.click("cmdSyncOnOff");
    for (int retry = 0; retry < 2; ++retry) {
        clock.setBack(-kPollInterval);
        console.runFor(30);
        QVERIFY2(console.message().startsWith(messageStart) && console.message().contains(says) &&
                     console.message().contains(QStringLiteral("no poll sent")),
                 qPrintable(console.message()));
    }
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
    MSComm second(portTableWith(1, radio.path()));
    second.setCommPort(1);
    try {
        second.setPortOpen(true);
        QFAIL("a second control opened the port");
    } catch (const RunTimeError &e) {
        QCOMPARE(e.number(), err::kDeviceInUse.number);
    }
    OtherProgram other(radio.path());
    QVERIFY2(other.answer().startsWith(QStringLiteral("Err 8010. The device is in use: ")),
             qPrintable(other.answer()));
    QVERIFY(console.app().MSComm1.PortOpen());
}
