#pragma once
// The session log's file: opened for appending (an existing log is never truncated), written
// with one write of the operating system for each batch of records, so that what the console has
// shown is in the operating system's hands before the console goes on: a crash of the program
// loses none of it. No sync to the disk: a record is written in microseconds and the serial line
// does not wait for the disk.
//
// A failure is told once, as the reason, and the file is closed: the disk full or any other
// refusal of a write (a record the disk took only part of is taken back, so the log ends with a
// whole line), or the file removed while it was being written (a write to a removed file succeeds
// and reaches no one). Writing to a pipe whose reader has gone fails with the reason instead of
// ending the program.

#include <QByteArray>
#include <QString>

namespace korvane {

class LogFile {
public:
    LogFile() = default;
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;
    ~LogFile();

    // Opens `path` for appending, creating it when it is not there; returns why it cannot, or
    // empty text.
    QString open(const QString &path);
    // Appends `bytes`; returns why it cannot, or empty text. After a failure the file is closed.
    QString append(const QByteArray &bytes);
    void close();

    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }

private:
    qint64 writeAll(const QByteArray &bytes, int *error);

    int m_fd = -1;
    bool m_regular = false;
    QString m_path;
};

} // namespace korvane
