#include "serial/receive_handling.h"

#include "app/run_time_error.h"
#include "app/timer_value.h"
#include "serial/mscomm.h"
#include "ui/frm_korvane.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <algorithm>
#include <cmath>

namespace korvane {

namespace {
constexpr std::int16_t kReceive = 2;
// The shortest sleep of the quiet wait: a wake-up a hair before the Timer has moved far enough
// sleeps once more, briefly, rather than spinning or overshooting by a whole millisecond.
constexpr double kMinQuietSleep = 0.0002;

double numberFrom(const QString &text, const QLocale &locale) {
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok)
        throw RunTimeError(err::kTypeMismatch, QStringLiteral("Type mismatch"));
    return value;
}
} // namespace

double quietSleep(double base, double now, double quietTime) {
    // Sleeping for the rest of the quiet time as the Timer counts it would often wake a step
    // late, and bounding the sleep by the quiet time alone would often wake early and sleep
    // twice: the moment can lie up to a whole step beyond it.
    const double quietEnds = momentTimerExceeds(base, std::nextafter(quietTime, 0.0));
    return std::clamp(quietEnds - now, kMinQuietSleep, quietTime + kLargestTimerStep);
}

QString commEventMessage(std::int16_t code) {
    switch (code) {
    case 1:
    case 2:
        return QString();
    case 3:
        return QStringLiteral("Change in CTS Detected");
    case 4:
        return QStringLiteral("Change in DSR Detected");
    case 5:
        return QStringLiteral("Change in CD Detected");
    case 6:
        return QStringLiteral("The Phone is Ringing");
    case 7:
        return QStringLiteral("End of File Detected");
    case 1001:
        return QStringLiteral("Break Received");
    case 1002:
        return QStringLiteral("CTS Timeout");
    case 1003:
        return QStringLiteral("DSR Timeout");
    case 1004:
        return QStringLiteral("Framing Error");
    case 1006:
        return QStringLiteral("Overrun Error");
    case 1007:
        return QStringLiteral("Carrier Detect Timeout");
    case 1008:
        return QStringLiteral("Receive Buffer Overflow");
    case 1009:
        return QStringLiteral("Parity Error");
    case 1010:
        return QStringLiteral("Transmit Buffer Full");
    case 1011:
        return QStringLiteral("Error retrieving DCB");
    default:
        return QStringLiteral("Unknown error or event");
    }
}

QString elapsedTimeText(const QString &commandText, const QString &responseText,
                        const QLocale &locale) {
    // The command time is always written with "." whatever the user's number settings.
    const double command = numberFrom(commandText, QLocale::c());
    const double response = numberFrom(responseText, locale);
    double elapsed = response - command;
    if (elapsed < 0.0)
        elapsed += kSecondsPerDay; // the response came after midnight
    return generalNumber(elapsed, 15, locale);
}

void ReceiveHandling::MSComm1_OnComm() {
    try {
        const std::int16_t code = m_comm.CommEvent();
        if (code == kReceive) {
            receiveBurst();
            return;
        }
        const QString message = commEventMessage(code);
        if (!message.isEmpty())
            m_window.ShowMessage(message, false);
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
