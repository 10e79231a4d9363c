#pragma once
// Korvane's failures are run-time errors that carry a number and a description, the way the
// operator sees them on the message line ("Err 8002. ..."). Every routine that can fail throws
// RunTimeError; the handlers that trap errors catch it at their top and show it with their prefix.
//
// Every error is one row of err::kErrors below: its number, the text its description begins with
// and when it happens. A description is the text alone, or the text, ": " and what is particular
// to this failure (the port, the holder's process id, the operating system's reason). A text that
// names the port says where with {port}. The README's table of errors is this one, row for row;
// tests/base/tst_error_table.cpp keeps the two the same.

#include <QString>
#include <exception>
#include <iterator>

namespace korvane {

struct ErrorKind {
    int number;
    const char *text; // what the operator reads after "Err N. "
    const char *when;
};

namespace err {

// Ascending by number.
inline constexpr ErrorKind kErrors[] = {
    {5, "Invalid procedure call or argument", "an empty command: there is no last character"},
    {6, "Overflow", "a 16-bit count; a port text beyond the 16-bit range"},
    {13, "Type mismatch",
     "a port text that is not a number; no command time to measure a response from"},
    {380, "Invalid property value",
     "a settings text that does not parse; a port number below 1; another property out of range"},
    {8002, "Invalid port number",
     "the port table names no device for the number, or the device does not exist"},
    {8005, "Port already open", "a property that needs a closed port"},
    {8010, "The device is in use",
     "another program holds it: its lock file, its flock or the kernel's exclusive mode; the "
     "holder's process id where it can be found; for a network port, another client of its "
     "server"},
    {8012, "The device is not open", "output on a closed port"},
    {8015, "Could not set the line settings of {port}",
     "the operating system refused them: mark or space parity, 4 data bits, 1.5 stop bits, "
     "RTS/CTS together with XON/XOFF handshaking"},
    {8016, "Permission denied",
     "not allowed to open the device, or to remove a stale lock file; the user may need to be "
     "in the dialout group"},
    {8017, "{port} was lost",
     "it went away while open; for a network port, the server closed or reset the connection, "
     "the network stopped answering, or the server stopped reading what the console sends"},
    {8018, "Text outside 7-bit ASCII", "would reach the radio changed on a 7-bit line"},
    {8019, "Could not open {port}",
     "any other reason the operating system gives; for a network port, the server closed the "
     "connection instead of serving, with its words"},
    {8020, "Write failed on {port}", "the operating system refused the output"},
    {8021, "Could not open {port}", "a network port's host is unknown to the resolver"},
    {8022, "Could not open {port}", "nothing listens at the network port's address"},
    {8023, "Could not open {port}",
     "a network port's name server, its host or its Telnet server said nothing within 3 s"},
    {8024, "Command too long",
     "more characters than a command may have; it is refused whole, never cut"},
};

consteval bool ascending() {
    for (std::size_t i = 1; i < std::size(kErrors); ++i) {
        if (kErrors[i - 1].number >= kErrors[i].number)
            return false;
    }
    return true;
}
static_assert(ascending(), "one row per number, in ascending order");

// The row of `number`; a name for a number with no row does not build.
consteval const ErrorKind &row(int number) {
    for (const ErrorKind &kind : kErrors) {
        if (kind.number == number)
            return kind;
    }
    throw "no row in err::kErrors for this number";
}

inline constexpr const ErrorKind &kInvalidArgument = row(5);
inline constexpr const ErrorKind &kOverflow = row(6);
inline constexpr const ErrorKind &kTypeMismatch = row(13);
inline constexpr const ErrorKind &kInvalidPropertyValue = row(380);
inline constexpr const ErrorKind &kInvalidPortNumber = row(8002);
inline constexpr const ErrorKind &kPortAlreadyOpen = row(8005);
inline constexpr const ErrorKind &kDeviceInUse = row(8010);
inline constexpr const ErrorKind &kPortNotOpen = row(8012);
inline constexpr const ErrorKind &kSettingsRefused = row(8015);
inline constexpr const ErrorKind &kPermissionDenied = row(8016);
inline constexpr const ErrorKind &kDeviceLost = row(8017);
inline constexpr const ErrorKind &kNotSevenBit = row(8018);
inline constexpr const ErrorKind &kOpenFailed = row(8019);
inline constexpr const ErrorKind &kWriteFailed = row(8020);
inline constexpr const ErrorKind &kNameNotResolved = row(8021);
inline constexpr const ErrorKind &kConnectionRefused = row(8022);
inline constexpr const ErrorKind &kNoAnswer = row(8023);
inline constexpr const ErrorKind &kCommandTooLong = row(8024);

} // namespace err

// The description of an error of `kind`: its text, with `port` where the text names the port,
// then ": " and `detail`.
QString errorDescription(const ErrorKind &kind, const QString &port, const QString &detail);

class RunTimeError : public std::exception {
public:
    // The text alone: "Overflow".
    explicit RunTimeError(const ErrorKind &kind);
    // "Permission denied: " and the detail.
    RunTimeError(const ErrorKind &kind, const QString &detail);
    // For a text that names the port: "Could not open COM3 (/dev/ttyUSB0): " and the detail.
    RunTimeError(const ErrorKind &kind, const QString &port, const QString &detail);
    // A description made from the table already and passed on, as a device tells its loss.
    RunTimeError(int number, QString description)
        : m_number(number), m_description(std::move(description)) {}

    int number() const { return m_number; }
    const QString &description() const { return m_description; }
    const char *what() const noexcept override { return "Korvane run-time error"; }

    // "Err 8002. Invalid port number" with the handler's prefix in front.
    QString message(const QString &prefix = QString()) const {
        return prefix + QStringLiteral("Err ") + QString::number(m_number) + QStringLiteral(". ") +
               m_description;
    }

private:
    int m_number;
    QString m_description;
};

} // namespace korvane
