#pragma once
// The command line at the program's start: what it asks before any window (help, the version, or
// the mistake it holds), and the arguments the application object is made with.

#include "text/command_line.h"

#include <QByteArray>
#include <QStringList>
#include <optional>
#include <vector>

namespace korvane {

// The arguments after the program's name, as text. Each system's own (program_arguments_posix.cpp,
// program_arguments_windows.cpp): Linux arguments are bytes, Windows arguments UTF-16.
QStringList argumentsOf(int argc, char *argv[]);

// Windows: a window program has no console of its own; when started from one, it writes --help,
// --version and its mistakes there, and Ctrl+C there ends it. Linux: nothing to do.
void joinStartingConsole();

// Prints the help, the version or the mistake; returns the exit status when the program is to end
// here, nothing when it is to go on.
std::optional<int> answerCommandLine(const CommandLine &line);

// argc and argv for the application object: the program's name and Qt's options. The object
// keeps references to both, so they live as long as this does.
class QtArguments {
public:
    QtArguments(const char *program, const QStringList &arguments);
    QtArguments(const QtArguments &) = delete;
    QtArguments &operator=(const QtArguments &) = delete;

    int &argc() { return m_argc; }
    char **argv() { return m_pointers.data(); }

private:
    std::vector<QByteArray> m_text;
    std::vector<char *> m_pointers;
    int m_argc = 0;
};

} // namespace korvane
