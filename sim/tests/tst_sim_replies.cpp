// What the simulated radio answers, and that it keeps answering whatever the console does to
// its end of the line.

#include "sim_harness.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <random>
#include <termios.h>
#include <unistd.h>

using simtest::Sim;

namespace {

// Every key the console has a status slot for, "K" beside "U" and both "Q" keys included.
const QList<QByteArray> kGridKeys{"J", "U", "K", "!", "#", "$", "&", "*", "\"", "'",  "(", ",",
                                  "A", "M", "R", "Z", "E", "O", "T", "F", "X",  "^",  "G", ")",
                                  "D", "H", "I", "S", "V", "Y", "C", "B", "P",  "QT", "QC"};

QByteArray keyOf(const QByteArray &line) {
    return line.left(line.startsWith('Q') ? 2 : 1);
}

bool allPrintable(const QByteArray &line) {
    for (char c : line) {
        if (c < 0x20 || c > 0x7e)
            return false;
    }
    return !line.isEmpty();
}

} // namespace

class TstSimReplies : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answers_data();
    void answers();
    void fullStatus();
    void settingsShowInTheStatus();
    void pollsKeepTheMeterFlowing();
    void overlongCommandIsRefusedAndForgotten();
    void consoleClosingAndReopeningDoesNotHangUp();
    void logShowsWhatCameAndWhenTheReportEnded();
    void linkPointsAtTheLineAndGoesAway();
    void servesADevice();
    void badArgumentsAreRefused_data();
    void badArgumentsAreRefused();
};

void TstSimReplies::answers_data() {
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QStringList>("expected"); // one pattern per line, whole-line match

    const QString meter = QStringLiteral("J\\d{3}");
    QTest::newRow("poll") << QByteArray("U")
                          << QStringList{meter, meter, meter, meter, "U\\d{4}", "\\."};
    QTest::newRow("frequency preset") << QByteArray("F1000000\n") << QStringList{"F1000000", "\\."};
    QTest::newRow("two-line preset with a leading blank")
        << QByteArray("A\n F1234567\n") << QStringList{"AFAST", "\\.", "F1234567", "\\."};
    QTest::newRow("D") << QByteArray("D\n") << QStringList{"DRT-1446", "\\."};
    QTest::newRow("H") << QByteArray("H\n") << QStringList{"H\\d+", "\\."};
    QTest::newRow("I") << QByteArray("I\n") << QStringList{"I\\S+", "\\."};
    QTest::newRow("S") << QByteArray("S\n") << QStringList{"S[01]", "\\."};
    QTest::newRow("V") << QByteArray("V\n") << QStringList{"V[01]", "\\."};
    QTest::newRow("QT and QC") << QByteArray("QT\nQC\n")
                               << QStringList{"QT\\S+", "\\.", "QC\\S+", "\\."};
    QTest::newRow("mode set") << QByteArray("MLSB\n") << QStringList{"MLSB", "\\."};
    QTest::newRow("blanks, tab and CR around a command")
        << QByteArray("\t G 7 \r\n") << QStringList{"G7", "\\."};
    QTest::newRow("empty lines ask nothing")
        << QByteArray("\n\r\nD\n") << QStringList{"DRT-1446", "\\."};
    QTest::newRow("unknown command")
        << QByteArray("wibble\n") << QStringList{"EUNKNOWN COMMAND wibble", "\\."};
    QTest::newRow("keys are upper case")
        << QByteArray("f1000000\n") << QStringList{"EUNKNOWN COMMAND f1000000", "\\."};
    QTest::newRow("Q alone") << QByteArray("Q\n") << QStringList{"EUNKNOWN COMMAND Q", "\\."};
    QTest::newRow("Q with another letter")
        << QByteArray("QX\n") << QStringList{"EUNKNOWN COMMAND QX", "\\."};
    QTest::newRow("frequency out of range")
        << QByteArray("F99\n") << QStringList{"EBAD VALUE F99", "\\."};
    QTest::newRow("frequency too many digits")
        << QByteArray("F1234567890123456789\n")
        << QStringList{"EBAD VALUE F1234567890123456789", "\\."};
    QTest::newRow("read-only key") << QByteArray("DXYZ\n") << QStringList{"EREAD ONLY D", "\\."};
    QTest::newRow("raw bytes are not echoed raw")
        << QByteArray("Z\x01\xff\x7f\n", 5) << QStringList{"EBAD VALUE Z\\?\\?\\?", "\\."};
}

void TstSimReplies::answers() {
    QFETCH(QByteArray, sent);
    QFETCH(QStringList, expected);
    Sim sim({QStringLiteral("--no-pace")});
    QVERIFY(!sim.path().isEmpty());
    const int reports = int(expected.count(QStringLiteral("\\.")));

    // The same command whole, byte by byte and in random pieces: the answer must not depend
    // on how the line split it.
    std::mt19937 random(7);
    for (int way = 0; way < 3; ++way) {
        if (way == 0) {
            sim.send(sent);
        } else {
            qsizetype at = 0;
            while (at < sent.size()) {
                const qsizetype n = way == 1 ? 1 : 1 + qsizetype(random() % 4);
                sim.send(sent.mid(at, n));
                at += n;
                QTest::qWait(2);
            }
        }
        const QList<QByteArray> lines = simtest::completeLines(sim.readReports(reports));
        QCOMPARE(lines.size(), expected.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QRegularExpression pattern(QRegularExpression::anchoredPattern(expected[i]));
            QVERIFY2(pattern.match(QString::fromLatin1(lines[i])).hasMatch(),
                     qPrintable(QStringLiteral("way %1, line %2: %3")
                                    .arg(way)
                                    .arg(i)
                                    .arg(QString::fromLatin1(lines[i]))));
        }
    }
    QCOMPARE(sim.read(100), QByteArray()); // nothing more than asked for
}

void TstSimReplies::fullStatus() {
    Sim sim({QStringLiteral("--no-pace")});
    sim.send("?\n");
    const QList<QByteArray> lines = simtest::completeLines(sim.readReports(1));
    QCOMPARE(lines.size(), kGridKeys.size() + 1);
    QCOMPARE(lines.last(), QByteArray("."));
    QSet<QByteArray> keys;
    for (const QByteArray &line : lines.first(lines.size() - 1)) {
        QVERIFY2(allPrintable(line), line.constData());
        QVERIFY2(line.size() > keyOf(line).size(), line.constData()); // every key carries a value
        keys.insert(keyOf(line));
    }
    QCOMPARE(keys, QSet<QByteArray>(kGridKeys.cbegin(), kGridKeys.cend()));
}

void TstSimReplies::settingsShowInTheStatus() {
    Sim sim({QStringLiteral("--no-pace")});
    sim.send("F7050000\nMCW\nO95\nP1\n#7\nbogus\n");
    QCOMPARE(simtest::reportsIn(sim.readReports(6)), 6);
    sim.send("?\n");
    const QList<QByteArray> lines = simtest::completeLines(sim.readReports(1));
    QVERIFY(lines.contains("F7050000"));
    QVERIFY(lines.contains("MCW"));
    QVERIFY(lines.contains("P1"));
    QVERIFY(lines.contains("#07"));
    QVERIFY(lines.contains("C1"));                     // keyed near full power: clipping
    QVERIFY(lines.contains("EUNKNOWN COMMAND bogus")); // the last error
}

void TstSimReplies::pollsKeepTheMeterFlowing() {
    // The console polls again at once after 15 "J" lines; four polls must bring that many.
    Sim sim({QStringLiteral("--no-pace")});
    QByteArray all;
    for (int i = 0; i < 4; ++i) {
        sim.send("U");
        all += sim.readReports(1);
    }
    int meterLines = 0;
    QSet<QByteArray> readings;
    for (const QByteArray &line : simtest::completeLines(all)) {
        if (line.startsWith('J')) {
            ++meterLines;
            readings.insert(line);
        }
    }
    QVERIFY2(meterLines >= 15, qPrintable(QString::number(meterLines)));
    QVERIFY2(readings.size() > 1, "the meter never moves");
}

void TstSimReplies::overlongCommandIsRefusedAndForgotten() {
    Sim sim({QStringLiteral("--no-pace")});
    sim.send(QByteArray(5000, 'F') + '\n');
    QCOMPARE(simtest::completeLines(sim.readReports(1)),
             QList<QByteArray>({"ECOMMAND TOO LONG 5000 BYTES", "."}));
    sim.send("D\n");
    QCOMPARE(simtest::completeLines(sim.readReports(1)), QList<QByteArray>({"DRT-1446", "."}));
}

void TstSimReplies::consoleClosingAndReopeningDoesNotHangUp() {
    Sim sim({QStringLiteral("--no-pace")});
    for (int round = 0; round < 3; ++round) {
        sim.send("U");
        QCOMPARE(simtest::reportsIn(sim.readReports(1)), 1);
        sim.closeConsole(); // as the console's port scan or its Stop Probe does
        QTest::qWait(20);
    }
    QCOMPARE(sim.process().state(), QProcess::Running);
}

void TstSimReplies::logShowsWhatCameAndWhenTheReportEnded() {
    Sim sim;
    sim.console();
    const double sentAt = simtest::now();
    sim.send("?\n");
    const QByteArray answer = sim.readReports(1);
    const double readAt = simtest::now();
    QCOMPARE(simtest::reportsIn(answer), 1);
    // The report's end is logged just after its last byte went out: the console may have read
    // that byte before the radio wrote the log line.
    QTRY_VERIFY_WITH_TIMEOUT(sim.log().join('\n').contains(" TX-END "), 5000);

    QByteArray received;
    double firstRx = 0;
    double txEnd = 0;
    QList<QByteArray> txEndFields;
    for (const QByteArray &line : sim.log()) {
        const QList<QByteArray> fields = line.split(' ');
        QVERIFY2(fields.size() >= 2, line.constData());
        bool ok = false;
        const double when = fields[0].toDouble(&ok);
        QVERIFY2(ok, line.constData());
        if (fields[1] == "RX") {
            if (received.isEmpty())
                firstRx = when;
            for (const QByteArray &hex : fields.mid(2))
                received += QByteArray::fromHex(hex);
        } else if (fields[1] == "TX-END") {
            txEnd = when;
            txEndFields = fields;
        }
    }
    QCOMPARE(received, QByteArray("?\n"));
    // The radio's clock is this machine's monotonic clock: its times fall where ours say.
    QVERIFY(firstRx >= sentAt && firstRx <= readAt);
    QVERIFY(txEnd > firstRx && txEnd <= readAt);
    QCOMPARE(txEndFields.mid(2),
             QList<QByteArray>({"status", QByteArray::number(kGridKeys.size() + 1), "lines",
                                QByteArray::number(answer.size()), "bytes"}));
}

void TstSimReplies::linkPointsAtTheLineAndGoesAway() {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("rt1446"));
    QVERIFY(QFile::link(QStringLiteral("/nonexistent"), link)); // a stale link from before
    Sim sim({QStringLiteral("--link"), link, QStringLiteral("--no-pace")});
    QVERIFY(!sim.path().isEmpty());
    QCOMPARE(QFile::symLinkTarget(link), sim.path());

    const int fd = simtest::openRaw(link);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "U", 1), ssize_t(1));
    QTest::qWait(50);
    char buffer[256];
    QVERIFY(::read(fd, buffer, sizeof buffer) > 0);
    ::close(fd);

    ::kill(pid_t(sim.process().processId()), SIGINT);
    QVERIFY(sim.waitForExit(0));
    QVERIFY(!QFileInfo(link).isSymLink());
    QVERIFY(sim.log().last().contains("EXIT signal"));
}

void TstSimReplies::servesADevice() {
    // A pseudo-terminal's slave stands in for a serial device; the test plays the console on
    // the master.
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QVERIFY(grantpt(master) == 0 && unlockpt(master) == 0);
    const QString device = QString::fromLocal8Bit(ptsname(master));
    {
        Sim sim({device, QStringLiteral("--no-pace")});
        QCOMPARE(sim.path(), device);

        // (A pseudo-terminal keeps 8 data bits and no parity whatever it is told, so only the
        // speed shows here.)
        const int slave = ::open(ptsname(master), O_RDWR | O_NOCTTY);
        termios tio{};
        QCOMPARE(tcgetattr(slave, &tio), 0);
        QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
        ::close(slave);

        termios raw{};
        tcgetattr(master, &raw);
        cfmakeraw(&raw);
        tcsetattr(master, TCSANOW, &raw);
        QCOMPARE(::write(master, "D\n", 2), ssize_t(2));
        QByteArray got;
        for (int i = 0; i < 100 && simtest::reportsIn(got) < 1; ++i) {
            QTest::qWait(10);
            char buffer[256];
            const ssize_t n = ::read(master, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
        }
        QCOMPARE(got, QByteArray("DRT-1446\n.\n"));
    }
    ::close(master);
}

void TstSimReplies::badArgumentsAreRefused_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("unknown option") << QStringList{"--bogus"};
    QTest::newRow("baud zero") << QStringList{"--baud", "0"};
    QTest::newRow("baud not a number") << QStringList{"--baud", "fast"};
    QTest::newRow("fractional byte count") << QStringList{"--hangup-after", "2.5"};
    QTest::newRow("negative time") << QStringList{"--exit-after", "-1"};
    QTest::newRow("link with a device") << QStringList{"/dev/null", "--link", "/tmp/x"};
    QTest::newRow("two devices") << QStringList{"/dev/null", "/dev/zero"};
    QTest::newRow("not a serial device") << QStringList{"/dev/null"};
}

void TstSimReplies::badArgumentsAreRefused() {
    QFETCH(QStringList, arguments);
    QProcess process;
    process.start(QStringLiteral(RT1446_SIM_PATH), arguments);
    QVERIFY(process.waitForFinished(5000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QVERIFY(process.exitCode() != 0);
    QCOMPARE(process.readAllStandardOutput(), QByteArray()); // no path for anyone to open
    QVERIFY(process.readAllStandardError().startsWith("rt1446-sim: "));
}

QTEST_GUILESS_MAIN(TstSimReplies)
#include "tst_sim_replies.moc"
