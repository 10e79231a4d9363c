#include "handlers/protocol/radio_protocol.h"

#include "base/timer_value.h"
#include "device/mscomm.h"
#include "handlers/protocol/commands.h"
#include "handlers/protocol/protocol_timing.h"
#include "handlers/protocol/token_routing.h"
#include "window/frm_korvane.h"
#include "window/shape.h"

#include <QPlainTextEdit>
#include <QPushButton>
#include <algorithm>

namespace korvane {

namespace {
// Said after the reason an open failed when a poll finds the port still closed.
constexpr char kStillNotOpen[] = " (no poll sent: the port is still not open)";
} // namespace

void RadioProtocol::startProbing() {
    // A command given with the port closed opened it and went out before this: its reply keeps
    // the quiet time of a reply.
    m_state.QuietTime = m_commands.replyAwaited() ? kReplyQuietTime : kNormalQuietTime;
    m_state.JTokenCount = 0;
    m_state.LastPollTime = clock().timer();
    m_window.cmdGetStatus->setEnabled(true);
}

double RadioProtocol::pass() {
    const bool framed = m_state.ResponseReady;
    if (framed)
        frameWaitingBatch();
    giveUpOverdueReply();
    m_state.LastPollTime = midnightCorrected(m_state.LastPollTime, clock().timer());
    pollDecision();
    if (clock().timer() - m_state.LastPollTime > kLedOnTime)
        m_window.LED[0]->setFillColor(kLedWhite);
    // What was just framed is painted now: the window queues its repaints behind every other
    // event, and a receive event already waiting in the pump holds the loop for a whole burst,
    // so a radio that never pauses would otherwise see the window repainted every other burst.
    if (framed)
        m_window.txtFromVO1446->repaint();
    return nextDecision();
}

void RadioProtocol::stopProbing() {
    // No poll can go out over a lost line: the count of meter lines starts again with each part
    // framed, as a forced poll would have started it.
    while (m_deviceLost && m_state.ResponseReady) {
        m_state.JTokenCount = 0;
        frameWaitingBatch();
    }
    m_deviceLost = false;
    m_framing = FramingState{};
}

std::optional<double> RadioProtocol::idle() {
    giveUpOverdueReply();
    return m_commands.replyWaitLeft();
}

void RadioProtocol::portClosed() {
    m_commands.lineEnded();
}

void RadioProtocol::deviceLost() {
    m_commands.lineEnded();
    m_deviceLost = true;
}

void RadioProtocol::pollDecision() {
    try {
        if (m_state.JTokenCount >= kForcedPollJLines) {
            m_state.JTokenCount = 0;
            m_commands.SendPoll();
        } else if (clock().timer() - m_state.LastPollTime > kPollInterval) {
            m_commands.SendPoll();
        }
    } catch (const RunTimeError &e) {
        // A poll that could not go out (the port did not really open): say why, give the
        // operator the send button back, and try again at the poll cadence, not on every pass.
        // After a failed open the open's reason is the one that helps: it stays readable.
        const std::optional<RunTimeError> openFailure = m_openFailure();
        if (openFailure && !m_comm.PortOpen())
            m_window.ShowMessage(openFailure->message() + QLatin1String(kStillNotOpen));
        else
            m_window.ShowMessage(e.message());
        m_window.cmdSendCmd->setEnabled(true);
        m_state.LastPollTime = clock().timer();
    }
}

void RadioProtocol::giveUpOverdueReply() {
    if (m_commands.endOverdueReplyWait())
        m_state.QuietTime = kNormalQuietTime; // no reply is expected any more
}

double RadioProtocol::nextDecision() const {
    if (m_state.ResponseReady)
        return 0.0; // a backlog is still being framed: only what is pending is dispatched
    const double now = clock().secondsSinceMidnight();
    double wake = m_commands.replyWaitLeft().value_or(kLongestProbeSleep);
    wake = std::min(wake, kLongestProbeSleep);
    if (m_state.SyncEnabled)
        wake = std::min(wake, momentTimerExceeds(m_state.LastPollTime, kPollInterval) - now);
    if (m_window.LED[0]->fillColor() != kLedWhite)
        wake = std::min(wake, momentTimerExceeds(m_state.LastPollTime, kLedOnTime) - now);
    return std::max(wake, 0.0);
}

void RadioProtocol::frameWaitingBatch() {
    m_comm.setRThreshold(0); // no receive event while the batch is framed
    m_state.ResponseReady = false;
    m_state.ResponseComplete = false;

    // A backlog is framed over several passes, so that the window answers between them; what
    // this pass leaves waits as a batch of its own.
    const qsizetype waiting = m_state.RxBuffer.size();
    const qsizetype framedSize = framingCut(m_state.RxBuffer);
    const FramedBatch batch = frameBatch(m_state.RxBuffer.left(framedSize), m_framing);
    if (framedSize > 0)
        m_commands.replyProgressed();
    for (const QString &line : batch.lines)
        m_routing.DisplayToken(line);
    m_state.ResponseComplete = batch.complete;

    m_report.add(batch);
    if (m_state.ResponseComplete) {
        qsizetype leftOut = 0;
        m_window.txtFromVO1446->setPlainText(m_report.take(leftOut));
        m_commands.reportCompleted();
        m_state.QuietTime = kNormalQuietTime;
        if (leftOut > 0)
            m_window.ShowMessage(
                QStringLiteral("Report too long for the box: its first %1 characters are not shown")
                    .arg(leftOut));
    }
    m_window.cmdGetStatus->setEnabled(true);
    // A receive event already waiting when the batch began may have run in a turn given above:
    // what it added comes after the kept tail, never in its place.
    m_state.RxBuffer = batch.tail + m_state.RxBuffer.mid(framedSize);
    if (framedSize < waiting)
        m_state.ResponseReady = true;
    // The count grows with every batch the line takes; the last message gives its whole length.
    for (const qsizetype length : batch.droppedLines)
        m_window.ShowMessage(
            QStringLiteral("Received line too long: %1 characters dropped").arg(length));
    m_comm.setRThreshold(1);
}

} // namespace korvane
