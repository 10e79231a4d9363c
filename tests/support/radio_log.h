#pragma once
// A reader of the simulated radio's log, for the tests and the benchmark alike. The radio writes
// one event a line: its CLOCK_MONOTONIC time in seconds, the event's name, then the event's
// fields, each separated by one blank, a text escaped so that it is one field ("\n", "\r",
// "\xHH"). Each event is one write, so only whole lines are read: a line without its end is
// still being written.
//
// Qt Core only, so that the benchmark, built without the tests, can compile it in too.

#include <QByteArray>
#include <QList>
#include <QString>

namespace korvane::test {

struct RadioEvent {
    double time = 0;          // CLOCK_MONOTONIC seconds
    QByteArray name;          // "RX", "POLL", "CMD", "TX-START", "TX-END", "HANGUP"...
    QList<QByteArray> fields; // the words after the name
};

// What the log says happened on the line.
struct RadioLog {
    struct Report {
        double start = 0, end = -1; // end: the write carrying its last byte; -1 if never sent whole
        QByteArray kind;
        int lines = 0;
        qint64 bytes = 0;
        QByteArray text; // the report's own bytes (the log keeps its first 4096 characters)
    };
    QList<double> polls;   // every "U" received, at the time of the read that brought it
    QList<Report> reports; // every report begun, in order
    qint64 bytesReceived = 0;
};

// The log's bytes; empty when it cannot be read.
QByteArray radioLogText(const QString &path);
// The events named `name`, in order.
QList<RadioEvent> radioEvents(const QByteArray &log, const QByteArray &name);
RadioLog readRadioLog(const QByteArray &log);

} // namespace korvane::test
