#include "text/network_address.h"

#include <QStringList>
#include <algorithm>

namespace korvane {

namespace {

constexpr int kLongestName = 253;
constexpr int kLongestLabel = 63;

bool isDigit(QChar c) {
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

bool isHexDigit(QChar c) {
    return isDigit(c) || (c >= QLatin1Char('a') && c <= QLatin1Char('f')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
}

bool isLetter(QChar c) {
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
           (c >= QLatin1Char('A') && c <= QLatin1Char('Z'));
}

// A decimal number without sign or leading zeros (0 itself allowed), at most `highest`.
bool isDecimal(const QString &text, int highest) {
    if (text.isEmpty() || text.size() > 5 || (text.size() > 1 && text[0] == QLatin1Char('0')))
        return false;
    for (const QChar c : text) {
        if (!isDigit(c))
            return false;
    }
    return text.toInt() <= highest;
}

bool isIpv4(const QString &text) {
    const QStringList parts = text.split(QLatin1Char('.'));
    if (parts.size() != 4)
        return false;
    for (const QString &part : parts) {
        if (part.size() > 3 || !isDecimal(part, 255))
            return false;
    }
    return true;
}

// Eight groups of up to four hex digits, or fewer with one "::" standing for the missing ones;
// the last two groups may be written as an IPv4 address.
bool isIpv6(const QString &text) {
    const qsizetype gap = text.indexOf(QStringLiteral("::"));
    if (gap >= 0 && text.indexOf(QStringLiteral("::"), gap + 1) >= 0)
        return false;
    QStringList groups;
    if (gap >= 0) {
        const QString before = text.left(gap);
        const QString after = text.mid(gap + 2);
        if (!before.isEmpty())
            groups << before.split(QLatin1Char(':'));
        if (!after.isEmpty())
            groups << after.split(QLatin1Char(':'));
    } else {
        groups = text.split(QLatin1Char(':'));
    }
    int count = 0;
    for (qsizetype i = 0; i < groups.size(); ++i) {
        const QString &group = groups[i];
        if (i == groups.size() - 1 && group.contains(QLatin1Char('.'))) {
            if (!isIpv4(group))
                return false;
            count += 2;
            continue;
        }
        if (group.isEmpty() || group.size() > 4)
            return false;
        for (const QChar c : group) {
            if (!isHexDigit(c))
                return false;
        }
        ++count;
    }
    return gap >= 0 ? count <= 7 : count == 8;
}

// Labels of letters, digits and hyphens, neither starting nor ending with a hyphen; a name made
// only of digits and dots would be a mistyped address, not a name.
bool isHostName(const QString &text) {
    if (text.isEmpty() || text.size() > kLongestName)
        return false;
    bool onlyDigits = true;
    for (const QString &label : text.split(QLatin1Char('.'))) {
        if (label.isEmpty() || label.size() > kLongestLabel || label.startsWith(QLatin1Char('-')) ||
            label.endsWith(QLatin1Char('-')))
            return false;
        for (const QChar c : label) {
            if (!isLetter(c) && !isDigit(c) && c != QLatin1Char('-'))
                return false;
            onlyDigits = onlyDigits && isDigit(c);
        }
    }
    return !onlyDigits;
}

std::optional<NetworkAddress> malformed(QString *why, const QString &reason) {
    *why = reason;
    return std::nullopt;
}

} // namespace

bool isNetworkPath(const QString &path) {
    return path.contains(QStringLiteral("://"));
}

std::optional<NetworkAddress> parseNetworkAddress(const QString &path, QString *why) {
    const qsizetype separator = path.indexOf(QStringLiteral("://"));
    if (separator < 0)
        return malformed(why, QStringLiteral("not rfc2217://HOST:PORT or tcp://HOST:PORT"));
    NetworkAddress address;
    const QString scheme = path.left(separator);
    if (scheme == QLatin1String("rfc2217"))
        address.kind = NetworkAddress::Kind::Rfc2217;
    else if (scheme == QLatin1String("tcp"))
        address.kind = NetworkAddress::Kind::Raw;
    else
        return malformed(
            why, QStringLiteral("unknown scheme \"%1\" (rfc2217:// or tcp://)").arg(scheme));

    const QString rest = path.mid(separator + 3);
    qsizetype colon = -1;
    if (rest.startsWith(QLatin1Char('['))) {
        const qsizetype close = rest.indexOf(QLatin1Char(']'));
        if (close < 0)
            return malformed(why, QStringLiteral("no \"]\" after the IPv6 address"));
        address.host = rest.mid(1, close - 1);
        if (!isIpv6(address.host))
            return malformed(why,
                             QStringLiteral("\"%1\" is not an IPv6 address").arg(address.host));
        if (close + 1 < rest.size() && rest[close + 1] != QLatin1Char(':'))
            return malformed(why, QStringLiteral("no \":PORT\" after the address"));
        colon = close + 1 < rest.size() ? close + 1 : -1;
    } else {
        colon = rest.lastIndexOf(QLatin1Char(':'));
        address.host = colon < 0 ? rest : rest.left(colon);
        if (address.host.isEmpty())
            return malformed(why, QStringLiteral("no host"));
        if (address.host.contains(QLatin1Char(':')))
            return malformed(why, QStringLiteral("an IPv6 address must be in brackets"));
        const bool dotted = !address.host.isEmpty() &&
                            std::all_of(address.host.begin(), address.host.end(), [](QChar c) {
                                return isDigit(c) || c == QLatin1Char('.');
                            });
        if (dotted ? !isIpv4(address.host) : !isHostName(address.host))
            return malformed(
                why, QStringLiteral("\"%1\" is not a host name or IPv4 address").arg(address.host));
    }
    if (colon < 0)
        return malformed(why, QStringLiteral("no \":PORT\" after the host"));
    const QString port = rest.mid(colon + 1);
    if (!isDecimal(port, 65535) || port == QLatin1String("0"))
        return malformed(why, QStringLiteral("the TCP port must be 1 to 65535"));
    address.port = quint16(port.toInt());
    return address;
}

} // namespace korvane
