#pragma once
// A port table entry that names a port on the network instead of a device of this machine:
// "rfc2217://HOST:PORT" (Telnet with the com-port option: the server puts the line settings on
// its serial line) or "tcp://HOST:PORT" (raw bytes: the server's line keeps the settings it was
// given). HOST is a name ("radio-server.lan"), an IPv4 address ("192.0.2.7") or an IPv6 address
// in brackets ("[2001:db8::7]"); PORT is 1 to 65535. Nothing may follow the port: no path, no
// user, no query. Pure text: whether the name resolves is the device's business.

#include <QString>
#include <optional>

namespace korvane {

struct NetworkAddress {
    enum class Kind { Rfc2217, Raw };
    Kind kind = Kind::Rfc2217;
    QString host; // as written, without the brackets of an IPv6 address
    quint16 port = 0;

    friend bool operator==(const NetworkAddress &, const NetworkAddress &) = default;
};

// Whether a port table path is meant as a network address ("scheme://..."); such a path is
// either a well-formed address or a malformed entry, never a device path.
bool isNetworkPath(const QString &path);

// The address `path` names; nothing when it is malformed, with `why` saying what is wrong.
std::optional<NetworkAddress> parseNetworkAddress(const QString &path, QString *why);

} // namespace korvane
