#include "support/session_log_reader.h"

#include <QFile>
#include <QRegularExpression>
#include <optional>

namespace korvane::test {

namespace {

std::optional<QByteArray> unescape(QByteArrayView text, bool *cut) {
    static const QByteArray hex("0123456789ABCDEF");
    QByteArray out;
    *cut = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c < 0x20 || c > 0x7E)
            return std::nullopt;
        if (c != '\\') {
            out += c;
            continue;
        }
        const char e = ++i < text.size() ? text[i] : '\0';
        if (e == '\\' || e == 'r' || e == 't') {
            out += e == '\\' ? '\\' : e == 'r' ? '\r' : '\t';
        } else if (e == 'c' && i + 1 == text.size()) {
            *cut = true;
        } else if (e == 'x' && i + 2 < text.size() && hex.contains(text[i + 1]) &&
                   hex.contains(text[i + 2])) {
            out += char(hex.indexOf(text[i + 1]) * 16 + hex.indexOf(text[i + 2]));
            i += 2;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

} // namespace

QDateTime LogRecord::time() const {
    return QDateTime::fromString(QString::fromLatin1(stamp),
                                 QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

SessionRecord readSessionLog(const QByteArray &log) {
    static const QRegularExpression shape(
        QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}) ([<>!=]) (.*)$"));
    static const QRegularExpression pollCount(QStringLiteral("^U\\*(\\d+)$"));
    SessionRecord out;
    if (!log.isEmpty() && !log.endsWith('\n'))
        out.problem = QStringLiteral("the log ends inside a line");
    const QList<QByteArray> lines = log.split('\n');
    for (qsizetype n = 0; n + 1 < lines.size() && out.problem.isEmpty(); ++n) {
        const QRegularExpressionMatch m = shape.match(QString::fromLatin1(lines[n]));
        if (!m.hasMatch()) {
            out.problem = QStringLiteral("line %1 is no record").arg(n + 1);
            break;
        }
        LogRecord record;
        record.stamp = m.captured(1).toLatin1();
        record.mark = m.captured(2).at(0).toLatin1();
        record.text = m.captured(3).toLatin1();
        out.records << record;
        const QRegularExpressionMatch polls = pollCount.match(m.captured(3));
        if (record.mark == '>' && record.text == "U") {
            out.sent += 'U';
            continue;
        }
        if (record.mark == '>' && polls.hasMatch()) {
            out.sent += QByteArray(polls.captured(1).toInt(), 'U');
            continue;
        }
        bool cut = false;
        const std::optional<QByteArray> bytes = unescape(record.text, &cut);
        if (!bytes || (cut && record.mark != '<' && record.mark != '>')) {
            out.problem = QStringLiteral("line %1 is badly escaped").arg(n + 1);
            break;
        }
        if (record.mark == '>')
            out.sent += cut ? *bytes : *bytes + '\n';
        else if (record.mark == '<')
            out.received += cut ? *bytes : *bytes + '\n';
        else if (record.mark == '!')
            out.messages << QString::fromUtf8(*bytes);
        else
            out.portEvents << QString::fromUtf8(*bytes);
    }
    return out;
}

SessionRecord readSessionLogFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        SessionRecord none;
        none.problem = QStringLiteral("cannot read %1").arg(path);
        return none;
    }
    return readSessionLog(file.readAll());
}

} // namespace korvane::test
