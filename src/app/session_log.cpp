#include "app/session_log.h"

#include "device/mscomm.h"
#include "text/path_bytes.h"
#include "window/frm_korvane.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <dirent.h>
#include <utility>

namespace korvane {

namespace {

QByteArray now() {
    return logTimeStamp(QDateTime::currentDateTime());
}

// The chooser reads names as UTF-8 and puts U+FFFD for each byte that is not: a file chosen whose
// name (or folder) is in other bytes would come back as a name nothing on disk has. Each such
// part of the path is found again, by its bytes, among the entries of its folder, when exactly
// one of them reads as it does; a part found nowhere (a new name) stays as the chooser gave it.
QString withOwnBytes(const QString &chosen) {
    if (!chosen.contains(QChar::ReplacementCharacter))
        return chosen;
    const QStringList parts = chosen.split(QLatin1Char('/'));
    QString path = parts.first();
    for (qsizetype i = 1; i < parts.size(); ++i) {
        QString part = parts[i];
        if (part.contains(QChar::ReplacementCharacter)) {
            QStringList found;
            const QByteArray folder = bytesOfPath(path.isEmpty() ? QStringLiteral("/") : path);
            if (DIR *entries = ::opendir(folder.constData())) {
                while (const dirent *entry = ::readdir(entries)) {
                    if (QFile::decodeName(entry->d_name) == part)
                        found << pathFromBytes(QByteArray(entry->d_name));
                }
                ::closedir(entries);
            }
            if (found.size() == 1)
                part = found.first();
        }
        path += QLatin1Char('/') + part;
    }
    return path;
}

} // namespace

SessionLog::SessionLog(frmKorvane &window, MSComm &comm, bool leavePollsOut)
    : m_window(window), m_leavePollsOut(leavePollsOut) {
    connect(&comm, &MSComm::BytesSent, this, [this](const QByteArray &bytes) {
        if (logging())
            write(m_text.sent(now(), bytes));
    });
    connect(&comm, &MSComm::BytesReceived, this, [this](const QByteArray &bytes) {
        if (logging())
            write(m_text.received(now(), bytes));
    });
    connect(&comm, &MSComm::PortOpened, this,
            [this](int port, const QString &device, const QString &settings) {
                if (logging())
                    write(m_text.opened(now(), port, device, settings));
            });
    connect(&comm, &MSComm::PortClosed, this, [this](int port) {
        if (logging())
            write(m_text.closed(now(), port));
    });
    connect(&comm, &MSComm::DeviceLost, this, [this](int, const QString &description) {
        if (logging())
            write(m_text.lost(now(), description));
    });
    connect(&window, &frmKorvane::messageShown, this, [this](const QString &text) {
        if (logging())
            write(m_text.message(now(), text));
    });
}

QString SessionLog::start(const QString &path) {
    stop();
    const QString why = m_file.open(path);
    if (!why.isEmpty()) {
        showChecked();
        return QStringLiteral("Log not started: ") + path + why;
    }
    m_text = TrafficLogText(m_leavePollsOut);
    showChecked();
    m_window.ShowMessage(QStringLiteral("Logging to ") + path);
    return QString();
}

void SessionLog::stop() {
    if (!logging())
        return;
    write(m_text.finish(now()));
    m_file.close();
    showChecked();
}

void SessionLog::write(const QByteArray &records) {
    if (records.isEmpty())
        return;
    const QString path = m_file.path();
    const QString why = m_file.append(records);
    if (why.isEmpty())
        return;
    // The file is closed already: the message below is not logged, and no other event is.
    showChecked();
    const QString stopped = QStringLiteral("Log stopped: %1: %2").arg(path, why);
    if (m_holding)
        m_heldFailure = stopped;
    else
        m_window.ShowMessage(stopped);
}

QString SessionLog::takeHeldFailure() {
    m_holding = false;
    return std::exchange(m_heldFailure, QString());
}

void SessionLog::showChecked() {
    m_window.mnuFileLog->setChecked(logging());
}

void SessionLog::mnuFileLog_Click() {
    if (logging()) {
        const QString path = m_file.path();
        stop();
        m_window.ShowMessage(QStringLiteral("Log closed: ") + path);
        return;
    }
    showChecked(); // the item checked itself when clicked; it shows the truth until a file is open
    // Qt's own dialog, the same on every desktop; and no question about replacing a file the log
    // only appends to. Modal: the loop stands still while the operator chooses, as for About.
    const QString suggested =
        m_lastChosen.isEmpty()
            ? QDir::home().filePath(
                  QStringLiteral("korvane-%1.log").arg(QDate::currentDate().toString(Qt::ISODate)))
            : m_lastChosen;
    const QString chosen = QFileDialog::getSaveFileName(
        &m_window, QStringLiteral("Log to File"), suggested,
        QStringLiteral("Logs (*.log);;All files (*)"), nullptr,
        QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    if (chosen.isEmpty())
        return;
    m_lastChosen = chosen;
    const QString refused = start(withOwnBytes(chosen));
    if (!refused.isEmpty())
        m_window.ShowMessage(refused);
}

} // namespace korvane
