// The serial control on real pseudo-terminals: the console opens the slave end as COM3 through the
// port table, and the test plays the radio on the master end.

#include "device/mscomm.h"
#include "support/pty_pair.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <ctime>
#include <memory>
#include <thread>
#include <unistd.h>

using korvane::MSComm;
using korvane::RunTimeError;
using korvane::test::PortsEnvironment;
using korvane::test::PtyPair;

namespace {

constexpr std::int16_t kPort = 3;

// Runs `step` and returns the error it raised (number 0 when it raised none).
template <typename Step> RunTimeError raised(Step step) {
    try {
        step();
    } catch (const RunTimeError &error) {
        return error;
    }
    return RunTimeError(0, QString());
}

double processCpuSeconds() {
    timespec used{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
    return static_cast<double>(used.tv_sec) + static_cast<double>(used.tv_nsec) / 1e9;
}

} // namespace

class TstMSComm : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void openAndClose();
    void openFailures_data();
    void openFailures();
    void permissionDenied();
    void inUseByAnother();
    void propertiesGuarded();
    void closedPortAnswers();
    void outputGoesOutAtOnce();
    void outputRefusesEightBitText();
    void outputBacklogCountedAndDrained();
    void inputCountsAndReads();
    void inputLenLimitsRead();
    void discardDropsDriverAndControlBytes();
    void waitForInputWakesOnArrival();
    void waitForInputTimesOut();
    void onCommOnlyFromThePump();
    void onCommAgainWhenThresholdReturns();
    void noOnCommWhileThresholdZero();
    void raisedEventComesFromThePump();
    void lostDeviceReportedOnce();
    void lostDuringWait();
    void lostWhileSending();
    void inputTakenBeforeLossStaysReadable();
    void lateWakeUpIsNotALoss();
    void openStartsEmpty();

private:
    std::unique_ptr<PtyPair> m_radio;
    std::unique_ptr<PortsEnvironment> m_ports;
    std::unique_ptr<MSComm> m_comm;

    // Opens COM3 as the console does; says why when it could not.
    QString openComm() {
        const RunTimeError error = raised([&] {
            m_comm->setCommPort(kPort);
            m_comm->setSettings(QStringLiteral("9600,O,7,1"));
            m_comm->setRThreshold(1);
            m_comm->setPortOpen(true);
        });
        return error.number() == 0 ? QString() : error.message();
    }
};

void TstMSComm::init() {
    m_radio = std::make_unique<PtyPair>();
    QVERIFY(m_radio->isValid());
    m_ports = std::make_unique<PortsEnvironment>(QStringLiteral("3=") + m_radio->slavePath());
    m_comm = std::make_unique<MSComm>();
}

void TstMSComm::cleanup() {
    m_comm.reset();
    m_ports.reset();
    m_radio.reset();
}

void TstMSComm::openAndClose() {
    QCOMPARE(openComm(), QString());
    QVERIFY(m_comm->PortOpen());
    QCOMPARE(m_comm->deviceName(), m_radio->slavePath());
    m_comm->setPortOpen(false);
    QVERIFY(!m_comm->PortOpen());
    m_comm->setPortOpen(false); // closing a closed port does nothing
    QVERIFY(!m_comm->PortOpen());
    // The device is free again: the next open works.
    m_comm->setPortOpen(true);
    QVERIFY(m_comm->PortOpen());
    m_comm->setOutput(QStringLiteral("U"));
    QCOMPARE(m_radio->read(1000), QByteArray("U"));
}

void TstMSComm::openFailures_data() {
    QTest::addColumn<QString>("table"); // "%1" stands for the pseudo-terminal
    QTest::addColumn<QString>("settings");
    QTest::addColumn<int>("number");
    QTest::addColumn<QStringList>("saying");
    QTest::newRow("no table entry") << "4=%1"
                                    << "9600,O,7,1" << 8002 << QStringList{"COM3", "no device"};
    QTest::newRow("no such device")
        << "3=/dev/korvane-no-such-tty"
        << "9600,O,7,1" << 8002 << QStringList{"COM3 (/dev/korvane-no-such-tty)", "exist"};
    QTest::newRow("not a serial device")
        << "3=/dev/null"
        << "9600,O,7,1" << 8019 << QStringList{"COM3 (/dev/null)", "serial"};
    QTest::newRow("mark parity") << "3=%1"
                                 << "9600,M,7,1" << 8015 << QStringList{"COM3 (%1)", "mark parity"};
    QTest::newRow("space parity") << "3=%1"
                                  << "9600,S,7,1" << 8015
                                  << QStringList{"COM3 (%1)", "space parity"};
    QTest::newRow("4 data bits") << "3=%1"
                                 << "9600,N,4,1" << 8015 << QStringList{"COM3 (%1)", "4 data bits"};
    QTest::newRow("1.5 stop bits")
        << "3=%1"
        << "9600,N,8,1.5" << 8015 << QStringList{"COM3 (%1)", "1.5 stop bits"};
}

void TstMSComm::openFailures() {
    QFETCH(QString, table);
    QFETCH(QString, settings);
    QFETCH(int, number);
    QFETCH(QStringList, saying);
    const QString pty = m_radio->slavePath();
    PortsEnvironment ports(QString(table).replace(QLatin1String("%1"), pty));
    m_comm->setCommPort(kPort);
    m_comm->setSettings(settings);
    const RunTimeError error = raised([&] { m_comm->setPortOpen(true); });
    QCOMPARE(error.number(), number);
    for (const QString &words : saying) {
        const QString expected = QString(words).replace(QLatin1String("%1"), pty);
        QVERIFY2(error.description().contains(expected), qPrintable(error.description()));
    }
    QVERIFY(!m_comm->PortOpen());
    QCOMPARE(raised([&] { m_comm->setOutput(QStringLiteral("U")); }).number(), 8012);
}

void TstMSComm::permissionDenied() {
    // Even root may not open a read-only kernel attribute for writing; anyone else is refused a
    // file without rights.
    QTemporaryDir dir;
    QString path = QStringLiteral("/sys/kernel/uevent_seqnum");
    if (::geteuid() != 0) {
        path = dir.filePath(QStringLiteral("ttyLocked"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(file.setPermissions(QFileDevice::Permissions()));
    } else if (::access(path.toLocal8Bit().constData(), F_OK) != 0) {
        QSKIP("no read-only kernel attribute to try");
    }
    PortsEnvironment ports(QStringLiteral("3=") + path);
    m_comm->setCommPort(kPort);
    const RunTimeError error = raised([&] { m_comm->setPortOpen(true); });
    QCOMPARE(error.number(), 8016);
    QVERIFY2(error.description().contains(QStringLiteral("COM3 (") + path + QLatin1Char(')')),
             qPrintable(error.description()));
    QVERIFY2(error.description().contains(QLatin1String("dialout group")),
             qPrintable(error.description()));
    QVERIFY(!m_comm->PortOpen());
}

void TstMSComm::inUseByAnother() {
    QCOMPARE(openComm(), QString());
    MSComm other;
    other.setCommPort(kPort);
    const RunTimeError error = raised([&] { other.setPortOpen(true); });
    QCOMPARE(error.number(), 8010);
    QVERIFY2(error.description().contains(QStringLiteral("COM3 (") + m_radio->slavePath()),
             qPrintable(error.description()));
    QVERIFY(!other.PortOpen());
    QVERIFY(m_comm->PortOpen());
}

void TstMSComm::propertiesGuarded() {
    QCOMPARE(raised([&] { m_comm->setCommPort(0); }).number(), 380);
    QCOMPARE(raised([&] { m_comm->setSettings(QStringLiteral("9600,X,7,1")); }).number(), 380);
    // A refused text leaves the settings as they were.
    m_comm->setSettings(QStringLiteral("4800,E,7,2"));
    (void)raised([&] { m_comm->setSettings(QStringLiteral("fast")); });
    QCOMPARE(m_comm->Settings(), QStringLiteral("4800,E,7,2"));
    QCOMPARE(raised([&] { m_comm->setInBufferCount(5); }).number(), 380);

    QCOMPARE(openComm(), QString());
    QCOMPARE(raised([&] { m_comm->setCommPort(4); }).number(), 8005);
    QCOMPARE(m_comm->CommPort(), kPort);
    // Settings change on the open line; what the system cannot give is refused and not kept.
    m_comm->setSettings(QStringLiteral("19200,N,8,1"));
    QCOMPARE(raised([&] { m_comm->setSettings(QStringLiteral("9600,M,7,1")); }).number(), 8015);
    QCOMPARE(m_comm->Settings(), QStringLiteral("19200,N,8,1"));
    QVERIFY(m_comm->PortOpen());
}

void TstMSComm::closedPortAnswers() {
    m_comm->setCommPort(kPort);
    m_radio->write("waiting");
    QCOMPARE(m_comm->InBufferCount(), 0);
    QCOMPARE(m_comm->OutBufferCount(), 0);
    QCOMPARE(m_comm->Input(), QString());
    m_comm->setInBufferCount(0);
    m_comm->setPortOpen(false);
    QVERIFY(!m_comm->PortOpen());
    QVERIFY(!m_comm->waitForInput(0.5)); // at once: a closed port has nothing to wait for
    m_comm->waitForOutput(0.5);
    const RunTimeError error = raised([&] { m_comm->setOutput(QStringLiteral("U")); });
    QCOMPARE(error.number(), 8012);
    QVERIFY2(error.description().contains(QLatin1String("COM3")), qPrintable(error.description()));
}

void TstMSComm::outputGoesOutAtOnce() {
    QCOMPARE(openComm(), QString());
    QByteArray everyCharacter;
    for (int c = 0; c < 128; ++c)
        everyCharacter.append(static_cast<char>(c));
    // No event pump runs between the writes and the reads: the bytes must already be with the
    // operating system.
    m_comm->setOutput(QStringLiteral("U"));
    m_comm->setOutput(QStringLiteral("?\n"));
    m_comm->setOutput(QString::fromLatin1(everyCharacter));
    m_comm->setOutput(QString());
    const QByteArray expected = QByteArray("U?\n") + everyCharacter;
    QCOMPARE(m_radio->read(2000, expected.size()), expected);
    m_comm->waitForOutput(1.0);
    QCOMPARE(m_comm->OutBufferCount(), 0);
}

void TstMSComm::outputRefusesEightBitText() {
    QCOMPARE(openComm(), QString());
    const RunTimeError error = raised([&] { m_comm->setOutput(QStringLiteral("AB\u00e9C")); });
    QCOMPARE(error.number(), 8018);
    QVERIFY2(error.description().contains(QLatin1String("position 3")),
             qPrintable(error.description()));
    QCOMPARE(raised([&] { m_comm->setOutput(QStringLiteral("\u0100")); }).number(), 8018);
    QCOMPARE(raised([&] { m_comm->setOutput(QStringLiteral("x\u20ac")); }).number(), 8018);
    QCOMPARE(m_comm->OutBufferCount(), 0);
    // Nothing of the refused texts went out: the next text arrives alone.
    m_comm->setOutput(QStringLiteral("U"));
    QCOMPARE(m_radio->read(300, 100), QByteArray("U"));
}

void TstMSComm::outputBacklogCountedAndDrained() {
    // The radio does not read: more than the driver holds must wait in the control, be counted,
    // and go out in order once the radio reads again, without an event pump.
    QCOMPARE(openComm(), QString());
    QByteArray text;
    for (int i = 0; text.size() < 256 * 1024; ++i)
        text += QByteArray::number(i) + '\n';
    m_comm->setOutput(QString::fromLatin1(text));
    QVERIFY(m_comm->OutBufferCount() > 0);
    m_comm->waitForOutput(0.02); // bounded: returns with the backlog still there
    QVERIFY(m_comm->OutBufferCount() > 0);

    QByteArray received;
    PtyPair *radio = m_radio.get();
    std::thread reader([&received, radio, size = text.size()] {
        received = radio->read(20000, static_cast<int>(size));
    });
    m_comm->waitForOutput(20.0);
    const int left = m_comm->OutBufferCount();
    reader.join();
    QCOMPARE(left, 0);
    QCOMPARE(received.size(), text.size());
    QVERIFY(received == text);
}

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

void TstMSComm::openStartsEmpty() {
    // Bytes that sat on the pseudo-terminal before the port was opened were not sent to this
    // session.
    m_radio->write("stale");
    QTest::qWait(20);
    QSignalSpy onComm(m_comm.get(), &MSComm::OnComm);
    QCOMPARE(openComm(), QString());
    QCOMPARE(m_comm->InBufferCount(), 0);
    QTest::qWait(50);
    QCOMPARE(onComm.count(), 0);
    m_radio->write("fresh");
    QVERIFY(m_comm->waitForInput(2.0));
    QTRY_COMPARE_WITH_TIMEOUT(m_comm->InBufferCount(), 5, 2000);
    QCOMPARE(m_comm->Input(), QStringLiteral("fresh"));
}

QTEST_GUILESS_MAIN(TstMSComm)
#include "tst_mscomm.moc"
