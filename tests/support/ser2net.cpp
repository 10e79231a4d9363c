#include "support/ser2net.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QStandardPaths>
#include <unistd.h>

namespace korvane::test {

QString Ser2Net::program() {
    // A user's search path often leaves out the sbin folders where Debian puts it.
    QString found = QStandardPaths::findExecutable(QStringLiteral("ser2net"));
    if (found.isEmpty())
        found = QStandardPaths::findExecutable(QStringLiteral("ser2net"),
                                               {QStringLiteral("/usr/sbin"),
                                                QStringLiteral("/usr/local/sbin"),
                                                QStringLiteral("/sbin")});
    return found;
}

const char *Ser2Net::notInstalled() {
    return "ser2net is not installed (Debian: apt-get install ser2net; scripts/install-deps.sh)";
}

Ser2Net::Ser2Net(const QString &device, Accepter accepter, const QString &lineSettings)
    : m_accepter(accepter) {
    if (program().isEmpty()) {
        m_error = QString::fromLatin1(notInstalled());
        return;
    }
    static const QString kUnsafe = QStringLiteral(" \t\n,'\"#");
    for (const QChar c : device + lineSettings) {
        if (kUnsafe.contains(c)) {
            m_error = QStringLiteral("cannot name %1 in a ser2net configuration").arg(device);
            return;
        }
    }
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return;
    }

    // Port 0: the kernel picks a free one. "local": a pseudo-terminal has no carrier, and without
    // it ser2net passes no byte at all.
    const QString config = m_dir.filePath(QStringLiteral("ser2net.yaml"));
    QFile file(config);
    if (!file.open(QIODevice::WriteOnly)) {
        m_error = QStringLiteral("cannot write %1").arg(config);
        return;
    }
    file.write(QStringLiteral("%YAML 1.1\n"
                              "---\n"
                              "connection: &radio\n"
                              "    accepter: %1tcp,127.0.0.1,0\n"
                              "    connector: serialdev,%2,%3,local\n")
                   .arg(QLatin1String(accepter == Accepter::Rfc2217 ? "telnet(rfc2217)," : ""),
                        device, lineSettings)
                   .toUtf8());
    file.close();

    // -n: in the foreground; -d: its log to standard output rather than syslog. A file rather
    // than a pipe, which would stall ser2net once full if nobody read it.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("ser2net.log")));
    m_process.start(program(),
                    {QStringLiteral("-n"), QStringLiteral("-d"), QStringLiteral("-c"), config});
    if (!m_process.waitForStarted(5000)) {
        m_error = QStringLiteral("ser2net did not start: ") + m_process.errorString();
        return;
    }
    for (int waited = 0; waited < 5000; waited += 5) {
        if (m_process.state() != QProcess::Running || m_process.waitForFinished(5)) {
            m_error = QStringLiteral("ser2net ended at once: ") + QString::fromLocal8Bit(output());
            return;
        }
        m_port = listeningPort();
        if (m_port != 0)
            return;
    }
    m_error =
        QStringLiteral("ser2net did not listen within 5 s: ") + QString::fromLocal8Bit(output());
    stop();
}

Ser2Net::~Ser2Net() {
    stop();
}

QString Ser2Net::url() const {
    return QStringLiteral("%1://127.0.0.1:%2")
        .arg(QLatin1String(m_accepter == Accepter::Rfc2217 ? "rfc2217" : "tcp"))
        .arg(m_port);
}

QByteArray Ser2Net::output() {
    QFile file(m_dir.filePath(QStringLiteral("ser2net.log")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void Ser2Net::stop() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000))
        kill();
}

void Ser2Net::kill() {
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.kill();
    m_process.waitForFinished(3000);
}

// The port of the listening TCP socket among the process's open files: its socket inodes,
// looked up in the kernel's table of IPv4 sockets.
quint16 Ser2Net::listeningPort() const {
    const QString fds = QStringLiteral("/proc/%1/fd").arg(m_process.processId());
    QSet<QByteArray> inodes;
    const QStringList entries =
        QDir(fds).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        char target[256];
        const ssize_t n = ::readlink(QFile::encodeName(fds + QLatin1Char('/') + entry).constData(),
                                     target, sizeof target - 1);
        const QByteArray link(target, n > 0 ? qsizetype(n) : 0);
        if (link.startsWith("socket:[") && link.endsWith(']'))
            inodes.insert(link.mid(8).chopped(1));
    }
    if (inodes.isEmpty())
        return 0;
    QFile table(QStringLiteral("/proc/net/tcp"));
    if (!table.open(QIODevice::ReadOnly))
        return 0;
    // "sl local_address rem_address st tx:rx tr:when retrnsmt uid timeout inode ..."
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 10 || fields[3] != "0A" || !inodes.contains(fields[9]))
            continue;
        const QByteArray local = fields[1];
        return quint16(local.mid(local.indexOf(':') + 1).toUInt(nullptr, 16));
    }
    return 0;
}

} // namespace korvane::test
