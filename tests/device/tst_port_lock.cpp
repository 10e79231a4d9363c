// One program per port: the serial control against real second processes holding a real
// pseudo-terminal in each of the ways station software does (a lock file, flock, the control
// itself through another path to the device), opened as root and as an ordinary user. A holder
// is this test program started again with --hold; an ordinary user is this test program started
// again with --open-as, which drops to the user "nobody" before it opens.

#include "device/mscomm.h"
#include "device/port_lock.h"
#include "device/port_probe.h"
#include "support/pty_pair.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace korvane;
using korvane::test::portTableWith;
using korvane::test::PtyPair;

namespace {

constexpr uid_t kNobody = 65534;

QByteArray lockFileOf(const QString &device) {
    return "/run/lock/" + lockFileName(realDevicePath(QFile::encodeName(device)));
}

// Opens COM1 the way the console does; "open" or the message it got. The control is made with
// the device as COM1 (portTableWith).
QString openAs(MSComm &comm) {
    try {
        comm.setCommPort(1);
        comm.setSettings(QStringLiteral("9600,O,7,1"));
        comm.setPortOpen(true);
    } catch (const RunTimeError &e) {
        return e.message();
    }
    return QStringLiteral("open");
}

void waitForStdinToClose() {
    char c = 0;
    while (::read(STDIN_FILENO, &c, 1) > 0) {
    }
}

// The second program's side: hold the device one way until standard input closes.
int hold(const char *how, const char *device) {
    if (std::strcmp(how, "lockfile") == 0) {
        const QByteArray file = lockFileOf(QString::fromLocal8Bit(device));
        char content[16];
        std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(::getpid()));
        QFile lock(QFile::decodeName(file));
        if (!lock.open(QIODevice::WriteOnly) || lock.write(content) != 11)
            return 1;
        lock.close();
        std::printf("held\n");
        std::fflush(stdout);
        waitForStdinToClose();
        QFile::remove(QFile::decodeName(file));
        return 0;
    }
    if (std::strcmp(how, "flock") == 0) {
        const int fd = ::open(device, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            return 1;
        std::printf("held\n");
        std::fflush(stdout);
        waitForStdinToClose();
        return 0;
    }
    // "console": the control itself, by whatever path it was given
    MSComm comm(portTableWith(1, QString::fromLocal8Bit(device)));
    const QString answer = openAs(comm);
    std::printf("%s\n", answer == QLatin1String("open") ? "held" : qPrintable(answer));
    std::fflush(stdout);
    waitForStdinToClose();
    return 0;
}

// A console whose lock directory cannot be written (started in a mount namespace of its own with a
// read-only /run/lock): opens and prints what it was told about the lock, then holds the port.
int openAndTellNotice(const char *device) {
    MSComm comm(portTableWith(1, QString::fromLocal8Bit(device)));
    const QString answer = openAs(comm);
    std::printf("%s\n", qPrintable(answer == QLatin1String("open") ? comm.openNotice() : answer));
    std::fflush(stdout);
    waitForStdinToClose();
    return 0;
}

// An ordinary user's console: opens, sends "X" if it could, and prints what happened.
int openAsNobody(const char *device) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
        std::printf("cannot become nobody\n");
        return 3;
    }
    MSComm comm(portTableWith(1, QString::fromLocal8Bit(device)));
    const QString answer = openAs(comm);
    if (answer == QLatin1String("open"))
        comm.setOutput(QStringLiteral("X"));
    std::printf("%s\n", qPrintable(answer));
    std::fflush(stdout);
    waitForStdinToClose();
    return 0;
}

// This test program started again in one of the roles above.
class Helper {
public:
    explicit Helper(const QStringList &arguments,
                    const QString &program = QCoreApplication::applicationFilePath()) {
        m_process.start(program, arguments);
        if (!m_process.waitForStarted(5000))
            return;
        while (!m_process.canReadLine() && m_process.state() == QProcess::Running)
            m_process.waitForReadyRead(5000);
        m_answer = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    }
    ~Helper() { end(); }
    QString answer() const { return m_answer; }
    qint64 pid() const { return m_process.processId(); }
    void end() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(3000);
    }

private:
    QProcess m_process;
    QString m_answer;
};

bool flockIsFree(const QString &device) {
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0)
        ::close(fd);
    return free;
}

} // namespace

class TstPortLock : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void lockFileContents_data();
    void lockFileContents();
    void refusedWhileHeld_data();
    void refusedWhileHeld();
    void staleLockFileIsReplaced();
    void releasedOnCloseLossAndEnd();
    void unwritableLockDirectoryIsSaid();
};

void TstPortLock::lockFileContents_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("pid"); // 0: none
    QTest::newRow("HDB, padded") << QByteArray("      4242\n") << 4242;
    QTest::newRow("plain number") << QByteArray("4242\nkorvane\nhost\n") << 4242;
    QTest::newRow("binary") << QByteArray("\x92\x10\x00\x00", 4) << 4242;
    QTest::newRow("empty") << QByteArray() << 0;
    QTest::newRow("words") << QByteArray("locked by me\n") << 0;
    QTest::newRow("too long") << QByteArray("123456789012\n") << 0;
    QTest::newRow("zero") << QByteArray("         0\n") << 0;
}

void TstPortLock::lockFileContents() {
    QFETCH(QByteArray, content);
    QFETCH(int, pid);
    const std::optional<pid_t> found = pidInLockFile(content);
    QCOMPARE(found.value_or(0), pid);
}

void TstPortLock::refusedWhileHeld_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("throughLink"); // the holder took the device by a link to it
    QTest::addColumn<bool>("asNobody");
    QTest::addColumn<QString>("says");
    for (const bool asNobody : {false, true}) {
        const char *who = asNobody ? "nobody" : "root";
        QTest::addRow("lock file, %s", who) << "lockfile" << false << asNobody << "lock file";
        QTest::addRow("flock, %s", who) << "flock" << false << asNobody << "has it locked";
        QTest::addRow("another console, %s", who) << "console" << false << asNobody << "process";
        QTest::addRow("another console by a link, %s", who)
            << "console" << true << asNobody << "process";
    }
}

void TstPortLock::refusedWhileHeld() {
    QFETCH(QString, how);
    QFETCH(bool, throughLink);
    QFETCH(bool, asNobody);
    QFETCH(QString, says);
    if (asNobody && ::geteuid() != 0)
        QSKIP("only root can start a console as the user nobody here");
    PtyPair radio;
    QVERIFY(radio.isValid());
    QVERIFY(::chmod(QFile::encodeName(radio.slavePath()).constData(), 0666) == 0);
    QTemporaryDir dir;
    const QString link = dir.filePath(QStringLiteral("radio"));
    QVERIFY(QFile::link(radio.slavePath(), link));
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);

    Helper holder({QStringLiteral("--hold"), how, throughLink ? link : radio.slavePath()});
    QCOMPARE(holder.answer(), QStringLiteral("held"));
    const QByteArray lockFile = lockFileOf(radio.slavePath());
    QFile before(QFile::decodeName(lockFile));
    const QByteArray heldLock = before.open(QIODevice::ReadOnly) ? before.readAll() : QByteArray();

    QString answer;
    if (asNobody) {
        Helper opener({QStringLiteral("--open-as-nobody"), radio.slavePath()});
        if (opener.answer() == QLatin1String("cannot become nobody"))
            QSKIP("this machine does not let a test become the user nobody");
        answer = opener.answer();
    } else {
        // The port list leaves out a port another program holds.
        QVERIFY(!ComPortExists({{1, radio.slavePath()}}, 1));
        MSComm comm(portTableWith(1, radio.slavePath()));
        answer = openAs(comm);
        QVERIFY(!comm.PortOpen());
    }
    QVERIFY2(answer.startsWith(QLatin1String("Err 8010. The device is in use: COM1 (")),
             qPrintable(answer));
    QVERIFY2(answer.contains(says), qPrintable(answer));
    QVERIFY2(answer.contains(QStringLiteral("process %1").arg(holder.pid())), qPrintable(answer));
    QCOMPARE(radio.read(200), QByteArray()); // nothing reached the radio
    // The holder's lock file is where it was, as it was.
    QFile after(QFile::decodeName(lockFile));
    QCOMPARE(after.open(QIODevice::ReadOnly) ? after.readAll() : QByteArray(), heldLock);
}

void TstPortLock::staleLockFileIsReplaced() {
    PtyPair radio;
    QVERIFY(radio.isValid());
    // A holder that has gone: its process id names no process any more.
    QProcess gone;
    gone.start(QStringLiteral("true"));
    QVERIFY(gone.waitForFinished(5000));
    const QByteArray lockFile = lockFileOf(radio.slavePath());
    QFile stale(QFile::decodeName(lockFile));
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write(QByteArray::number(gone.processId()).rightJustified(10, ' ') + '\n');
    stale.close();

    if (::geteuid() == 0) {
        // Another user may not remove root's file from the sticky lock directory: that is said,
        // not passed off as the device being in use.
        QVERIFY(::chmod(QFile::encodeName(radio.slavePath()).constData(), 0666) == 0);
        Helper nobody({QStringLiteral("--open-as-nobody"), radio.slavePath()});
        if (nobody.answer() != QLatin1String("cannot become nobody")) {
            QVERIFY2(nobody.answer().startsWith(QLatin1String("Err 8016. Permission denied: the "
                                                              "stale lock file")),
                     qPrintable(nobody.answer()));
        }
    }
    // A stale lock file does not keep the port off the list.
    QVERIFY(ComPortExists({{1, radio.slavePath()}}, 1));
    MSComm comm(portTableWith(1, radio.slavePath()));
    QCOMPARE(openAs(comm), QStringLiteral("open"));
    QFile now(QFile::decodeName(lockFile));
    QVERIFY(now.open(QIODevice::ReadOnly));
    QCOMPARE(pidInLockFile(now.readAll()).value_or(0), ::getpid());
    comm.setOutput(QStringLiteral("U"));
    QCOMPARE(radio.read(1000), QByteArray("U"));
}

void TstPortLock::releasedOnCloseLossAndEnd() {
    for (const char *end : {"close", "loss", "end"}) {
        auto radio = std::make_unique<PtyPair>();
        QVERIFY(radio->isValid());
        const QString device = radio->slavePath();
        const QByteArray lockFile = lockFileOf(device);
        if (std::strcmp(end, "end") == 0) {
            Helper console({QStringLiteral("--hold"), QStringLiteral("console"), device});
            QCOMPARE(console.answer(), QStringLiteral("held"));
            QVERIFY(QFile::exists(QFile::decodeName(lockFile)));
            QVERIFY(!flockIsFree(device));
            console.end();
        } else {
            MSComm comm(portTableWith(1, device));
            QCOMPARE(openAs(comm), QStringLiteral("open"));
            QVERIFY(QFile::exists(QFile::decodeName(lockFile)));
            QVERIFY(!flockIsFree(device));
            if (std::strcmp(end, "close") == 0) {
                comm.setPortOpen(false);
            } else {
                radio->hangUp();
                QTRY_VERIFY_WITH_TIMEOUT(!comm.PortOpen(), 3000);
            }
            QVERIFY2(!QFile::exists(QFile::decodeName(lockFile)), end);
        }
        QVERIFY2(!QFile::exists(QFile::decodeName(lockFile)), end);
        if (std::strcmp(end, "loss") != 0)
            QVERIFY2(flockIsFree(device), end);
    }
}

void TstPortLock::unwritableLockDirectoryIsSaid() {
    PtyPair radio;
    QVERIFY(radio.isValid());
    if (QStandardPaths::findExecutable(QStringLiteral("unshare")).isEmpty())
        QFAIL("unshare (util-linux) is needed to give a console a lock directory of its own");
    // The console in a mount namespace of its own, where /run/lock (and /var/lock, a link to it)
    // is a read-only file system: Qt's serial port then puts its lock file where no other
    // program looks.
    Helper console({QStringLiteral("--user"), QStringLiteral("--map-root-user"),
                    QStringLiteral("--mount"), QStringLiteral("sh"), QStringLiteral("-c"),
                    QStringLiteral("mount -t tmpfs -o ro none /run/lock && exec \"$0\" "
                                   "--open-and-tell-notice \"$1\" || echo cannot mount"),
                    QCoreApplication::applicationFilePath(), radio.slavePath()},
                   QStringLiteral("unshare"));
    if (console.answer() == QLatin1String("cannot mount"))
        QSKIP("this machine does not let a test mount in a namespace of its own");
    QVERIFY2(console.answer().startsWith(QStringLiteral("COM1 (%1): the lock directory /var/lock "
                                                        "cannot be written by this user")
                                             .arg(radio.slavePath())),
             qPrintable(console.answer()));
    QVERIFY2(console.answer().contains(QLatin1String("still locked against them with flock")),
             qPrintable(console.answer()));
    QVERIFY(!flockIsFree(radio.slavePath())); // and so it is
    // Where the lock directory can be written, nothing is said.
    console.end();
    MSComm comm(portTableWith(1, radio.slavePath()));
    QCOMPARE(openAs(comm), QStringLiteral("open"));
    QCOMPARE(comm.openNotice(), QString());
}

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    if (argc == 4 && std::strcmp(argv[1], "--hold") == 0)
        return hold(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "--open-as-nobody") == 0)
        return openAsNobody(argv[2]);
    if (argc == 3 && std::strcmp(argv[1], "--open-and-tell-notice") == 0)
        return openAndTellNotice(argv[2]);
    TstPortLock test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_port_lock.moc"
