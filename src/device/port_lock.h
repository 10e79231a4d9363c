#pragma once
// One program per port. Station software marks a serial device it holds in one of three ways,
// and the console respects each before it touches the device:
//   - a lock file in the UUCP/HDB manner, /run/lock/LCK..NAME (or /var/lock) holding the process
//     id of the holder: a live holder's file is never removed or replaced, a stale one (its
//     process gone) is removed;
//   - flock(LOCK_EX) on the device itself;
//   - the kernel's exclusive mode (TIOCEXCL), which binds every process but root's.
// The console itself holds a device all three ways while it is open: Qt's serial port writes the
// lock file and sets the exclusive mode, and the PortLock holds an flock on the device. Devices
// are named by their real path (links resolved), so two paths to one device are one port.
//
// A refusal is error 8010 naming the holder's process id where it can be found.

#include "base/run_time_error.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <sys/types.h>

namespace korvane {

// The process id a lock file holds: ten ASCII digits padded with blanks and a line feed in the
// HDB manner, or any decimal number first in the file; a four-byte binary one in the old UUCP
// manner. Nothing when the file holds no process id.
std::optional<pid_t> pidInLockFile(const QByteArray &content);

// "LCK..ttyUSB0" for /dev/ttyUSB0, "LCK..pts_3" for /dev/pts/3: the name the lock file of a
// device has (the device's path below /dev, each "/" made "_").
QByteArray lockFileName(const QByteArray &devicePath);

// The device's real path, links resolved; empty when it does not exist (errno says why).
QByteArray realDevicePath(const QByteArray &path);

// The process ids (other than this one's) that hold `devicePath` open; best effort: only
// processes this one may look into are seen.
QList<pid_t> processesHolding(const QByteArray &devicePath);

// Whether another program holds `devicePath` (a real path) by a live lock file or an flock: the
// port list leaves such a port out, as its open would refuse it. Only looks; removes nothing.
bool heldByAnotherProgram(const QByteArray &devicePath);

// Why other programs cannot be told by a lock file that this process holds a device: the lock
// directory they look in cannot be written by this user (Qt then puts its lock file where no
// other program looks). Empty when they can.
QString lockDirectoryProblem();

class PortLock {
public:
    PortLock() = default;
    ~PortLock() { release(); }
    PortLock(const PortLock &) = delete;
    PortLock &operator=(const PortLock &) = delete;

    // Takes `devicePath` (a real path) for this process, or throws 8010 naming the holder.
    // `where` names the port in the message. A stale lock file is removed on the way.
    void acquire(const QByteArray &devicePath, const QString &where);
    void release();

private:
    int m_fd = -1; // the device, opened only to hold its flock
};

} // namespace korvane
