#pragma once
// Checks of what the whole console shows and routes, for tests that make the line misbehave:
// whether the window tells the truth about the port and sync, whether every line reached the slot
// of its key, whether a line was invented or lost, and how long the window went without turning.

#include "support/console.h"

#include <QString>
#include <QStringList>
#include <functional>

namespace korvane::test {

class SlotRecorder;

// The longest the window may go without dispatching an event before a test calls it frozen. A
// liveness bound, far from what the window does (a receive burst holds it 250 ms at most, and the
// bench measures the real gaps): it catches a window that stands still for seconds, and it holds
// on a loaded machine.
//
// Instrumented by AddressSanitizer the program runs several times slower, and beside another
// suite slower still (once 2.3 s for a 200 KB backlog): there the bound only catches a window
// that stands still for good. Under AddressSanitizer freed memory is also held back in
// quarantine (up to 256 MB), so the resident size says nothing of the program's own use: memory
// bounds are held in the normal build.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr qint64 kFrozenMsecs = 5000;
inline constexpr bool kResidentSizeTellsMemory = false;
#else
inline constexpr qint64 kFrozenMsecs = 1000;
inline constexpr bool kResidentSizeTellsMemory = true;
#endif

inline const QString kStartProbe = QStringLiteral("Start Probe");
inline const QString kStopProbe = QStringLiteral("Stop Probe");
inline const QString kStartSync = QStringLiteral("Start Sync");
inline const QString kStopSync = QStringLiteral("Stop Sync");

// Runs the loop until `done` holds or `msecs` pass; `longest` keeps the longest gap between two
// turns of the loop, i.e. the longest the window went without dispatching events.
bool runWatched(Console &c, const std::function<bool()> &done, int msecs, qint64 &longest);

// What the controls say that is not so about the port and sync; empty when they tell the truth:
// "Start Probe" exactly when the port is closed, the port and baud boxes enabled exactly then,
// polling on exactly under "Stop Sync", the poll light white with sync off. Judged as the
// operator sees the window: once what the serial control has posted (a loss is told from the
// event pump, a turn after the device found it) has been delivered.
QString untruths(Console &c);

// Lines that did not go to the slot their key names.
QStringList misrouted(const SlotRecorder &r);

// Lines routed that the radio never sent: neither one of its lines nor the end of one (a port
// opened while a line is on its way starts in the middle of it), such as two pieces glued.
QStringList invented(const SlotRecorder &r, const QStringList &sent);

// The console opens a line the radio is already streaming on: what came before the open is not
// this session's, so the first line routed may be the end of a cut one. From there on every line
// the radio sent must have arrived, in order, up to the last one it finished. Empty when so.
QString unbrokenTail(const QStringList &routed, const QStringList &sent);

// The counts the message line gave of characters dropped from overlong lines, in order.
QList<qint64> droppedCounts(const SlotRecorder &r);

// The messages that reported an error ("Err N. ..."), in order.
QStringList errors(const SlotRecorder &r);

} // namespace korvane::test
