#include "command_reader.h"

namespace sim {

QList<Received> CommandReader::feed(const QByteArray &bytes) {
    QList<Received> out;
    for (char c : bytes) {
        if (c == '\n') {
            if (m_overlongLength > 0)
                out.append({Received::Kind::Overlong, {}, m_overlongLength});
            else
                out.append({Received::Kind::Line, m_line});
            m_line.clear();
            m_overlongLength = 0;
        } else if (m_overlongLength > 0) {
            ++m_overlongLength;
        } else if (c == 'U' && m_line.isEmpty()) {
            out.append({Received::Kind::Poll, {}});
        } else if (m_line.size() < m_maxLineLength) {
            m_line.append(c);
        } else {
            m_overlongLength = m_line.size() + 1;
            m_line.clear();
        }
    }
    return out;
}

} // namespace sim
