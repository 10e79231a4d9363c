#pragma once
// A session of traffic written into the session log's text as it goes, with an account of what
// it carried: the bytes each way, in order, and the messages. The random test of the log's text
// and its fuzz target both make their sessions with it, each from its own source of events, and
// both check that the log, read back, gives back all of it.
//
// Header only, on the text level and the tests' reader of the session log: the fuzz build, which
// has no test libraries, includes it as it is.

#include "support/session_log_reader.h"
#include "text/traffic_log.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

namespace korvane::test {

class TrafficSession {
public:
    explicit TrafficSession(bool leavePollsOut) : m_text(leavePollsOut) {}

    // Event `kind` (0 to 7) at `stamp`: 0, 1 and 2 the bytes received, so that
    // most of a session is what the radio sends; 3 the bytes sent; 4 a poll; 5 a message, the
    // bytes read as Latin-1; 6 the port closed or, when `lost`, lost; 7 the port opened.
    void add(int kind, QByteArrayView stamp, const QByteArray &bytes, bool lost) {
        switch (kind) {
        case 0:
        case 1:
        case 2:
            m_received += bytes;
            m_log += m_text.received(stamp, bytes);
            break;
        case 3:
            m_sent += bytes;
            m_log += m_text.sent(stamp, bytes);
            break;
        case 4:
            m_sent += 'U';
            m_log += m_text.sent(stamp, "U");
            break;
        case 5:
            m_messages << QString::fromLatin1(bytes);
            m_log += m_text.message(stamp, m_messages.last());
            break;
        case 6:
            m_log += lost ? m_text.lost(stamp, QStringLiteral("COM3 went away"))
                          : m_text.closed(stamp, 3);
            break;
        default:
            m_log +=
                m_text.opened(stamp, 3, QStringLiteral("/dev/pts/4"), QStringLiteral("9600,O,7,1"));
            break;
        }
    }

    // Logging stops: what is still owed is written.
    void finish(QByteArrayView stamp) { m_log += m_text.finish(stamp); }

    const QByteArray &log() const { return m_log; }

    // What the log, read back, does not give back as the session carried it: empty when every
    // byte received, every byte sent and every message comes back, in order.
    QString unread() const {
        const SessionRecord back = readSessionLog(m_log);
        if (!back.problem.isEmpty())
            return back.problem;
        if (back.received != m_received)
            return QStringLiteral("received bytes differ");
        if (back.sent != m_sent)
            return QStringLiteral("sent bytes differ");
        if (back.messages.size() != m_messages.size())
            return QStringLiteral("messages lost");
        for (qsizetype i = 0; i < m_messages.size(); ++i) {
            if (back.messages[i] != m_messages[i])
                return QStringLiteral("message %1 differs").arg(i);
        }
        return QString();
    }

private:
    TrafficLogText m_text;
    QByteArray m_log, m_received, m_sent;
    QStringList m_messages;
};

} // namespace korvane::test
