#include "wire.h"

namespace sim {

WireEncoder::WireEncoder(const WireOptions &options, unsigned seed)
    : m_options(options), m_random(seed) {}

QByteArray WireEncoder::withGarbage(QByteArray line, bool everyKind) {
    std::uniform_int_distribution<int> coin(0, 1);
    std::uniform_int_distribution<int> high(0x80, 0xff);
    std::uniform_int_distribution<int> control(0x01, 0x1f);
    QByteArray junk;
    if (everyKind || coin(m_random) == 1) {
        junk.append('\0');
        junk.append(char(high(m_random)));
        int c = '\n';
        while (c == '\n' || c == '\r')
            c = control(m_random);
        junk.append(char(c));
    }
    if (junk.isEmpty())
        return line;
    std::uniform_int_distribution<qsizetype> where(1, line.size());
    return line.insert(where(m_random), junk);
}

void WireEncoder::appendLine(Outgoing &out, QByteArray line, bool fullGarbage) {
    if (m_options.garbage)
        line = withGarbage(line, fullGarbage);
    if (m_options.pauseInLineMs > 0) {
        const qsizetype middle = std::max<qsizetype>(1, line.size() / 2);
        out.pauses.append({out.bytes.size() + middle, m_options.pauseInLineMs});
    }
    out.bytes += line;
    out.bytes += m_options.crlf ? "\r\n" : "\n";
    ++out.lines;
}

Outgoing WireEncoder::encode(const Report &report) {
    Outgoing out;
    out.kind = report.kind;
    if (m_options.longLine > 0 && !m_longLineSent) {
        m_longLineSent = true;
        QByteArray line(m_options.longLine, '0');
        line[0] = 'L';
        for (qsizetype i = 1; i < line.size(); ++i)
            line[i] = char('0' + i % 10);
        appendLine(out, line, false);
    }
    bool first = true;
    for (const QByteArray &line : report.lines) {
        appendLine(out, line, first);
        first = false;
    }
    return out;
}

} // namespace sim
