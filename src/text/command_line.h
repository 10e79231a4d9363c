#pragma once
// The command line: korvane's own options, and Qt's, which are passed on to the application
// object untouched. Read before there is any window or display, so that --help and --version
// answer anywhere and a mistake is told at once.
//
//   --log FILE, --log=FILE   append a record of the session to FILE
//   --log-no-polls           leave the keep-alive polls out of that record (counted)
//   --port N=PATH, --port=N=PATH   COM N is the device PATH (repeatable, over KORVANE_PORTS)
//   --help, -h               --version
//
// Qt's own options (-platform NAME, -display HOST:N, -style NAME, -geometry WxH+X+Y, -reverse,
// ...), with one dash or two, are recognised by name so that their values are not taken for
// stray arguments. Anything else is a mistake, told in one line.

#include <QString>
#include <QStringList>
#include <map>

namespace korvane {

struct CommandLine {
    bool help = false;
    bool version = false;
    QString logFile;
    bool leavePollsOut = false;
    std::map<int, QString> ports; // --port entries; a later one for a number wins
    QStringList qtArguments;      // Qt's options with their values, in order
    QString error;                // the first mistake, one line; empty when there is none
};

// `arguments` without the program's name.
CommandLine parseCommandLine(const QStringList &arguments);

// What --help prints.
QString usageText();
// What --version prints: "korvane 0.40".
QString versionText();

} // namespace korvane
