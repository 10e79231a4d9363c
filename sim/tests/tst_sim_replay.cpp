// The simulated radio replaying a recorded traffic log: the console's end receives exactly the
// bytes the recorded radio sent, at the recorded pace (or scaled), from the moment the console
// opens the line; a lost device hangs up the line; what cannot be read is reported, not played,
// and neither is a log that is not a regular file or too large to hold, nor a speed it cannot keep.

#include "sim_harness.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <sys/stat.h>
#include <termios.h>
#include <utility>

using simtest::Chunk;
using simtest::Sim;

namespace {

// Seconds after `t0` at which the byte at `offset` arrived, or -1.
double arrival(const QList<Chunk> &chunks, qsizetype offset, double t0) {
    for (const Chunk &chunk : chunks) {
        if (offset < chunk.bytes.size())
            return chunk.time - t0;
        offset -= chunk.bytes.size();
    }
    return -1;
}

QString writeLog(const QTemporaryDir &dir, const QByteArray &text) {
    const QString path = dir.filePath(QStringLiteral("traffic.log"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size())
        return {};
    return path;
}

const QByteArray kAcrossMidnight = "2026-12-07 23:59:59.900 = opened COM3 /dev/pts/4 115200,O,7,1\n"
                                   "2026-12-07 23:59:59.950 > U\n"
                                   "2026-12-08 00:00:00.000 < J057\n"
                                   "2026-12-08 00:00:00.000 < .\n"
                                   "2026-12-08 00:00:00.000 ! Sending ?\\n command...\n"
                                   "2026-12-08 00:00:00.250 < A\\\\B\\rC\\tD\\x00\\xE9\\x1B\\x7F\n"
                                   "2026-12-08 00:00:00.250 < \n"
                                   "2026-12-08 00:00:00.400 < cut\\c\n"
                                   "2026-12-08 00:00:00.400 > U*12\n";

} // namespace

class TstSimReplay : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void playsTheRadiosSide_data();
    void playsTheRadiosSide();
    void refusesWhatItCannotRead_data();
    void refusesWhatItCannotRead();
};

void TstSimReplay::playsTheRadiosSide_data() {
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<double>("speed");
    QTest::addColumn<bool>("bySettings"); // the console sets its line up; else it sends first
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<QList<int>>("due"); // pairs: where a record's bytes begin, its time in ms
    QTest::addColumn<bool>("hangsUp");

    const QByteArray acrossMidnight("J057\n.\nA\\B\rC\tD\0\xe9\x1b\x7f\n\ncut", 23);
    const QList<int> acrossMidnightDue{0, 100, 5, 100, 7, 350, 19, 350, 20, 500};
    QTest::newRow("escapes, cut and empty lines, equal times, speed 1")
        << kAcrossMidnight << 1.0 << true << acrossMidnight << acrossMidnightDue << false;
    QTest::newRow("the same at speed 4")
        << kAcrossMidnight << 4.0 << true << acrossMidnight << acrossMidnightDue << false;
    QTest::newRow("no opened record, clock set back, started by the console's byte")
        << QByteArray("2026-12-07 15:58:30.000 > ?\n"
                      "2026-12-07 15:58:30.200 < F1000000\n"
                      "2026-12-07 15:58:29.900 < .\n"
                      "2026-12-07 15:58:30.500 < DRT-1446\n")
        << 1.0 << false << QByteArray("F1000000\n.\nDRT-1446\n")
        << QList<int>{0, 200, 9, 200, 11, 500} << false;
    QTest::newRow("lost device hangs up, half as fast")
        << QByteArray("2026-12-07 15:58:28.000 = opened COM3 /dev/pts/4 9600,O,7,1\n"
                      "2026-12-07 15:58:28.100 < J057\n"
                      "2026-12-07 15:58:28.200 < J05\\c\n"
                      "2026-12-07 15:58:28.200 = closed COM3\n"
                      "2026-12-07 15:58:28.200 = lost COM3 (/dev/pts/4) was lost: gone\n"
                      "2026-12-07 15:58:29.000 < never sent\n")
        << 0.5 << true << QByteArray("J057\nJ05") << QList<int>{0, 100, 5, 200} << true;
}

void TstSimReplay::playsTheRadiosSide() {
    QFETCH(QByteArray, log);
    QFETCH(double, speed);
    QFETCH(bool, bySettings);
    QFETCH(QByteArray, expected);
    QFETCH(QList<int>, due);
    QFETCH(bool, hangsUp);
    QTemporaryDir dir;
    const QString path = writeLog(dir, log);

    const QString failure = simtest::bestOf(3, [&]() -> QString {
        Sim sim({"--replay", path, "--replay-speed", QString::number(speed)});
        const int fd = sim.console();
        QTest::qWait(50); // nothing is played before the console opens the line
        const double t0 = simtest::now();
        if (bySettings) {
            termios tio{};
            tcgetattr(fd, &tio);
            cfsetspeed(&tio, B115200);
            tcsetattr(fd, TCSANOW, &tio);
        } else {
            sim.send("U?\n");
        }
        QList<Chunk> chunks = sim.readTimed(
            5000, [&](const QByteArray &all) { return !hangsUp && all.size() >= expected.size(); });
        chunks += sim.readTimed(hangsUp ? 0 : 300); // then silence
        QByteArray bytes;
        for (const Chunk &chunk : chunks)
            bytes += chunk.bytes;
        if (bytes != expected)
            return QStringLiteral("received %1").arg(QString::fromLatin1(bytes.toHex(' ')));

        // Never early; late by about as much as the first record, which waited for the
        // console's settings to hold still.
        double firstLate = 0;
        for (qsizetype i = 0; i < due.size(); i += 2) {
            const double late = arrival(chunks, due[i], t0) - due[i + 1] / 1000.0 / speed;
            firstLate = i == 0 ? late : firstLate;
            if (late < 0 || late > 0.060 || std::abs(late - firstLate) > 0.020)
                return QStringLiteral("byte %1 %2 s late").arg(due[i]).arg(late);
        }

        const QByteArray events = sim.log().join('\n') + '\n';
        if (!events.contains(bySettings ? "REPLAY-START console settings\n"
                                        : "REPLAY-START console byte\n"))
            return QStringLiteral("the replay did not start as the console opened");
        // Heard and logged, never answered: the bytes above are the log's alone.
        if (!bySettings && !(events.contains(" POLL\n") && events.contains(" CMD ?\n")))
            return QStringLiteral("the console's poll and command went unlogged");
        const QByteArray hangUp = "HANGUP " + QByteArray::number(expected.size()) + " bytes";
        if (hangsUp ? !sim.waitForExit(0) || !sim.log().last().endsWith(hangUp)
                    : sim.process().state() != QProcess::Running || !events.contains("REPLAY-END"))
            return QStringLiteral("hung up as the log did not, or not as it did");
        return {};
    });
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TstSimReplay::refusesWhatItCannotRead_data() {
    QTest::addColumn<QStringList>("arguments"); // LOG: the log below
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QList<QByteArray>>("errors"); // each on one line of its own, once
    QTest::addColumn<QByteArray>("replayed");      // null: the radio refuses to start

    const QByteArray good("2026-12-07 15:58:28.000 < J057\n");
    const auto refused = [&](const char *name, const QStringList &arguments, const char *error) {
        QTest::newRow(name) << arguments << good << QList<QByteArray>{error} << QByteArray();
    };
    refused("no such file", {"--replay", "/nonexistent/traffic.log"},
            "cannot read the replay log /nonexistent/traffic.log");
    refused("a folder", {"--replay", QDir::tempPath()}, "cannot read the replay log");
    refused("speed 0", {"--replay", "LOG", "--replay-speed", "0"},
            "--replay-speed: expected a number greater than 0, not \"0\"");
    refused("speed not a number", {"--replay", "LOG", "--replay-speed", "fast"}, "not \"fast\"");
    refused("infinite speed", {"--replay", "LOG", "--replay-speed", "inf"}, "not \"inf\"");
    refused("speed too small to keep", {"--replay", "LOG", "--replay-speed", "1e-300"},
            "--replay-speed: expected a number from 0.01 to 1000, not \"1e-300\"");
    refused("speed too great to keep", {"--replay", "LOG", "--replay-speed", "1e6"},
            "--replay-speed: expected a number from 0.01 to 1000, not \"1e6\"");
    refused("speed without a log", {"--replay-speed", "2"}, "--replay-speed needs --replay");
    refused("a device that never ends", {"--replay", "/dev/zero"},
            "cannot read the replay log /dev/zero: not a regular file");
    refused("a FIFO with no writer", {"--replay", "FIFO"},
            "cannot read the replay log FIFO: not a regular file");
    refused("over 64 MiB", {"--replay", "BIG"},
            "cannot read the replay log BIG: larger than 64 MiB");
    refused("answers shaped", {"--replay", "LOG", "--crlf"}, "--crlf shapes the radio's own");

    QTest::newRow("bad lines skipped, once each")
        << QStringList{"--replay", "LOG"}
        << QByteArray("2026-12-07 15:58:28.000 = opened COM3 /dev/pts/4 9600,O,7,1\n"
                      "\n"
                      "2026-12-07 15:58:28.100 < J057\\x4\n"
                      "2026-12-07 15:58:28.100 < J\\c57\n"
                      "2026-12-07 15:58:28.100 < J\\n57\n"
                      "2026-12-07 15:58:28.100 < J057\\\n"
                      "2026-12-07 15:58:28,100 < J057\n"
                      "2026-02-30 15:58:28.100 < J057\n"
                      "2026-12-07 15:58:28.100 ? J057\n"
                      "2026-12-07 15:58:28.100 <J057\n"
                      "2026-12-07 15:58:28.100 < J057\r\n"
                      "2026-12-07 15:58:28.200 < DRT-1446\n"
                      "2026-12-07 15:58:28.200 ! Sending ?\\n command...\n"
                      "2026-12-07 15:58:28.200 <")
        << QList<QByteArray>{"LOG:2: an empty line",
                             "LOG:3: \\x not followed by two hex digits",
                             "LOG:4: \\c before the end",
                             "LOG:5: unknown escape \\n",
                             "LOG:6: a lone \\ at the end",
                             "LOG:7: the time stamp does not read",
                             "LOG:8: no such date or time",
                             "LOG:9: unknown mark \"?\"",
                             "LOG:10: no blank after the mark",
                             "LOG:11: byte 0x0d in column 31 is not printable"}
        << QByteArray("DRT-1446\n\n");
}

void TstSimReplay::refusesWhatItCannotRead() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, log);
    QFETCH(QList<QByteArray>, errors);
    QFETCH(QByteArray, replayed);
    QTemporaryDir dir;
    const QString path = writeLog(dir, log);
    // FIFO: one no one writes to; BIG: a log one byte over the bound (sparse: no disk taken).
    const QString fifo = dir.filePath(QStringLiteral("fifo")), big = dir.filePath("big.log");
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    QFile bigFile(big);
    QVERIFY(bigFile.open(QIODevice::WriteOnly) && bigFile.resize(64 * 1024 * 1024 + 1));
    const std::pair<const char *, QString> stands[] = {{"LOG", path}, {"FIFO", fifo}, {"BIG", big}};
    for (const auto &[name, file] : stands)
        arguments.replaceInStrings(QLatin1String(name), file);

    Sim sim(arguments, QProcess::SeparateChannels);
    if (replayed.isNull()) {
        QVERIFY(sim.path().isEmpty()); // no line offered
        QVERIFY(sim.waitForExit(2));
    } else {
        QVERIFY(!sim.path().isEmpty());
        sim.send("U"); // starts the replay
        QCOMPARE(sim.read(1000, [&](const QByteArray &all) { return all.size() >= 10; }), replayed);
    }
    sim.process().terminate();
    sim.process().waitForFinished(3000);
    const QList<QByteArray> lines = simtest::completeLines(sim.process().readAllStandardError());
    QCOMPARE(lines.size(), errors.size());
    for (QByteArray error : errors) {
        for (const auto &[name, file] : stands)
            error.replace(name, file.toLocal8Bit());
        const auto reported = [&](const QByteArray &l) {
            return l.startsWith("rt1446-sim: ") && l.contains(error);
        };
        QVERIFY2(std::count_if(lines.cbegin(), lines.cend(), reported) == 1, error.constData());
    }
}

QTEST_GUILESS_MAIN(TstSimReplay)
#include "tst_sim_replay.moc"
