// The port table, fed any value KORVANE_PORTS could hold (the input as UTF-8, as the environment
// gives it).
//
// Every blank-separated entry is either taken or reported, never both, never neither. Every port
// taken is numbered 1 to 32767 and names a non-empty device path without blanks, exactly as one
// entry wrote it; the first entry for a number wins and a later one is reported. Every entry of
// the form N=PATH with N a port number of at most five digits is taken unless its number is
// already taken, and unless it names a network port that is malformed. A network port taken is
// written exactly as its scheme, host and port give it back: nothing before, between or after them
// (no sign, no leading zero, no path) is let through.

#include "fuzz_support.h"
#include "text/network_address.h"
#include "text/port_table.h"

using namespace korvane;
using namespace korvane::fuzz;

namespace {

bool isBlank(QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n') ||
           c == QLatin1Char('\v') || c == QLatin1Char('\f') || c == QLatin1Char('\r');
}

QStringList entriesOf(const QString &text) {
    QStringList entries;
    QString entry;
    for (const QChar c : text) {
        if (!isBlank(c)) {
            entry += c;
        } else if (!entry.isEmpty()) {
            entries << entry;
            entry.clear();
        }
    }
    if (!entry.isEmpty())
        entries << entry;
    return entries;
}

// The port number an entry names, or 0 when it names none that may be taken.
int portNumberOf(const QString &entry, QString *path) {
    const qsizetype equals = entry.indexOf(QLatin1Char('='));
    if (equals < 1 || equals > 5)
        return 0;
    int n = 0;
    for (qsizetype i = 0; i < equals; ++i) {
        const QChar c = entry[i];
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        n = n * 10 + (c.unicode() - '0');
    }
    *path = entry.mid(equals + 1);
    if (isNetworkPath(*path)) {
        QString why;
        if (!parseNetworkAddress(*path, &why))
            return 0;
    }
    return n <= 32767 && !path->isEmpty() ? n : 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const PortTable table = parsePortTable(text);
    const QStringList entries = entriesOf(text);

    FUZZ_CHECK(static_cast<qsizetype>(table.ports.size()) + table.problems.size() == entries.size(),
               QStringLiteral("%1 ports and %2 problems from %3 entries")
                   .arg(table.ports.size())
                   .arg(table.problems.size())
                   .arg(entries.size()));

    for (const auto &[n, path] : table.ports) {
        FUZZ_CHECK(n >= 1 && n <= 32767, QString::number(n));
        FUZZ_CHECK(!path.isEmpty(), QString::number(n));
        for (const QChar c : path)
            FUZZ_CHECK(!isBlank(c), printable(path));
        if (isNetworkPath(path)) {
            QString why;
            const std::optional<NetworkAddress> address = parseNetworkAddress(path, &why);
            FUZZ_CHECK(address && address->port >= 1, printable(path));
            const QString host = address->host.contains(QLatin1Char(':'))
                                     ? QLatin1Char('[') + address->host + QLatin1Char(']')
                                     : address->host;
            const QString scheme = address->kind == NetworkAddress::Kind::Raw
                                       ? QStringLiteral("tcp")
                                       : QStringLiteral("rfc2217");
            FUZZ_CHECK(scheme + QStringLiteral("://") + host + QLatin1Char(':') +
                               QString::number(address->port) ==
                           path,
                       printable(path));
        }
    }

    std::map<int, QString> expected;
    for (const QString &entry : entries) {
        QString path;
        const int n = portNumberOf(entry, &path);
        if (n > 0 && expected.count(n) == 0)
            expected[n] = path;
    }
    FUZZ_CHECK(table.ports == expected, QStringLiteral("%1 ports taken, %2 expected from %3")
                                            .arg(table.ports.size())
                                            .arg(expected.size())
                                            .arg(printable(text)));
    for (const QString &problem : table.problems)
        FUZZ_CHECK(problem.startsWith(QLatin1Char('"')) &&
                       problem.contains(QStringLiteral(" skipped: ")),
                   problem);
    return 0;
}
