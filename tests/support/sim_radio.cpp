#include "support/sim_radio.h"

#include <QFile>
#include <QFileInfo>
#include <csignal>
#include <ctime>

namespace korvane::test {

namespace {
// The radio's log writes every byte outside printable ASCII as \n, \r or \xHH.
QByteArray unescaped(const QByteArray &text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
        } else if (text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else if (text[i + 1] == 'r') {
            out += '\r';
            ++i;
        } else if (text[i + 1] == 'x' && i + 3 < text.size()) {
            out += char(text.mid(i + 2, 2).toInt(nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}
} // namespace

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
    QFile file(logPath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> lines = file.readAll().split('\n');
    lines.removeLast(); // a line without its end is still being written
    return lines;
}

QList<SimRadio::Event> SimRadio::events(const QByteArray &name) const {
    QFile file(logPath());
    QList<Event> out;
    if (!file.open(QIODevice::ReadOnly))
        return out;
    // Each event is one write of one line, so a line without its end is still being written.
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        QList<QByteArray> words = lines[i].split(' ');
        if (words.size() < 2 || words[1] != name)
            continue;
        Event e;
        e.time = words[0].toDouble();
        e.fields = words.mid(2);
        out.append(e);
    }
    return out;
}

qint64 SimRadio::linesSent() const {
    qint64 lines = 0;
    for (const Event &e : events("TX-END")) // "<kind> <lines> lines <bytes> bytes"
        lines += e.fields.value(1).toLongLong();
    return lines;
}

std::optional<QList<QByteArray>> SimRadio::reportsSent() const {
    QList<QByteArray> reports;
    for (const Event &e : events("TX-START")) { // "<kind> <n> lines <n> bytes <text>"
        const QByteArray whole = unescaped(e.fields.value(5));
        if (whole.size() != e.fields.value(3).toLongLong())
            return std::nullopt;
        reports.append(whole);
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
