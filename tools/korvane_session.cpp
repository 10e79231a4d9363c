// A scripted session of the real console against a radio on COM1 (the simulated one, through
// KORVANE_PORTS): open the port, start sync, request status, send a command. It prints what the
// window showed (slots, report box, times, message line) and saves a picture of the window.
//
//   korvane-session [PICTURE.png [LOG [SECONDS]]]
//     LOG: the session log, as korvane --log LOG writes it
//     SECONDS: how long sync goes on after the command before the port is closed (0.6)

#include "app/korvane_app.h"
#include "handlers/protocol/protocol_timing.h"
#include "text/token_keys.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <cstdio>

using namespace korvane;

namespace {
void say(const QString &text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

// Runs the probe loop until `done` holds or `msecs` pass.
template <typename F> bool runUntil(Korvane &k, F done, int msecs) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > msecs)
            return false;
        k.loop.step();
    }
    return true;
}
void runFor(Korvane &k, int msecs) {
    runUntil(
        k, [] { return false; }, msecs);
}
} // namespace

int main(int argc, char *argv[]) {
    korvane::prepareDisplay();
    QApplication app(argc, argv);
    const QString picture = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const QString log = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QString();
    const int syncMsecs = argc > 3 ? int(QByteArray(argv[3]).toDouble() * 1000) : 600;
    // Never sleep long: the session watches the clock itself.
    Korvane k([](std::optional<double> w) { waitAndDispatch(std::min(w.value_or(0.01), 0.01)); },
              [] {}, LogOptions{log, false});
    frmKorvane &w = k.window;

    k.startUp();
    say(QStringLiteral("Port list: %1 entries, message line: %2")
            .arg(w.cboCommPort->count())
            .arg(w.txtErrMsg->text()));
    if (w.cboCommPort->count() == 0) {
        say(QStringLiteral("No port to open: is the simulated radio running?"));
        return 1;
    }

    w.cmbInitial->setEditText(QStringLiteral("."));
    w.cmdCOMStatus->click();
    say(QStringLiteral("Start Probe -> %1").arg(w.txtErrMsg->text()));
    w.cmdSyncOnOff->click();
    say(QStringLiteral("Start Sync: polling every %1 s").arg(kPollInterval));
    runUntil(
        k, [&] { return !w.StatusToken[kJSlot]->text().isEmpty(); }, 4000);

    w.cmdGetStatus->click();
    say(QStringLiteral("Get Status"));
    runUntil(
        k, [&] { return !w.StatusToken[slotForLine(u"QT")]->text().isEmpty(); }, 4000);

    w.cboCommand->setEditText(QStringLiteral("F1000000!"));
    w.cmdSendCmd->click();
    say(QStringLiteral("Send Command F1000000! -> %1").arg(w.txtErrMsg->text().trimmed()));
    runUntil(
        k,
        [&] {
            return w.StatusToken[slotForLine(u"F")]->text().startsWith(QStringLiteral("F1000000"));
        },
        4000);
    runFor(k, syncMsecs);

    say(QStringLiteral("\nStatus slots:"));
    for (int i = 0; i < kStatusSlots; ++i) {
        if (!w.StatusToken[i]->text().isEmpty())
            say(QStringLiteral("  %1  %2").arg(i, 2).arg(w.StatusToken[i]->text()));
    }
    say(QStringLiteral("Report box:    %1").arg(w.txtFromVO1446->toPlainText()));
    say(QStringLiteral("Command Time:  %1").arg(w.txtCommandTime->text()));
    say(QStringLiteral("Response Time: %1").arg(w.txtResponseTime->text()));
    say(QStringLiteral("Elapsed Time:  %1").arg(w.txtElapsedTime->text()));
    say(QStringLiteral("Message line:  %1").arg(w.txtErrMsg->text()));
    if (!picture.isEmpty()) {
        w.grab().save(picture);
        say(QStringLiteral("Picture of the window: %1").arg(picture));
    }
    w.cmdCOMStatus->click(); // stop probe: drains and closes
    return w.StatusToken[slotForLine(u"F")]->text().isEmpty() ? 1 : 0;
}
