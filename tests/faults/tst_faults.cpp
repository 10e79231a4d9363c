// The fault matrix: the whole console (real window, real serial control, real probe loop) against
// the simulated radio misbehaving on request, each case ending in a check of what the window
// shows and of what reached the slots.
//
// Every case: no crash, no hang, and the controls tell the truth ("Start Probe" exactly when the
// port is closed, port and baud boxes enabled exactly then, polling on exactly under "Stop Sync").
//
//   case                               expected outcome
//   ---------------------------------  ------------------------------------------------------
//   radio hangs up mid-burst           "Start Probe", "Start Sync", boxes enabled, one
//                                      "Err 8017." naming the device; every whole line sent
//                                      before the hang-up in its slot, in order; the cut one
//                                      dropped
//   radio hangs up while sync polls    the same, and the poll light white
//   radio hangs up in the drain wait   the close ends at once with "Err 8017.", no hang
//   no such device                     "Err 8002. ... does not exist"; "Stop Probe" stays (no
//                                      roll-back) with the port closed; the next click closes;
//                                      with sync on, each poll retry says that no poll went out
//                                      and keeps this reason on the line (so in each case below)
//   permission denied (mode 000)       "Err 8016. Permission denied ..."; same; opens once the
//                                      mode is back
//   held by a second control, or by    "Err 8010. The device is in use ... held by another
//   another program                    program"; same; opens once let go. Korvane holds its
//                                      port exclusively: no second program takes it
//   garbage, CR LF, pause in a line    every line exactly as sent, in the slot of its key
//   every byte value but LF            routed unchanged, one character per byte
//   a line of a megabyte               dropped whole; "Received line too long" counts grow
//                                      with the line, the last one its whole length; the
//                                      report after it arrives whole, the box shows its newest
//                                      16 KiB and says so; turns < 300 ms; receive buffer far
//                                      below the line
//   stream that never pauses           turns < 300 ms apart at 9600 baud (< 1 s unpaced);
//                                      every line from the open to the hang-up routed in order
//   tens of thousands of "J" lines     the count back under 15 after every pass (a poll
//                                      forced each time), no "Overflow", nothing lost
//   200 KB piled up behind the About   the "Overflow" message still shows, painted at most
//   box, more J lines than 16 bits     every 50 ms; the window turns < 300 ms apart
//   report across midnight             elapsed time positive and small; polls 1.55 s apart
//   clock set back an hour             one poll at once, then 1.55 s apart; no stall
//   100 rapid Start/Stop Probe clicks  ends as the last click says; next report whole
//   clicks during the drain wait       nested closes end consistent; the port works after
//   stop and start inside a report     the line cut by the stop is not glued to the next one
//   window closed mid-burst            program ended, port closed, nothing runs on after
//   command on a closed port, never    the port opens and the command goes out; its reply is
//   opened or after a failed open      collected with a reply's quiet time; sync stays as the
//                                      operator left it (no close on the way) and polls follow
//   command longer than 32767          pasted whole into the box; refused whole with "Err 8024.",
//   characters (pasted)                the port not opened, nothing sent, the box keeps it all;
//                                      one of 32767 goes out whole

#include "faults_test.h"

#include "support/port_holder.h"
#include "support/sim_radio.h"

#include <QApplication>
#include <QtTest>
#include <optional>

using namespace korvane::test;

void TestFaults::initTestCase() {
    if (SimRadio::program().isEmpty())
        QFAIL(qPrintable(notBuilt("rt1446-sim")));
}

int main(int argc, char *argv[]) {
    if (const std::optional<int> status = runAsPortHolder(argc, argv))
        return *status;
    QApplication app(argc, argv);
    TestFaults test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
