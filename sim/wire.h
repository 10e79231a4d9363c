#pragma once
// Turns the radio's reports into the bytes that go on the line, misbehaving on request: a
// carriage return before each line feed, a pause inside every line, one line longer than any
// buffer, and garbage bytes (NUL, bytes above 127, control characters) mixed into the lines.
//
// Garbage never lands before a line's key or as a line end, so a report with garbage still
// routes by its keys and still closes with its "." line: the console is fed noise, not a
// different report.

#include "radio.h"

#include <QByteArray>
#include <QList>

#include <random>

namespace sim {

struct WireOptions {
    bool crlf = false;
    int pauseInLineMs = 0;  // 0: no pause inside lines
    qsizetype longLine = 0; // 0: no long line; otherwise its length, sent once
    bool garbage = false;
};

struct Pause {
    qsizetype offset; // the pause comes before the byte at this offset
    int ms;
};

struct Outgoing {
    QByteArray bytes;
    QList<Pause> pauses; // in rising order of offset
    qsizetype lines = 0;
    Report::Kind kind = Report::Kind::Reply;
};

class WireEncoder {
public:
    explicit WireEncoder(const WireOptions &options, unsigned seed = 1446);

    Outgoing encode(const Report &report);

private:
    void appendLine(Outgoing &out, QByteArray line, bool fullGarbage);
    QByteArray withGarbage(QByteArray line, bool everyKind);

    WireOptions m_options;
    bool m_longLineSent = false;
    std::mt19937 m_random;
};

} // namespace sim
