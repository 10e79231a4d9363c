#pragma once
// A reader of the session log for end-to-end tests, written from the log's description alone:
// it gives back what each direction of the line carried, the messages and the port's events.

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

namespace korvane::test {

struct LogRecord {
    QByteArray stamp; // "2026-12-07 15:58:29.741", local time
    char mark = 0;
    QByteArray text; // as written, escaped
    // The stamp read as a time; only when asked, for the time zone's rules cost more than all
    // the rest of the reading.
    QDateTime time() const;
};

struct SessionRecord {
    QList<LogRecord> records;
    QByteArray sent, received; // every byte, in order, polls and line feeds included
    QStringList messages, portEvents;
    QString problem; // the first thing that does not read as the log's format
};

SessionRecord readSessionLog(const QByteArray &log);
SessionRecord readSessionLogFile(const QString &path);

} // namespace korvane::test
