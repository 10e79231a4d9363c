#pragma once
// Korvane's failures are run-time errors that carry a number and a description, the way the
// operator sees them on the message line ("Err 8002. ..."). Every routine that can fail throws
// RunTimeError; the handlers that trap errors catch it at their top and show it with their prefix.
//
// The numbers, in one table (the README points here):
//      5  Invalid procedure call or argument   (an empty command: there is no last character)
//      6  Overflow                             (a 16-bit count; a port text beyond the 16-bit
//                                              range)
//     13  Type mismatch                        (a port text that is not a number; no command
//                                              time to measure a response from)
//    380  Invalid property value               (a settings text that does not parse; a port
//                                              number below 1; another property out of range)
//   8002  Invalid port number                  (the port table names no device for the number,
//                                              or the device does not exist)
//   8005  Port already open                    (a property that needs a closed port)
//   8010  The device is in use                 (another program holds it: its lock file, its
//                                              flock or the kernel's exclusive mode; the
//                                              holder's process id where it can be found; for
//                                              a network port, another client of its server)
//   8012  The device is not open               (output on a closed port)
//   8015  Could not set the line settings      (the operating system refused them: mark or
//                                              space parity, 4 data bits, 1.5 stop bits)
//   8016  Permission denied                    (not allowed to open the device, or to remove a
//                                              stale lock file; the user may need to be in the
//                                              dialout group)
//   8017  The device was lost                  (it went away while open; for a network port,
//                                              the server closed or reset the connection, the
//                                              network stopped answering, or the server stopped
//                                              reading what the console sends)
//   8018  Text outside 7-bit ASCII             (would reach the radio changed on a 7-bit line)
//   8019  Could not open the device            (any other reason the operating system gives;
//                                              for a network port, the server closed the
//                                              connection instead of serving, with its words)
//   8020  Write failed                         (the operating system refused the output)
//   8021  The host name does not resolve       (a network port's host is unknown to the
//                                              resolver)
//   8022  The connection was refused           (nothing listens at the network port's address)
//   8023  No answer                            (a network port's host, or its Telnet server,
//                                              said nothing within 3 s)
//   8024  Command too long                     (more characters than a command may have; it is
//                                              refused whole, never cut)

#include <QString>
#include <exception>

namespace korvane {

namespace err {
inline constexpr int kInvalidArgument = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kTypeMismatch = 13;
inline constexpr int kInvalidPropertyValue = 380;
inline constexpr int kInvalidPortNumber = 8002;
inline constexpr int kPortAlreadyOpen = 8005;
inline constexpr int kDeviceInUse = 8010;
inline constexpr int kPortNotOpen = 8012;
inline constexpr int kSettingsRefused = 8015;
inline constexpr int kPermissionDenied = 8016;
inline constexpr int kDeviceLost = 8017;
inline constexpr int kNotSevenBit = 8018;
inline constexpr int kOpenFailed = 8019;
inline constexpr int kWriteFailed = 8020;
inline constexpr int kNameNotResolved = 8021;
inline constexpr int kConnectionRefused = 8022;
inline constexpr int kNoAnswer = 8023;
inline constexpr int kCommandTooLong = 8024;
} // namespace err

class RunTimeError : public std::exception {
public:
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
