#pragma once
// The simulated RT-1446's state and its answers, with no line and no clock in sight.
//
// The radio keeps one status line per key. Every answer is a report: a run of lines, the last
// of which is ".". The keep-alive poll gets a short report that keeps the signal meter ("J")
// flowing; "?" gets one line for every key; a key alone asks for that key's line, a key followed
// by a value sets it (where the radio lets it be set); anything else gets an "E" line.

#include <QByteArray>
#include <QList>

#include <random>

namespace sim {

struct Report {
    enum class Kind { Poll, Status, Reply, Error, Stream, Replay };
    Kind kind = Kind::Reply;
    QList<QByteArray> lines; // without line ends; the last one is always "."
};

const char *kindName(Report::Kind kind);

class Radio {
public:
    explicit Radio(unsigned seed = 1446, int meterLinesPerPoll = 4);

    // The answer to the keep-alive poll: meter lines, the unit line and ".".
    Report poll();
    // The answer to one command line, as received without its line feed.
    Report command(const QByteArray &line);
    // The answer to a command line that outgrew the radio's input buffer.
    Report overlong(qsizetype length);

    // The current line of a key ("F", "QT", ...), as the full status report would show it.
    QByteArray statusLine(const QByteArray &key);

    // The keys in the order the full status report sends them.
    static QList<QByteArray> statusKeys();

    static constexpr qsizetype kMaxCommandLength = 256;

private:
    Report fullStatus();
    Report error(const QByteArray &text);
    QByteArray meterLine();

    int m_meterLinesPerPoll;
    std::mt19937 m_random;
    int m_meter = 57;
    int m_polls = 0;
    QList<QByteArray> m_values; // one per key of statusKeys(), the text after the key
};

// Received bytes made fit to quote in an answer: every byte outside printable ASCII becomes "?",
// and a text longer than `maxLength` is cut and ends in "...".
QByteArray printable(const QByteArray &bytes, qsizetype maxLength);

} // namespace sim
