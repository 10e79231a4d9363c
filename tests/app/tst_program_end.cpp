// The program ended from outside, as real processes: the korvane executable on a real X server
// (Xvfb, clicked with xdotool as an operator would) with its port open on the simulated radio and
// sync on, then ended by a signal or by its X server going away. However it ends, its port must
// be free afterwards: no lock file left behind, no flock held. And a display that cannot be
// reached (an X server named by DISPLAY or Qt's -display that is not there, a Wayland compositor
// that is not there, a platform Qt does not have) gets the same plain message and status as none
// at all.

#include "device/port_lock.h"
#include "support/sim_radio.h"
#include "window/frm_korvane.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <optional>

using namespace korvane;
using namespace korvane::test;

namespace {

// A virtual X server on a display number of its own, ended with the object.
class VirtualDisplay {
public:
    VirtualDisplay() {
        m_server.setProgram(QStringLiteral("Xvfb"));
        m_server.setArguments({QStringLiteral("-displayfd"), QStringLiteral("1"),
                               QStringLiteral("-nolisten"), QStringLiteral("tcp"),
                               QStringLiteral("-screen"), QStringLiteral("0"),
                               QStringLiteral("1024x768x24")});
        m_server.start();
        if (m_server.waitForReadyRead(10000))
            m_display = QStringLiteral(":") + QString::fromLatin1(m_server.readLine().trimmed());
    }
    ~VirtualDisplay() { end(); }
    QString display() const { return m_display; }
    void end() {
        if (m_server.state() == QProcess::NotRunning)
            return;
        m_server.terminate();
        m_server.waitForFinished(5000);
    }

private:
    QProcess m_server;
    QString m_display;
};

QByteArray xdotool(const QString &display, const QStringList &arguments) {
    QProcess tool;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), display);
    tool.setProcessEnvironment(env);
    tool.start(QStringLiteral("xdotool"), arguments);
    tool.waitForFinished(10000);
    return tool.readAllStandardOutput().trimmed();
}

// The X window of the korvane on `display`, once it shows; empty if it does not.
QByteArray korvaneWindow(const QString &display) {
    return xdotool(display, {QStringLiteral("search"), QStringLiteral("--sync"),
                             QStringLiteral("--onlyvisible"), QStringLiteral("--name"),
                             QStringLiteral("^Korvane")})
        .split('\n')
        .value(0);
}

// Where the middle of a button is in the window: the window's own layout, made here offscreen.
QPoint centreOf(QPushButton *frmKorvane::*button) {
    frmKorvane window;
    window.show(); // the menu bar takes its place above the controls
    QCoreApplication::processEvents();
    QPushButton *b = window.*button;
    return b->mapTo(&window, b->rect().center());
}

// The lock file of the device, if one is there.
std::optional<QString> lockFileOf(const QByteArray &realPath) {
    for (const char *dir : {"/run/lock", "/var/lock", "/tmp"}) {
        const QString path =
            QFile::decodeName(dir) + QLatin1Char('/') + QFile::decodeName(lockFileName(realPath));
        if (QFile::exists(path))
            return path;
    }
    return std::nullopt;
}

// Whether the port can be taken now, as a second program would take it.
QString heldBy(const QByteArray &realPath) {
    try {
        PortLock lock;
        lock.acquire(realPath, QStringLiteral("COM1"));
        return QString();
    } catch (const RunTimeError &e) {
        return e.message();
    }
}

bool waitFor(const std::function<bool()> &done, int msecs) {
    QElapsedTimer waited;
    waited.start();
    while (!done()) {
        if (waited.elapsed() > msecs)
            return false;
        QTest::qWait(20);
    }
    return true;
}

} // namespace

class TestProgramEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void endedFromOutside_data();
    void endedFromOutside();
    void endedWhileANetworkOpenWaits();
    void displayCannotBeReached_data();
    void displayCannotBeReached();
};

void TestProgramEnd::initTestCase() {
    if (korvaneProgram().isEmpty() || SimRadio::program().isEmpty())
        QFAIL(qPrintable(notBuilt(korvaneProgram().isEmpty() ? "korvane" : "rt1446-sim")));
}

void TestProgramEnd::endedFromOutside_data() {
    QTest::addColumn<int>("signal");        // 0: the X server goes away instead
    QTest::addColumn<bool>("displayNamed"); // by Qt's -display, with DISPLAY unset
    QTest::newRow("SIGTERM") << int(SIGTERM) << false;
    QTest::newRow("SIGINT") << int(SIGINT) << false;
    QTest::newRow("SIGHUP, the display named by -display") << int(SIGHUP) << true;
    QTest::newRow("X server gone") << 0 << false;
}

void TestProgramEnd::endedFromOutside() {
    QFETCH(int, signal);
    QFETCH(bool, displayNamed);
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QFAIL("Xvfb and xdotool are needed to click the real window (scripts/install-deps.sh)");
    VirtualDisplay x;
    QVERIFY(!x.display().isEmpty());
    SimRadio radio;
    const QByteArray device = realDevicePath(radio.path().toLocal8Bit());
    QVERIFY(!device.isEmpty());

    QProcess korvane;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (displayNamed)
        env.remove(QStringLiteral("DISPLAY"));
    else
        env.insert(QStringLiteral("DISPLAY"), x.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("KORVANE_PORTS"), radio.ports());
    korvane.setProcessEnvironment(env);
    korvane.setProcessChannelMode(QProcess::ForwardedChannels);
    korvane.start(korvaneProgram(), displayNamed
                                        ? QStringList{QStringLiteral("-display"), x.display()}
                                        : QStringList{});
    QVERIFY(korvane.waitForStarted());
    const QByteArray window = korvaneWindow(x.display());
    QVERIFY(!window.isEmpty());
    for (QPushButton *frmKorvane::*button :
         {&frmKorvane::cmdCOMStatus, &frmKorvane::cmdSyncOnOff}) {
        const QPoint at = centreOf(button);
        xdotool(x.display(),
                {QStringLiteral("mousemove"), QStringLiteral("--window"),
                 QString::fromLatin1(window), QString::number(at.x()), QString::number(at.y()),
                 QStringLiteral("click"), QStringLiteral("1")});
    }
    // The port is open and polled; it is held by the lock file and the flock.
    QVERIFY(waitFor([&] { return radio.count("POLL") > 0; }, 5000));
    QVERIFY(lockFileOf(device).has_value());
    QVERIFY(heldBy(device).startsWith(QStringLiteral("Err 8010. ")));

    if (signal != 0)
        QCOMPARE(::kill(pid_t(korvane.processId()), signal), 0);
    else
        x.end();
    QVERIFY(korvane.waitForFinished(5000));
    if (signal != 0) {
        QCOMPARE(korvane.exitStatus(), QProcess::NormalExit);
        QCOMPARE(korvane.exitCode(), 0);
    }
    QCOMPARE(lockFileOf(device).value_or(QString()), QString());
    QCOMPARE(heldBy(device), QString());
}

// SIGTERM while the open of a network port waits (up to 3 s for a server that takes the
// connection and never speaks) ends the program then: the session log holds the open's start and
// not its failure.
void TestProgramEnd::endedWhileANetworkOpenWaits() {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        QFAIL("Xvfb and xdotool are needed to click the real window (scripts/install-deps.sh)");
    VirtualDisplay x;
    QVERIFY(!x.display().isEmpty());
    QTcpServer mute; // takes connections, says nothing
    QVERIFY(mute.listen(QHostAddress::LocalHost));
    QTemporaryDir dir;
    const QString log = dir.filePath(QStringLiteral("session.log"));

    QProcess korvane;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), x.display());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("KORVANE_PORTS"),
               QStringLiteral("1=rfc2217://127.0.0.1:%1").arg(mute.serverPort()));
    korvane.setProcessEnvironment(env);
    korvane.setProcessChannelMode(QProcess::ForwardedChannels);
    korvane.start(korvaneProgram(), {QStringLiteral("--log"), log});
    QVERIFY(korvane.waitForStarted());
    const QByteArray window = korvaneWindow(x.display());
    QVERIFY(!window.isEmpty());
    const QPoint at = centreOf(&frmKorvane::cmdCOMStatus);
    xdotool(x.display(), {QStringLiteral("mousemove"), QStringLiteral("--window"),
                          QString::fromLatin1(window), QString::number(at.x()),
                          QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1")});
    // The port list's probe connected first; the open's connection is the second.
    int connections = 0;
    QVERIFY(waitFor(
        [&] {
            while (QTcpSocket *taken = mute.nextPendingConnection()) {
                taken->setParent(&mute);
                ++connections;
            }
            return connections >= 2;
        },
        5000));
    QCOMPARE(::kill(pid_t(korvane.processId()), SIGTERM), 0);
    QVERIFY(korvane.waitForFinished(5000));
    QCOMPARE(korvane.exitStatus(), QProcess::NormalExit);
    QCOMPARE(korvane.exitCode(), 0);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray written = file.readAll();
    QVERIFY2(written.contains("Opening COM Port 1"), written.constData());
    QVERIFY2(!written.contains("Err 8023"), written.constData());
}

// "%x" stands for a virtual X server that answers; XDG_RUNTIME_DIR is an empty folder of the
// test's own.
void TestProgramEnd::displayCannotBeReached_data() {
    QTest::addColumn<QString>("platform"); // QT_QPA_PLATFORM, unset when empty
    QTest::addColumn<std::optional<QString>>("display");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("said"); // in the first line, after "no display was found ("
    const std::optional<QString> unset;
    const auto display = [](const char *d) {
        return std::optional<QString>(QString::fromLatin1(d));
    };
    QTest::newRow("no server at :99")
        << "xcb" << display(":99") << QStringList{} << "no X server answers at DISPLAY=:99";
    QTest::newRow("DISPLAY empty")
        << "xcb" << display("") << QStringList{} << "neither DISPLAY nor WAYLAND_DISPLAY is set";
    QTest::newRow("DISPLAY empty, no platform named")
        << "" << display("") << QStringList{} << "neither DISPLAY nor WAYLAND_DISPLAY";
    QTest::newRow("DISPLAY unset")
        << "" << unset << QStringList{} << "neither DISPLAY nor WAYLAND_DISPLAY";
    QTest::newRow("-display :99 over a DISPLAY that answers")
        << "xcb" << display("%x") << QStringList{"-display", ":99"}
        << "no X server answers at -display :99";
    QTest::newRow("--display :99, DISPLAY unset")
        << "" << unset << QStringList{"--display", ":99"} << "no X server answers at -display :99";
    QTest::newRow("QT_QPA_PLATFORM=wayland, no compositor")
        << "wayland" << unset << QStringList{} << "no Wayland compositor answers at";
    QTest::newRow("-platform wayland over xcb")
        << "xcb" << display("%x") << QStringList{"-platform", "wayland"}
        << "no Wayland compositor answers at";
    QTest::newRow("a platform Qt does not have")
        << "" << display("%x") << QStringList{"-platform", "nowhere"}
        << "Qt could not start the platform \"nowhere\"; the platforms it has: ";
}

void TestProgramEnd::displayCannotBeReached() {
    QFETCH(QString, platform);
    QFETCH(std::optional<QString>, display);
    QFETCH(QStringList, arguments);
    QFETCH(QString, said);
    if (arguments.contains(QStringLiteral(":99")) || display == QStringLiteral(":99")) {
        if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X99")))
            QSKIP("an X server runs at :99");
    }
    std::optional<VirtualDisplay> x;
    if (display == QStringLiteral("%x")) {
        if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty())
            QSKIP("Xvfb is needed for a display that answers");
        x.emplace();
        QVERIFY(!x->display().isEmpty());
        display = x->display();
    }
    QTemporaryDir runtime; // no compositor there
    QProcess korvane;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name :
         {"WAYLAND_DISPLAY", "WAYLAND_SOCKET", "QT_QPA_PLATFORM", "DISPLAY", "XDG_SESSION_TYPE"})
        env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime.path());
    if (!platform.isEmpty())
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    if (display)
        env.insert(QStringLiteral("DISPLAY"), *display);
    korvane.setProcessEnvironment(env);
    korvane.start(korvaneProgram(), arguments);
    QVERIFY(korvane.waitForFinished(10000));
    const QString text = QString::fromLocal8Bit(korvane.readAllStandardError());
    QCOMPARE(korvane.exitStatus(), QProcess::NormalExit);
    QCOMPARE(korvane.exitCode(), 2);
    const QString first = text.section(QLatin1Char('\n'), 0, 0);
    QVERIFY2(first.startsWith(QStringLiteral("korvane: no display was found (") + said),
             qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("xvfb-run -a korvane")), qPrintable(text));
    QVERIFY2(!text.contains(QStringLiteral("einstall")), qPrintable(text));
}

QTEST_MAIN(TestProgramEnd)
#include "tst_program_end.moc"
