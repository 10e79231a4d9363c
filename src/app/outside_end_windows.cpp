// Windows ends a program from outside in two ways, and each runs the window's own shutdown:
//   - a console it was started from: Ctrl+C, Ctrl+Break, the console closed, the user logging
//     off or the machine shutting down reach the handler on a thread of Windows' own, which asks
//     the window's loop to close the window and waits there while the shutdown runs (Windows
//     ends the process as soon as the handler returns from a close, log-off or shut-down);
//   - the session's end (WM_QUERYENDSESSION): Qt asks the application to commit its data, and
//     the window is closed then.
// The port is also closed in an exit handler, as on Linux.
#include "app/outside_end.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QSessionManager>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace korvane {

namespace {
// How long the handler holds Windows back while the shutdown runs; the shutdown ends the process
// itself, well within this.
constexpr DWORD kShutdownWaitMsecs = 5000;

OutsideEnd *g_outsideEnd = nullptr;

BOOL WINAPI onConsoleControl(DWORD type) {
    OutsideEnd *end = g_outsideEnd;
    if (end == nullptr)
        return FALSE;
    QMetaObject::invokeMethod(end, &OutsideEnd::signalled, Qt::QueuedConnection);
    if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        Sleep(kShutdownWaitMsecs);
    return TRUE;
}

} // namespace

OutsideEnd::OutsideEnd(std::function<void()> closeWindow, std::function<void()> closePort)
    : m_closeWindow(std::move(closeWindow)) {
    g_outsideEnd = this;
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
    if (auto *app = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(app, &QGuiApplication::commitDataRequest, this,
                [this](QSessionManager &) { signalled(); });
    }
    outside::closePortAtExit(std::move(closePort));
}

OutsideEnd::~OutsideEnd() {
    outside::closePortAtExit(nullptr);
    SetConsoleCtrlHandler(onConsoleControl, FALSE);
    g_outsideEnd = nullptr;
}

void OutsideEnd::signalled() {
    m_closeWindow();
}

} // namespace korvane
