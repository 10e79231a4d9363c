// A device that goes away while open: reported once, and what it had sent still readable.

#include "mscomm_fixture.h"

void TstMSComm::lostDeviceReportedOnce() {
    QCOMPARE(openComm(), QString());
    QSignalSpy lost(m_comm.get(), &MSComm::DeviceLost);
    QSignalSpy onComm(m_comm.get(), &MSComm::OnComm);
    m_radio->hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 2000);
    QVERIFY(!m_comm->PortOpen());
    QCOMPARE(lost.at(0).at(0).toInt(), 8017);
    const QString description = lost.at(0).at(1).toString();
    QVERIFY2(
        description.contains(QStringLiteral("COM3 (") + m_radio->slavePath() + QLatin1Char(')')) ||
            description.contains(QLatin1String("COM3 (/dev/")),
        qPrintable(description));
    QVERIFY2(description.contains(QLatin1String("lost")), qPrintable(description));
    // A lost device must not keep the program busy: the pump idles and nothing more is reported.
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(300);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    QCOMPARE(lost.count(), 1);
    QVERIFY2(cpuUsed < 0.15, qPrintable(QString::number(cpuUsed)));
    QCOMPARE(onComm.count(), 0);
    // Output tells of the loss until the program closes the port.
    const RunTimeError error = raised([&] { m_comm->setOutput(QStringLiteral("U")); });
    QCOMPARE(error.number(), 8017);
    QCOMPARE(error.description(), description);
    m_comm->setPortOpen(false);
    QCOMPARE(raised([&] { m_comm->setOutput(QStringLiteral("U")); }).number(), 8012);
}

void TstMSComm::lostDuringWait() {
    QCOMPARE(openComm(), QString());
    QSignalSpy lost(m_comm.get(), &MSComm::DeviceLost);
    m_radio->hangUp();
    QElapsedTimer waited;
    waited.start();
    QVERIFY(!m_comm->waitForInput(5.0));
    QVERIFY2(waited.elapsed() < 2500, qPrintable(QString::number(waited.elapsed())));
    QVERIFY(!m_comm->PortOpen());
    QCOMPARE(lost.count(), 0); // reported from the pump, not from inside the wait
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 2000);
    QTest::qWait(100);
    QCOMPARE(lost.count(), 1);
}

void TstMSComm::lostWhileSending() {
    QCOMPARE(openComm(), QString());
    QSignalSpy lost(m_comm.get(), &MSComm::DeviceLost);
    m_radio->hangUp();
    const RunTimeError error = raised([&] { m_comm->setOutput(QStringLiteral("U")); });
    QCOMPARE(error.number(), 8017);
    QVERIFY2(error.description().contains(QLatin1String("COM3 (/dev/")),
             qPrintable(error.description()));
    QVERIFY(!m_comm->PortOpen());
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 2000);
    QTest::qWait(100);
    QCOMPARE(lost.count(), 1);
}

void TstMSComm::inputTakenBeforeLossStaysReadable() {
    QCOMPARE(openComm(), QString());
    m_comm->setRThreshold(0); // as while a batch is framed
    QSignalSpy lost(m_comm.get(), &MSComm::DeviceLost);
    m_radio->write("F1425");
    QTRY_COMPARE_WITH_TIMEOUT(m_comm->InBufferCount(), 5, 2000);
    QTest::qWait(20);
    m_radio->hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 2000);
    QVERIFY(!m_comm->PortOpen());
    QCOMPARE(m_comm->InBufferCount(), 5);
    m_comm->setInputLen(2);
    QCOMPARE(m_comm->Input(), QStringLiteral("F1"));
    m_comm->setInputLen(0);
    QCOMPARE(m_comm->Input(), QStringLiteral("425"));
    QCOMPARE(m_comm->InBufferCount(), 0);
}

void TstMSComm::lateWakeUpIsNotALoss() {
    // The receive handler takes the characters before the pump gets to the control's own wake-up
    // for them; that wake-up then reads nothing, which must not count as a lost device.
    QCOMPARE(openComm(), QString());
    QSignalSpy lost(m_comm.get(), &MSComm::DeviceLost);
    QString taken;
    for (int round = 0; round < 5; ++round) {
        m_radio->write("abc");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        QTimer::singleShot(0, m_comm.get(), [&] { taken += m_comm->Input(); });
        QTest::qWait(30);
    }
    QCOMPARE(taken, QStringLiteral("abcabcabcabcabc"));
    QVERIFY(m_comm->PortOpen());
    QCOMPARE(lost.count(), 0);
    // Receive events still come.
    QSignalSpy onComm(m_comm.get(), &MSComm::OnComm);
    m_radio->write("d");
    QTRY_VERIFY_WITH_TIMEOUT(onComm.count() >= 1, 2000);
}
