#pragma once
// The simulator's command line.

#include "wire.h"

#include <QString>
#include <QStringList>

namespace sim {

struct Options {
    QString device; // empty: serve a new pseudo-terminal
    QString link;   // a symbolic link to make to the pseudo-terminal's slave
    int baud = 0;   // 0: follow the line (the console's choice), 9600 if unreadable
    bool pace = true;
    int replyDelayMs = 5;
    int meterLinesPerPoll = 4;
    unsigned seed = 1446;
    WireOptions wire;
    bool stream = false;
    bool silent = false;
    qint64 hangupAfter = -1; // < 0: never
    double exitAfter = -1;   // seconds; < 0: never
    QString logPath;         // empty: standard error
    QString replayPath;      // a recorded traffic log to play back instead of answering
    double replaySpeed = 1;  // > 1: the log's gaps shortened, < 1: stretched
};

struct ParseResult {
    enum class Outcome { Run, Help, Error };
    Outcome outcome;
    QString text; // the help text, or what was wrong
};

ParseResult parseOptions(const QStringList &arguments, Options &options);

} // namespace sim
