// The port table in force as the program reads it: KORVANE_PORTS read anew at every look-up, and
// each bad value of it told on standard error once, not at every look-up.

#include "app/port_environment.h"
#include "text/port_table.h"

#include <QTemporaryFile>
#include <QTest>
#include <cstdio>
#include <unistd.h>

using namespace korvane;

class TstPortEnvironment : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lookUps_data();
    void lookUps();
};

void TstPortEnvironment::lookUps_data() {
    QTest::addColumn<QStringList>("values"); // KORVANE_PORTS at each look-up in turn; null: unset
    QTest::addColumn<QStringList>("com2");   // what COM2 is at each
    QTest::addColumn<QString>("said");       // all of standard error
    const QString skipped = QStringLiteral("korvane: KORVANE_PORTS: \"bad\" skipped: not N=PATH\n");
    QTest::newRow("a change takes effect at once")
        << QStringList{"2=/dev/a", "2=/dev/b", QString()}
        << QStringList{"COM2 (/dev/a)", "COM2 (/dev/b)", "COM2 (/dev/ttyS1)"} << QString();
    QTest::newRow("a bad value told once")
        << QStringList{"bad 2=/dev/a", "bad 2=/dev/a", "bad 2=/dev/a"}
        << QStringList{"COM2 (/dev/a)", "COM2 (/dev/a)", "COM2 (/dev/a)"} << skipped;
    QTest::newRow("told again for another bad value, not for a good one")
        << QStringList{"bad", "bad 2=/dev/a", "2=/dev/a", "bad"}
        << QStringList{"COM2", "COM2 (/dev/a)", "COM2 (/dev/a)", "COM2"}
        << skipped + skipped + skipped;
}

void TstPortEnvironment::lookUps() {
    QFETCH(QStringList, values);
    QFETCH(QStringList, com2);
    QFETCH(QString, said);
    PortEnvironment environment;
    QStringList seen;
    QTemporaryFile errors;
    QVERIFY(errors.open());
    std::fflush(stderr);
    const int standardError = ::dup(STDERR_FILENO);
    ::dup2(errors.handle(), STDERR_FILENO);
    for (const QString &value : values) {
        if (value.isNull())
            qunsetenv("KORVANE_PORTS");
        else
            qputenv("KORVANE_PORTS", value.toLocal8Bit());
        seen << portDescription(environment.table(), 2);
    }
    std::fflush(stderr);
    ::dup2(standardError, STDERR_FILENO);
    ::close(standardError);
    QCOMPARE(seen, com2);
    errors.seek(0);
    QCOMPARE(QString::fromLocal8Bit(errors.readAll()), said);
}

QTEST_GUILESS_MAIN(TstPortEnvironment)
#include "tst_port_environment.moc"
