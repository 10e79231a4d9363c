// Framing received batches into lines: the edge cases of the scan, the kept tail, and that a
// stream gives the same lines and the same report texts whether it arrives whole, byte by byte or
// in random pieces.

#include "text/framing.h"

#include <QRandomGenerator>
#include <QtTest>

using namespace korvane;

class TestFraming : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void batch_data();
    void batch();
    void streamInAnyPieces_data();
    void streamInAnyPieces();
    void overlongLineIsDroppedAndCounted();
    void reportTextKeepsItsNewestLines();
};

void TestFraming::batch_data() {
    QTest::addColumn<QString>("input");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("tail");

    QTest::newRow("complete report") << "J123\n.\n"
                                     << QStringList{"J123", "."} << true << "J123<.<"
                                     << "";
    QTest::newRow("carriage returns stay in the line")
        << "F14.250\r\n.\r\n"
        << QStringList{"F14.250\r", ".\r"} << true << "F14.250\r<.\r<"
        << "";
    QTest::newRow("empty lines are skipped") << "A\n\nB\n.\n"
                                             << QStringList{"A", "B", "."} << true << "A<<B<.<"
                                             << "";
    QTest::newRow("a last line feed after a line feed is not examined")
        << "A\n\n"
        << QStringList{"A"} << false << "A<\n"
        << "\n";
    QTest::newRow("one character is not framed") << "\n"
                                                 << QStringList{} << false << "\n"
                                                 << "\n";
    QTest::newRow("final dot without line feed does not complete")
        << "J1\n." << QStringList{"J1"} << false << "J1<."
        << ".";
    QTest::newRow("unterminated line is kept for the next batch")
        << "J1\nF14" << QStringList{"J1"} << false << "J1<F14"
        << "F14";
    QTest::newRow("completed batch shows its tail too")
        << ".\nF1" << QStringList{"."} << true << ".<F1"
        << "F1";
    QTest::newRow("several dot lines") << ".\n.x\nA\n"
                                       << QStringList{".", ".x", "A"} << true << ".<.x<A<"
                                       << "";
    QTest::newRow("no dot line") << "A1\nB2\n"
                                 << QStringList{"A1", "B2"} << false << "A1<B2<"
                                 << "";
    QTest::newRow("empty batch") << "" << QStringList{} << false << ""
                                 << "";
    QTest::newRow("dot after blank is not an end") << " .\n"
                                                   << QStringList{" ."} << false << " .<"
                                                   << "";
}

void TestFraming::batch() {
    QFETCH(QString, input);
    FramingState state;
    const FramedBatch out = frameBatch(input, state);
    QTEST(out.lines, "lines");
    QTEST(out.complete, "complete");
    QTEST(out.shown, "shown");
    QTEST(out.tail, "tail");
    QCOMPARE(out.dropped, 0);
}

void TestFraming::streamInAnyPieces_data() {
    QTest::addColumn<QString>("stream");
    QTest::newRow("reports") << "J1\nJ2\nU OK\n.\nF14250000\nM USB\n.\n";
    QTest::newRow("crlf and empty lines") << "J1\r\n\r\n\nA x\r\n.\r\nQT1\nQC2\nQ\n.\n";
    QTest::newRow("single-character lines") << "A\nB\nC\n.\nD\n.\n";
}

void TestFraming::streamInAnyPieces() {
    QFETCH(QString, stream);
    struct Framed {
        QStringList lines;
        QStringList reports; // what the report box shows as each report completes
    };
    // The stream arrives in pieces; what waits is framed at most `budget` characters at a time,
    // cut where the probe loop cuts it.
    auto frameInPieces = [](const QString &s, auto nextPieceLength, qsizetype budget) {
        Framed framed;
        FramingState state;
        ReportText report;
        QString buffer;
        qsizetype pos = 0;
        while (pos < s.size()) {
            const qsizetype n = std::min(nextPieceLength(), s.size() - pos);
            buffer += s.mid(pos, n);
            pos += n;
            QString rest;
            do {
                const qsizetype cut = framingCut(buffer, budget);
                const FramedBatch out = frameBatch(buffer.left(cut), state);
                framed.lines += out.lines;
                report.add(out);
                qsizetype leftOut = 0;
                if (out.complete)
                    framed.reports << report.take(leftOut);
                rest = buffer.mid(cut);
                buffer = out.tail + rest;
            } while (!rest.isEmpty());
        }
        return framed;
    };
    const qsizetype all = stream.size();
    const Framed whole = frameInPieces(
        stream, [&] { return all; }, all);
    const Framed bytes = frameInPieces(
        stream, [] { return qsizetype(1); }, all);
    QRandomGenerator random(12345);
    const Framed chunks = frameInPieces(
        stream, [&] { return qsizetype(random.bounded(1, 7)); }, all);
    // All of it waiting at once (a backlog), framed a few characters at a time.
    const Framed turns = frameInPieces(
        stream, [&] { return all; }, 3);
    QVERIFY(!whole.lines.isEmpty());
    QCOMPARE(bytes.lines, whole.lines);
    QCOMPARE(chunks.lines, whole.lines);
    QCOMPARE(turns.lines, whole.lines);
    // Arriving whole, the stream is one report. In pieces or in turns, each report shows
    // everything since the one before, in order, up to the end of the piece that completes it,
    // and nothing twice.
    QCOMPARE(whole.reports.size(), 1);
    const QString report = whole.reports.first();
    for (const Framed *pieces : {&bytes, &chunks, &turns}) {
        qsizetype at = 0;
        for (const QString &shown : pieces->reports) {
            QVERIFY2(report.mid(at).startsWith(shown),
                     qPrintable(shown + QStringLiteral(" at ") + QString::number(at)));
            at += shown.size();
        }
        QCOMPARE(at, report.size());
    }
}

void TestFraming::overlongLineIsDroppedAndCounted() {
    FramingState state;
    const QString longPart(kMaxTail + 10, QLatin1Char('x'));
    FramedBatch out = frameBatch(QStringLiteral("J1\n") + longPart, state);
    QCOMPARE(out.lines, QStringList{QStringLiteral("J1")});
    QCOMPARE(out.dropped, longPart.size());
    QCOMPARE(out.droppedLines, QList<qsizetype>{longPart.size()});
    QVERIFY(out.tail.isEmpty());

    // The line goes on over batches: each tells the length dropped so far.
    out = frameBatch(QStringLiteral("xxxxx"), state);
    QCOMPARE(out.dropped, 5);
    QCOMPARE(out.droppedLines, QList<qsizetype>{longPart.size() + 5});

    // The rest of that line, up to its line feed, is dropped too and the whole line counted; what
    // follows is framed, and a second overlong line is counted from its own start.
    const QString secondLine(kMaxTail + 1, QLatin1Char('y'));
    out = frameBatch(QStringLiteral("yyy\nJ2\n.\n") + secondLine, state);
    QCOMPARE(out.dropped, 3 + secondLine.size());
    QCOMPARE(out.droppedLines, (QList<qsizetype>{longPart.size() + 8, secondLine.size()}));
    QCOMPARE(out.lines, (QStringList{QStringLiteral("J2"), QStringLiteral(".")}));
    QVERIFY(out.complete);
    QCOMPARE(out.shown, QStringLiteral("yyy<J2<.<") + secondLine);
}

void TestFraming::reportTextKeepsItsNewestLines() {
    // A report far longer than the box holds, arriving in bursts of 2048 characters: the box
    // shows its newest whole lines, within the bound, and says how much was left out.
    QString stream;
    for (int i = 0; stream.size() < 3 * kMaxReportText; ++i)
        stream += QStringLiteral("J%1\n").arg(i % 1000, 3, 10, QLatin1Char('0'));
    stream += QStringLiteral(".\nU1");
    FramingState state;
    ReportText report;
    QString buffer;
    for (qsizetype pos = 0; pos < stream.size(); pos += 2048) {
        buffer += stream.mid(pos, 2048);
        const FramedBatch out = frameBatch(buffer, state);
        report.add(out);
        buffer = out.tail;
    }
    qsizetype leftOut = 0;
    const QString shown = report.take(leftOut);
    QVERIFY2(shown.size() <= kMaxReportText, qPrintable(QString::number(shown.size())));
    QVERIFY2(shown.size() > kMaxReportText - 8, qPrintable(QString::number(shown.size())));
    QVERIFY(shown.startsWith(QLatin1Char('J')));
    QVERIFY(shown.endsWith(QStringLiteral("<.<U1")));
    QCOMPARE(leftOut + shown.size(), stream.size());
    // The next report starts empty.
    QCOMPARE(report.take(leftOut), QString());
    QCOMPARE(leftOut, 0);
}

QTEST_APPLESS_MAIN(TestFraming)
#include "tst_framing.moc"
