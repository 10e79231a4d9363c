#pragma once
// The radio's end of the line: the master of a pseudo-terminal pair whose slave the console
// opens, or a real serial device (for a null-modem cable between two ports).
//
// For a pseudo-terminal the radio keeps a slave descriptor open itself. Without it, the console
// closing the slave (its port scan opens and closes every device once) would leave the master
// with no slave at all, and the master would read as hung up for good. The kept descriptor also
// shows the line settings the console chose, which is how the radio follows the console's baud,
// and how it sees the console open the line: a console opening a port sets it up as it likes
// (a plain open, such as the console's port scan, leaves the settings alone).

#include <QByteArray>
#include <QString>

namespace sim {

// The baud rate of a terminal as the kernel holds it (custom rates included), or -1.
int readLineSpeed(int fd);
// Sets any baud rate on a terminal; false if the kernel refuses it.
bool setLineSpeed(int fd, int baud);

class SerialLine {
public:
    SerialLine() = default;
    ~SerialLine();
    SerialLine(const SerialLine &) = delete;
    SerialLine &operator=(const SerialLine &) = delete;

    // A fresh pseudo-terminal pair, its slave raw at 9600 baud until the console sets it.
    bool openPseudoTerminal(QString *error);
    // A real device, set to `baud`, odd parity, 7 data bits and 1 stop bit, raw.
    bool openDevice(const QString &path, int baud, QString *error);

    int fd() const { return m_fd; }
    // The path the console should open.
    QString path() const { return m_path; }
    bool isPseudoTerminal() const { return m_slaveKeep >= 0; }
    // The baud rate the line is set to now, or -1 if it cannot be read.
    int currentBaud() const;
    // All of a pseudo-terminal's settings as they stand, to compare with those of another
    // moment; empty for a real device, whose settings are the radio's own.
    QByteArray settings() const;
    // settings() as the radio left them when it opened the line.
    QByteArray settingsAtOpen() const { return m_settingsAtOpen; }

    // Waits (at most `seconds`) until what was written has left: for a pseudo-terminal, until
    // the console has read it, since hanging up throws away whatever it has not read yet.
    void drain(double seconds);
    // Closes the line at once, as a pulled adapter would: the console's end hangs up.
    void hangUp();

private:
    int m_fd = -1;
    int m_slaveKeep = -1;
    QString m_path;
    QByteArray m_settingsAtOpen;
};

} // namespace sim
