// The command line of the real program: the korvane executable (its path in KORVANE_BIN) run as a
// child process with no display, as a shell would run it. --help and --version answer without a
// display; a mistake is one line on standard error and exit status 2; Qt's own options pass; and
// --port lies over KORVANE_PORTS, seen in the session log of a program that runs on Qt's
// offscreen platform, chosen by its own -platform option.

#include "base/version.h"
#include "support/pty_pair.h"
#include "support/sim_radio.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

using korvane::test::korvaneProgram;
using korvane::test::notBuilt;
using korvane::test::PtyPair;

class TstCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void commandLine_data();
    void commandLine();
};

void TstCommandLine::initTestCase() {
    if (korvaneProgram().isEmpty())
        QFAIL(qPrintable(notBuilt("korvane")));
}

// "%log" in the arguments stands for a log file, "%fifo" for a FIFO no one reads, "%pty1" and
// "%pty2" for two pseudo-terminals. `status` -1: the program runs on, its log must come to hold
// every text of `output`, and SIGTERM ends it with status 0.
void TstCommandLine::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("ports"); // KORVANE_PORTS, unset when empty
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("output"); // on standard output, or in the log
    QTest::addColumn<QString>("error");      // the one line on standard error

    const QString more = QStringLiteral("; korvane --help lists the options");
    QTest::newRow("--help") << QStringList{"--help"} << "" << 0
                            << QStringList{"Usage: korvane", "--log FILE",    "--log-no-polls",
                                           "--port N=PATH",  "KORVANE_PORTS", "korvane(1)"}
                            << "";
    QTest::newRow("-h") << QStringList{"-h"} << "" << 0 << QStringList{"Usage: korvane"} << "";
    const QString version = QStringLiteral("korvane %1\n").arg(QLatin1String(korvane::kVersion));
    QTest::newRow("--version") << QStringList{"--version"} << "" << 0 << QStringList{version} << "";
    QTest::newRow("Qt's options around --version")
        << QStringList{"-platform", "offscreen", "-style=Fusion", "--reverse",
                       "--version", "-geometry", "640x480+0+0"}
        << "" << 0 << QStringList{version} << "";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << "" << 2 << QStringList{}
                                    << "korvane: unknown option \"--bogus\"" + more;
    QTest::newRow("a mistake after --help")
        << QStringList{"--help", "-x"} << "" << 2 << QStringList{}
        << "korvane: unknown option \"-x\"" + more;
    QTest::newRow("stray argument") << QStringList{"COM3"} << "" << 2 << QStringList{}
                                    << "korvane: unexpected argument \"COM3\"" + more;
    QTest::newRow("--log without its file") << QStringList{"--log"} << "" << 2 << QStringList{}
                                            << "korvane: --log needs a value" + more;
    QTest::newRow("--log= empty") << QStringList{"--log="} << "" << 2 << QStringList{}
                                  << "korvane: --log needs a file name";
    QTest::newRow("--port 0") << QStringList{"--port", "0=/dev/ttyS0"} << "" << 2 << QStringList{}
                              << "korvane: --port \"0=/dev/ttyS0\": the port number must be 1 "
                                 "to 32767";
    QTest::newRow("--port without =") << QStringList{"--port", "3"} << "" << 2 << QStringList{}
                                      << "korvane: --port \"3\": not N=PATH";
    QTest::newRow("--port= without a path") << QStringList{"--port=4="} << "" << 2 << QStringList{}
                                            << "korvane: --port \"4=\": no device path";
    QTest::newRow("Qt's option without its value")
        << QStringList{"--log-no-polls", "-platform"} << "" << 2 << QStringList{}
        << "korvane: -platform needs a value" + more;
    QTest::newRow("good options, no display")
        << QStringList{"--log-no-polls", "--port", "3=/dev/null"} << "" << 2 << QStringList{}
        << "korvane: no display was found (neither DISPLAY nor WAYLAND_DISPLAY is set).";
    QTest::newRow("--port over KORVANE_PORTS")
        << QStringList{"-platform",      "offscreen", "--port", "7=%pty1",
                       "--port=9=%pty2", "--log",     "%log"}
        << "2=%pty2 7=/dev/korvane-no-such-device" << -1
        << QStringList{"! Logging to %log", "! Com 2 found", "! Com 7 found", "! Com 9 found"}
        << "";
    // The log refused, the window goes on: nothing holds the start-up nor the end.
    QTest::newRow("--log a FIFO") << QStringList{"-platform", "offscreen", "--log", "%fifo"} << ""
                                  << -1 << QStringList{} << "";
}

void TstCommandLine::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, ports);
    QFETCH(int, status);
    QFETCH(QStringList, output);
    QFETCH(QString, error);

    QTemporaryDir dir;
    PtyPair one, two;
    QVERIFY(one.isValid() && two.isValid());
    const QString log = dir.filePath(QStringLiteral("session.log"));
    const QString fifo = dir.filePath(QStringLiteral("session.fifo"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
    const auto filled = [&](QString text) {
        return text.replace(QLatin1String("%log"), log)
            .replace(QLatin1String("%fifo"), fifo)
            .replace(QLatin1String("%pty1"), one.slavePath())
            .replace(QLatin1String("%pty2"), two.slavePath());
    };
    for (QString &a : arguments)
        a = filled(a);
    for (QString &o : output)
        o = filled(o);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "KORVANE_PORTS"})
        environment.remove(QString::fromLatin1(name));
    if (!ports.isEmpty())
        environment.insert(QStringLiteral("KORVANE_PORTS"), filled(ports));
    QProcess korvane;
    korvane.setProcessEnvironment(environment);
    korvane.start(korvaneProgram(), arguments);
    QVERIFY(korvane.waitForStarted(5000));

    if (status < 0) {
        // It runs: the log shows the ports it found, through the table as --port left it.
        QElapsedTimer timer;
        timer.start();
        QByteArray text;
        const auto holdsAll = [&] {
            QFile file(log);
            text = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
            return std::all_of(output.begin(), output.end(),
                               [&](const QString &o) { return text.contains(o.toLocal8Bit()); });
        };
        while (!holdsAll() && timer.elapsed() < 10000 && korvane.state() == QProcess::Running)
            korvane.waitForFinished(50);
        // Time for the start-up to be over where no log tells it.
        korvane.waitForFinished(output.isEmpty() ? 2000 : 0);
        const bool running = korvane.state() == QProcess::Running;
        korvane.terminate();
        const bool ended = korvane.waitForFinished(5000);
        if (!ended)
            korvane.kill();
        QVERIFY2(running, korvane.readAllStandardError().constData());
        QVERIFY2(ended, "SIGTERM did not end the program");
        QCOMPARE(korvane.exitStatus(), QProcess::NormalExit);
        QCOMPARE(korvane.exitCode(), 0);
        QVERIFY2(holdsAll(), text.constData());
        QVERIFY(!text.contains("! Com 1 found")); // KORVANE_PORTS replaced the default table
        return;
    }
    QVERIFY(korvane.waitForFinished(10000));
    const QString out = QString::fromLocal8Bit(korvane.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(korvane.readAllStandardError());
    QCOMPARE(korvane.exitStatus(), QProcess::NormalExit);
    QCOMPARE(korvane.exitCode(), status);
    for (const QString &o : output)
        QVERIFY2(out.contains(o), qPrintable(out));
    if (status == 0) {
        QVERIFY2(err.isEmpty(), qPrintable(err));
        return;
    }
    QVERIFY(out.isEmpty());
    QCOMPARE(err.section(QLatin1Char('\n'), 0, 0), error);
    if (!error.contains(QLatin1String("no display")))
        QCOMPARE(err.count(QLatin1Char('\n')), 1); // one line
}

QTEST_GUILESS_MAIN(TstCommandLine)
#include "tst_command_line.moc"
