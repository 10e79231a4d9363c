#pragma once
// Cuts what the console sends into polls and command lines.
//
// The keep-alive poll is the single byte "U" with no line feed, so a "U" that arrives where a
// line would begin is a poll and is not kept. Everything else is collected up to a line feed,
// however the bytes were split on the way. A line that grows past the radio's input buffer is
// dropped up to its line feed and reported as too long, so that a runaway sender cannot make
// the radio hold an ever-growing line.

#include <QByteArray>
#include <QList>

namespace sim {

struct Received {
    enum class Kind { Poll, Line, Overlong };
    Kind kind;
    QByteArray line;      // Kind::Line: the line without its line feed
    qsizetype length = 0; // Kind::Overlong: how many bytes the line had
};

class CommandReader {
public:
    explicit CommandReader(qsizetype maxLineLength) : m_maxLineLength(maxLineLength) {}

    QList<Received> feed(const QByteArray &bytes);

private:
    qsizetype m_maxLineLength;
    QByteArray m_line;
    qsizetype m_overlongLength = 0; // > 0 while dropping the rest of a line that grew too long
};

} // namespace sim
