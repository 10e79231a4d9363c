// The simulated radio's output keeps to the line's baud rate: 10 bit times a character, in
// chunks small enough that no report shows a gap that would end the console's burst.

#include "sim_harness.h"

#include <QTest>

#include <algorithm>
#include <termios.h>

using simtest::Chunk;
using simtest::Sim;

namespace {

bool oneReport(const QByteArray &all) {
    return simtest::reportsIn(all) >= 1;
}

} // namespace

class TstSimPacing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void pacedAtTheBaudRate_data();
    void pacedAtTheBaudRate();
    void noPaceSendsAtOnce();
    void answersAfterTheReplyDelay_data();
    void answersAfterTheReplyDelay();
};

void TstSimPacing::pacedAtTheBaudRate_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("consoleSpeed"); // a speed_t the console sets on its end, 0 for none
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("baud");

    QTest::newRow("300 given") << QStringList{"--baud", "300"} << 0 << QByteArray("U") << 300;
    QTest::newRow("1200 set by the console")
        << QStringList{} << int(B1200) << QByteArray("U") << 1200;
    QTest::newRow("9600 until the console sets one")
        << QStringList{} << 0 << QByteArray("?\n") << 9600;
    QTest::newRow("given rate beats the console's")
        << QStringList{"--baud", "4800"} << int(B300) << QByteArray("?\n") << 4800;
    QTest::newRow("115200 given, long report")
        << QStringList{"--baud", "115200", "--long-line", "5000"} << 0 << QByteArray("U") << 115200;
}

void TstSimPacing::pacedAtTheBaudRate() {
    QFETCH(QStringList, arguments);
    QFETCH(int, consoleSpeed);
    QFETCH(QByteArray, request);
    QFETCH(int, baud);

    const QString failure = simtest::bestOf(3, [&]() -> QString {
        Sim sim(arguments);
        if (sim.console() < 0)
            return QStringLiteral("no line");
        if (consoleSpeed != 0) {
            termios tio{};
            tcgetattr(sim.console(), &tio);
            cfsetispeed(&tio, speed_t(consoleSpeed));
            cfsetospeed(&tio, speed_t(consoleSpeed));
            tcsetattr(sim.console(), TCSANOW, &tio);
        }
        sim.send(request);
        const QList<Chunk> chunks = sim.readTimed(10000, oneReport);
        if (chunks.isEmpty())
            return QStringLiteral("no answer");
        qsizetype bytes = 0;
        for (const Chunk &chunk : chunks)
            bytes += chunk.bytes.size();
        // Everything after the first chunk took its 10 bit times a character on the way.
        const double span = chunks.last().time - chunks.first().time;
        const double expected = double(bytes - chunks.first().bytes.size()) * 10.0 / baud;
        if (span < expected * 0.8 - 0.005 || span > expected * 1.25 + 0.015)
            return QStringLiteral("%1 bytes in %2 s, expected %3 s")
                .arg(bytes)
                .arg(span)
                .arg(expected);
        const double gap = simtest::longestGap(chunks);
        if (baud >= 1200 && gap >= 0.030)
            return QStringLiteral("a gap of %1 s inside the report").arg(gap);
        return {};
    });
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void TstSimPacing::noPaceSendsAtOnce() {
    // At 300 baud the full status would take six seconds on a real line.
    Sim sim({QStringLiteral("--no-pace"), QStringLiteral("--baud"), QStringLiteral("300")});
    sim.send("?\n");
    const QList<Chunk> chunks = sim.readTimed(3000, oneReport);
    QVERIFY(!chunks.isEmpty());
    QVERIFY(chunks.last().time - chunks.first().time < 1.0);
}

void TstSimPacing::answersAfterTheReplyDelay_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<double>("earliest");
    QTest::addColumn<double>("latest");
    QTest::newRow("default") << QStringList{} << 0.005 << 0.1;
    QTest::newRow("150 ms") << QStringList{"--reply-delay", "150"} << 0.150 << 0.3;
}

void TstSimPacing::answersAfterTheReplyDelay() {
    QFETCH(QStringList, arguments);
    QFETCH(double, earliest);
    QFETCH(double, latest);
    Sim sim(arguments);
    sim.console();
    double shortest = 1e9;
    const QString failure = simtest::bestOf(3, [&]() -> QString {
        const double sentAt = simtest::now();
        sim.send("D\n");
        const QList<Chunk> chunks = sim.readTimed(2000, oneReport);
        if (chunks.isEmpty())
            return QStringLiteral("no answer");
        const double delay = chunks.first().time - sentAt;
        shortest = std::min(shortest, delay);
        return delay < latest ? QString() : QStringLiteral("answered after %1 s").arg(delay);
    });
    // Never early, however busy the machine: the radio waits at least its delay.
    QVERIFY2(shortest >= earliest, qPrintable(QString::number(shortest)));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

QTEST_GUILESS_MAIN(TstSimPacing)
#include "tst_sim_pacing.moc"
