#include "handlers/protocol/receive_handling.h"

#include "base/comm_event.h"
#include "base/run_time_error.h"
#include "base/timer_value.h"
#include "device/mscomm.h"
#include "text/receive_text.h"
#include "window/frm_korvane.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>

namespace korvane {

void ReceiveHandling::MSComm1_OnComm() {
    try {
        const std::int16_t code = m_comm.CommEvent();
        if (code == comEvReceive) {
            receiveBurst();
            return;
        }
        const QString message = commEventMessage(code);
        if (!message.isEmpty())
            m_window.ShowMessage(message);
    } catch (const RunTimeError &e) {
        m_window.ShowMessage(e.message(QStringLiteral("OnComm: ")));
    }
}

void ReceiveHandling::receiveBurst() {
    QElapsedTimer burst; // bounds the burst in real time, whatever the clock does
    burst.start();
    int taken = 0;
    double base = clock().timer();
    for (;;) {
        const double elapsed = clock().timer() - base;
        if (elapsed >= m_state.QuietTime)
            break;
        if (m_comm.InBufferCount() > 0) {
            const QString chunk = m_comm.Input();
            m_state.RxBuffer.append(chunk);
            taken += static_cast<int>(chunk.size());
            base = clock().timer();
            if (taken >= kMaxBurstChars ||
                static_cast<double>(burst.nsecsElapsed()) / 1e9 >= kMaxBurstSeconds)
                break;
        } else {
            // A device that went away sends nothing more: no quiet to wait for.
            if (!m_comm.PortOpen() ||
                static_cast<double>(burst.nsecsElapsed()) / 1e9 >= kMaxBurstSeconds)
                break;
            // Sleep on the device, instead of spinning, until the quiet time is over.
            m_comm.waitForInput(
                quietSleep(base, clock().secondsSinceMidnight(), m_state.QuietTime));
        }
        base = midnightCorrected(base, clock().timer());
    }
    m_state.ResponseReady = true;
    stampResponse();
}

void ReceiveHandling::stampResponse() {
    const QString marker = m_window.cmbInitial->currentText();
    const QString &buffer = m_state.RxBuffer;
    if (buffer.isEmpty() || !buffer.contains(marker, Qt::CaseInsensitive))
        return;
    const QLocale locale;
    m_window.txtResponseTime->setText(
        generalNumber(static_cast<double>(static_cast<float>(clock().timer())), 7, locale));
    m_window.txtElapsedTime->setText(
        elapsedTimeText(m_window.txtCommandTime->text(), m_window.txtResponseTime->text(), locale));
}

} // namespace korvane
