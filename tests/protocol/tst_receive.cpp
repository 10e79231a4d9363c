// Receiving: a burst lands whole in one event, nothing received is lost (in the quiet wait, at
// 300 baud, from a sender that never pauses), the response and elapsed times, and the comm-event
// messages.

#include "device/mscomm.h"
#include "handlers/protocol/receive_handling.h"
#include "support/console.h"
#include "support/fake_clock.h"
#include "text/receive_text.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>
#include <thread>

using namespace korvane;
using namespace korvane::test;

namespace {
// Sends `bytes` from the radio's end, one piece every `gapMs`, on a thread of its own so the
// console's waits are real. Joins when it goes out of scope, whatever the test's outcome.
class PacedSender {
public:
    PacedSender(PtyPair &radio, QByteArray bytes, int pieceSize, int gapMs)
        : m_thread([&radio, bytes, pieceSize, gapMs] {
              for (qsizetype i = 0; i < bytes.size(); i += pieceSize) {
                  radio.write(bytes.mid(i, pieceSize));
                  std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
              }
          }) {}
    ~PacedSender() { m_thread.join(); }

private:
    std::thread m_thread;
};
} // namespace

class TestReceive : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void burstInPiecesLandsOnce();
    void pauseEndsTheBurst();
    void slowLineIsRoutedWhole();
    void neverPausingSenderLosesNothing();
    void quietWaitWakesOnceWhenTheTimerHasMoved();
    void responseStamp_data();
    void responseStamp();
    void responseAfterMidnight();
    void commEventMessages();
};

void TestReceive::burstInPiecesLandsOnce() {
    Console console;
    console.startUp();
    console.openPort();
    int bursts = 0;
    QObject::connect(&console.app().MSComm1, &MSComm::OnComm, [&] {
        if (console.state().ResponseReady)
            ++bursts;
    });
    PacedSender sender(console.radio(), "J1\nJ2\nF14250000\n.\n", 4, 5);
    QVERIFY(console.runUntil([&] { return console.slot(33) == QLatin1String("."); }));
    QCOMPARE(bursts, 1);
    QCOMPARE(console.window().txtFromVO1446->toPlainText(), QStringLiteral("J1<J2<F14250000<.<"));
}

void TestReceive::pauseEndsTheBurst() {
    Console console;
    console.startUp();
    console.openPort();
    int bursts = 0;
    QObject::connect(&console.app().MSComm1, &MSComm::OnComm, [&] { ++bursts; });
    console.radio().write("A1\n");
    QVERIFY(console.runUntil([&] { return console.slot(10) == QLatin1String("A1"); }));
    QTest::qWait(60);
    console.radio().write("M2\n");
    QVERIFY(console.runUntil([&] { return console.slot(11) == QLatin1String("M2"); }));
    QCOMPARE(bursts, 2);
}

void TestReceive::slowLineIsRoutedWhole() {
    // 300 baud: a character every 33 ms, longer than the quiet time, so every character ends a
    // burst. The line must still arrive whole.
    Console console;
    console.startUp();
    console.openPort();
    PacedSender sender(console.radio(), "F14250000\nM USB\n.\n", 1, 34);
    QVERIFY(console.runUntil([&] { return console.slot(33) == QLatin1String("."); }, 10000));
    QCOMPARE(console.slot(18), QStringLiteral("F14250000"));
    QCOMPARE(console.slot(11), QStringLiteral("M USB"));
}

void TestReceive::neverPausingSenderLosesNothing() {
    Console console;
    console.startUp();
    console.openPort();
    // About two seconds of 9600-baud meter lines with no gap anywhere near the quiet time.
    QByteArray stream;
    const int lines = 400;
    for (int i = 0; i < lines; ++i)
        stream += QByteArray("J") + QByteArray::number(10000 + i) + "\n";
    stream += ".\n";
    int routed = 0;
    QString last;
    QObject::connect(console.window().StatusToken[31], &QLineEdit::textChanged,
                     [&](const QString &t) {
                         ++routed;
                         last = t;
                     });
    QElapsedTimer longestTurn;
    qint64 worst = 0;
    PacedSender sender(console.radio(), stream, 12, 12);
    QVERIFY(console.runUntil(
        [&] {
            worst = std::max(worst, longestTurn.isValid() ? longestTurn.restart() : 0);
            if (!longestTurn.isValid())
                longestTurn.start();
            return console.slot(33) == QLatin1String(".");
        },
        20000));
    QCOMPARE(routed, lines);
    QCOMPARE(last, QStringLiteral("J10399"));
    QVERIFY2(worst < 1000, qPrintable(QString::number(worst))); // the window kept turning
}

void TestReceive::quietWaitWakesOnceWhenTheTimerHasMoved() {
    // Morning (fine Timer steps), afternoon (1/256 s) and evening (1/128 s): one sleep from the
    // moment a character was read must end exactly when the Timer shows the quiet time gone by,
    // neither early (a second wake-up and a late report) nor a step late.
    const double quiet = 0.03;
    for (const double day : {2000.0, 45296.5, 80000.25}) {
        for (int i = 0; i < 64; ++i) {
            const double read = day + i * 0.000137;
            const double base = static_cast<double>(static_cast<float>(read));
            const double wake = read + quietSleep(base, read, quiet);
            const auto timerAt = [](double t) {
                return static_cast<double>(static_cast<float>(t));
            };
            // (A wake-up comes a little after the moment asked for, never before it.)
            QVERIFY2(timerAt(wake + 1e-6) - base >= quiet,
                     qPrintable(QString::number(read, 'f', 6)));
            QVERIFY2(timerAt(wake - 0.0001) - base < quiet,
                     qPrintable(QString::number(read, 'f', 6)));
        }
    }
    // Across midnight the moment lies in the next day: the sleep stays bounded.
    QVERIFY(quietSleep(86399.99, 0.002, quiet) <= quiet + kLargestTimerStep);
}

void TestReceive::responseStamp_data() {
    QTest::addColumn<QString>("marker");
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("stamped");
    QTest::newRow("Combo1 not in the reply") << "Combo1" << QByteArray("A1\n.\n") << false;
    QTest::newRow("A matches lower-case a") << "A" << QByteArray("xa\n.\n") << true;
    QTest::newRow("F in the reply") << "F" << QByteArray("F1000000\n.\n") << true;
    QTest::newRow("empty marker matches any reply") << "" << QByteArray("Z\n.\n") << true;
}

void TestReceive::responseStamp() {
    QFETCH(QString, marker);
    QFETCH(QByteArray, reply);
    QFETCH(bool, stamped);
    Console console;
    console.startUp();
    console.openPort();
    console.window().cmbInitial->setEditText(marker);
    console.click("cmdSendCmd");
    console.radio().write(reply);
    QVERIFY(console.runUntil([&] { return console.slot(33) == QLatin1String("."); }));
    QCOMPARE(!console.window().txtResponseTime->text().isEmpty(), stamped);
    if (stamped) {
        const double elapsed = console.window().txtElapsedTime->text().toDouble();
        QVERIFY2(elapsed >= 0.0 && elapsed < 2.0, qPrintable(QString::number(elapsed)));
    }
}

void TestReceive::responseAfterMidnight() {
    RunningClock clock(86399.9);
    ClockInstaller install(&clock);
    Console console;
    console.startUp();
    console.openPort();
    console.window().cmbInitial->setEditText(QStringLiteral("."));
    console.click("cmdSendCmd");
    QTest::qWait(150); // past midnight
    console.radio().write("F1\n.\n");
    QVERIFY(console.runUntil([&] { return console.slot(33) == QLatin1String("."); }));
    const double elapsed = console.window().txtElapsedTime->text().toDouble();
    QVERIFY2(elapsed > 0.1 && elapsed < 1.0, qPrintable(console.window().txtElapsedTime->text()));
}

void TestReceive::commEventMessages() {
    Console console;
    console.startUp();
    console.openPort();
    const struct {
        std::int16_t code;
        const char *message;
    } rows[] = {{3, "Change in CTS Detected"},
                {1004, "Framing Error"},
                {1009, "Parity Error"},
                {1005, "Unknown error or event"}};
    for (const auto &row : rows) {
        console.app().MSComm1.raiseCommEvent(row.code);
        QVERIFY(
            console.runUntil([&] { return console.message() == QLatin1String(row.message); }, 500));
    }
    console.app().MSComm1.raiseCommEvent(1); // shows nothing
    console.runFor(20);
    QCOMPARE(console.message(), QStringLiteral("Unknown error or event"));
}

QTEST_MAIN(TestReceive)
#include "tst_receive.moc"
