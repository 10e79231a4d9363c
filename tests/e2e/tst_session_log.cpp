// The session log end to end: the real window, serial control and probe loop on a real
// pseudo-terminal, a radio (the test itself, or the simulated radio) on the other end, and a real
// file on real file systems.
//
//   everyByteReadsBack        every byte each way (NUL, bytes above 127, CR, a line split over
//                             two bursts, the line a close cuts off, a lost device's last bytes),
//                             every message and every port event come back out of the log, with
//                             polls written one by one or counted, and with a log and a device
//                             named in bytes that are not UTF-8, the log chosen in the file chooser
//   aLogThatCannotBeWritten   no such directory, no permission, a read-only file system, the disk
//                             full (at start-up too), the file removed, the operator's own stop,
//                             and what is not a regular file (a FIFO, a device, a directory, a
//                             planted symbolic link): the message line says so once, after
//                             start-up's messages when the command line asked, the menu item
//                             loses its check, the log holds whole records only, and the console
//                             goes on
//   replayGivesTheSameSession a session recorded against the simulated radio and played back by
//                             it (rt1446-sim --replay) fills the slots, the report box and the
//                             message line the same way

#include "support/console.h"
#include "support/permissions.h"
#include "support/session_log_reader.h"
#include "support/sim_radio.h"
#include "text/path_bytes.h"
#include "text/traffic_log.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;
using namespace korvane::test;

namespace {

// Every text the message line showed, from the moment it is made.
class MessageTrail {
public:
    explicit MessageTrail(frmKorvane &window) {
        m_connection = QObject::connect(&window, &frmKorvane::messageShown,
                                        [this](const QString &text) { shown << text; });
    }
    ~MessageTrail() { QObject::disconnect(m_connection); }
    MessageTrail(const MessageTrail &) = delete;
    MessageTrail &operator=(const MessageTrail &) = delete;

    QStringList shown;

private:
    QMetaObject::Connection m_connection;
};

// The operator's answer to the file chooser that is about to open: `path`, then Save.
void answerFileChooser(const QString &path) {
    auto *timer = new QTimer;
    timer->setInterval(10);
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, path, tries] {
        auto *chooser = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (chooser == nullptr)
            return;
        // The chooser reads its folder in the background and may put its own name back
        // meanwhile: type the name as the operator does, and Save only once the chooser holds
        // the file asked for (or, after a second, to let the test fail instead of hang).
        const QFileInfo file(path);
        chooser->setDirectory(file.absolutePath());
        if (auto *name = chooser->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            name->setText(file.fileName());
        if (chooser->selectedFiles() != QStringList{path} && ++*tries < 100)
            return;
        timer->stop();
        timer->deleteLater();
        static_cast<QDialog *>(chooser)->accept(); // Save, as the operator clicks it
    });
    timer->start();
}

// A tmpfs of its own, mounted for the object's life.
class Tmpfs {
public:
    Tmpfs(const QString &dir, unsigned long flags, const char *options) : m_dir(dir) {
        m_mounted =
            ::mount("tmpfs", QFile::encodeName(dir).constData(), "tmpfs", flags, options) == 0;
        if (!m_mounted)
            error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~Tmpfs() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir).constData(), MNT_DETACH);
    }
    Tmpfs(const Tmpfs &) = delete;
    Tmpfs &operator=(const Tmpfs &) = delete;
    bool mounted() const { return m_mounted; }
    QString error;

private:
    QString m_dir;
    bool m_mounted = false;
};

// The file named by these bytes, whatever they are.
QByteArray fileBytes(const QByteArray &name) {
    QFile file;
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
    return fd >= 0 && file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)
               ? file.readAll()
               : QByteArray();
}

QByteArray fileBytes(const QString &path) {
    return fileBytes(bytesOfPath(path));
}

} // namespace

class TestSessionLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void everyByteReadsBack_data();
    void everyByteReadsBack();
    void aLogThatCannotBeWritten_data();
    void aLogThatCannotBeWritten();
    void replayGivesTheSameSession();
};

void TestSessionLog::everyByteReadsBack_data() {
    QTest::addColumn<bool>("leavePollsOut");
    QTest::addColumn<bool>("latin1Names"); // the log and the device named in Latin-1
    QTest::newRow("polls written") << false << false;
    QTest::newRow("polls counted") << true << false;
    QTest::newRow("names not in UTF-8, the log chosen from the menu") << false << true;
}

void TestSessionLog::everyByteReadsBack() {
    QFETCH(bool, leavePollsOut);
    QFETCH(bool, latin1Names);
    QTemporaryDir dir;
    // The names as they are on disk, and as the console holds them (text/path_bytes.h).
    const QByteArray logName = QFile::encodeName(dir.path()) +
                               (latin1Names ? QByteArray("/session\xE9.log") : "/session.log");
    const QByteArray linkName = QFile::encodeName(dir.path()) + "/radio\xE9";
    const QString path = pathFromBytes(logName);
    // Taken away by their bytes: QTemporaryDir knows names only as text.
    const auto unlinked = qScopeGuard([&] {
        ::unlink(logName.constData());
        ::unlink(linkName.constData());
    });
    Console c(latin1Names ? QStringLiteral("1=") + pathFromBytes(linkName) : QStringLiteral("1=%1"),
              LogOptions{QString(), leavePollsOut});
    QVERIFY(c.radio().isValid());
    if (latin1Names) // there before the ports are listed
        QVERIFY(::symlink(QFile::encodeName(c.radio().slavePath()).constData(),
                          linkName.constData()) == 0);
    c.startUp();
    MessageTrail trail(c.window());
    if (latin1Names) {
        // The log is there already, and the chooser shows its name as UTF-8 reads it.
        QVERIFY(::close(::open(logName.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644)) == 0);
        answerFileChooser(QFile::decodeName(logName));
        c.window().mnuFileLog->trigger();
        QVERIFY(c.app().sessionLog.logging());
        QCOMPARE(c.app().sessionLog.path(), path);
    } else {
        QCOMPARE(c.app().sessionLog.start(path), QString());
    }

    QByteArray toConsole, fromConsole;
    const auto radioSays = [&](const QByteArray &bytes) {
        c.radio().write(bytes);
        toConsole += bytes;
        c.runFor(200); // far over the quiet time: each write is a burst of its own
    };
    const auto takeWhatConsoleSent = [&] { fromConsole += c.radio().read(50, INT_MAX); };

    c.openPort();
    c.click("cmdSyncOnOff");
    radioSays(QByteArray("J057\nA\0B\xE9\xFF\r\n\n", 13)); // NUL, above 127, CR, an empty line
    radioSays("F10");                                      // one line over two bursts
    radioSays("00000\n");
    c.window().cboCommand->setEditText(QStringLiteral("F1234567!"));
    c.click("cmdSendCmd");
    c.click("cmdGetStatus");
    radioSays(".\n");
    c.runFor(3300);   // two polls, which the radio does not answer
    radioSays("XYZ"); // cut off by the close
    c.click("cmdCOMStatus");
    QVERIFY(c.runUntil([&] { return c.window().portShownClosed(); }, 3000));
    takeWhatConsoleSent();
    c.openPort();
    radioSays("K1\nPARTIAL"); // the device goes away before the line ends
    takeWhatConsoleSent();
    c.radio().hangUp();
    QVERIFY(c.runUntil([&] { return c.window().portShownClosed(); }, 3000));
    c.app().sessionLog.stop();

    const QByteArray written = fileBytes(logName);
    const SessionRecord log = readSessionLog(written);
    QVERIFY2(log.problem.isEmpty(), qPrintable(log.problem));
    QCOMPARE(log.received, toConsole);
    QCOMPARE(log.sent, fromConsole);
    QVERIFY(fromConsole.count('U') >= 2);
    // The reader takes text as UTF-8: a name's own bytes read back as it reads them.
    const auto asRead = [](QStringList texts) {
        for (QString &t : texts)
            t = QString::fromUtf8(bytesOfPath(t));
        return texts;
    };
    QCOMPARE(log.messages, asRead(trail.shown));
    const QString device = latin1Names ? pathFromBytes(linkName) : c.radio().slavePath();
    QCOMPARE(log.portEvents,
             asRead({QStringLiteral("opened COM1 %1 9600,O,7,1").arg(device),
                     QStringLiteral("closed COM1"),
                     QStringLiteral("opened COM1 %1 9600,O,7,1").arg(device),
                     QStringLiteral("lost COM1 (%1) was lost: the device went away").arg(device)}));
    if (latin1Names) {
        // Written where it was chosen, under its own name, and the names in it with their bytes.
        QVERIFY(!QFile::exists(QFile::decodeName(logName)));
        QVERIFY(written.contains("= opened COM1 " + escapeLogBytes(linkName) + " 9600,O,7,1\n"));
        QVERIFY(written.contains("! Logging to " + escapeLogBytes(logName) + "\n"));
    }

    // The records themselves: polls one by one or counted, the cut lines marked, and the split
    // line one record with the time of its second part, which came 200 ms after the first.
    QByteArrayList texts;
    QDateTime meterLine, splitLine;
    for (const LogRecord &r : log.records) {
        texts << QByteArray(1, r.mark) + ' ' + r.text;
        if (r.text == "J057")
            meterLine = r.time();
        if (r.text == "F1000000")
            splitLine = r.time();
    }
    QVERIFY(texts.contains("< A\\x00B\\xE9\\xFF\\r"));
    QVERIFY(texts.contains("< "));
    QVERIFY(texts.contains("< XYZ\\c"));
    QVERIFY(texts.contains("< PARTIAL\\c"));
    QVERIFY(texts.contains("> F1234567"));
    QCOMPARE(texts.contains("> U"), !leavePollsOut);
    QCOMPARE(std::none_of(texts.begin(), texts.end(),
                          [](const QByteArray &t) { return t.startsWith("> U*"); }),
             !leavePollsOut);
    QVERIFY2(meterLine.msecsTo(splitLine) >= 350, qPrintable(splitLine.toString()));
}

// Each log is started from the menu, with the file chooser answered as the operator would, except
// where the chooser cannot be given the file: there the command line asks for it.
void TestSessionLog::aLogThatCannotBeWritten_data() {
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("message"); // "%1" stands for the log's path
    QTest::addColumn<bool>("fromCommandLine");
    QTest::newRow("no such directory, from the command line")
        << "missing"
        << "Log not started: %1: No such file or directory" << true;
    QTest::newRow("no permission") << "read-only directory"
                                   << "Log not started: %1: Permission denied" << false;
    QTest::newRow("read-only file system") << "read-only tmpfs"
                                           << "Log not started: %1: Read-only file system" << false;
    QTest::newRow("disk full") << "16k tmpfs"
                               << "Log stopped: %1: No space left on device" << false;
    QTest::newRow("disk full at start-up, from the command line")
        << "full tmpfs"
        << "Log stopped: %1: No space left on device" << true;
    QTest::newRow("file removed") << "removed"
                                  << "Log stopped: %1: the file was removed" << false;
    QTest::newRow("stopped by the operator") << "stopped"
                                             << "Log closed: %1" << false;
    // A FIFO with no reader held the open, and one whose reader stalls would hold every write.
    QTest::newRow("a FIFO") << "fifo"
                            << "Log not started: %1 is not a regular file" << false;
    QTest::newRow("a directory, from the command line")
        << "directory"
        << "Log not started: %1 is not a regular file" << true;
    QTest::newRow("/dev/null, from the command line")
        << "/dev/null"
        << "Log not started: %1 is not a regular file" << true;
    QTest::newRow("/dev/full, from the command line")
        << "/dev/full"
        << "Log not started: %1 is not a regular file" << true;
    QTest::newRow("a symbolic link planted, from the command line")
        << "link"
        << "Log not started: %1 is a symbolic link" << true;
}

void TestSessionLog::aLogThatCannotBeWritten() {
    QFETCH(QString, where);
    QFETCH(QString, message);
    QFETCH(bool, fromCommandLine);
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath(QStringLiteral("fs"));
    QVERIFY(QDir().mkpath(mountPoint));
    QString path = mountPoint + QStringLiteral("/session.log");
    std::unique_ptr<Tmpfs> tmpfs;
    if (where == QLatin1String("missing"))
        path = dir.filePath(QStringLiteral("missing/session.log"));
    if (where.startsWith(QLatin1String("/dev/")))
        path = where;
    const QByteArray name = QFile::encodeName(path);
    if (where == QLatin1String("fifo"))
        QVERIFY(::mkfifo(name.constData(), 0600) == 0);
    if (where == QLatin1String("directory"))
        QVERIFY(QDir().mkpath(path));
    const QString linkTarget = dir.filePath(QStringLiteral("elsewhere.log"));
    if (where == QLatin1String("link"))
        QVERIFY(::symlink(QFile::encodeName(linkTarget).constData(), name.constData()) == 0);
    if (where == QLatin1String("read-only directory"))
        QVERIFY(::chmod(QFile::encodeName(mountPoint).constData(), 0555) == 0);
    if (where.endsWith(QLatin1String("tmpfs"))) {
        const bool readOnly = where.startsWith(QLatin1String("read-only"));
        tmpfs = std::make_unique<Tmpfs>(
            mountPoint, readOnly ? static_cast<unsigned long>(MS_RDONLY) : 0UL, "size=16k");
        if (!tmpfs->mounted())
            QSKIP(qPrintable(QStringLiteral("cannot mount a tmpfs here (%1): run the tests as "
                                            "root where mounting is allowed")
                                 .arg(tmpfs->error)));
        // Most of the 16 KiB taken already, so that a few reports fill it; or all of it, so
        // that the first record fails.
        QFile filler(mountPoint + QStringLiteral("/filler"));
        if (!readOnly) {
            const bool full = where.startsWith(QLatin1String("full"));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const qint64 wrote = filler.write(QByteArray((full ? 16 : 12) * 1024, 'f'));
            QVERIFY(full || wrote == 12 * 1024);
            filler.close();
        }
    }
    message = message.arg(path);

    ConsoleWithSim c({}, LogOptions{fromCommandLine ? path : QString(), false});
    QVERIFY(!c.sim().path().isEmpty());
    MessageTrail trail(c.window());
    c.startUp();
    // Said after start-up's own messages, which would have hidden it at once.
    if (fromCommandLine)
        QCOMPARE(c.message(), message);
    c.openPort();
    QAction *item = c.window().mnuFileLog;
    if (!fromCommandLine) {
        std::unique_ptr<WithoutPermissionOverride> asAnyone;
        if (where == QLatin1String("read-only directory"))
            asAnyone = std::make_unique<WithoutPermissionOverride>();
        answerFileChooser(path);
        item->trigger();
    }
    const bool logs = !message.startsWith(QLatin1String("Log not started")) &&
                      where != QLatin1String("full tmpfs");
    QCOMPARE(c.app().sessionLog.logging(), logs);
    QCOMPARE(item->isChecked(), logs);

    QByteArray before;
    if (where == QLatin1String("removed"))
        QVERIFY(QFile::remove(path));
    if (where == QLatin1String("stopped")) {
        c.click("cmdGetStatus");
        QVERIFY(c.runUntilReportCompleted());
        item->trigger();
        before = fileBytes(path);
        QVERIFY(!before.isEmpty());
    }
    // The console goes on, and says it once, however much more traffic comes.
    for (int i = 0; i < 10 && !trail.shown.contains(message); ++i) {
        c.click("cmdGetStatus");
        QVERIFY(c.runUntilReportCompleted());
    }
    for (int i = 0; i < 2; ++i) {
        c.click("cmdGetStatus");
        QVERIFY(c.runUntilReportCompleted());
    }
    QVERIFY2(trail.shown.count(message) == 1, qPrintable(trail.shown.join(QLatin1Char('|'))));
    QVERIFY(!c.app().sessionLog.logging());
    QVERIFY(!item->isChecked());
    QVERIFY(!c.slot(18).isEmpty());
    if (where == QLatin1String("link")) // nothing written where the link points
        QVERIFY(!QFile::exists(linkTarget));

    if (where == QLatin1String("16k tmpfs") || where == QLatin1String("stopped")) {
        const SessionRecord log = readSessionLogFile(path);
        QVERIFY2(log.problem.isEmpty(), qPrintable(log.problem)); // whole records only
        QVERIFY(log.received.contains("\n.\n"));
    }
    if (where == QLatin1String("stopped")) {
        // Started again, the log goes on after what it held: never truncated.
        answerFileChooser(path);
        item->trigger();
        QVERIFY(item->isChecked());
        c.click("cmdGetStatus");
        QVERIFY(c.runUntilReportCompleted());
        const QByteArray after = fileBytes(path);
        QVERIFY(after.size() > before.size());
        QVERIFY(after.startsWith(before));
    }
}

// The session is recorded against the simulated radio, then played back by it from the log, with
// the operator doing the same at the same moments after the open. The radio mixes NUL, bytes above
// 127 and control characters into its lines and ends them with CR LF, so that every escape of the
// log must be read back exactly for the slots to come out the same.
void TestSessionLog::replayGivesTheSameSession() {
    if (SimRadio::program().isEmpty())
        QFAIL(qPrintable(notBuilt("rt1446-sim")));
    QTemporaryDir dir;
    const QString recorded = dir.filePath(QStringLiteral("recorded.log"));
    const QString replayed = dir.filePath(QStringLiteral("replayed.log"));

    struct Outcome {
        QStringList slots, messages;
        QString report;
        QByteArray received;
    };
    // The operator's steps, at these moments after the open (ms).
    constexpr int kStatusAt = 300, kCommandAt = 1500, kSyncAt = 2200, kCloseAt = 6000;
    const auto session = [&](SimRadio &radio, const QString &logPath,
                             const std::function<bool(Console &)> &settled) {
        Console c(radio.ports());
        c.startUp();
        MessageTrail trail(c.window());
        c.app().sessionLog.start(logPath);
        QElapsedTimer sinceOpen;
        c.openPort();
        sinceOpen.start();
        const auto until = [&](int ms) {
            c.runFor(int(std::max<qint64>(0, ms - sinceOpen.elapsed())));
        };
        until(kStatusAt);
        c.click("cmdGetStatus");
        until(kCommandAt);
        c.window().cboCommand->setEditText(QStringLiteral("F1234567!"));
        c.click("cmdSendCmd");
        until(kSyncAt);
        c.click("cmdSyncOnOff");
        until(kCloseAt);
        c.runUntil([&] { return settled(c); }, 10000);
        c.click("cmdCOMStatus");
        c.runUntil([&] { return c.window().portShownClosed(); }, 3000);
        c.app().sessionLog.stop();
        Outcome out;
        for (int i = 0; i < kStatusSlots; ++i)
            out.slots << c.slot(i);
        out.report = c.window().txtFromVO1446->toPlainText();
        out.messages = trail.shown;
        out.received = readSessionLogFile(logPath).received;
        return out;
    };

    SimRadio radio({QStringLiteral("--garbage"), QStringLiteral("--crlf")});
    QVERIFY(!radio.path().isEmpty());
    const Outcome first = session(radio, recorded, [](Console &) { return true; });
    const SessionRecord log = readSessionLogFile(recorded);
    QVERIFY2(log.problem.isEmpty(), qPrintable(log.problem));
    QVERIFY(first.received.contains('\0') && first.received.contains("\r\n"));
    QVERIFY(first.slots[18].startsWith(QLatin1Char('F')) && !first.slots[31].isEmpty());

    SimRadio player({QStringLiteral("--replay"), recorded});
    if (player.path().isEmpty())
        QFAIL("rt1446-sim did not start with --replay");
    // Played back at the recorded pace; the close waits until everything recorded has come.
    const Outcome second = session(player, replayed, [&](Console &) {
        return readSessionLogFile(replayed).received.size() >= first.received.size();
    });
    QCOMPARE(second.received, first.received);
    QCOMPARE(second.slots, first.slots);
    QCOMPARE(second.report, first.report);
    QStringList a = first.messages, b = second.messages;
    a.replaceInStrings(recorded, QStringLiteral("LOG"));
    b.replaceInStrings(replayed, QStringLiteral("LOG"));
    QCOMPARE(b, a);
}

QTEST_MAIN(TestSessionLog)
#include "tst_session_log.moc"
