#pragma once
// A real pseudo-terminal pair for tests: the console opens the slave end through the port table
// (KORVANE_PORTS), and the test plays the radio on the master end.

#include <QByteArray>
#include <QString>
#include <functional>
#include <map>

namespace korvane::test {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // The radio's side.
    void write(const QByteArray &bytes);
    // Everything the console sent within `msecs` (waits until at least `atLeast` bytes came or
    // the time is up).
    QByteArray read(int msecs, int atLeast = 1);
    // Hang up: close the master, as a pulled USB adapter would vanish.
    void hangUp();

private:
    int m_master = -1;
    int m_slaveKeep = -1; // keeps the slave alive until the console opens it
    QString m_slavePath;
};

// Points KORVANE_PORTS at the given table ("3=/dev/pts/7 5=...") for the life of the object: the
// whole console's table.
class PortsEnvironment {
public:
    explicit PortsEnvironment(const QString &table);
    // The table as bytes: a device named in bytes that are not UTF-8 keeps them.
    explicit PortsEnvironment(const QByteArray &table);
    ~PortsEnvironment();

private:
    QByteArray m_old;
    bool m_hadOld = false;
};

// The table a serial control made by a test itself looks ports up in: `device` as COM`port`.
std::function<std::map<int, QString>()> portTableWith(int port, const QString &device);

} // namespace korvane::test
