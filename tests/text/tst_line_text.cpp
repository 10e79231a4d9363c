// What the serial control reads from outside without a port: the line settings text, the port
// table, and the comm events that two looks at a line's modem lines and error counters give.

#include "text/line_events.h"
#include "text/port_table.h"
#include "text/settings_text.h"

#include <QTest>
#include <sys/ioctl.h>

using korvane::LineSettings;

Q_DECLARE_METATYPE(LineSettings)

class TstLineText : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void goodSettings_data();
    void goodSettings();
    void badSettings_data();
    void badSettings();
    void refusedSettings_data();
    void refusedSettings();
    void portTable_data();
    void portTable();
    void tableInForce_data();
    void tableInForce();
    void lineEvents_data();
    void lineEvents();
};

namespace {

LineSettings line(int baud, LineSettings::Parity parity, int data, LineSettings::StopBits stop) {
    LineSettings s;
    s.baud = baud;
    s.parity = parity;
    s.dataBits = data;
    s.stopBits = stop;
    return s;
}

using P = LineSettings::Parity;
using S = LineSettings::StopBits;

} // namespace

void TstLineText::goodSettings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<LineSettings>("expected");
    QTest::newRow("start-up") << "9600,O,7,1" << line(9600, P::Odd, 7, S::One);
    QTest::newRow("lower-case parity") << "19200,e,8,2" << line(19200, P::Even, 8, S::Two);
    QTest::newRow("mark") << "300,M,5,1.5" << line(300, P::Mark, 5, S::OneAndHalf);
    QTest::newRow("space, 4 data bits") << "1200,S,4,1" << line(1200, P::Space, 4, S::One);
    QTest::newRow("none") << "115200,N,8,1" << line(115200, P::None, 8, S::One);
    QTest::newRow("unusual baud") << "12345,N,6,1" << line(12345, P::None, 6, S::One);
    QTest::newRow("largest baud") << "2147483647,N,8,1" << line(2147483647, P::None, 8, S::One);
}

void TstLineText::goodSettings() {
    QFETCH(QString, text);
    QFETCH(LineSettings, expected);
    const std::optional<LineSettings> parsed = korvane::parseSettingsText(text);
    QVERIFY(parsed.has_value());
    QCOMPARE(*parsed, expected);
}

void TstLineText::badSettings_data() {
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << "";
    QTest::newRow("three fields") << "9600,O,7";
    QTest::newRow("five fields") << "9600,O,7,1,1";
    QTest::newRow("zero baud") << "0,O,7,1";
    QTest::newRow("negative baud") << "-9600,O,7,1";
    QTest::newRow("baud with sign") << "+9600,O,7,1";
    QTest::newRow("baud with letters") << "96OO,O,7,1";
    QTest::newRow("baud too large") << "2147483648,O,7,1";
    QTest::newRow("baud overflowing 64 bits") << "99999999999999999999,O,7,1";
    QTest::newRow("no baud") << ",O,7,1";
    QTest::newRow("leading blank") << " 9600,O,7,1";
    QTest::newRow("blank after comma") << "9600, O,7,1";
    QTest::newRow("unknown parity") << "9600,X,7,1";
    QTest::newRow("parity word") << "9600,Odd,7,1";
    QTest::newRow("no parity") << "9600,,7,1";
    QTest::newRow("3 data bits") << "9600,O,3,1";
    QTest::newRow("9 data bits") << "9600,O,9,1";
    QTest::newRow("data bits 07") << "9600,O,07,1";
    QTest::newRow("stop 0") << "9600,O,7,0";
    QTest::newRow("stop 3") << "9600,O,7,3";
    QTest::newRow("stop 1,5 style") << "9600,O,7,1.50";
    QTest::newRow("trailing blank") << "9600,O,7,1 ";
}

void TstLineText::badSettings() {
    QFETCH(QString, text);
    QVERIFY(!korvane::parseSettingsText(text).has_value());
}

void TstLineText::refusedSettings_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("refused");
    QTest::newRow("start-up") << "9600,O,7,1"
                              << "";
    QTest::newRow("5 data bits, 2 stop") << "110,E,5,2"
                                         << "";
    QTest::newRow("mark") << "9600,M,7,1"
                          << "mark parity";
    QTest::newRow("space") << "9600,s,8,1"
                           << "space parity";
    QTest::newRow("4 data bits") << "9600,O,4,1"
                                 << "4 data bits";
    QTest::newRow("1.5 stop") << "9600,O,7,1.5"
                              << "1.5 stop bits";
    QTest::newRow("all at once") << "9600,M,4,1.5"
                                 << "mark parity and 4 data bits and 1.5 stop bits";
}

void TstLineText::refusedSettings() {
    QFETCH(QString, text);
    QFETCH(QString, refused);
    const std::optional<LineSettings> parsed = korvane::parseSettingsText(text);
    QVERIFY(parsed.has_value());
    QCOMPARE(korvane::refusedLineSettings(*parsed), refused);
}

void TstLineText::portTable_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("entries"); // "n=path" joined by blanks, in port order
    QTest::addColumn<int>("problems");
    QTest::newRow("empty") << ""
                           << "" << 0;
    QTest::newRow("two entries") << "3=/dev/pts/7 5=/dev/ttyUSB0"
                                 << "3=/dev/pts/7 5=/dev/ttyUSB0" << 0;
    QTest::newRow("tabs and many blanks") << "\t 12=/dev/a   1=/dev/b\n"
                                          << "1=/dev/b 12=/dev/a" << 0;
    QTest::newRow("no equals") << "3/dev/pts/7 4=/dev/x"
                               << "4=/dev/x" << 1;
    QTest::newRow("no number") << "=/dev/x 4=/dev/y"
                               << "4=/dev/y" << 1;
    QTest::newRow("port 0") << "0=/dev/x"
                            << "" << 1;
    QTest::newRow("not a number") << "COM3=/dev/x 2=/dev/y"
                                  << "2=/dev/y" << 1;
    QTest::newRow("negative") << "-3=/dev/x"
                              << "" << 1;
    QTest::newRow("beyond 16 bits") << "32768=/dev/x 32767=/dev/y"
                                    << "32767=/dev/y" << 1;
    QTest::newRow("huge number") << "99999999999=/dev/x"
                                 << "" << 1;
    QTest::newRow("no path") << "3= 4=/dev/y"
                             << "4=/dev/y" << 1;
    QTest::newRow("twice: first kept") << "3=/dev/a 3=/dev/b"
                                       << "3=/dev/a" << 1;
    QTest::newRow("equals in the path") << "3=/dev/a=b"
                                        << "3=/dev/a=b" << 0;
    QTest::newRow("all bad") << "x y=z 0="
                             << "" << 3;
    // Network ports: the well-formed ones are taken as written, every malformed one is skipped.
    QTest::newRow("network ports")
        << "3=rfc2217://127.0.0.1:7001 4=tcp://radio-server.lan:2000 5=rfc2217://[::1]:7 "
           "6=tcp://[2001:db8::10.0.0.1]:65535 7=rfc2217://localhost:1"
        << "3=rfc2217://127.0.0.1:7001 4=tcp://radio-server.lan:2000 5=rfc2217://[::1]:7 "
           "6=tcp://[2001:db8::10.0.0.1]:65535 7=rfc2217://localhost:1"
        << 0;
    QTest::newRow("malformed network ports")
        << "1=telnet://h:1 2=rfc2217://h 3=rfc2217://h:0 4=tcp://h:65536 5=tcp://:80 "
           "6=tcp://::1:80 7=tcp://[::1:80 8=tcp://[1:2:3:4:5:6:7:8:9]:1 9=tcp://256.1.1.1:1 "
           "10=tcp://1.2.3:1 11=tcp://h_x:1 12=tcp://-h:1 13=tcp://h:1/x 14=tcp://u@h:1 "
           "15=tcp://h:+1 16=tcp://[::1]x 17=tcp://[fe80::1%eth0]:1 18=tcp://h:01 19=RFC2217://h:1"
        << "" << 19;
}

void TstLineText::portTable() {
    QFETCH(QString, text);
    QFETCH(QString, entries);
    QFETCH(int, problems);
    const korvane::PortTable table = korvane::parsePortTable(text);
    QStringList got;
    for (const auto &[n, path] : table.ports)
        got << QString::number(n) + QLatin1Char('=') + path;
    QCOMPARE(got.join(QLatin1Char(' ')), entries);
    QCOMPARE(table.problems.size(), problems);
    for (const QString &problem : table.problems)
        QVERIFY2(problem.contains(QLatin1String("skipped")), qPrintable(problem));
}

void TstLineText::tableInForce_data() {
    QTest::addColumn<QString>("text"); // the table given as text; null: none, the default table
    // Whether the command line's layer, COM2 "/dev/a b" and COM7 "/dev/x", lies over it.
    QTest::addColumn<bool>("layered");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("description");
    const QString given = QStringLiteral("2=/dev/pts/9 bad");
    QTest::newRow("given") << given << false << 2 << "COM2 (/dev/pts/9)";
    QTest::newRow("given: replaces the default") << given << false << 1 << "COM1";
    QTest::newRow("given: no entry") << given << false << 4 << "COM4";
    QTest::newRow("layer replaces") << given << true << 2 << "COM2 (/dev/a b)";
    QTest::newRow("layer adds") << given << true << 7 << "COM7 (/dev/x)";
    QTest::newRow("layer: no default under the given") << given << true << 1 << "COM1";
    QTest::newRow("layer over the default") << QString() << true << 7 << "COM7 (/dev/x)";
    QTest::newRow("layer: the default stays") << QString() << true << 1 << "COM1 (/dev/ttyS0)";
    const std::pair<int, const char *> defaults[] = {{1, "COM1 (/dev/ttyS0)"},
                                                     {4, "COM4 (/dev/ttyS3)"},
                                                     {5, "COM5 (/dev/ttyUSB0)"},
                                                     {7, "COM7 (/dev/ttyUSB2)"},
                                                     {10, "COM10 (/dev/ttyUSB5)"},
                                                     {11, "COM11 (/dev/ttyACM0)"},
                                                     {16, "COM16 (/dev/ttyACM5)"},
                                                     {17, "COM17"},
                                                     {0, "COM0"}};
    for (const auto &[port, description] : defaults)
        QTest::addRow("default COM%d", port) << QString() << false << port << description;
}

void TstLineText::tableInForce() {
    QFETCH(QString, text);
    QFETCH(bool, layered);
    QFETCH(int, port);
    QFETCH(QString, description);
    std::map<int, QString> layer;
    if (layered)
        layer = {{2, QStringLiteral("/dev/a b")}, {7, QStringLiteral("/dev/x")}};
    const korvane::PortTable table = korvane::portTableInForce(
        text.isNull() ? std::nullopt : std::optional<QString>(text), layer);
    QCOMPARE(korvane::portDescription(table.ports, port), description);
}

Q_DECLARE_METATYPE(korvane::LineLook)

void TstLineText::lineEvents_data() {
    using korvane::LineCounters;
    using korvane::LineLook;
    QTest::addColumn<LineLook>("before");
    QTest::addColumn<LineLook>("after");
    QTest::addColumn<QList<int>>("events");

    const LineLook nothing; // a pseudo-terminal: no lines, no counters
    const auto lines = [](int bits) {
        LineLook look;
        look.modemLines = bits;
        return look;
    };
    const auto counted = [](int bits, LineCounters counters) {
        LineLook look;
        look.modemLines = bits;
        look.counters = counters;
        return look;
    };
    LineCounters ctsPulse;
    ctsPulse.cts = 2;
    LineCounters faults;
    faults.brk = 1;
    faults.frame = 3;
    faults.overrun = 1;
    faults.bufOverrun = 1;
    faults.parity = 7;
    LineCounters parityOnly;
    parityOnly.parity = 1;

    QTest::newRow("no lines at all") << nothing << nothing << QList<int>{};
    QTest::newRow("steady") << lines(TIOCM_CTS | TIOCM_CAR) << lines(TIOCM_CTS | TIOCM_CAR)
                            << QList<int>{};
    QTest::newRow("CTS drops") << lines(TIOCM_CTS) << lines(0) << QList<int>{3};
    QTest::newRow("DSR rises") << lines(0) << lines(TIOCM_DSR) << QList<int>{4};
    QTest::newRow("CD and RI") << lines(TIOCM_CAR) << lines(TIOCM_RNG) << QList<int>{5, 6};
    QTest::newRow("other bits ignored") << lines(TIOCM_DTR) << lines(TIOCM_RTS) << QList<int>{};
    QTest::newRow("CTS pulse between looks")
        << counted(TIOCM_CTS, {}) << counted(TIOCM_CTS, ctsPulse) << QList<int>{3};
    QTest::newRow("flip seen both ways, raised once")
        << counted(0, {}) << counted(TIOCM_CTS, ctsPulse) << QList<int>{3};
    QTest::newRow("every fault") << counted(0, {}) << counted(0, faults)
                                 << QList<int>{1001, 1004, 1006, 1008, 1009};
    QTest::newRow("parity error only")
        << counted(0, {}) << counted(0, parityOnly) << QList<int>{1009};
    QTest::newRow("counters only on one side") << lines(0) << counted(0, faults) << QList<int>{};
}

void TstLineText::lineEvents() {
    QFETCH(korvane::LineLook, before);
    QFETCH(korvane::LineLook, after);
    QFETCH(QList<int>, events);
    QList<int> got;
    for (const std::int16_t code : korvane::commEventsBetween(before, after))
        got << code;
    QCOMPARE(got, events);
}

QTEST_APPLESS_MAIN(TstLineText)
#include "tst_line_text.moc"
