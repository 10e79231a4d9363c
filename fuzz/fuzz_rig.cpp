#include "fuzz_rig.h"

#include "support/pty_pair.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>

namespace korvane::fuzz {

void ensureApplication() {
    // Kept for the life of the process, like the program's own: the windows built on it are.
    static QApplication *app = nullptr;
    if (app)
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt's own chatter (a font database warning on the offscreen platform) would bury findings.
    qputenv("QT_LOGGING_RULES", "*.debug=false;qt.qpa.*=false");
    static int argc = 1;
    static char name[] = "korvane-fuzz";
    static char *argv[] = {name, nullptr};
    app = new QApplication(argc, argv);
}

struct Rig::Private {
    test::PtyPair radio;
    std::unique_ptr<test::PortsEnvironment> ports;
    std::unique_ptr<Korvane> app;
};

Rig::Rig() : d(std::make_unique<Private>()) {
    ensureApplication();
    FUZZ_CHECK(d->radio.isValid(), QStringLiteral("no pseudo-terminal could be opened"));
    d->ports =
        std::make_unique<test::PortsEnvironment>(QStringLiteral("1=") + d->radio.slavePath());
    d->app = std::make_unique<Korvane>(dispatchPending, [] {});
    d->app->loop.showWindow();
    d->app->window.cmdCOMStatus->click();
    for (int i = 0; i < 100 && !d->app->loop.probing(); ++i)
        d->app->loop.step();
    FUZZ_CHECK(d->app->MSComm1.PortOpen() && d->app->loop.probing(),
               QStringLiteral("the console did not open its port: ") +
                   d->app->window.txtErrMsg->text());
}

Rig::~Rig() = default;

Korvane &Rig::app() {
    return *d->app;
}

int Rig::radioFd() const {
    return d->radio.masterFd();
}

void Rig::writeRadio(const QByteArray &bytes) {
    d->radio.write(bytes);
}

QByteArray Rig::readRadio(int atLeast, int msecs) {
    return d->radio.read(msecs, atLeast);
}

} // namespace korvane::fuzz
