// The fault matrix, what comes down the line: noise, every byte value, a megabyte line, a stream
// that never pauses and tens of thousands of meter lines.

#include "faults_test.h"

#include "handlers/protocol/protocol_timing.h"
#include "support/console.h"
#include "support/fault_predicates.h"
#include "support/sim_radio.h"
#include "support/slot_recorder.h"
#include "text/framing.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <algorithm>

using namespace korvane;
using namespace korvane::test;

void TestFaults::noisyLines_data() {
    QTest::addColumn<QStringList>("options");
    QTest::newRow("garbage: NUL, above 127, control characters")
        << QStringList{QStringLiteral("--garbage")};
    QTest::newRow("carriage return before each line feed") << QStringList{QStringLiteral("--crlf")};
    QTest::newRow("a pause inside every line")
        << QStringList{QStringLiteral("--pause-in-line"), QStringLiteral("40")};
}

void TestFaults::noisyLines() {
    QFETCH(QStringList, options);
    SimRadio radio(options);
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdGetStatus");
    qint64 longest = 0;
    QVERIFY(runWatched(
        console, [&] { return recorder.count(33) == 1; }, 5000, longest));
    console.runFor(50);
    const std::optional<QByteArray> sent = radio.bytesSent();
    QVERIFY(sent);
    QCOMPARE(recorder.texts(), wholeLines(*sent));
    QCOMPARE(misrouted(recorder).join(QLatin1Char('|')), QString());
    QCOMPARE(errors(recorder).join(QLatin1Char('|')), QString());
    QCOMPARE(untruths(console), QString());
    QVERIFY(console.window().cmdGetStatus->isEnabled());
}

void TestFaults::everyByteValue() {
    // The simulated radio mixes garbage in at random; here every byte value but the line feed
    // comes once, inside a line of its own, straight from the radio's end of a pseudo-terminal.
    Console console;
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    QByteArray stream;
    QStringList expected;
    for (int b = 0; b < 256; ++b) {
        if (b == '\n')
            continue;
        const QByteArray line = QByteArray("A") + char(b) + "z";
        stream += line + '\n';
        expected << QString::fromLatin1(line);
    }
    stream += ".\n";
    expected << QStringLiteral(".");
    console.radio().write(stream);
    QVERIFY(console.runUntil([&] { return recorder.count(33) == 1; }));
    QCOMPARE(recorder.texts(), expected);
    QCOMPARE(misrouted(recorder).join(QLatin1Char('|')), QString());
    QCOMPARE(errors(recorder).join(QLatin1Char('|')), QString());
}

void TestFaults::megabyteLine() {
    constexpr qint64 kLength = 1'000'000;
    SimRadio radio(
        {QStringLiteral("--long-line"), QString::number(kLength), QStringLiteral("--no-pace")});
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdGetStatus");
    qint64 longest = 0;
    qsizetype largestBuffer = 0;
    QVERIFY(runWatched(
        console,
        [&] {
            largestBuffer = std::max(largestBuffer, console.state().RxBuffer.size());
            return recorder.count(33) == 1;
        },
        15000, longest));
    console.runFor(50);
    // The long line is dropped whole and said so: the count grows as the line goes on and ends
    // at its whole length. The report after it arrives whole.
    const QList<qint64> counts = droppedCounts(recorder);
    QVERIFY(!counts.isEmpty());
    QCOMPARE(counts.last(), kLength);
    QVERIFY(std::is_sorted(counts.begin(), counts.end()));
    QCOMPARE(recorder.count(), qint64(36));
    // The report box shows the newest part of all that, within its bound, and says so.
    const QString shown = console.window().txtFromVO1446->toPlainText();
    QVERIFY2(shown.size() <= kMaxReportText, qPrintable(QString::number(shown.size())));
    QVERIFY(shown.endsWith(QStringLiteral("QC1.1<.<")));
    QVERIFY(recorder.messages().filter(QStringLiteral("Report too long for the box")).size() == 1);
    QCOMPARE(misrouted(recorder).join(QLatin1Char('|')), QString());
    for (const QString &line : recorder.texts())
        QVERIFY2(!line.startsWith(QLatin1Char('L')), qPrintable(line.left(40)));
    QCOMPARE(untruths(console), QString());
    QVERIFY2(longest < kFrozenMsecs, qPrintable(QString::number(longest)));
    // The receive buffer holds one burst and a kept tail, never the line.
    QVERIFY2(largestBuffer < 256 * 1024, qPrintable(QString::number(largestBuffer)));
}

void TestFaults::neverPausingStream_data() {
    QTest::addColumn<QStringList>("options");
    // Poll answers back to back: at 9600 baud, and as fast as the console takes them. The radio
    // hangs up after a set number of bytes, so what it sent is known to the byte.
    QTest::newRow("at 9600 baud") << QStringList{
        QStringLiteral("--stream"), QStringLiteral("--hangup-after"), QStringLiteral("1500")};
    // Far faster than any serial line: the radio is held back while the console takes a burst at
    // a time.
    QTest::newRow("unpaced") << QStringList{QStringLiteral("--stream"), QStringLiteral("--no-pace"),
                                            QStringLiteral("--hangup-after"),
                                            QStringLiteral("300000")};
}

void TestFaults::neverPausingStream() {
    QFETCH(QStringList, options);
    SimRadio radio(options);
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    qint64 longest = 0;
    QVERIFY(runWatched(
        console, [&] { return console.window().cmdCOMStatus->text() == kStartProbe; }, 15000,
        longest));
    console.runFor(50);
    QVERIFY2(longest < kFrozenMsecs, qPrintable(QString::number(longest)));
    const std::optional<QByteArray> sent = radio.bytesSent();
    QVERIFY(sent);
    QCOMPARE(unbrokenTail(recorder.texts(), wholeLines(*sent)), QString());
    QVERIFY(console.message().startsWith(QStringLiteral("Err 8017. ")));
    QCOMPARE(untruths(console), QString());
}

void TestFaults::tensOfThousandsOfMeterLines() {
    // An unpaced stream of answers with 100 meter lines each, sync on: every pass frames more
    // than 15 of them, so every pass forces a poll.
    SimRadio radio({QStringLiteral("--stream"), QStringLiteral("--no-pace"),
                    QStringLiteral("--meter-lines"), QStringLiteral("100"),
                    QStringLiteral("--hangup-after"), QStringLiteral("400000")});
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    console.click("cmdSyncOnOff");
    std::int16_t highest = 0;
    QVERIFY(console.runUntil(
        [&] {
            highest = std::max(highest, console.state().JTokenCount);
            return console.window().cmdCOMStatus->text() == kStartProbe;
        },
        20000));
    console.runFor(50);
    const std::optional<QByteArray> sent = radio.bytesSent();
    QVERIFY(sent);
    QCOMPARE(unbrokenTail(recorder.texts(), wholeLines(*sent)), QString());
    QVERIFY2(recorder.count(31) > 40000, qPrintable(QString::number(recorder.count(31))));
    QVERIFY2(radio.count("POLL") > 5, qPrintable(QString::number(radio.count("POLL"))));
    // The count never carries past one pass, and so never overflows in normal flow.
    QVERIFY2(highest < kForcedPollJLines, qPrintable(QString::number(highest)));
    // The only failure is the hang-up, seen by a poll going out or by the receiving side.
    for (const QString &e : errors(recorder))
        QVERIFY2(e.startsWith(QStringLiteral("Err 8017. ")), qPrintable(e));
    QVERIFY(console.message().startsWith(QStringLiteral("Err 8017. ")));
    QCOMPARE(untruths(console), QString());
}

void TestFaults::backlogAfterTheAboutBox() {
    // An unpaced stream of answers with 100 meter lines each, piling up while the About box
    // holds the loop; once it closes, the backlog is framed in turns and every line of it routed.
    SimRadio radio({QStringLiteral("--stream"), QStringLiteral("--no-pace"),
                    QStringLiteral("--meter-lines"), QStringLiteral("100")});
    QVERIFY(!radio.path().isEmpty());
    Console console(radio.ports());
    console.startUp();
    SlotRecorder recorder(console.window());
    console.openPort();
    constexpr qsizetype kBacklog = 200 * 1024;
    QTimer closer;
    QElapsedTimer open;
    open.start();
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (box == nullptr ||
            (console.state().RxBuffer.size() < kBacklog && open.elapsed() < 10000))
            return;
        radio.freeze(); // what piled up is all there is
        closer.stop();
        qobject_cast<QDialog *>(box)->accept();
    });
    closer.start(10);
    console.window().mnuHelpAbout->trigger(); // modal: returns once the box is closed
    QVERIFY(!closer.isActive());
    QVERIFY(console.state().RxBuffer.size() >= kBacklog);

    // The window keeps answering while the backlog goes through, to the last character the
    // radio put on the line.
    qint64 longest = 0;
    QElapsedTimer sinceLast;
    sinceLast.start();
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout,
                     [&] { longest = std::max(longest, sinceLast.restart()); });
    watch.start(10);
    QVERIFY(console.runUntil(
        [&] {
            return console.state().RxBuffer.size() < 4096 &&
                   console.app().MSComm1.InBufferCount() == 0;
        },
        20000));
    console.runFor(100);
    watch.stop();
    QVERIFY2(longest < kFrozenMsecs,
             qPrintable(QStringLiteral("the window stood still for %1 ms").arg(longest)));
    const std::optional<QByteArray> sent = radio.bytesSent();
    QVERIFY(sent);
    // Frozen, the radio may have put only the start of its last report on the line: every line
    // up to that report must have been routed, in order, and of it what came.
    const QStringList routed = recorder.texts().mid(1); // the first may be the end of a cut line
    const QStringList all = wholeLines(*sent);
    const qsizetype unfinished = radio.count("TX-START") > radio.count("TX-END")
                                     ? radio.events("TX-START").last().fields.value(1).toInt()
                                     : 0;
    QVERIFY(routed.size() > 1000);
    qsizetype start = 0;
    while (start < all.size() && all.mid(start, 200) != routed.mid(0, 200))
        ++start;
    QCOMPARE(all.mid(start, routed.size()), routed);
    QVERIFY2(start + routed.size() >= all.size() - unfinished,
             qPrintable(QStringLiteral("%1 lines not routed")
                            .arg(all.size() - unfinished - start - routed.size())));
    QCOMPARE(misrouted(recorder), QStringList());
    QCOMPARE(untruths(console), QString());
}
