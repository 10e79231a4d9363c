// The traffic log's text: escaping, the records of what was sent and received, and a whole session
// of events. The property test reads random traffic back out of the log with the tests' reader of
// it (written from the log's description, not from this code) and must find every byte, in each
// direction, where it was.

#include "support/traffic_session.h"
#include "text/traffic_log.h"

#include <QRandomGenerator>
#include <QTest>

using namespace korvane;

class TstTrafficLog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void escaping_data();
    void escaping();
    void timeStamps_data();
    void timeStamps();
    void sentRecords_data();
    void sentRecords();
    void receivedRecords_data();
    void receivedRecords();
    void session_data();
    void session();
    void trafficReadsBackExactly();
};

namespace {

const QByteArray kStamp = "2026-12-07 15:58:29.741";

} // namespace

// ---- tables --------------------------------------------------------------------------------

void TstTrafficLog::escaping_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArray>("text");
    QTest::newRow("printable") << QByteArray("J057 A-z~ !") << QByteArray("J057 A-z~ !");
    QTest::newRow("backslash") << QByteArray("a\\b\\") << QByteArray("a\\\\b\\\\");
    QTest::newRow("carriage return, tab") << QByteArray("A\r\tB") << QByteArray("A\\r\\tB");
    QTest::newRow("NUL") << QByteArray("\0X", 2) << QByteArray("\\x00X");
    QTest::newRow("line feed in a message") << QByteArray("?\n") << QByteArray("?\\x0A");
    QTest::newRow("escape, DEL, unit separator")
        << QByteArray("\x1B\x7F\x1F") << QByteArray("\\x1B\\x7F\\x1F");
    QTest::newRow("above 127, upper-case hex")
        << QByteArray("\xE9\xFF\x80\xAB") << QByteArray("\\xE9\\xFF\\x80\\xAB");
    QTest::newRow("a text that looks escaped")
        << QByteArray("\\x41\\c") << QByteArray("\\\\x41\\\\c");
    QTest::newRow("empty") << QByteArray() << QByteArray();
}

void TstTrafficLog::escaping() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArray, text);
    QCOMPARE(escapeLogBytes(bytes), text);
}

void TstTrafficLog::timeStamps_data() {
    QTest::addColumn<QDateTime>("when");
    QTest::addColumn<QByteArray>("stamp");
    QTest::newRow("afternoon") << QDateTime(QDate(2026, 12, 7), QTime(15, 58, 28, 123))
                               << QByteArray("2026-12-07 15:58:28.123");
    QTest::newRow("midnight") << QDateTime(QDate(2027, 1, 1), QTime(0, 0, 0, 0))
                              << QByteArray("2027-01-01 00:00:00.000");
    QTest::newRow("last millisecond of a day")
        << QDateTime(QDate(2026, 2, 28), QTime(23, 59, 59, 999))
        << QByteArray("2026-02-28 23:59:59.999");
    QTest::newRow("early year") << QDateTime(QDate(987, 6, 5), QTime(4, 3, 2, 10))
                                << QByteArray("0987-06-05 04:03:02.010");
}

void TstTrafficLog::timeStamps() {
    QFETCH(QDateTime, when);
    QFETCH(QByteArray, stamp);
    QCOMPARE(logTimeStamp(when), stamp);
}

void TstTrafficLog::sentRecords_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArrayList>("texts");
    QTest::newRow("the poll") << QByteArray("U") << QByteArrayList{"U"};
    QTest::newRow("a line that is only U") << QByteArray("U\n") << QByteArrayList{"\\x55"};
    QTest::newRow("a line that reads as a poll count")
        << QByteArray("U*12\n") << QByteArrayList{"\\x55*12"};
    QTest::newRow("U* without digits") << QByteArray("U*\n") << QByteArrayList{"U*"};
    QTest::newRow("U* with more than digits") << QByteArray("U*1a\n") << QByteArrayList{"U*1a"};
    QTest::newRow("two U") << QByteArray("UU") << QByteArrayList{"UU\\c"};
    QTest::newRow("status request") << QByteArray("?\n") << QByteArrayList{"?"};
    QTest::newRow("two commands") << QByteArray("A\nF1234567\n") << QByteArrayList{"A", "F1234567"};
    QTest::newRow("no final line feed") << QByteArray("F1\nAB") << QByteArrayList{"F1", "AB\\c"};
    QTest::newRow("U after a line") << QByteArray("A\nU") << QByteArrayList{"A", "U\\c"};
    QTest::newRow("empty lines") << QByteArray("\n\n") << QByteArrayList{"", ""};
    QTest::newRow("escaped bytes")
        << QByteArray("\t\\\xC3\r\n") << QByteArrayList{"\\t\\\\\\xC3\\r"};
}

void TstTrafficLog::sentRecords() {
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArrayList, texts);
    QCOMPARE(sentRecordTexts(bytes), texts);
}

void TstTrafficLog::receivedRecords_data() {
    QTest::addColumn<QByteArrayList>("chunks");
    QTest::addColumn<QByteArrayList>("texts"); // every record, the cut-off at the end included
    QTest::newRow("a poll answer in one read")
        << QByteArrayList{"J057\nU0003\n.\n"} << QByteArrayList{"J057", "U0003", "."};
    QTest::newRow("a line over two reads")
        << QByteArrayList{"F10", "00000\n"} << QByteArrayList{"F1000000"};
    QTest::newRow("line feed alone in the second read")
        << QByteArrayList{"J057", "\n"} << QByteArrayList{"J057"};
    QTest::newRow("an empty line") << QByteArrayList{"A\n\nB\n"} << QByteArrayList{"A", "", "B"};
    QTest::newRow("a line cut off")
        << QByteArrayList{"J057\nU00"} << QByteArrayList{"J057", "U00\\c"};
    QTest::newRow("carriage return before line feed")
        << QByteArrayList{"J057\r\n.\r", "\n"} << QByteArrayList{"J057\\r", ".\\r"};
    QTest::newRow("a line longer than is kept")
        << QByteArrayList{QByteArray(kLongestKeptLogLine + 1, 'x'), "yz\n"}
        << QByteArrayList{QByteArray(kLongestKeptLogLine + 1, 'x') + "\\c", "yz"};
}

void TstTrafficLog::receivedRecords() {
    QFETCH(QByteArrayList, chunks);
    QFETCH(QByteArrayList, texts);
    ReceivedLines lines;
    QByteArrayList got;
    for (const QByteArray &chunk : chunks)
        got += lines.take(chunk);
    const QByteArray last = lines.cutOff();
    if (!last.isEmpty())
        got += last;
    QCOMPARE(got, texts);
    QVERIFY(!lines.keepsLine());
}

// Each step: a letter for the event, then its argument. s sent, r received, m message, o opened
// (port device settings), c closed (port), l lost (description), f finish. Every step is stamped
// with the minute it is in the list, so that the records show which event wrote them.
void TstTrafficLog::session_data() {
    QTest::addColumn<bool>("leavePollsOut");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QByteArray>("log");
    const auto at = [](int minute) { return QByteArray("2026-12-07 15:0") + char('0' + minute); };
    QTest::newRow("open, poll, answer, close")
        << false << QStringList{"o3 /dev/pts/4 9600,O,7,1", "sU", "rJ057\nU0", "r003\n.\n", "c3"}
        << at(0) + ":00.000 = opened COM3 /dev/pts/4 9600,O,7,1\n" + at(1) + ":00.000 > U\n" +
               at(2) + ":00.000 < J057\n" + at(3) + ":00.000 < U0003\n" + at(3) + ":00.000 < .\n" +
               at(4) + ":00.000 = closed COM3\n";
    QTest::newRow("polls left out are counted ahead of the next record")
        << true << QStringList{"sU", "sU", "sU", "mSending ?\n command...", "s?\n", "sU", "f"}
        << at(2) + ":00.000 > U*3\n" + at(3) + ":00.000 ! Sending ?\\x0A command...\n" + at(4) +
               ":00.000 > ?\n" + at(5) + ":00.000 > U*1\n";
    QTest::newRow("a count goes ahead of received lines too")
        << true << QStringList{"sU", "rJ0", "r57\n"}
        << at(0) + ":00.000 > U*1\n" + at(2) + ":00.000 < J057\n";
    QTest::newRow("the line a close cuts off")
        << false << QStringList{"rA\nB", "c1", "o1 /dev/ttyS0 9600,O,7,1", "rC\n"}
        << at(0) + ":00.000 < A\n" + at(1) + ":00.000 < B\\c\n" + at(1) +
               ":00.000 = closed COM1\n" + at(2) + ":00.000 = opened COM1 /dev/ttyS0 9600,O,7,1\n" +
               at(3) + ":00.000 < C\n";
    QTest::newRow("a lost device")
        << false << QStringList{"rJ05", "lCOM3 (/dev/pts/4) was lost: the device went away"}
        << at(1) + ":00.000 < J05\\c\n" + at(1) +
               ":00.000 = lost COM3 (/dev/pts/4) was lost: the device went away\n";
    QTest::newRow("finish writes the kept line")
        << false << QStringList{"rAB", "f"} << at(1) + ":00.000 < AB\\c\n";
    QTest::newRow("an empty message") << false << QStringList{"m"} << at(0) + ":00.000 ! \n";
    QTest::newRow("a message outside ASCII")
        << false << QStringList{"mCaf\u00e9"} << at(0) + ":00.000 ! Caf\\xC3\\xA9\n";
    // A device and a log named in Latin-1: their bytes, held escaped, are written as they are.
    const QString e9(QChar(0xDCE9)); // the byte 0xE9, escaped
    QTest::newRow("names in bytes that are not UTF-8")
        << false
        << QStringList{"o2 /dev/radio" + e9 + " 9600,O,7,1", "mLogging to /tmp/caf" + e9 + ".log"}
        << at(0) + ":00.000 = opened COM2 /dev/radio\\xE9 9600,O,7,1\n" + at(1) +
               ":00.000 ! Logging to /tmp/caf\\xE9.log\n";
}

void TstTrafficLog::session() {
    QFETCH(bool, leavePollsOut);
    QFETCH(QStringList, steps);
    QFETCH(QByteArray, log);
    TrafficLogText text(leavePollsOut);
    QByteArray got;
    for (qsizetype i = 0; i < steps.size(); ++i) {
        const QByteArray stamp =
            QByteArray("2026-12-07 15:0") + char('0' + i) + QByteArray(":00.000");
        const QChar kind = steps[i].at(0);
        const QString argument = steps[i].mid(1);
        const QStringList words = argument.split(QLatin1Char(' '));
        if (kind == QLatin1Char('s'))
            got += text.sent(stamp, argument.toLatin1());
        else if (kind == QLatin1Char('r'))
            got += text.received(stamp, argument.toLatin1());
        else if (kind == QLatin1Char('m'))
            got += text.message(stamp, argument);
        else if (kind == QLatin1Char('o'))
            got += text.opened(stamp, words[0].toInt(), words[1], words[2]);
        else if (kind == QLatin1Char('c'))
            got += text.closed(stamp, argument.toInt());
        else if (kind == QLatin1Char('l'))
            got += text.lost(stamp, argument);
        else
            got += text.finish(stamp);
    }
    QCOMPARE(got, log);
}

// Random traffic in random pieces, with the events that cut a line in between: the log, read
// back, gives every byte received and every byte sent, in order, and every message.
void TstTrafficLog::trafficReadsBackExactly() {
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    const auto fail = [seed](const QString &why) {
        return QStringLiteral("seed %1: %2").arg(seed).arg(why).toLocal8Bit();
    };
    for (int round = 0; round < 200; ++round) {
        test::TrafficSession session(random.bounded(2) == 1);
        const int events = random.bounded(1, 60);
        for (int e = 0; e < events; ++e) {
            const QByteArray stamp = logTimeStamp(QDateTime(
                QDate(2026, 12, 7), QTime::fromMSecsSinceStartOfDay(random.bounded(86'400'000))));
            // Bytes of every value, with line feeds, "U" and "\" often enough to matter.
            QByteArray bytes(random.bounded(0, random.bounded(2) ? 12 : 6000), '\0');
            for (char &c : bytes) {
                const int pick = random.bounded(10);
                c = pick == 0   ? '\n'
                    : pick == 1 ? 'U'
                    : pick == 2 ? '\\'
                                : char(random.bounded(256));
            }
            const int kind = random.bounded(8);
            const bool lost = random.bounded(2) == 0;
            session.add(kind, stamp, kind == 5 ? bytes.left(40) : bytes, lost); // 5: a message
        }
        session.finish(logTimeStamp(QDateTime(QDate(2026, 12, 8), QTime(0, 0))));
        const QString unread = session.unread();
        QVERIFY2(unread.isEmpty(), fail(unread).constData());
    }
}

QTEST_APPLESS_MAIN(TstTrafficLog)
#include "tst_traffic_log.moc"
