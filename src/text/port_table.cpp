#include "text/port_table.h"

#include "text/network_address.h"

#include <QRegularExpression>

namespace korvane {

namespace {
constexpr int kHighestPort = 32767; // port numbers are 16-bit on the operator's side
} // namespace

std::optional<PortEntry> parsePortEntry(const QString &entry, QString *why) {
    const qsizetype equals = entry.indexOf(QLatin1Char('='));
    if (equals < 0) {
        *why = QStringLiteral("not N=PATH");
        return std::nullopt;
    }
    const QString number = entry.left(equals);
    const QString path = entry.mid(equals + 1);
    bool isNumber = !number.isEmpty();
    for (const QChar c : number)
        isNumber = isNumber && c >= QLatin1Char('0') && c <= QLatin1Char('9');
    const int n = isNumber && number.size() <= 5 ? number.toInt() : 0;
    if (n < 1 || n > kHighestPort) {
        *why = QStringLiteral("the port number must be 1 to %1").arg(kHighestPort);
        return std::nullopt;
    }
    if (path.isEmpty()) {
        *why = QStringLiteral("no device path");
        return std::nullopt;
    }
    if (isNetworkPath(path) && !parseNetworkAddress(path, why))
        return std::nullopt;
    return PortEntry{n, path};
}

PortTable parsePortTable(const QString &text) {
    PortTable table;
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    const QStringList entries = text.split(blanks, Qt::SkipEmptyParts);
    for (const QString &entry : entries) {
        QString why;
        const std::optional<PortEntry> parsed = parsePortEntry(entry, &why);
        if (parsed && table.ports.count(parsed->number) != 0) {
            why = QStringLiteral("COM%1 is already %2")
                      .arg(QString::number(parsed->number), table.ports[parsed->number]);
        } else if (parsed) {
            table.ports[parsed->number] = parsed->path;
            continue;
        }
        // One pass of arg(): an entry holding "%1" must not take the reason's place.
        table.problems << QStringLiteral("\"%1\" skipped: %2").arg(entry, why);
    }
    return table;
}

PortTable portTableInForce(const std::optional<QString> &text,
                           const std::map<int, QString> &overrides) {
    PortTable table;
    if (text)
        table = parsePortTable(*text);
    else
        table.ports = defaultPortTable();
    for (const auto &[n, path] : overrides)
        table.ports[n] = path;
    return table;
}

QString devicePathForPort(const std::map<int, QString> &table, int n) {
    const auto found = table.find(n);
    return found == table.end() ? QString() : found->second;
}

QString portDescription(const std::map<int, QString> &table, int n) {
    const QString path = devicePathForPort(table, n);
    const QString name = QStringLiteral("COM") + QString::number(n);
    return path.isEmpty() ? name : name + QStringLiteral(" (") + path + QLatin1Char(')');
}

} // namespace korvane
