#include "text/traffic_log.h"

#include "text/command_text.h"
#include "text/path_bytes.h"

#include <QDate>
#include <QTime>

namespace korvane {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr QByteArrayView kCutMark = "\\c";
constexpr char kPollBytes[] = {kPollByte, 0};
constexpr QByteArrayView kPollBytesView = kPollBytes;
constexpr QByteArrayView kEscapedU = "\\x55";

void appendDigits(QByteArray &out, int value, int width) {
    char digits[8];
    for (int i = width - 1; i >= 0; --i) {
        digits[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    out.append(digits, width);
}

// "U" or "U*" and digits: what a sent line must not read as once escaped.
bool readsAsPolls(QByteArrayView text) {
    if (text == kPollBytesView)
        return true;
    if (text.size() < 3 || text[0] != kPollByte || text[1] != '*')
        return false;
    for (qsizetype i = 2; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
    }
    return true;
}

QByteArray sentLineText(QByteArrayView line, bool cut) {
    QByteArray text = escapeLogBytes(line);
    if (!cut && readsAsPolls(text))
        text.replace(qsizetype(0), qsizetype(1), kEscapedU);
    if (cut)
        text.append(kCutMark);
    return text;
}

} // namespace

QByteArray escapeLogBytes(QByteArrayView bytes) {
    QByteArray out;
    out.reserve(bytes.size() + 8);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == '\\') {
            out.append("\\\\", 2);
        } else if (b >= 0x20 && b <= 0x7E) {
            out.append(c);
        } else if (b == '\r') {
            out.append("\\r", 2);
        } else if (b == '\t') {
            out.append("\\t", 2);
        } else {
            const char hex[4] = {'\\', 'x', kHexDigits[b >> 4], kHexDigits[b & 0x0F]};
            out.append(hex, 4);
        }
    }
    return out;
}

QByteArray logTimeStamp(const QDateTime &when) {
    const QDate date = when.date();
    const QTime time = when.time();
    QByteArray out;
    out.reserve(23);
    appendDigits(out, date.year(), 4);
    out.append('-');
    appendDigits(out, date.month(), 2);
    out.append('-');
    appendDigits(out, date.day(), 2);
    out.append(' ');
    appendDigits(out, time.hour(), 2);
    out.append(':');
    appendDigits(out, time.minute(), 2);
    out.append(':');
    appendDigits(out, time.second(), 2);
    out.append('.');
    appendDigits(out, time.msec(), 3);
    return out;
}

QByteArray logRecord(QByteArrayView stamp, char mark, QByteArrayView text) {
    QByteArray out;
    out.reserve(stamp.size() + text.size() + 4);
    out.append(stamp);
    out.append(' ');
    out.append(mark);
    out.append(' ');
    out.append(text);
    out.append('\n');
    return out;
}

bool isPoll(QByteArrayView bytes) {
    return bytes == kPollBytesView;
}

QList<QByteArray> sentRecordTexts(QByteArrayView bytes) {
    QList<QByteArray> texts;
    if (isPoll(bytes)) {
        texts.append(kPollBytesView.toByteArray());
        return texts;
    }
    qsizetype start = 0;
    while (start < bytes.size()) {
        const qsizetype lf = bytes.indexOf('\n', start);
        if (lf < 0) {
            texts.append(sentLineText(bytes.sliced(start), true));
            break;
        }
        texts.append(sentLineText(bytes.sliced(start, lf - start), false));
        start = lf + 1;
    }
    return texts;
}

QList<QByteArray> ReceivedLines::take(QByteArrayView chunk) {
    QList<QByteArray> texts;
    qsizetype start = 0;
    for (qsizetype lf = chunk.indexOf('\n'); lf >= 0; lf = chunk.indexOf('\n', start)) {
        m_kept.append(chunk.sliced(start, lf - start));
        texts.append(escapeLogBytes(m_kept));
        m_kept.clear();
        start = lf + 1;
    }
    m_kept.append(chunk.sliced(start));
    if (m_kept.size() > kLongestKeptLogLine)
        texts.append(cutOff());
    return texts;
}

QByteArray ReceivedLines::cutOff() {
    if (m_kept.isEmpty())
        return QByteArray();
    QByteArray text = escapeLogBytes(m_kept);
    text.append(kCutMark);
    m_kept.clear();
    return text;
}

QByteArray TrafficLogText::owedPolls() {
    if (m_pollsLeftOut == 0)
        return QByteArray();
    const QByteArray text = "U*" + QByteArray::number(m_pollsLeftOut);
    m_pollsLeftOut = 0;
    return logRecord(m_lastPollStamp, logmark::kSent, text);
}

QByteArray TrafficLogText::received(QByteArrayView stamp, QByteArrayView chunk) {
    const QList<QByteArray> texts = m_lines.take(chunk);
    if (texts.isEmpty())
        return QByteArray();
    QByteArray out = owedPolls();
    for (const QByteArray &text : texts)
        out += logRecord(stamp, logmark::kReceived, text);
    return out;
}

QByteArray TrafficLogText::sent(QByteArrayView stamp, QByteArrayView bytes) {
    if (bytes.isEmpty())
        return QByteArray();
    if (m_leavePollsOut && isPoll(bytes)) {
        ++m_pollsLeftOut;
        m_lastPollStamp = stamp.toByteArray();
        return QByteArray();
    }
    QByteArray out = owedPolls();
    for (const QByteArray &text : sentRecordTexts(bytes))
        out += logRecord(stamp, logmark::kSent, text);
    return out;
}

QByteArray TrafficLogText::message(QByteArrayView stamp, const QString &text) {
    return owedPolls() + logRecord(stamp, logmark::kMessage, escapeLogBytes(bytesOfPath(text)));
}

QByteArray TrafficLogText::portEvent(QByteArrayView stamp, const QString &text) {
    QByteArray out = owedPolls();
    const QByteArray line = m_lines.cutOff();
    if (!line.isEmpty())
        out += logRecord(stamp, logmark::kReceived, line);
    return out + logRecord(stamp, logmark::kPort, escapeLogBytes(bytesOfPath(text)));
}

QByteArray TrafficLogText::opened(QByteArrayView stamp, int port, const QString &device,
                                  const QString &settings) {
    return portEvent(
        stamp, QStringLiteral("opened COM%1 %2 %3").arg(QString::number(port), device, settings));
}

QByteArray TrafficLogText::closed(QByteArrayView stamp, int port) {
    return portEvent(stamp, QStringLiteral("closed COM%1").arg(port));
}

QByteArray TrafficLogText::lost(QByteArrayView stamp, const QString &description) {
    return portEvent(stamp, QStringLiteral("lost ") + description);
}

QByteArray TrafficLogText::finish(QByteArrayView stamp) {
    QByteArray out = owedPolls();
    const QByteArray line = m_lines.cutOff();
    if (!line.isEmpty())
        out += logRecord(stamp, logmark::kReceived, line);
    return out;
}

} // namespace korvane
