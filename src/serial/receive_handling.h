#pragma once
// Receive handling: the serial control's OnComm event is the only place where characters are
// taken from the port. A receive event collects a whole burst into RxBuffer, waiting on the
// device until the line has been quiet for QuietTime, then raises ResponseReady for the probe
// loop to frame. After each burst that holds the marker chosen in "Times" it stamps the response
// time and the time elapsed since the last command. Every other event becomes a message.
//
// Nothing received is discarded here. One burst is bounded (kMaxBurstSeconds or kMaxBurstChars,
// whichever comes first) so that a radio that never pauses cannot hold the window: the loop then
// frames what has come and the next receive event goes on with the rest.

#include "app/probe_state.h"

#include <QLocale>
#include <QString>
#include <cstdint>

namespace korvane {

class frmKorvane;
class MSComm;

inline constexpr double kMaxBurstSeconds = 0.25;
inline constexpr int kMaxBurstChars = 2048;

// How long the quiet wait sleeps on the device, at `now`, for a line last heard at Timer value
// `base`: until the moment the Timer shows `quietTime` gone by. The Timer moves in steps, so that
// moment lies up to a step either side of the quiet time in real time. At midnight the moment
// lies in the next day and the sleep is bounded instead.
double quietSleep(double base, double now, double quietTime);

// The message for a comm event or error code; empty for the codes that show nothing (1 and 2).
QString commEventMessage(std::int16_t code);

// The elapsed-time box's text for a command stamped `commandText` ("." as decimal point, a blank
// in front) and a response stamped `responseText` (the user's number settings). A response after
// midnight is a day later, not a negative time. Raises 13 when either text is not a number.
QString elapsedTimeText(const QString &commandText, const QString &responseText,
                        const QLocale &locale = QLocale());

class ReceiveHandling {
public:
    ReceiveHandling(frmKorvane &window, ProbeState &state, MSComm &comm)
        : m_window(window), m_state(state), m_comm(comm) {}

    void MSComm1_OnComm();

private:
    void receiveBurst();
    void stampResponse();

    frmKorvane &m_window;
    ProbeState &m_state;
    MSComm &m_comm;
};

} // namespace korvane
