#include "serial/link_control.h"

#include "app/run_time_error.h"
#include "serial/mscomm.h"
#include "ui/frm_korvane.h"
#include "ui/simple_combo.h"

#include <QComboBox>
#include <QPushButton>
#include <cmath>
#include <limits>
#include <optional>

namespace korvane {

namespace {
// How long one turn of the drain wait sleeps when only the driver still holds output: the driver
// says nothing when its queue empties, so it is looked at again after this long.
constexpr double kDrainRecheck = 0.002;
} // namespace

std::int16_t portNumberFromText(const QString &text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw RunTimeError(err::kTypeMismatch, QStringLiteral("Type mismatch"));
    const double rounded = std::nearbyint(value); // to even, as the conversion rounds
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        throw RunTimeError(err::kOverflow, QStringLiteral("Overflow"));
    return static_cast<std::int16_t>(rounded);
}

QString LinkControl::settingsText() const {
    const QString comma = QStringLiteral(",");
    return m_window.cboBaudRate->currentText() + comma + m_window.cboParity->text() + comma +
           m_window.cboDataBits->text() + comma + m_window.cboStopBits->text();
}

void LinkControl::cmdCOMStatus_Click() {
    try {
        if (m_window.cmdCOMStatus->text() != QLatin1String(caption::kStopProbe))
            openPort();
        else
            closePort(true);
    } catch (const RunTimeError &e) {
        m_window.ShowMessage(e.message());
    }
}

void LinkControl::openPort() {
    // A line cut off by the last close can never be finished: what the new session brings is not
    // its continuation. Whole lines still waiting to be framed stay.
    m_state.RxBuffer.truncate(m_state.RxBuffer.lastIndexOf(QLatin1Char('\n')) + 1);
    m_window.ShowMessage(QStringLiteral("Opening COM Port ") + m_window.cboCommPort->currentText());
    m_window.cmdCOMStatus->setText(QString::fromLatin1(caption::kStopProbe));
    m_window.cboBaudRate->setEnabled(false);
    m_window.cboCommPort->setEnabled(false);
    m_comm.setCommPort(portNumberFromText(m_window.cboCommPort->currentText()));
    m_comm.setSettings(settingsText());
    m_comm.setHandshaking(0);
    m_comm.setInputMode(0);
    m_comm.setRThreshold(1);
    m_comm.setInBufferSize(kInBufferSize);
    m_comm.setInputLen(0);
    m_comm.setInBufferCount(0);
    m_comm.setPortOpen(true);
}

void LinkControl::closePort(bool drain) {
    if (m_window.cmdSyncOnOff->text() == QLatin1String(caption::kStopSync) && cmdSyncOnOff_Click)
        cmdSyncOnOff_Click();
    m_window.ShowMessage(QStringLiteral("Closing COM Port ") + QString::number(m_comm.CommPort()));
    // The window stays responsive while the last characters go out. A device that goes away
    // meanwhile reads as drained, so the wait cannot outlive it.
    while (drain && m_comm.OutBufferCount() != 0) {
        if (pump)
            pump(kDrainRecheck);
    }
    m_comm.setPortOpen(false);
    showClosed();
}

void LinkControl::showClosed() {
    m_window.cmdCOMStatus->setText(QString::fromLatin1(caption::kStartProbe));
    m_window.cboBaudRate->setEnabled(true);
    m_window.cboCommPort->setEnabled(true);
}

void LinkControl::cboBaudRate_Click() {
    ApplyPortSettings();
}

void LinkControl::ApplyPortSettings() {
    if (m_comm.PortOpen())
        return;
    // Each step runs even when the one before it failed; the last failure is reported.
    std::optional<RunTimeError> last;
    try {
        m_comm.setCommPort(portNumberFromText(m_window.cboCommPort->currentText()));
    } catch (const RunTimeError &e) {
        last = e;
    }
    try {
        m_comm.setSettings(settingsText());
    } catch (const RunTimeError &e) {
        last = e;
    }
    if (last)
        m_window.ShowMessage(last->message());
    else
        m_window.ShowMessage(QStringLiteral("Changed to Com Port ") +
                             m_window.cboCommPort->currentText());
}

void LinkControl::Form_QueryUnload() {
    if (m_comm.InBufferCount() > 0)
        (void)m_comm.Input();
    if (m_comm.PortOpen())
        m_comm.setPortOpen(false);
    if (endProgram)
        endProgram();
}

void LinkControl::onDeviceLost(int number, const QString &description) {
    // Nothing can drain to a device that is gone: close as "Stop Probe" would, without the wait,
    // so that the window tells the truth, then say what happened.
    if (m_window.cmdCOMStatus->text() == QLatin1String(caption::kStopProbe)) {
        try {
            closePort(false);
        } catch (const RunTimeError &) {
            // The control already closed the device; only the window needed updating.
            showClosed();
        }
    }
    m_window.ShowMessage(RunTimeError(number, description).message());
}

} // namespace korvane
