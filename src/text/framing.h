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

// The most of a report the box shows; a longer one loses its oldest whole lines. 16 KiB holds
// about ninety full status reports; the box lays out all it is given in one go, and at 64 KiB
// that held the window still for most of a second after a backlog.
inline constexpr qsizetype kMaxReportText = 16 * 1024;

// The text of the report on its way: every character received since the last report completed,
// as one batch holding all of it would show it (framed line feeds as "<", and from the batch that
// completes it everything, its unfinished end included). A kept tail is counted once, with the
// batch that frames it.
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
};

} // namespace korvane
