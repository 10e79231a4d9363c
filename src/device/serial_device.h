#pragma once
// The device seam: what the serial control needs of one line, whatever carries it. The control
// (MSComm1) keeps the properties, the comm events and the rules the program relies on; a device
// only moves bytes and tells what happens on its line. A local serial port is the first kind of
// device; a port reached over the network is another.
//
// Every operation runs on the user-interface thread. A device never dispatches events from inside
// its own calls, and its waits block without dispatching any. What it reports comes as signals:
// readyRead when bytes arrive, lineEvent with a comm event code when a modem line changes or the
// line reports an error, and lost, once, when the line goes away while open. By the time lost is
// emitted the device is closed; `last` holds what had arrived and was not yet read, so that
// nothing the radio sent is lost with the line.
//
// Failures are RunTimeErrors whose descriptions name the port and its address ("COM3
// (/dev/pts/7)") and the reason.

#include "text/settings_text.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>

namespace korvane {

// The most a device holds of what arrived and was not yet read. Past it, a device stops taking
// bytes from the operating system, which then holds the sender back (a pseudo-terminal's writer
// waits, TCP closes its window), so that a peer sending faster than the console reads cannot grow
// the program's memory. Far above what a serial line brings between two receive events.
inline constexpr qint64 kDeviceReadBuffer = 64 * 1024;

class SerialDevice : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SerialDevice() override = default;

    // "COM3 (/dev/pts/7)": how messages name this line.
    virtual QString name() const = 0;

    // Opens the line and puts the settings on it; throws what went wrong.
    virtual void open(const LineSettings &settings, int handshaking) = 0;
    // Puts new settings on the open line.
    virtual void setLine(const LineSettings &settings, int handshaking) = 0;
    // Releases the line; what waits in either direction is dropped.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Bytes received and not yet read, wherever they wait.
    virtual qint64 bytesWaiting() const = 0;
    // Bytes handed over and not yet on the wire, wherever they wait.
    virtual qint64 bytesToSend() const = 0;
    // Up to `maxBytes` of what waits now (everything when `maxBytes` is not positive), without
    // waiting for more.
    virtual QByteArray read(qint64 maxBytes) = 0;
    // Hands the bytes on towards the wire at once. A line that goes away meanwhile is lost (and
    // the call returns); a refusal throws.
    virtual void write(const QByteArray &bytes) = 0;
    virtual void discardInput() = 0;
    virtual void discardOutput() = 0;

    // Blocks until bytes wait or the monotonic `deadline` (see wait_clock.h) passes; returns
    // whether bytes wait. Output still pending goes on meanwhile.
    virtual bool waitForInput(std::int64_t deadline) = 0;
    // Blocks until the output is on the wire or the deadline passes.
    virtual void waitForOutput(std::int64_t deadline) = 0;

    // What the operator should know about how the line was taken at the last open (a port held
    // less firmly than other programs expect); empty when nothing.
    virtual QString openNotice() const { return QString(); }

Q_SIGNALS:
    void readyRead();
    void lineEvent(std::int16_t code);
    void lost(const QString &description, const QByteArray &last);
};

} // namespace korvane
