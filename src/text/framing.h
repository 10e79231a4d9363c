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

} // namespace korvane
