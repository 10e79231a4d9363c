#pragma once
// Framing a received batch into token lines.
//
// The batch is scanned for line feeds from its start. Each line feed is overwritten with "<" in
// the batch itself (so the report box shows where the lines ended), and the text before it is one
// line: it goes to routing unless it is empty, and a line beginning with "." completes the
// report. The scan stops when fewer than two characters remain or no line feed is left.
//
// What follows the last framed line feed is part of a line still on its way (a pause inside a
// line ends a receive burst, and at 300 baud every character is such a pause), so it is kept and
// framed with the next batch. A kept tail longer than kMaxTail cannot be a line the radio sends:
// it is dropped, and so is the rest of that line up to its line feed, and the loss is counted,
// over every batch the line takes, so that the operator is told its whole length.
//
// The report box shows the text of a whole report, however many batches it took to arrive (at
// 300 baud every character is a batch of its own): ReportText gathers what each batch framed
// until a batch completes the report.

#include <QList>
#include <QString>
#include <QStringList>

namespace korvane {

inline constexpr qsizetype kMaxTail = 4096;

struct FramingState {
    bool discardingOverlongLine = false; // inside a dropped line, until its line feed
    qsizetype droppedOfLine = 0;         // characters of that line dropped so far
};

struct FramedBatch {
    QStringList lines;     // non-empty lines, in arrival order, without their line feeds
    bool complete = false; // a line began with "."
    QString shown;         // the batch with each framed line feed made "<"
    QString tail;          // kept for the next batch
    qsizetype dropped = 0; // characters lost to overlong lines in this batch
    // Each overlong line this batch dropped characters of, in order, as its length so far: the
    // whole line once its line feed has come, the part until now for the one still being dropped.
    QList<qsizetype> droppedLines;
};

FramedBatch frameBatch(const QString &batch, FramingState &state);

// How much of the text waiting to be framed one pass of the probe loop takes. A receive burst is
// at most a couple of thousand characters, but while a modal box holds the loop the bursts pile
// up (200 KB and more from a radio that never pauses), and framing and routing all of that in one
// pass would hold the window. The pass takes its budget, cut just after a line feed so that it
// frames exactly the lines framing the whole would, and the rest waits for the next pass.
inline constexpr qsizetype kFramedPerPass = 8 * 1024;

// The length of the start of `waiting` to frame now: all of it when it is within `budget` or no
// line feed follows the budget's end; otherwise up to and including the last line feed within the
// budget, or the first after it when the budget holds none; never only a first line feed, which
// framing would keep for the next batch, so that every cut takes something.
qsizetype framingCut(const QString &waiting, qsizetype budget = kFramedPerPass);

// The most of a report the box shows; a longer one loses its oldest whole lines. 16 KiB holds
// about ninety full status reports; the box lays out all it is given in one go, and at 64 KiB
// that held the window still for most of a second after a backlog.
inline constexpr qsizetype kMaxReportText = 16 * 1024;

// The text of the report on its way: every character received since the last report completed,
// as one batch holding all of it would show it (framed line feeds as "<", and from the batch that
// completes it everything, its unfinished end included). A kept tail is counted once, with the
// batch that frames it; the unfinished end a completed report showed is not shown again at the
// start of the next one.
class ReportText {
public:
    // Adds what `batch` framed; a complete batch adds all of itself and ends the report.
    void add(const FramedBatch &batch);
    // The report so far, and empties it. `leftOut` is the number of characters of its oldest
    // lines left out to keep it within kMaxReportText.
    QString take(qsizetype &leftOut);

private:
    QString m_text;
    qsizetype m_leftOut = 0;
    qsizetype m_shownAhead = 0; // the kept tail's characters the last report already showed
};

} // namespace korvane
