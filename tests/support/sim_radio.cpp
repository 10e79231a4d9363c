#include "support/sim_radio.h"

#include <QFileInfo>
#include <csignal>
#include <ctime>

namespace korvane::test {

QString SimRadio::program() {
    return programInBuildTree("KORVANE_SIM", QStringLiteral(KORVANE_BUILT_SIM));
}

QString korvaneProgram() {
    return programInBuildTree("KORVANE_BIN", QStringLiteral(KORVANE_BUILT_BIN));
}

QString programInBuildTree(const char *variable, const QString &built) {
    const QString named = qEnvironmentVariable(variable);
    if (!named.isEmpty())
        return named;
    return QFileInfo(built).isExecutable() ? built : QString();
}

QString notBuilt(const char *program) {
    return QStringLiteral("%1 was not found in the build tree this test was built in; build it "
                          "(cmake --build BUILD_DIR) or name it in the environment")
        .arg(QLatin1String(program));
}

SimRadio::SimRadio(const QStringList &arguments, QProcess::ProcessChannelMode errors,
                   const QString &program) {
    const QString simulator = program.isEmpty() ? SimRadio::program() : program;
    if (simulator.isEmpty() || !m_dir.isValid())
        return;
    m_process.setProcessChannelMode(errors);
    m_process.start(simulator, QStringList(arguments) << QStringLiteral("--log") << logPath());
    if (!m_process.waitForStarted(5000))
        return;
    while (!m_process.canReadLine() && m_process.state() == QProcess::Running)
        m_process.waitForReadyRead(5000);
    if (m_process.canReadLine())
        m_path = QString::fromLocal8Bit(m_process.readLine().trimmed());
}

SimRadio::~SimRadio() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    thaw();
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

QString SimRadio::ports(int port) const {
    return QString::number(port) + QLatin1Char('=') + m_path;
}

void SimRadio::freeze() {
    if (isRunning())
        ::kill(pid_t(m_process.processId()), SIGSTOP);
}

void SimRadio::thaw() {
    if (isRunning())
        ::kill(pid_t(m_process.processId()), SIGCONT);
}

void SimRadio::pullPlug() {
    if (isRunning()) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

bool SimRadio::waitForExit(int msecs) {
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(msecs);
}

bool SimRadio::waitForExit(int status, int msecs) {
    // A radio that has already ended is not waited for (QProcess would call that a failure).
    if (!waitForExit(msecs))
        return false;
    return m_process.exitStatus() == QProcess::NormalExit && m_process.exitCode() == status;
}

QList<QByteArray> SimRadio::logLines() const {
    QList<QByteArray> lines = radioLogText(logPath()).split('\n');
    lines.removeLast(); // a line without its end is still being written
    return lines;
}

QList<SimRadio::Event> SimRadio::events(const QByteArray &name) const {
    return radioEvents(radioLogText(logPath()), name);
}

qint64 SimRadio::linesSent() const {
    qint64 lines = 0;
    for (const Event &e : events("TX-END")) // "<kind> <lines> lines <bytes> bytes"
        lines += e.fields.value(1).toLongLong();
    return lines;
}

std::optional<QList<QByteArray>> SimRadio::reportsSent() const {
    QList<QByteArray> reports;
    for (const RadioLog::Report &r : readRadioLog(radioLogText(logPath())).reports) {
        if (r.text.size() != r.bytes)
            return std::nullopt;
        reports.append(r.text);
    }
    return reports;
}

std::optional<QByteArray> SimRadio::bytesSent() const {
    const std::optional<QList<QByteArray>> reports = reportsSent();
    if (!reports)
        return std::nullopt;
    QByteArray bytes = reports->join();
    const QList<Event> hangUp = events("HANGUP");
    if (!hangUp.isEmpty())
        bytes.truncate(hangUp.first().fields.value(0).toLongLong());
    return bytes;
}

double monotonicSeconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

QStringList wholeLines(const QByteArray &bytes) {
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype lf = bytes.indexOf('\n'); lf >= 0; lf = bytes.indexOf('\n', start)) {
        if (lf > start)
            lines.append(QString::fromLatin1(bytes.mid(start, lf - start)));
        start = lf + 1;
    }
    return lines;
}

} // namespace korvane::test
