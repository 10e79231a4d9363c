#include "support/radio_log.h"

#include <QFile>

namespace korvane::test {

namespace {

// Calls `each` with the event of every whole line of the log, in order.
template <typename Each> void forEachEvent(const QByteArray &log, Each each) {
    qsizetype start = 0;
    for (qsizetype end = log.indexOf('\n', start); end >= 0; end = log.indexOf('\n', start)) {
        const QList<QByteArray> words = log.mid(start, end - start).split(' ');
        start = end + 1;
        if (words.size() < 2)
            continue;
        each(RadioEvent{words[0].toDouble(), words[1], words.mid(2)});
    }
}

// The bytes an escaped text of the log stands for.
QByteArray unescaped(const QByteArray &text) {
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size()) {
            out += text[i];
        } else if (text[i + 1] == 'n') {
            out += '\n';
            ++i;
        } else if (text[i + 1] == 'r') {
            out += '\r';
            ++i;
        } else if (text[i + 1] == 'x' && i + 3 < text.size()) {
            out += char(text.mid(i + 2, 2).toInt(nullptr, 16));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

QByteArray radioLogText(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QList<RadioEvent> radioEvents(const QByteArray &log, const QByteArray &name) {
    QList<RadioEvent> out;
    forEachEvent(log, [&](const RadioEvent &e) {
        if (e.name == name)
            out.append(e);
    });
    return out;
}

RadioLog readRadioLog(const QByteArray &log) {
    RadioLog out;
    forEachEvent(log, [&](const RadioEvent &e) {
        if (e.name == "RX") { // the bytes of one read, in hex
            out.bytesReceived += e.fields.size();
            for (const QByteArray &byte : e.fields) {
                if (byte == "55")
                    out.polls.append(e.time);
            }
        } else if (e.name == "TX-START" && e.fields.size() >= 5) {
            // "<kind> <lines> lines <bytes> bytes <text>"
            RadioLog::Report r;
            r.start = e.time;
            r.kind = e.fields[0];
            r.lines = e.fields[1].toInt();
            r.bytes = e.fields[3].toLongLong();
            r.text = unescaped(e.fields.value(5));
            out.reports.append(r);
        } else if (e.name == "TX-END") {
            // Reports go out one at a time: the end belongs to the last one started.
            if (!out.reports.isEmpty() && out.reports.last().end < 0)
                out.reports.last().end = e.time;
        }
    });
    return out;
}

} // namespace korvane::test
