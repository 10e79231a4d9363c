#include "text/port_table.h"

#include <QByteArray>
#include <QRegularExpression>
#include <cstdio>

namespace korvane {

namespace {

constexpr char kPortsVariable[] = "KORVANE_PORTS";
constexpr int kHighestPort = 32767; // port numbers are 16-bit on the operator's side

std::map<int, QString> defaultPortTable() {
    std::map<int, QString> ports;
    for (int i = 0; i < 4; ++i)
        ports[1 + i] = QStringLiteral("/dev/ttyS%1").arg(i);
    for (int i = 0; i < 6; ++i)
        ports[5 + i] = QStringLiteral("/dev/ttyUSB%1").arg(i);
    for (int i = 0; i < 6; ++i)
        ports[11 + i] = QStringLiteral("/dev/ttyACM%1").arg(i);
    return ports;
}

// Each bad value of the variable is reported once, not on every look-up (port discovery looks up
// sixteen numbers in a row).
void reportProblemsOnce(const QByteArray &value, const QStringList &problems) {
    static QByteArray lastReported;
    static bool reported = false;
    if (problems.isEmpty() || (reported && value == lastReported))
        return;
    reported = true;
    lastReported = value;
    for (const QString &problem : problems)
        std::fprintf(stderr, "korvane: %s: %s\n", kPortsVariable,
                     problem.toLocal8Bit().constData());
}

} // namespace

PortTable parsePortTable(const QString &text) {
    PortTable table;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList entries = text.split(blanks, Qt::SkipEmptyParts);
    for (const QString &entry : entries) {
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        if (equals < 0) {
            table.problems << QStringLiteral("\"%1\" skipped: not N=PATH").arg(entry);
            continue;
        }
        const QString number = entry.left(equals);
        const QString path = entry.mid(equals + 1);
        bool isNumber = !number.isEmpty();
        for (const QChar c : number)
            isNumber = isNumber && c >= QLatin1Char('0') && c <= QLatin1Char('9');
        const int n = isNumber && number.size() <= 5 ? number.toInt() : 0;
        if (n < 1 || n > kHighestPort) {
            table.problems << QStringLiteral("\"%1\" skipped: the port number must be 1 to %2")
                                  .arg(entry)
                                  .arg(kHighestPort);
            continue;
        }
        if (path.isEmpty()) {
            table.problems << QStringLiteral("\"%1\" skipped: no device path").arg(entry);
            continue;
        }
        if (table.ports.count(n) != 0) {
            table.problems << QStringLiteral("\"%1\" skipped: COM%2 is already %3")
                                  .arg(entry)
                                  .arg(n)
                                  .arg(table.ports[n]);
            continue;
        }
        table.ports[n] = path;
    }
    return table;
}

std::map<int, QString> currentPortTable() {
    if (!qEnvironmentVariableIsSet(kPortsVariable))
        return defaultPortTable();
    const QByteArray value = qgetenv(kPortsVariable);
    PortTable table = parsePortTable(QString::fromLocal8Bit(value));
    reportProblemsOnce(value, table.problems);
    return std::move(table.ports);
}

QString devicePathForPort(int n) {
    const std::map<int, QString> ports = currentPortTable();
    const auto found = ports.find(n);
    return found == ports.end() ? QString() : found->second;
}

QString portDescription(int n) {
    const QString path = devicePathForPort(n);
    const QString name = QStringLiteral("COM") + QString::number(n);
    return path.isEmpty() ? name : name + QStringLiteral(" (") + path + QLatin1Char(')');
}

} // namespace korvane
