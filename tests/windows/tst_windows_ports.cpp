// What the Windows build does where Windows differs from Linux, run under Wine: the port table's
// COM names, how a port that is not there is refused, and the session log's file rules in
// Windows terms (reserved device names, names in any language).
//
// Wine lets a second program open a COM port that one already holds, so a port held by another
// program cannot be shown here; that refusal is Windows' own (a port opened without sharing).

#include "app/log_file.h"
#include "app/port_environment.h"
#include "base/run_time_error.h"
#include "device/local_port.h"
#include "text/port_table.h"

#include <QTemporaryDir>
#include <QTest>
#include <cstdlib>

using namespace korvane;

class TstWindowsPorts : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void portTable_data();
    void portTable();
    void absentPortIsRefused();
    void logFile_data();
    void logFile();
};

void TstWindowsPorts::portTable_data() {
    QTest::addColumn<QString>("variable");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("path");
    QTest::newRow("default COM1") << QString() << 1 << QStringLiteral("\\\\.\\COM1");
    QTest::newRow("default COM256") << QString() << 256 << QStringLiteral("\\\\.\\COM256");
    QTest::newRow("default has no COM257") << QString() << 257 << QString();
    QTest::newRow("N=COMk") << QStringLiteral("3=COM7 4=tcp://127.0.0.1:7000") << 3
                            << QStringLiteral("COM7");
    QTest::newRow("network entry") << QStringLiteral("3=COM7 4=tcp://127.0.0.1:7000") << 4
                                   << QStringLiteral("tcp://127.0.0.1:7000");
    QTest::newRow("a name in any language")
        << QStringLiteral("2=\\\\.\\Порт-ラジオ") << 2 << QStringLiteral("\\\\.\\Порт-ラジオ");
}

void TstWindowsPorts::portTable() {
    QFETCH(QString, variable);
    QFETCH(int, port);
    QFETCH(QString, path);
    // Set as Windows keeps it, in UTF-16 (qputenv would pass the system code page's bytes).
    _wputenv_s(L"KORVANE_PORTS", variable.toStdWString().c_str()); // empty: removed
    QCOMPARE(devicePathForPort(PortEnvironment().table(), port), path);
    _wputenv_s(L"KORVANE_PORTS", L"");
}

void TstWindowsPorts::absentPortIsRefused() {
    QVERIFY(!localDeviceOpens(QStringLiteral("COM199")));
    const auto device = makeLocalDevice(199, QStringLiteral("COM199"));
    try {
        device->open(LineSettings{}, 0);
        QFAIL("an absent port opened");
    } catch (const RunTimeError &e) {
        QCOMPARE(e.number(), err::kInvalidPortNumber.number);
        QVERIFY2(e.message().contains(QStringLiteral("COM199 (COM199) does not exist")),
                 qPrintable(e.message()));
    }
    QVERIFY(!device->isOpen());
}

void TstWindowsPorts::logFile_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("a new file") << QStringLiteral("session.log") << QString();
    QTest::newRow("a name in any language") << QStringLiteral("журнал-記録.log") << QString();
    QTest::newRow("NUL") << QStringLiteral("NUL") << QStringLiteral(" is not a regular file");
    QTest::newRow("com1.txt") << QStringLiteral("com1.txt")
                              << QStringLiteral(" is not a regular file");
    QTest::newRow("a folder") << QStringLiteral(".") << QStringLiteral(" is not a regular file");
}

void TstWindowsPorts::logFile() {
    QFETCH(QString, name);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = name == QStringLiteral(".") ? dir.path() : dir.filePath(name);
    LogFile log;
    QCOMPARE(log.open(path), refusal);
    if (!refusal.isEmpty())
        return;
    QCOMPARE(log.append("first\r\n"), QString());
    log.close();
    QCOMPARE(log.open(path), QString()); // appends, never truncates
    QCOMPARE(log.append("second\r\n"), QString());
    log.close();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("first\r\nsecond\r\n"));
}

QTEST_GUILESS_MAIN(TstWindowsPorts)
#include "tst_windows_ports.moc"
