#include "handlers/protocol/commands.h"

#include "base/run_time_error.h"
#include "base/timer_value.h"
#include "device/mscomm.h"
#include "text/command_text.h"
#include "window/frm_korvane.h"
#include "window/shape.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

namespace korvane {

void Commands::SendPoll() {
    if (!m_state.SyncEnabled)
        return;
    // Disabling the button lets go of a press in progress: the operator's press is given back
    // once the poll is out, so that letting go of the button still sends the command.
    const bool pressed = m_window.cmdSendCmd->isDown();
    m_window.cmdSendCmd->setEnabled(false);
    m_comm.setOutput(kPollText);
    m_state.LastPollTime = clock().timer();
    m_window.LED[0]->setFillColor(kLedGreen);
    m_window.cmdSendCmd->setEnabled(true);
    if (pressed)
        m_window.cmdSendCmd->setDown(true);
}

void Commands::cmdSendCmd_Click() {
    try {
        // A command that cannot go out as typed is refused before anything happens.
        const QString text = encodeCommand(m_window.cboCommand->currentText());
        // A command given with the port closed opens it first, and does nothing else on the way:
        // sync stays as the operator left it.
        if (!m_comm.PortOpen()) {
            m_openPort();
            if (!m_comm.PortOpen())
                return; // the open's own message says why; nothing is sent
        }
        m_window.ShowMessage(QStringLiteral("Sending ") + text + QStringLiteral(" command..."));
        m_comm.setOutput(text);
        replyExpected();
        m_window.txtCommandTime->setText(signPlaceForm(static_cast<float>(clock().timer())));
    } catch (const RunTimeError &e) {
        m_window.ShowMessage(e.message());
    }
}

void Commands::cmdGetStatus_Click() {
    // Each step runs even when the one before it failed; nothing is reported.
    try {
        m_comm.setOutput(kStatusRequestText);
        replyExpected();
    } catch (const RunTimeError &) {
    }
    m_window.cmdGetStatus->setEnabled(false);
}

void Commands::cmdSyncOnOff_Click() {
    const bool on = !m_window.syncShownOn();
    m_window.showSyncOn(on);
    followButton();
    if (!on)
        m_window.LED[0]->setFillColor(kLedWhite);
}

void Commands::replyExpected() {
    m_state.QuietTime = kReplyQuietTime;
    m_replyAwaited = true;
    m_replyDeadline.setRemainingTime(qint64(kReplyWait * 1000.0), Qt::PreciseTimer);
    followButton();
}

void Commands::followButton() {
    m_state.SyncEnabled = m_window.syncShownOn() && !m_replyAwaited;
}

std::optional<double> Commands::replyWaitLeft() const {
    if (!m_replyAwaited)
        return std::nullopt;
    return static_cast<double>(m_replyDeadline.remainingTimeNSecs()) / 1e9;
}

void Commands::reportCompleted() {
    m_replyAwaited = false;
    followButton();
}

bool Commands::endOverdueReplyWait() {
    if (!m_replyAwaited || !m_replyDeadline.hasExpired())
        return false;
    reportCompleted();
    return true;
}

void Commands::replyProgressed() {
    if (m_replyAwaited)
        m_replyDeadline.setRemainingTime(qint64(kReplyWait * 1000.0), Qt::PreciseTimer);
}

void Commands::lineEnded() {
    if (m_replyAwaited)
        reportCompleted();
}

void Commands::UTimer_Timer() {
    if (m_window.LED[0]->fillColor() == kLedGreen) {
        m_window.LED[0]->setFillColor(kLedWhite);
    } else {
        m_window.LED[0]->setFillColor(kLedGreen);
        m_comm.setOutput(kPollText);
    }
}

} // namespace korvane
