#include "handlers/serial/link_control.h"

#include "base/run_time_error.h"
#include "device/mscomm.h"
#include "text/port_number.h"
#include "text/settings_text.h"
#include "window/frm_korvane.h"
#include "window/simple_combo.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <optional>

namespace korvane {

namespace {
// How long one turn of the drain wait sleeps when only the driver still holds output: the driver
// says nothing when its queue empties, so it is looked at again after this long.
constexpr double kDrainRecheck = 0.002;
// What a close waits beyond the time the queued output needs on the wire.
constexpr double kDrainMargin = 2.0;
} // namespace

QString LinkControl::settingsText() const {
    const QString comma = QStringLiteral(",");
    return m_window.cboBaudRate->currentText() + comma + m_window.cboParity->text() + comma +
           m_window.cboDataBits->text() + comma + m_window.cboStopBits->text();
}

void LinkControl::cmdCOMStatus_Click() {
    if (!m_window.portShownOpen()) {
        tryOpen();
        return;
    }
    try {
        closePort(true);
    } catch (const RunTimeError &e) {
        m_window.ShowMessage(e.message());
    }
}

void LinkControl::openForCommand() {
    tryOpen();
}

void LinkControl::tryOpen() {
    m_openFailure.reset();
    try {
        openPort();
    } catch (const RunTimeError &e) {
        m_openFailure = e;
        m_window.ShowMessage(e.message());
    }
}

void LinkControl::openPort() {
    // A line cut off by the last close can never be finished: what the new session brings is not
    // its continuation. Whole lines still waiting to be framed stay.
    m_state.RxBuffer.truncate(m_state.RxBuffer.lastIndexOf(QLatin1Char('\n')) + 1);
    m_window.ShowMessage(QStringLiteral("Opening COM Port ") + m_window.cboCommPort->currentText());
    m_window.showPortOpen(true);
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
    // Said once in the program's life: it holds for every open until the machine changes.
    const QString notice = m_comm.openNotice();
    if (!notice.isEmpty() && !m_noticesShown.contains(notice)) {
        m_noticesShown.insert(notice);
        m_window.ShowMessage(notice);
    }
}

void LinkControl::closePort(bool drain) {
    m_openFailure.reset();
    if (m_window.syncShownOn())
        m_cmdSyncOnOff_Click();
    m_window.ShowMessage(QStringLiteral("Closing COM Port ") + QString::number(m_comm.CommPort()));
    // The window stays responsive while the last characters go out. A device that goes away
    // meanwhile reads as drained, so the wait cannot outlive it.
    if (drain)
        drainOutput();
    m_comm.setPortOpen(false);
    showClosed();
}

void LinkControl::drainOutput() {
    const int queued = m_comm.OutBufferCount();
    if (queued == 0)
        return;
    // Output that cannot drain (the other end stopped the flow, a wedged adapter) would hold the
    // close for good: it gets the time it needs at the line's speed and a margin, then goes.
    const std::optional<LineSettings> line = parseSettingsText(m_comm.Settings());
    const double bound = kDrainMargin + (line ? secondsOnTheWire(queued, *line) : 0.0);
    QElapsedTimer waited;
    waited.start();
    while (m_comm.OutBufferCount() != 0 && static_cast<double>(waited.elapsed()) / 1e3 < bound)
        m_pump(kDrainRecheck);
    const int left = m_comm.OutBufferCount();
    if (left == 0)
        return;
    m_comm.setOutBufferCount(0);
    m_window.ShowMessage(QStringLiteral("Closing COM Port %1: %2 characters could not be sent "
                                        "within %3 s and were discarded")
                             .arg(m_comm.CommPort())
                             .arg(left)
                             .arg(bound, 0, 'f', 1));
}

void LinkControl::showClosed() {
    m_window.showPortOpen(false);
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
    m_endProgram();
}

void LinkControl::onDeviceLost(int number, const QString &description) {
    // Nothing can drain to a device that is gone: close as "Stop Probe" would, without the wait,
    // so that the window tells the truth, then say what happened.
    if (m_window.portShownOpen()) {
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
