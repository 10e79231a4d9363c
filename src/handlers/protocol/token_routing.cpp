#include "handlers/protocol/token_routing.h"

#include "base/run_time_error.h"
#include "text/token_keys.h"
#include "window/frm_korvane.h"

#include <QLineEdit>
#include <limits>

namespace korvane {

void TokenRouting::DisplayToken(const QString &line) {
    try {
        const int slot = slotForLine(line);
        if (slot == kJSlot) {
            // The count is 16 bits wide; at its top the line is reported, not shown.
            if (m_state.JTokenCount == std::numeric_limits<std::int16_t>::max())
                throw RunTimeError(err::kOverflow);
            ++m_state.JTokenCount;
        }
        m_window.StatusToken.at(static_cast<std::size_t>(slot))->setText(line);
    } catch (const RunTimeError &e) {
        m_window.ShowMessage(e.message(QStringLiteral("DisplayToken: ")));
    }
}

void TokenRouting::cmdClearResponse_Click() {
    for (QLineEdit *slot : m_window.StatusToken)
        slot->setText(QString());
}

} // namespace korvane
