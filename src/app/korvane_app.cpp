#include "app/korvane_app.h"

#include "app/display_check.h"
#include "app/outside_end.h"
#include "app/program_arguments.h"
#include "base/run_time_error.h"
#include "base/version.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace korvane {

namespace {
// Handlers that trap nothing of their own still must not let an error cross the window system's
// event dispatch: it is shown on the message line like any other.
template <typename F> auto guarded(frmKorvane &window, F handler) {
    return [&window, handler] {
        try {
            handler();
        } catch (const RunTimeError &e) {
            window.ShowMessage(e.message());
        }
    };
}
} // namespace

Korvane::Korvane(EventPump pump, std::function<void()> endProgram, LogOptions log,
                 std::map<int, QString> portOverrides)
    : m_pump(std::move(pump)), m_endProgram(std::move(endProgram)), m_log(std::move(log)),
      m_ports(std::move(portOverrides)) {
    // A network port's open may wait seconds: the window repaints and can be closed meanwhile.
    MSComm1.setOpenPump(dispatchAllButInput);
    bind();
}

Korvane::~Korvane() {
    m_standing = false;
}

void Korvane::bind() {
    auto onClick = [this](QPushButton *button, auto handler) {
        QObject::connect(button, &QPushButton::clicked, &window, guarded(window, handler));
    };
    onClick(window.cmdCOMStatus, [this] { link.cmdCOMStatus_Click(); });
    QObject::connect(window.cboBaudRate, &QComboBox::activated, &window,
                     guarded(window, [this] { link.cboBaudRate_Click(); }));
    onClick(window.cmdGetComPorts, [this] { discovery.cmdGetComPorts_Click(); });
    QObject::connect(&MSComm1, &MSComm::OnComm, &window, [this] { receive.MSComm1_OnComm(); });
    QObject::connect(&MSComm1, &MSComm::DeviceLost, &window,
                     [this](int number, const QString &description) {
                         protocol.deviceLost();
                         link.onDeviceLost(number, description);
                     });
    QObject::connect(&MSComm1, &MSComm::PortClosed, &window, [this] { protocol.portClosed(); });
    onClick(window.cmdClearResponse, [this] { routing.cmdClearResponse_Click(); });
    onClick(window.cmdSendCmd, [this] { commands.cmdSendCmd_Click(); });
    onClick(window.cmdGetStatus, [this] { commands.cmdGetStatus_Click(); });
    onClick(window.cmdSyncOnOff, [this] { commands.cmdSyncOnOff_Click(); });
    QObject::connect(window.UTimer, &QTimer::timeout, &window,
                     guarded(window, [this] { commands.UTimer_Timer(); }));
    // Exit runs the same shutdown as closing the window.
    QObject::connect(window.Menu2, &QAction::triggered, &window,
                     guarded(window, [this] { link.Form_QueryUnload(); }));
    QObject::connect(window.mnuFileLog, &QAction::triggered, &window,
                     guarded(window, [this] { sessionLog.mnuFileLog_Click(); }));
}

void Korvane::Form_Load() {
    startUp();
    loop.run();
}

void Korvane::startUp() {
    // The log asked for on the command line begins before start-up, so that it holds the ports
    // found; a file that cannot be opened, or that fails while start-up is logged, is said after
    // it, where start-up's messages cannot hide it.
    sessionLog.holdFailures();
    const QString refused = m_log.file.isEmpty() ? QString() : sessionLog.start(m_log.file);
    loop.showWindow();
    for (const QString &failure : {refused, sessionLog.takeHeldFailure()}) {
        if (!failure.isEmpty())
            window.ShowMessage(failure);
    }
}

void endProcess() {
    std::fflush(nullptr);
    std::_Exit(0);
}

void prepareDisplay() {
    // A report is painted the moment it is framed. Through memory shared with the X server,
    // every repaint first waits for the server to answer a round trip, and a server whose
    // processor has gone idle answers milliseconds late, while the serial line waits too. The
    // window is small: its pixels go through the connection instead and nothing waits. An
    // operator's own setting of this is kept.
    if (!qEnvironmentVariableIsSet("QT_XCB_NO_MITSHM"))
        qputenv("QT_XCB_NO_MITSHM", "1");
}

int runKorvane(int argc, char *argv[]) {
    joinStartingConsole();
    // Before any display is looked for: --help, --version and a mistake answer anywhere.
    const CommandLine options = parseCommandLine(argumentsOf(argc, argv));
    if (const std::optional<int> status = answerCommandLine(options))
        return *status;
    if (const std::optional<QByteArray> problem = displayProblem(options.qtArguments)) {
        tellNoDisplay(*problem);
        return 2;
    }
    prepareDisplay();
    QtArguments qtArguments(argv[0], options.qtArguments);
    std::optional<PlatformStartWatch> watch(std::in_place, options.qtArguments);
    QApplication app(qtArguments.argc(), qtArguments.argv());
    watch.reset();
    QApplication::setApplicationName(QStringLiteral("Korvane"));
    QApplication::setApplicationVersion(QString::fromLatin1(kVersion));
    Korvane korvane(waitAndDispatch, endProcess, {options.logFile, options.leavePollsOut},
                    options.ports);
    // Ended from outside: the shutdown of a closed window, or at least the port let go.
    OutsideEnd outsideEnd([&korvane] { korvane.window.close(); },
                          [&korvane] { korvane.MSComm1.setPortOpen(false); });
    korvane.Form_Load();
}

} // namespace korvane
