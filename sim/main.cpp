// rt1446-sim: a simulated RT-1446 radio on a pseudo-terminal or a serial device, answering as
// the radio does or playing back the radio's side of a recorded traffic log.

#include "event_log.h"
#include "options.h"
#include "replay_log.h"
#include "serial_line.h"
#include "simulator.h"

#include <QCoreApplication>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

volatile std::sig_atomic_t g_stopSignal = 0;

void onStopSignal(int signal) {
    g_stopSignal = signal;
}

void printError(const QString &text) {
    std::fprintf(stderr, "rt1446-sim: %s\n", text.toLocal8Bit().constData());
}

// Makes `link` point at `target`. An older symbolic link there is replaced; anything else at
// that path is left alone and refused.
bool makeLink(const QByteArray &link, const QByteArray &target, QString *error) {
    struct stat st {};
    if (lstat(link.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            *error = QString::fromLocal8Bit(link) + QStringLiteral(" exists and is not a link");
            return false;
        }
        unlink(link.constData());
    }
    if (symlink(target.constData(), link.constData()) != 0) {
        *error = QStringLiteral("cannot make the link ") + QString::fromLocal8Bit(link) +
                 QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    return true;
}

// Removes the link only while it still points at our line: another radio may have taken the
// path meanwhile.
void removeLink(const QByteArray &link, const QByteArray &target) {
    char buffer[4096];
    const ssize_t n = readlink(link.constData(), buffer, sizeof buffer);
    if (n > 0 && QByteArray(buffer, n) == target)
        unlink(link.constData());
}

} // namespace

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    sim::Options options;
    const sim::ParseResult parsed = sim::parseOptions(QCoreApplication::arguments(), options);
    if (parsed.outcome == sim::ParseResult::Outcome::Help) {
        std::fputs(parsed.text.toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parsed.outcome == sim::ParseResult::Outcome::Error) {
        printError(parsed.text + QStringLiteral(" (see --help)"));
        return 2;
    }

    // The log is read before the line opens: whoever starts the radio learns of a log that
    // cannot be played before it has a line to open.
    sim::ReplayLog replay;
    if (!options.replayPath.isEmpty()) {
        QString error;
        if (!sim::readReplayLog(options.replayPath, &replay, &error)) {
            printError(error);
            return 2;
        }
        for (const sim::ReplayProblem &problem : replay.problems)
            printError(QStringLiteral("%1:%2: %3, skipped")
                           .arg(options.replayPath, QString::number(problem.line), problem.why));
    }

    // Signals are let through only while the radio waits, so a stop never cuts a step in half.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) {
        sigaddset(&stopSignals, s);
        struct sigaction action {};
        action.sa_handler = onStopSignal;
        sigaction(s, &action, nullptr);
    }
    sigset_t waitMask;
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigdelset(&waitMask, s);

    int logFd = STDERR_FILENO;
    if (!options.logPath.isEmpty()) {
        logFd = ::open(options.logPath.toLocal8Bit().constData(),
                       O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (logFd < 0) {
            printError(QStringLiteral("cannot write the log ") + options.logPath +
                       QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno)));
            return 1;
        }
    }
    sim::EventLog log(logFd);

    sim::SerialLine line;
    QString error;
    const bool opened =
        options.device.isEmpty()
            ? line.openPseudoTerminal(&error)
            : line.openDevice(options.device, options.baud > 0 ? options.baud : 9600, &error);
    if (!opened) {
        printError(error);
        return 1;
    }
    const QByteArray path = line.path().toLocal8Bit();
    const QByteArray link = options.link.toLocal8Bit();
    if (!link.isEmpty() && !makeLink(link, path, &error)) {
        printError(error);
        return 1;
    }
    // The first line of standard output is the path to open; whoever started us waits for it.
    std::printf("%s\n", path.constData());
    std::fflush(stdout);
    log.write("START", (line.isPseudoTerminal() ? "pty " : "device ") + path);

    sim::Simulator simulator(options, line, log, options.replayPath.isEmpty() ? nullptr : &replay);
    const int status = simulator.run(waitMask, g_stopSignal);
    line.hangUp();
    if (!link.isEmpty())
        removeLink(link, path);
    return status;
}
