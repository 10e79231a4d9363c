// The simulated radio misbehaving on request, as the console must survive it: carriage
// returns, pauses inside lines, an overlong line, garbage, a stream with no pause, silence and
// a hang-up.

#include "sim_harness.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

using simtest::Chunk;
using simtest::Sim;

namespace {

bool oneReport(const QByteArray &all) {
    return simtest::reportsIn(all) >= 1;
}

bool isGarbage(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u != '\n' && (u < 0x20 || u > 0x7e);
}

} // namespace

class TstSimMisbehaviour : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void carriageReturnBeforeEveryLineFeed();
    void garbageInsideLinesOnly();
    void pauseInsideEveryLine();
    void longLineOnceThenNormalReports();
    void streamNeverPauses();
    void silentNeverAnswers();
    void hangUpAfterBytes();
    void exitsCleanly_data();
    void exitsCleanly();
};

void TstSimMisbehaviour::carriageReturnBeforeEveryLineFeed() {
    Sim sim({QStringLiteral("--crlf"), QStringLiteral("--no-pace")});
    sim.send("?\nU");
    const QByteArray bytes = sim.readReports(2);
    const QList<QByteArray> lines = simtest::completeLines(bytes);
    QCOMPARE(lines.size(), 36 + 6);
    for (const QByteArray &line : lines) {
        QVERIFY2(line.endsWith('\r'), line.constData());
        QCOMPARE(line.count('\r'), 1);
    }
    QCOMPARE(lines.last(), QByteArray(".\r"));
}

void TstSimMisbehaviour::garbageInsideLinesOnly() {
    Sim sim({QStringLiteral("--garbage"), QStringLiteral("--no-pace")});
    sim.send("U?\nUF1000000\n");
    const QByteArray bytes = sim.readReports(4);
    QVERIFY(bytes.contains('\0'));
    QVERIFY(std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) > 127; }));
    QVERIFY(std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) < 0x20 && c; }));

    // With the garbage taken out, the reports are what the radio meant to say, each line
    // still led by its key.
    QList<QByteArray> lines = simtest::completeLines(bytes);
    for (const QByteArray &line : lines)
        QVERIFY2(!line.isEmpty() && !isGarbage(line[0]), line.toHex().constData());
    for (QByteArray &line : lines)
        line.removeIf(isGarbage);
    QCOMPARE(lines.size(), 6 + 36 + 6 + 2);
    QCOMPARE(lines[4].left(1), QByteArray("U"));
    QCOMPARE(lines[5], QByteArray("."));
    QCOMPARE(lines[6 + 35], QByteArray("."));
    QCOMPARE(lines.mid(48), QList<QByteArray>({"F1000000", "."}));
}

void TstSimMisbehaviour::pauseInsideEveryLine() {
    Sim sim({QStringLiteral("--pause-in-line"), QStringLiteral("80"), QStringLiteral("--no-pace")});
    sim.console();
    bool cutShort = false;
    const QString failure = simtest::bestOf(3, [&]() -> QString {
        const double sentAt = simtest::now();
        sim.send("F1000000\n");
        const QList<Chunk> chunks = sim.readTimed(3000, oneReport);
        if (chunks.isEmpty())
            return QStringLiteral("no answer");
        // Two lines, each with a pause that holds it back: never sooner, however busy.
        cutShort = cutShort || chunks.last().time - sentAt < 0.160;
        // Each cut in its middle, in a place the console's burst cannot bridge.
        QList<QByteArray> pieces;
        for (const Chunk &chunk : chunks)
            pieces.append(chunk.bytes);
        if (pieces != QList<QByteArray>({"F100", "0000\n.", "\n"}))
            return QStringLiteral("pieces: ") + QString::fromLatin1(pieces.join('|').toHex());
        return {};
    });
    QVERIFY(!cutShort);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TstSimMisbehaviour::longLineOnceThenNormalReports() {
    Sim sim({QStringLiteral("--long-line"), QStringLiteral("100000"), QStringLiteral("--no-pace")});
    sim.send("D\n");
    QList<QByteArray> lines = simtest::completeLines(sim.readReports(1, 5000));
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0].size(), 100000);
    QVERIFY(lines[0].startsWith("L1234567890"));
    QCOMPARE(lines.mid(1), QList<QByteArray>({"DRT-1446", "."}));

    sim.send("D\n");
    QCOMPARE(simtest::completeLines(sim.readReports(1)), QList<QByteArray>({"DRT-1446", "."}));
}

void TstSimMisbehaviour::streamNeverPauses() {
    Sim sim({QStringLiteral("--stream")});
    // Not polled, yet reports keep coming, back to back at 960 characters a second.
    const QString failure = simtest::bestOf(3, [&]() -> QString {
        const QList<Chunk> chunks = sim.readTimed(500);
        QByteArray bytes;
        for (const Chunk &chunk : chunks)
            bytes += chunk.bytes;
        if (bytes.size() < 300 || simtest::reportsIn(bytes) < 10)
            return QStringLiteral("%1 bytes in half a second").arg(bytes.size());
        const double gap = simtest::longestGap(chunks);
        if (gap >= 0.030)
            return QStringLiteral("a gap of %1 s").arg(gap);
        return {};
    });
    QVERIFY2(failure.isEmpty(), qPrintable(failure));

    sim.send("D\n"); // a command still gets its answer among the stream
    QVERIFY(sim.read(1000, [](const QByteArray &all) { return all.contains("DRT-1446\n.\n"); })
                .contains("DRT-1446\n.\n"));
}

void TstSimMisbehaviour::silentNeverAnswers() {
    Sim sim({QStringLiteral("--silent"), QStringLiteral("--stream")});
    sim.send("U?\nD\n");
    QCOMPARE(sim.read(300), QByteArray());
    // It still hears everything.
    const QList<QByteArray> log = sim.log();
    QVERIFY(std::any_of(log.cbegin(), log.cend(),
                        [](const QByteArray &l) { return l.contains(" POLL"); }));
    QVERIFY(std::any_of(log.cbegin(), log.cend(),
                        [](const QByteArray &l) { return l.endsWith(" CMD D"); }));
}

void TstSimMisbehaviour::hangUpAfterBytes() {
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("rt1446"));
    Sim sim(
        {QStringLiteral("--hangup-after"), QStringLiteral("50"), QStringLiteral("--link"), link});
    sim.send("?\n");
    QByteArray bytes;
    bool lineGone = false;
    const int fd = sim.console();
    for (int i = 0; i < 300; ++i) {
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 10);
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, n);
        } else if (n == 0 || errno != EAGAIN) {
            lineGone = true; // end of file or EIO: the line hung up
            break;
        }
    }
    // Exactly the bytes promised, then the line is gone for good, as after a pulled adapter.
    QCOMPARE(bytes.size(), 50);
    QVERIFY(bytes.startsWith("J"));
    QVERIFY(lineGone);
    pollfd p{fd, POLLIN, 0};
    QCOMPARE(::poll(&p, 1, 0), 1);
    QVERIFY(p.revents & POLLHUP);
    QVERIFY(sim.waitForExit(0));
    QVERIFY(sim.log().last().endsWith("HANGUP 50 bytes"));
    QVERIFY(!QFileInfo(link).isSymLink());
}

void TstSimMisbehaviour::exitsCleanly_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("signal");
    QTest::addColumn<QByteArray>("logged");
    QTest::newRow("SIGTERM") << QStringList{} << int(SIGTERM) << QByteArray("EXIT signal 15");
    QTest::newRow("SIGINT while streaming")
        << QStringList{"--stream"} << int(SIGINT) << QByteArray("EXIT signal 2");
    QTest::newRow("time up") << QStringList{"--exit-after", "0.2"} << 0 << QByteArray("EXIT time");
}

void TstSimMisbehaviour::exitsCleanly() {
    QFETCH(QStringList, arguments);
    QFETCH(int, signal);
    QFETCH(QByteArray, logged);
    Sim sim(arguments);
    QVERIFY(!sim.path().isEmpty());
    if (signal != 0) {
        QTest::qWait(50);
        ::kill(pid_t(sim.process().processId()), signal);
    }
    QVERIFY(sim.waitForExit(0));
    QVERIFY(sim.log().last().endsWith(logged));
}

QTEST_GUILESS_MAIN(TstSimMisbehaviour)
#include "tst_sim_misbehaviour.moc"
