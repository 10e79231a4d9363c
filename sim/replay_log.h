#pragma once
// Reads a traffic log the console recorded, for the radio to play its own side of it back.
//
// The log has one event a line: "YYYY-MM-DD HH:MM:SS.mmm M TEXT", M one of ">" (sent to the
// radio), "<" (received from it), "!" (a message the operator saw) and "=" (the port opened,
// closed or lost). Only what the radio said matters here: each "<" record is one line it sent,
// its TEXT the line's bytes escaped ("\\", "\r", "\t", "\xHH"; any other byte from 0x20 to 0x7E
// stands for itself) and followed on the line by a line feed, unless TEXT ends in "\c": then the
// line was cut off there (by a close or a lost device) and no line feed followed. A "= lost"
// record marks where the device went away. Everything the console sent (commands, polls, the
// "U*N" poll counts) and every message is ignored; its TEXT is only checked to be printable
// ASCII, as every line of the log is.
//
// Times are kept to the millisecond from the first "= opened" record (or the first record when
// there is none), so that the replay can start when the console opens its line. The date counts
// too, so a session through midnight keeps its pace. A record stamped before the start, or before
// the record ahead of it (the recording machine's clock set back), is due at once after the one
// ahead of it: the radio never sends out of order. Records due at the same millisecond are one
// step, since the radio sent them in one go.
//
// A line that does not read as a record is skipped and reported with its number and the reason;
// the rest of the log still plays.

#include <QByteArray>
#include <QList>
#include <QString>

namespace sim {

struct ReplayStep {
    qint64 ms = 0;         // when it is due, after the start of the session
    bool lost = false;     // the device went away here; `bytes` is empty
    QByteArray bytes;      // what the radio sent, line feeds included
    qsizetype records = 0; // how many "<" records made it
};

struct ReplayProblem {
    qsizetype line; // counted from 1
    QString why;
};

struct ReplayLog {
    QList<ReplayStep> steps; // in the order they are due
    QList<ReplayProblem> problems;
};

ReplayLog parseReplayLog(const QByteArray &text);

// The largest log read: hours of a busy line at the radio's 9600 baud (a record a line of about
// 30 bytes, some 4 KiB a second), far more than a session worth replaying. A file larger than
// this is refused whole rather than held in memory (/dev/zero would never end).
inline constexpr qint64 kLargestReplayLog = 64 * 1024 * 1024;

// Reads and parses the file, which must be a regular file of at most kLargestReplayLog bytes;
// false (and what was wrong) if it cannot be read.
bool readReplayLog(const QString &path, ReplayLog *log, QString *error);

} // namespace sim
