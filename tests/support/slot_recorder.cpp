#include "support/slot_recorder.h"

#include "window/frm_korvane.h"

#include <QLineEdit>

namespace korvane::test {

SlotRecorder::SlotRecorder(frmKorvane &window, bool keepLines) {
    for (std::size_t i = 0; i < window.StatusToken.size(); ++i) {
        QLineEdit *slot = window.StatusToken[i];
        connect(slot, &QLineEdit::textChanged, this, [this, slot, i, keepLines](const QString &t) {
            if (t.isEmpty())
                return;
            ++m_count;
            ++m_perSlot[i];
            m_last[i] = t;
            if (keepLines)
                m_lines.append({int(i), t});
            slot->clear();
        });
    }
    connect(window.txtErrMsg, &QLineEdit::textChanged, this, [this](const QString &t) {
        if (!t.isEmpty())
            m_messages.append(t);
    });
}

QStringList SlotRecorder::texts() const {
    QStringList out;
    for (const Line &line : m_lines)
        out.append(line.text);
    return out;
}

} // namespace korvane::test
