#pragma once
// The session log's file: a regular file, opened for appending (an existing log is never
// truncated), written with one write of the operating system for each batch of records, so that
// what the console has shown is in the operating system's hands before the console goes on: a
// crash of the program loses none of it. No sync to the disk: a record is written in microseconds
// and the serial line does not wait for the disk.
//
// Only a regular file is taken, so that no write can hold the window: a write to a regular file
// on a local disk copies the records into the system's page cache and returns; it waits for the
// disk only when the machine has far more unwritten data than the disk can take, and then for
// moments. A FIFO or a socket would hold every write for as long as its reader stalls, and a
// FIFO with no reader would hold the open itself; a device (/dev/null, /dev/full) records
// nothing anyone can read. All of them are refused without waiting: the file is opened
// non-blocking and looked at before anything is written. A file on a network file system
// whose server has gone can still hold a write: the log belongs on a local disk.
//
// A symbolic link where the log is to be is refused rather than followed: the log is written
// where the operator said, never where someone else's link points. The name is bytes
// (text/path_bytes.h): a name that is not UTF-8 is the file's own name on disk.
//
// That is Linux (log_file_posix.cpp). On Windows (log_file_windows.cpp) the same holds in its
// terms: a disk file only (no device, pipe or reserved name such as NUL or COM1), no reparse point
// (a link) followed, a UTF-16 name, and a file deleted while open is told as removed.
//
// A failure is told once, as the reason, and the file is closed: the disk full or any other
// refusal of a write (a record the disk took only part of is taken back, so the log ends with a
// whole line), or the file removed while it was being written (a write to a removed file succeeds
// and reaches no one).

#include <QByteArray>
#include <QString>

namespace korvane {

class LogFile {
public:
    LogFile() = default;
    LogFile(const LogFile &) = delete;
    LogFile &operator=(const LogFile &) = delete;
    ~LogFile();

    // Opens `path` for appending, creating it when it is not there. Returns why it cannot, as
    // it reads after the file's name (": Permission denied", " is not a regular file"), or
    // empty text.
    QString open(const QString &path);
    // Appends `bytes`; returns why it cannot, or empty text. After a failure the file is closed.
    QString append(const QByteArray &bytes);
    void close();

    bool isOpen() const { return m_fd >= 0; }
    QString path() const { return m_path; }

private:
    // Each platform's own (log_file_posix.cpp, log_file_windows.cpp), for append (log_file.cpp):
    // writes all of `bytes` or says why not in `why`; returns how many were written.
    qint64 writeAll(const QByteArray &bytes, QString *why);
    // Takes the last `bytes` written off the end of the file again.
    void takeBack(qint64 bytes);
    // Whether the open file has been removed (a write to it reaches no one).
    bool removed() const;

    qintptr m_fd = -1; // the file descriptor (Linux) or handle (Windows); -1 when closed
    QString m_path;
};

} // namespace korvane
