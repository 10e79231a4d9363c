// korvane-soak: a long, ordinary session of the real console against the simulated radio, to see
// that nothing is lost, nothing grows and the window keeps answering over minutes instead of
// seconds.
//
//   korvane-soak [MINUTES] [SEED]      (default 10 minutes; KORVANE_SIM names the radio)
//
// The console runs on the program's own event pump (it sleeps when there is nothing to do). It
// opens COM1, starts sync, and then, at random moments two to ten seconds apart, requests the
// status or sends a command: one of the presets or a new frequency. At the end sync goes off,
// the line is left to go quiet, and the lines the radio says it sent (its log) are set against
// the lines that reached the slots. A timer ticking every 50 ms measures how long the window went
// without dispatching events. Resident memory is read from /proc at the start, every minute and
// at the end. It prints a summary and exits 0 when no line was lost and no error was shown.

#include "app/korvane_app.h"
#include "support/console.h"
#include "support/sim_radio.h"
#include "support/slot_recorder.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <cstdio>
#include <random>
#include <sys/resource.h>

using namespace korvane;
using namespace korvane::test;

namespace {

constexpr int kTickMsecs = 50;
constexpr qint64 kFrozenMsecs = 300;
constexpr int kQuietMsecs = 2000;

void say(const QString &text) {
    std::fputs(qPrintable(text + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

QString megabytes(qint64 kb) {
    return QString::number(double(kb) / 1024.0, 'f', 1) + QStringLiteral(" MB");
}

} // namespace

int main(int argc, char *argv[]) {
    korvane::prepareDisplay();
    QApplication app(argc, argv);
    const double minutes = argc > 1 ? QString::fromLocal8Bit(argv[1]).toDouble() : 10.0;
    const unsigned seed = argc > 2 ? QString::fromLocal8Bit(argv[2]).toUInt() : 1446U;
    if (!(minutes > 0.0) || SimRadio::program().isEmpty()) {
        std::fputs("usage: korvane-soak [MINUTES] [SEED], with KORVANE_SIM naming rt1446-sim\n",
                   stderr);
        return 2;
    }

    SimRadio radio;
    if (radio.path().isEmpty()) {
        say(QStringLiteral("The simulated radio did not start."));
        return 2;
    }
    qputenv("KORVANE_PORTS", radio.ports().toLocal8Bit());
    bool ended = false;
    Korvane k(waitAndDispatch, [&ended] { ended = true; });
    frmKorvane &w = k.window;
    SlotRecorder recorder(w, false);
    const auto runUntil = [&k](const std::function<bool()> &done) {
        while (!done())
            k.loop.step();
    };

    k.loop.showWindow();
    w.cboCommPort->setEditText(QStringLiteral("1"));
    w.cmdCOMStatus->click();
    w.cmdSyncOnOff->click();
    if (!k.MSComm1.PortOpen()) {
        say(QStringLiteral("The port did not open: ") + w.txtErrMsg->text());
        return 2;
    }

    // The window's responsiveness: a tick that comes late was held up by something.
    QElapsedTimer sinceTick;
    sinceTick.start();
    qint64 longestGap = 0;
    int frozen = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.restart();
        longestGap = std::max(longestGap, gap);
        if (gap > kFrozenMsecs)
            ++frozen;
    });
    tick.start(kTickMsecs);

    // The operator: a status request or a command every few seconds.
    std::mt19937 random(seed);
    int statusRequests = 0;
    int presets = 0;
    int frequencies = 0;
    QTimer operatorTimer;
    operatorTimer.setSingleShot(true);
    const auto nextAction = [&] {
        operatorTimer.start(std::uniform_int_distribution<int>(2000, 10000)(random));
    };
    QObject::connect(&operatorTimer, &QTimer::timeout, [&] {
        const int choice = std::uniform_int_distribution<int>(0, 9)(random);
        if (choice < 4) {
            ++statusRequests;
            w.cmdGetStatus->click();
        } else if (choice < 8) {
            ++presets;
            w.cboCommand->setCurrentIndex(
                std::uniform_int_distribution<int>(0, w.cboCommand->count() - 1)(random));
            w.cmdSendCmd->click();
        } else {
            ++frequencies;
            const int hz = std::uniform_int_distribution<int>(100'000, 30'000'000)(random);
            w.cboCommand->setEditText(QStringLiteral("F%1!").arg(hz));
            w.cmdSendCmd->click();
        }
        nextAction();
    });
    nextAction();

    // Memory once the first reports have come, then every minute.
    QElapsedTimer clock;
    clock.start();
    runUntil([&] { return clock.elapsed() > 5000; });
    const qint64 startKb = residentKiB();
    qint64 peakKb = startKb;
    const double startCpu = cpuSeconds();
    const qint64 total = qint64(minutes * 60'000.0);
    say(QStringLiteral("Soak of %1 min against the simulated radio at %2 (seed %3)")
            .arg(minutes)
            .arg(radio.path())
            .arg(seed));
    for (int minute = 1; clock.elapsed() < total; ++minute) {
        const qint64 until = std::min<qint64>(total, qint64(minute) * 60'000);
        runUntil([&] { return clock.elapsed() >= until; });
        const qint64 kb = residentKiB();
        peakKb = std::max(peakKb, kb);
        say(QStringLiteral("  %1 min: %2 lines routed, VmRSS %3, longest gap %4 ms")
                .arg(double(clock.elapsed()) / 60000.0, 0, 'f', 1)
                .arg(recorder.count())
                .arg(megabytes(kb))
                .arg(longestGap));
    }
    const double runSeconds = double(clock.elapsed()) / 1000.0;
    const double usedCpu = cpuSeconds() - startCpu;

    // Stop, and let everything on its way arrive.
    operatorTimer.stop();
    w.cmdSyncOnOff->click();
    qint64 lastCount = -1;
    QElapsedTimer quiet;
    quiet.start();
    runUntil([&] {
        if (recorder.count() != lastCount) {
            lastCount = recorder.count();
            quiet.restart();
        }
        return quiet.elapsed() > kQuietMsecs;
    });
    const qint64 endKb = residentKiB();
    peakKb = std::max(peakKb, endKb);
    w.cmdCOMStatus->click();

    const qint64 sent = radio.linesSent();
    const qint64 routed = recorder.count();
    int errors = 0;
    for (const QString &m : recorder.messages())
        errors += m.contains(QStringLiteral("Err ")) ? 1 : 0;
    const bool pass = sent == routed && errors == 0 && sent > 0 && !ended;

    say(QString());
    say(QStringLiteral("Korvane soak summary"));
    say(QStringLiteral("  run:            %1 s, sync on, 9600 baud, seed %2")
            .arg(runSeconds, 0, 'f', 0)
            .arg(seed));
    say(QStringLiteral("  operator:       %1 status requests, %2 preset commands, %3 frequencies")
            .arg(statusRequests)
            .arg(presets)
            .arg(frequencies));
    say(QStringLiteral("  radio (log):    %1 polls and %2 command lines received; %3 reports, "
                       "%4 lines sent")
            .arg(radio.count("POLL"))
            .arg(radio.count("CMD"))
            .arg(radio.count("TX-END"))
            .arg(sent));
    say(QStringLiteral("  console:        %1 lines routed (%2 reports closed), %3 error messages")
            .arg(routed)
            .arg(recorder.count(33))
            .arg(errors));
    say(QStringLiteral("  lines lost:     %1").arg(sent - routed));
    say(QStringLiteral("  window:         longest without dispatching %1 ms; %2 gaps over %3 ms")
            .arg(longestGap)
            .arg(frozen)
            .arg(kFrozenMsecs));
    say(QStringLiteral("  memory (VmRSS): start %1, end %2, peak %3 (%4%5 kB)")
            .arg(megabytes(startKb), megabytes(endKb), megabytes(peakKb),
                 endKb >= startKb ? QStringLiteral("+") : QString())
            .arg(endKb - startKb));
    say(QStringLiteral("  processor:      %1 s in %2 s (%3 %)")
            .arg(usedCpu, 0, 'f', 1)
            .arg(runSeconds, 0, 'f', 0)
            .arg(100.0 * usedCpu / runSeconds, 0, 'f', 2));
    say(QStringLiteral("  result:         %1")
            .arg(pass ? QStringLiteral("PASS") : QStringLiteral("FAIL")));
    return pass ? 0 : 1;
}
