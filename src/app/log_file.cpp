#include "app/log_file.h"

namespace korvane {

LogFile::~LogFile() {
    close();
}

QString LogFile::append(const QByteArray &bytes) {
    if (m_fd < 0)
        return QStringLiteral("the log is not open");
    if (bytes.isEmpty())
        return QString();
    QString why;
    const qint64 written = writeAll(bytes, &why);
    if (!why.isEmpty()) {
        // Part of a record would read as a record that was never sent or received.
        if (written > 0)
            takeBack(written);
    } else if (removed()) {
        why = QStringLiteral("the file was removed");
    }
    if (!why.isEmpty())
        close();
    return why;
}

} // namespace korvane
