#include "support/port_holder.h"

#include "base/run_time_error.h"
#include "device/mscomm.h"
#include "support/pty_pair.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace korvane::test {

namespace {
constexpr char kHoldPort[] = "--hold-port";

int holdPort(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    MSComm comm(portTableWith(1, QString::fromLocal8Bit(argv[2])));
    try {
        comm.setCommPort(1);
        comm.setSettings(QStringLiteral("9600,O,7,1"));
        comm.setPortOpen(true);
    } catch (const RunTimeError &e) {
        std::printf("%s\n", qPrintable(e.message()));
        return 1;
    }
    std::printf("open\n");
    std::fflush(stdout);
    char c = 0;
    while (::read(STDIN_FILENO, &c, 1) > 0) {
    }
    return 0;
}
} // namespace

OtherProgram::OtherProgram(const QString &device) {
    m_process.start(QCoreApplication::applicationFilePath(),
                    {QString::fromLatin1(kHoldPort), device});
    if (m_process.waitForStarted(5000)) {
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(5000);
        m_answer = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
}

void OtherProgram::letGo() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.closeWriteChannel();
    if (!m_process.waitForFinished(3000))
        m_process.kill();
    m_process.waitForFinished(3000);
}

std::optional<int> runAsPortHolder(int argc, char *argv[]) {
    if (argc == 3 && std::strcmp(argv[1], kHoldPort) == 0)
        return holdPort(argc, argv);
    return std::nullopt;
}

} // namespace korvane::test
