// Input and comm events: counts, reads, the waits, and OnComm raised only from the event pump.

#include "mscomm_fixture.h"

void TstMSComm::inputCountsAndReads() {
    QCOMPARE(openComm(), QString());
    QByteArray highBytes;
    for (int c = 0x80; c < 0x100; ++c)
        highBytes.append(static_cast<char>(c));
    m_radio->write(QByteArray("hello\r\n") + highBytes);
    const int total = 7 + highBytes.size();
    // No event pump runs: the characters are still in the driver and must be counted there.
    for (int tries = 0; tries < 200 && m_comm->InBufferCount() < total; ++tries)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    QCOMPARE(m_comm->InBufferCount(), total);
    // One character per byte, whether the bytes are still in the driver or already taken in.
    QCOMPARE(m_comm->Input(), QStringLiteral("hello\r\n") + QString::fromLatin1(highBytes));
    QCOMPARE(m_comm->InBufferCount(), 0);
    QCOMPARE(m_comm->Input(), QString());
}

void TstMSComm::inputLenLimitsRead() {
    QCOMPARE(openComm(), QString());
    m_comm->setInputLen(2);
    m_radio->write("abcde");
    QTRY_COMPARE_WITH_TIMEOUT(m_comm->InBufferCount(), 5, 2000);
    QCOMPARE(m_comm->Input(), QStringLiteral("ab"));
    QCOMPARE(m_comm->InBufferCount(), 3);
    QCOMPARE(m_comm->Input(), QStringLiteral("cd"));
    m_comm->setInputLen(0);
    QCOMPARE(m_comm->Input(), QStringLiteral("e"));
}

void TstMSComm::discardDropsDriverAndControlBytes() {
    QCOMPARE(openComm(), QString());
    m_radio->write("abc");
    QVERIFY(m_comm->waitForInput(2.0));
    QTest::qWait(50); // the event pump lets the control take these in
    m_radio->write("def");
    QTRY_COMPARE_WITH_TIMEOUT(m_comm->InBufferCount(), 6, 2000);
    m_comm->setInBufferCount(0);
    QCOMPARE(m_comm->InBufferCount(), 0);
    QCOMPARE(m_comm->Input(), QString());
    m_radio->write("g");
    QVERIFY(m_comm->waitForInput(2.0));
    QCOMPARE(m_comm->Input(), QStringLiteral("g"));
}

void TstMSComm::waitForInputWakesOnArrival() {
    QCOMPARE(openComm(), QString());
    const int master = m_radio->masterFd();
    std::thread radio([master] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        (void)::write(master, "x", 1);
    });
    QElapsedTimer waited;
    waited.start();
    const bool arrived = m_comm->waitForInput(10.0);
    const qint64 elapsed = waited.elapsed();
    radio.join();
    QVERIFY(arrived);
    QVERIFY2(elapsed < 5000, qPrintable(QString::number(elapsed)));
    QCOMPARE(m_comm->Input(), QStringLiteral("x"));
}

void TstMSComm::waitForInputTimesOut() {
    QCOMPARE(openComm(), QString());
    QElapsedTimer waited;
    waited.start();
    QVERIFY(!m_comm->waitForInput(0.03));
    // Never short of the quiet time the receive handler asked for.
    QVERIFY2(waited.nsecsElapsed() >= 30'000'000,
             qPrintable(QString::number(waited.nsecsElapsed())));
    QVERIFY(m_comm->PortOpen());
}

void TstMSComm::onCommOnlyFromThePump() {
    QCOMPARE(openComm(), QString());
    QSignalSpy onComm(m_comm.get(), &MSComm::OnComm);
    m_radio->write("first");
    // The receive handler's quiet wait takes the characters without pumping: no OnComm meanwhile.
    QVERIFY(m_comm->waitForInput(2.0));
    QCOMPARE(m_comm->Input(), QStringLiteral("first"));
    QVERIFY(!m_comm->waitForInput(0.05));
    QCOMPARE(onComm.count(), 0);
    // The receive event that arrival posted finds nothing waiting and is dropped.
    QTest::qWait(100);
    QCOMPARE(onComm.count(), 0);

    int seen = 0;
    connect(m_comm.get(), &MSComm::OnComm, this, [&] {
        QCOMPARE(m_comm->CommEvent(), std::int16_t{2});
        seen += m_comm->Input().size();
    });
    m_radio->write("second");
    QTRY_COMPARE_WITH_TIMEOUT(seen, 6, 2000);
    QTest::qWait(100);
    QCOMPARE(onComm.count(), 1);
}

void TstMSComm::onCommAgainWhenThresholdReturns() {
    QCOMPARE(openComm(), QString());
    QSignalSpy onComm(m_comm.get(), &MSComm::OnComm);
    m_comm->setRThreshold(0); // as around the framing of a batch
    m_radio->write("late");
    QVERIFY(m_comm->waitForInput(2.0));
    QTest::qWait(100);
    QCOMPARE(onComm.count(), 0);
    m_comm->setRThreshold(1);
    QCOMPARE(onComm.count(), 0); // not from inside the property write
    QTRY_COMPARE_WITH_TIMEOUT(onComm.count(), 1, 2000);
    QCOMPARE(m_comm->CommEvent(), std::int16_t{2});
    QCOMPARE(m_comm->Input(), QStringLiteral("late"));
}

void TstMSComm::noOnCommWhileThresholdZero() {
    QCOMPARE(openComm(), QString());
    m_comm->setRThreshold(0);
    QSignalSpy onComm(m_comm.get(), &MSComm::OnComm);
    m_radio->write("a");
    QTest::qWait(150);
    m_radio->write("b");
    QTest::qWait(150);
    QCOMPARE(onComm.count(), 0);
    QCOMPARE(m_comm->InBufferCount(), 2);
}

void TstMSComm::raisedEventComesFromThePump() {
    QSignalSpy onComm(m_comm.get(), &MSComm::OnComm);
    m_comm->raiseCommEvent(1004);
    QCOMPARE(onComm.count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(onComm.count(), 1, 2000);
    QCOMPARE(m_comm->CommEvent(), std::int16_t{1004});
}
