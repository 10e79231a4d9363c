#pragma once
// Records what reaches the window: every line routed to a status slot, in order, and every text
// the message line shows. A slot only reports a change of text, so each slot is emptied again
// as soon as its line is noted, and a line equal to the one before it is seen too. The slots
// therefore read empty while a recorder is attached: ask the recorder what reached them.

#include "text/token_keys.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <array>

namespace korvane {
class frmKorvane;
}

namespace korvane::test {

class SlotRecorder : public QObject {
public:
    struct Line {
        int slot;
        QString text;
    };

    // `keepLines` false only counts, for runs too long to keep every line.
    explicit SlotRecorder(frmKorvane &window, bool keepLines = true);

    const QList<Line> &lines() const { return m_lines; }
    QStringList texts() const;
    qint64 count() const { return m_count; }
    qint64 count(int slot) const { return m_perSlot.at(std::size_t(slot)); }
    // The last line routed to `slot`, or empty.
    QString last(int slot) const { return m_last.at(std::size_t(slot)); }
    const QStringList &messages() const { return m_messages; }

private:
    QList<Line> m_lines;
    std::array<qint64, kStatusSlots> m_perSlot{};
    std::array<QString, kStatusSlots> m_last{};
    qint64 m_count = 0;
    QStringList m_messages;
};

} // namespace korvane::test
