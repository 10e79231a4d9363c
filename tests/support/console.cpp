#include "support/console.h"

#include "text/path_bytes.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <algorithm>

namespace korvane::test {

namespace {
constexpr double kLongestTestSleep = 0.003;

void testPump(std::optional<double> maxWait) {
    waitAndDispatch(std::min(maxWait.value_or(kLongestTestSleep), kLongestTestSleep));
}
} // namespace

Console::Console(const QString &ports, LogOptions log) {
    m_ports = std::make_unique<PortsEnvironment>(
        bytesOfPath(ports.contains(QStringLiteral("%1")) ? ports.arg(m_radio.slavePath()) : ports));
    m_app = std::make_unique<Korvane>(
        testPump, [this] { m_ended = true; }, std::move(log));
}

Console::~Console() {
    m_app.reset();
    m_ports.reset();
}

void Console::startUp() {
    m_app->startUp();
}

bool Console::runUntil(const std::function<bool()> &done, int msecs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > msecs)
            return false;
        m_app->loop.step();
    }
    return true;
}

void Console::runFor(int msecs) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < msecs)
        m_app->loop.step();
}

void Console::click(const char *objectName) {
    auto *button = m_app->window.findChild<QAbstractButton *>(QString::fromLatin1(objectName));
    Q_ASSERT(button);
    button->click(); // does nothing on a disabled button, as for the operator
}

void Console::openPort() {
    click("cmdCOMStatus");
    runUntil([this] { return m_app->loop.probing(); }, 1000);
}

bool Console::runUntilReportCompleted(int msecs) {
    m_app->window.StatusToken[33]->clear();
    return runUntil([this] { return slot(33) == QLatin1String("."); }, msecs);
}

QString Console::message() const {
    return m_app->window.txtErrMsg->text();
}

QString Console::slot(int index) const {
    return m_app->window.StatusToken.at(static_cast<std::size_t>(index))->text();
}

QString Console::emptySlots() const {
    QStringList empty;
    for (int index = 1; index < kStatusSlots; ++index) {
        if (slot(index).isEmpty())
            empty << QString::number(index);
    }
    return empty.join(QLatin1Char(' '));
}

QStringList Console::listedPorts() const {
    QStringList listed;
    for (int i = 0; i < m_app->window.cboCommPort->count(); ++i)
        listed << m_app->window.cboCommPort->itemText(i);
    return listed;
}

qint64 residentKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

} // namespace korvane::test
