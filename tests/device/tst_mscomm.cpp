// Opening and closing, the settings and guarded properties, and output.

#include "mscomm_fixture.h"

#include "text/path_bytes.h"

void TstMSComm::init() {
    m_radio = std::make_unique<PtyPair>();
    QVERIFY(m_radio->isValid());
    m_ports = {{kPort, m_radio->slavePath()}};
    m_comm = std::make_unique<MSComm>([this] { return m_ports; });
}

void TstMSComm::cleanup() {
    m_comm.reset();
    m_radio.reset();
}

void TstMSComm::openAndClose_data() {
    QTest::addColumn<QByteArray>("linkName"); // empty: the table names the device itself
    QTest::newRow("by the device's own path") << QByteArray();
    QTest::newRow("by a link named in no valid UTF-8") << QByteArray("radio-\xe9");
}

void TstMSComm::openAndClose() {
    QFETCH(QByteArray, linkName);
    QTemporaryDir dir;
    QString named = m_radio->slavePath();
    if (!linkName.isEmpty()) {
        // Paths are bytes: a link named with 0xE9 alone (Latin-1) is still the port's device.
        const QByteArray link = QFile::encodeName(dir.path()) + '/' + linkName;
        QCOMPARE(::symlink(QFile::encodeName(m_radio->slavePath()).constData(), link.constData()),
                 0);
        named = korvane::pathFromBytes(link);
        m_ports = {{kPort, named}};
        QCOMPARE(korvane::bytesOfPath(named), link); // and back to the very bytes
    }
    QCOMPARE(openComm(), QString());
    QVERIFY(m_comm->PortOpen());
    QCOMPARE(m_comm->deviceName(), named);
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
    m_ports = korvane::parsePortTable(QString(table).replace(QLatin1String("%1"), pty)).ports;
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
    m_ports = {{kPort, path}};
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
    MSComm other([this] { return m_ports; });
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
