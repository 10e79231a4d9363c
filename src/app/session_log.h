#pragma once
// The session log: while it is on, a record of the session goes to a file the operator chose (on
// the command line or from File > Log to File...): every byte sent to the radio and received from
// it with the moment it crossed the line, every message the message line showed, and every
// opening, closing and loss of the port. The format is the traffic log's (text/traffic_log.h).
//
// It listens to what the serial control and the window tell (BytesSent, BytesReceived,
// PortOpened, PortClosed, DeviceLost, messageShown) and takes nothing from them: the line goes
// on exactly as it would without it. Each event's records are written before the call that told
// it returns (log_file.h), so nothing the console showed is missing from the log after a crash.
//
// A log that cannot be written any more (the disk full, the file removed, a write refused) stops
// logging: the message line says so once, naming the file and the reason, the menu item loses its
// check, and the console goes on. While the program starts, its messages follow one another
// faster than anyone reads: a failure then is kept and said once after them (holdFailures).
//
// The log is a regular file (log_file.h). Its name is bytes: a name whose bytes are not UTF-8,
// given on the command line or chosen in the file chooser, names the file it names on disk.

#include "app/log_file.h"
#include "text/traffic_log.h"

#include <QObject>
#include <QString>

namespace korvane {

class frmKorvane;
class MSComm;

class SessionLog : public QObject {
    Q_OBJECT
public:
    // `leavePollsOut`: the keep-alive polls are counted ("> U*N") rather than written one by one.
    SessionLog(frmKorvane &window, MSComm &comm, bool leavePollsOut);

    // Begins appending the session to `path` (undecodable bytes escaped, text/path_bytes.h).
    // Returns the message that says why it cannot, or empty text; on success the message line
    // says where the log goes.
    QString start(const QString &path);
    // Writes what is still owed (a line not yet ended, polls counted) and closes the file.
    void stop();
    bool logging() const { return m_file.isOpen(); }
    QString path() const { return m_file.path(); }

    // File > Log to File...: chooses a file and starts, or stops when the session is logged.
    void mnuFileLog_Click();

    // From now on a failure of the log is kept rather than shown, until the kept one is taken.
    void holdFailures() { m_holding = true; }
    // The failure kept since holdFailures, or empty text; failures are shown again from now on.
    QString takeHeldFailure();

private:
    void write(const QByteArray &records);
    void showChecked();

    frmKorvane &m_window;
    bool m_leavePollsOut;
    LogFile m_file;
    TrafficLogText m_text;
    QString m_lastChosen;
    bool m_holding = false;
    QString m_heldFailure;
};

} // namespace korvane
