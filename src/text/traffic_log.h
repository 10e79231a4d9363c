#pragma once
// The traffic log's text: what one event of a session adds to the log file. Pure: the writer
// (app/session_log.h) gives each event its time and writes what comes back.
//
// One record a line, plain ASCII: "YYYY-MM-DD HH:MM:SS.mmm M TEXT\n", M being
//   >  bytes sent to the radio        <  bytes received from it
//   !  a message the message line showed
//   =  the port opened, closed or was lost
// TEXT is escaped: a byte from 0x20 to 0x7E other than "\" stands for itself, "\\" is a
// backslash, "\r" a carriage return, "\t" a tab and "\xHH" (upper-case hex) any other byte.
// A message or a port event is text, written as UTF-8 before it is escaped, except that a file or
// device name held with its bytes escaped (text/path_bytes.h) is written with its own bytes.
//
// A "<" or ">" record stands for its bytes and one line feed, except that a TEXT ending in "\c"
// stands for its bytes alone (a received line cut off by a close, a lost device or its length;
// sent bytes with no final line feed), "> U" is the keep-alive poll (the byte U alone) and
// "> U*N" stands for N polls left out of the log since the record before it. A sent line that
// would read like either of those has its U written "\x55".
//
// Received bytes become one record per line, each written when its line feed arrives, with the
// time of the read that brought it; the unfinished line is kept until then. A kept line grown
// past kLongestKeptLogLine is written at once, cut, so that a radio that never ends its line
// cannot grow the console's memory: the log still holds every byte.

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

namespace korvane {

namespace logmark {
inline constexpr char kSent = '>';
inline constexpr char kReceived = '<';
inline constexpr char kMessage = '!';
inline constexpr char kPort = '=';
} // namespace logmark

inline constexpr qsizetype kLongestKeptLogLine = 4096;

// The escaped form of `bytes`.
QByteArray escapeLogBytes(QByteArrayView bytes);
// "2026-12-07 15:58:29.741", local time to the millisecond.
QByteArray logTimeStamp(const QDateTime &when);
// One whole record with its line feed.
QByteArray logRecord(QByteArrayView stamp, char mark, QByteArrayView text);

// The TEXTs of the records for one write of `bytes` to the radio: one per line, the last cut
// when the bytes do not end in a line feed; "U" alone for the poll.
QList<QByteArray> sentRecordTexts(QByteArrayView bytes);
// Whether a write of `bytes` is the keep-alive poll.
bool isPoll(QByteArrayView bytes);

// Received bytes into line records, keeping the line not yet ended.
class ReceivedLines {
public:
    // The TEXTs of the lines this chunk ends (and of a kept line grown too long, cut).
    QList<QByteArray> take(QByteArrayView chunk);
    // The kept line as a cut record's TEXT, then forgotten; empty when no line is kept.
    QByteArray cutOff();
    bool keepsLine() const { return !m_kept.isEmpty(); }

private:
    QByteArray m_kept;
};

// What each event of a session adds to the log, records in order, whole lines only. With polls
// left out, the polls since the last record are counted and written as one "> U*N" record ahead
// of the next record, with the time of the last of them.
class TrafficLogText {
public:
    explicit TrafficLogText(bool leavePollsOut = false) : m_leavePollsOut(leavePollsOut) {}

    QByteArray received(QByteArrayView stamp, QByteArrayView chunk);
    QByteArray sent(QByteArrayView stamp, QByteArrayView bytes);
    QByteArray message(QByteArrayView stamp, const QString &text);
    // "= opened COM3 /dev/pts/4 9600,O,7,1"
    QByteArray opened(QByteArrayView stamp, int port, const QString &device,
                      const QString &settings);
    // The cut line, if any, then "= closed COM3".
    QByteArray closed(QByteArrayView stamp, int port);
    // The cut line, if any, then "= lost " and the description.
    QByteArray lost(QByteArrayView stamp, const QString &description);
    // What is still owed when logging stops: the cut line and the polls counted.
    QByteArray finish(QByteArrayView stamp);

private:
    // The count of polls left out, as a record, when there are any; then none are owed.
    QByteArray owedPolls();
    QByteArray portEvent(QByteArrayView stamp, const QString &text);

    bool m_leavePollsOut;
    qint64 m_pollsLeftOut = 0;
    QByteArray m_lastPollStamp;
    ReceivedLines m_lines;
};

} // namespace korvane
