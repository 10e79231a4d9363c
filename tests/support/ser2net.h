#pragma once
// ser2net on loopback, serving one device (a pseudo-terminal, usually the simulated radio's) to
// the console as a network port: Telnet with the com-port option, or raw TCP. Started in the
// foreground with a generated configuration, it listens on 127.0.0.1 on a port the kernel picks
// (so two tests never race for one); the helper finds that port among the process's own sockets
// and returns once ser2net listens.
//
// What ser2net does, as seen from the console (ser2net 4.3):
// - On connect, Telnet: IAC WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY, WILL BINARY,
//   DO COM-PORT-OPTION; once the com-port option is agreed, NOTIFY-MODEMSTATE 0. Raw: nothing.
// - The device is opened at connect, at the configured 9600n81 every time; a device missing then
//   gets "Device open failure: ...\r\n" and a close, a second client "Port already in use\r\n"
//   and a close (after the Telnet greeting, on a Telnet port).
// - On a pseudo-terminal: baud, data size, parity and stop size are answered with the value asked
//   (the baud reaches the radio's end), except 1.5 stop bits, which get no answer; DTR and RTS
//   get no answer at all; a modem- or line-state mask is answered with a NOTIFY of the state (0).
// - Bytes pass untouched both ways but for the doubled 0xFF, binary mode or not.
// - A device that goes away, or ser2net stopped or killed, ends the connection with FIN; a kill
//   while bytes from the console wait unread in ser2net's socket gives RST.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace korvane::test {

class Ser2Net {
public:
    enum class Accepter { Rfc2217, Raw };

    // The ser2net program, or empty when it is not installed.
    static QString program();
    static bool installed() { return !program().isEmpty(); }
    // Why a test that needs it fails: what to install.
    static const char *notInstalled();

    // Serves `device` (a path without blanks, commas or quotes) at `lineSettings` ("9600n81").
    Ser2Net(const QString &device, Accepter accepter,
            const QString &lineSettings = QStringLiteral("9600n81"));
    ~Ser2Net();
    Ser2Net(const Ser2Net &) = delete;
    Ser2Net &operator=(const Ser2Net &) = delete;

    bool isListening() const { return m_port != 0; }
    quint16 port() const { return m_port; }
    // The port table's way to name it: "rfc2217://127.0.0.1:PORT" or "tcp://127.0.0.1:PORT".
    QString url() const;
    // Why it did not start, with what ser2net said.
    QString errorString() const { return m_error; }
    qint64 processId() const { return m_process.processId(); }
    // What ser2net wrote on its standard output and error.
    QByteArray output();

    void stop(); // SIGTERM, and waits for the end
    void kill(); // SIGKILL, and waits for the end

private:
    quint16 listeningPort() const;

    Accepter m_accepter;
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
    QString m_error;
    QByteArray m_output;
};

} // namespace korvane::test
