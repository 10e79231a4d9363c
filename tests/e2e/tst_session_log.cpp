// The session log end to end: the real window, serial control and probe loop on a real
// pseudo-terminal, a radio (the test itself, or the simulated radio) on the other end, and a real
// file on real file systems.
//
//   everyByteReadsBack        every byte each way (NUL, bytes above 127, CR, a line split over
//                             two bursts, the line a close cuts off, a lost device's last bytes),
//                             every message and every port event come back out of the log, with
//                             polls written one by one or counted
//   aLogThatCannotBeWritten   no such directory, no permission, a read-only file system, the disk
//                             full, the file removed, and the operator's own stop: the message
//                             line says so once, the menu item loses its check, the log holds
//                             whole records only, and the console goes on
//   replayGivesTheSameSession a session recorded against the simulated radio and played back by
//                             it (rt1446-sim --replay) fills the slots, the report box and the
//                             message line the same way

#include "support/console.h"
#include "support/session_log_reader.h"
#include "support/sim_radio.h"

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
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cerrno>
#include <climits>
#include <cstring>
#include <linux/capability.h>
#include <memory>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
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

// Root passes every file permission check through two capabilities; without them in this
// thread's effective set it meets a file's mode bits like anyone else, until the object ends.
class WithoutPermissionOverride {
public:
    WithoutPermissionOverride() {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        if (::syscall(SYS_capget, &header, m_saved) != 0)
            return;
        __user_cap_data_struct dropped[2] = {m_saved[0], m_saved[1]};
        dropped[0].effective &= ~((1U << CAP_DAC_OVERRIDE) | (1U << CAP_DAC_READ_SEARCH));
        m_dropped = ::syscall(SYS_capset, &header, dropped) == 0;
    }
    ~WithoutPermissionOverride() {
        if (!m_dropped)
            return;
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        ::syscall(SYS_capset, &header, m_saved);
    }
    WithoutPermissionOverride(const WithoutPermissionOverride &) = delete;
    WithoutPermissionOverride &operator=(const WithoutPermissionOverride &) = delete;

private:
    __user_cap_data_struct m_saved[2]{};
    bool m_dropped = false;
};

bool reportCompleted(Console &c, int msecs = 5000) {
    c.window().StatusToken[33]->clear();
    return c.runUntil([&] { return c.slot(33) == QLatin1String("."); }, msecs);
}

QByteArray fileBytes(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
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
    QTest::newRow("polls written") << false;
    QTest::newRow("polls counted") << true;
}

void TestSessionLog::everyByteReadsBack() {
    QFETCH(bool, leavePollsOut);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("session.log"));
    Console c(QStringLiteral("1=%1"), LogOptions{QString(), leavePollsOut});
    QVERIFY(c.radio().isValid());
    c.startUp();
    MessageTrail trail(c.window());
    QCOMPARE(c.app().sessionLog.start(path), QString());

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

    const SessionRecord log = readSessionLogFile(path);
    QVERIFY2(log.problem.isEmpty(), qPrintable(log.problem));
    QCOMPARE(log.received, toConsole);
    QCOMPARE(log.sent, fromConsole);
    QVERIFY(fromConsole.count('U') >= 2);
    QCOMPARE(log.messages, trail.shown);
    const QString device = c.radio().slavePath();
    QCOMPARE(
        log.portEvents,
        (QStringList{QStringLiteral("opened COM1 %1 9600,O,7,1").arg(device),
                     QStringLiteral("closed COM1"),
                     QStringLiteral("opened COM1 %1 9600,O,7,1").arg(device),
                     QStringLiteral("lost COM1 (%1) was lost: the device went away").arg(device)}));

    // The records themselves: polls one by one or counted, the cut lines marked, and the split
    // line one record with the time of its second part, which came 200 ms after the first.
    QByteArrayList texts;
    QDateTime meterLine, splitLine;
    for (const LogRecord &r : log.records) {
        texts << QByteArray(1, r.mark) + ' ' + r.text;
        if (r.text == "J057")
            meterLine = r.time;
        if (r.text == "F1000000")
            splitLine = r.time;
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
    QTest::newRow("no such directory, from the command line")
        << "missing"
        << "Log not started: %1: No such file or directory";
    QTest::newRow("no permission") << "read-only directory"
                                   << "Log not started: %1: Permission denied";
    QTest::newRow("read-only file system") << "read-only tmpfs"
                                           << "Log not started: %1: Read-only file system";
    QTest::newRow("disk full") << "16k tmpfs"
                               << "Log stopped: %1: No space left on device";
    QTest::newRow("file removed") << "removed"
                                  << "Log stopped: %1: the file was removed";
    QTest::newRow("stopped by the operator") << "stopped"
                                             << "Log closed: %1";
}

void TestSessionLog::aLogThatCannotBeWritten() {
    QFETCH(QString, where);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString mountPoint = dir.filePath(QStringLiteral("fs"));
    QVERIFY(QDir().mkpath(mountPoint));
    QString path = mountPoint + QStringLiteral("/session.log");
    std::unique_ptr<Tmpfs> tmpfs;
    if (where == QLatin1String("missing"))
        path = dir.filePath(QStringLiteral("missing/session.log"));
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
        // Most of the 16 KiB taken already, so that a few reports fill it.
        QFile filler(mountPoint + QStringLiteral("/filler"));
        if (!readOnly) {
            QVERIFY(filler.open(QIODevice::WriteOnly));
            QCOMPARE(filler.write(QByteArray(12 * 1024, 'f')), 12 * 1024);
            filler.close();
        }
    }
    message = message.arg(path);

    SimRadio radio;
    QVERIFY(!radio.path().isEmpty());
    const bool fromCommandLine = where == QLatin1String("missing");
    Console c(radio.ports(), LogOptions{fromCommandLine ? path : QString(), false});
    MessageTrail trail(c.window());
    c.startUp();
    c.openPort();
    QAction *item = c.window().mnuFileLog;
    if (!fromCommandLine) {
        std::unique_ptr<WithoutPermissionOverride> asAnyone;
        if (where == QLatin1String("read-only directory"))
            asAnyone = std::make_unique<WithoutPermissionOverride>();
        answerFileChooser(path);
        item->trigger();
    }
    const bool atStart = message.startsWith(QLatin1String("Log not started"));
    QCOMPARE(c.app().sessionLog.logging(), !atStart);
    QCOMPARE(item->isChecked(), !atStart);

    QByteArray before;
    if (where == QLatin1String("removed"))
        QVERIFY(QFile::remove(path));
    if (where == QLatin1String("stopped")) {
        c.click("cmdGetStatus");
        QVERIFY(reportCompleted(c));
        item->trigger();
        before = fileBytes(path);
        QVERIFY(!before.isEmpty());
    }
    // The console goes on, and says it once, however much more traffic comes.
    for (int i = 0; i < 10 && !trail.shown.contains(message); ++i) {
        c.click("cmdGetStatus");
        QVERIFY(reportCompleted(c));
    }
    for (int i = 0; i < 2; ++i) {
        c.click("cmdGetStatus");
        QVERIFY(reportCompleted(c));
    }
    QVERIFY2(trail.shown.count(message) == 1, qPrintable(trail.shown.join(QLatin1Char('|'))));
    QVERIFY(!c.app().sessionLog.logging());
    QVERIFY(!item->isChecked());
    QVERIFY(!c.slot(18).isEmpty());

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
        QVERIFY(reportCompleted(c));
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
        for (int i = 0; i < 36; ++i)
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
