#include "app/outside_end.h"

#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace korvane {

namespace {
constexpr std::array<int, 3> kEndingSignals{SIGTERM, SIGINT, SIGHUP};

// The handler's end and the loop's end of the socket pair; -1 when none is installed.
int g_signalWrite = -1;
int g_signalRead = -1;

extern "C" void onEndingSignal(int number) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // A full pair already holds a signal the loop has not read: this one changes nothing.
    [[maybe_unused]] const ssize_t written = ::write(g_signalWrite, &byte, 1);
    errno = saved;
}

} // namespace

OutsideEnd::OutsideEnd(std::function<void()> closeWindow, std::function<void()> closePort)
    : m_closeWindow(std::move(closeWindow)) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0)
        return; // no pair, no handler: the signals keep their default of ending at once
    g_signalWrite = pair[0];
    g_signalRead = pair[1];
    m_notifier = new QSocketNotifier(g_signalRead, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &OutsideEnd::signalled);
    struct sigaction action {};
    action.sa_handler = onEndingSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int number : kEndingSignals)
        ::sigaction(number, &action, nullptr);

    outside::closePortAtExit(std::move(closePort));
}

OutsideEnd::~OutsideEnd() {
    outside::closePortAtExit(nullptr);
    if (g_signalWrite < 0)
        return;
    struct sigaction action {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (const int number : kEndingSignals)
        ::sigaction(number, &action, nullptr);
    delete m_notifier;
    ::close(g_signalRead);
    ::close(g_signalWrite);
    g_signalRead = g_signalWrite = -1;
}

void OutsideEnd::signalled() {
    unsigned char byte = 0;
    while (::read(g_signalRead, &byte, 1) == 1) {
    }
    m_closeWindow();
}

} // namespace korvane
