#pragma once
// MSComm1: the serial communications control, the one door between Korvane and the serial port.
// It keeps the property-style interface the rest of the program is written against (CommPort,
// Settings, PortOpen, Output, Input, InBufferCount, OnComm...) and carries it out on the device
// that the port table names for the port number, through the device seam (serial_device.h). The
// table is the one in force when it is looked at: the control asks its source on every look-up.
//
// Every failure is a RunTimeError with a number from the table in run_time_error.h and a
// description that names the device and the operating system's reason.
//
// Opening starts with an empty receive buffer: bytes the device held from before the port was ours
// are dropped. A pseudo-terminal has no framing, so it opens whatever data bits and parity are
// asked for; a real line refuses (8015) what its driver cannot give.
//
// Answers while the port is closed: CommPort, Settings and the other line properties may be read
// and written; OutBufferCount reads 0; InBufferCount reads 0 and Input empty text, except for
// what had come in when a device went away (writing InBufferCount 0 discards that); setting
// PortOpen false does nothing; Output raises 8012, or 8017 when the device went away and the
// port has not been opened or closed since.
//
// OnComm is raised only from the event pump, never from inside one of this control's calls:
//   2     characters wait and RThreshold is 1 (one event per arrival, none while RThreshold is 0;
//         setting RThreshold back to 1 while characters wait raises one)
//   3-6   CTS, DSR, CD or RI changed
//   1001, 1004, 1006, 1008, 1009: break, framing error, overrun, receive-buffer overflow, parity
//         error, where the driver counts them
// A device that goes away while open is noticed once: the control stops reading, closes the
// device and emits DeviceLost with error 8017. What it had sent until then is not lost: a last
// receive event (2) comes before DeviceLost, and Input still reads it.
//
// What crosses the line and what happens to the port is also told as it happens, for whoever
// keeps a record of the session: BytesSent once the device has taken the bytes of an Output,
// BytesReceived for every Input that read something (what a lost device left included),
// PortOpened and PortClosed as the port opens and the program closes it. A loss is DeviceLost.

#include "base/run_time_error.h"
#include "text/port_table.h"

#include <QObject>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

namespace korvane {

class MSComm : public QObject {
    Q_OBJECT
public:
    // `ports` gives the port table in force (the program's: KORVANE_PORTS and --port).
    explicit MSComm(PortTableSource ports, QObject *parent = nullptr);
    ~MSComm() override;

    std::int16_t CommPort() const;
    void setCommPort(std::int16_t port); // 380 below 1; 8005 while open

    QString Settings() const;
    void setSettings(const QString &settings); // 380 when the text does not parse

    int Handshaking() const;
    void setHandshaking(int mode); // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both
    int InputMode() const;
    void setInputMode(int mode); // 0 text, 1 binary
    std::int16_t RThreshold() const;
    void setRThreshold(std::int16_t threshold);
    std::int16_t InBufferSize() const;
    void setInBufferSize(std::int16_t size);
    std::int16_t InputLen() const;
    void setInputLen(std::int16_t length); // 0: Input reads everything that waits

    // Characters waiting to be read: the driver's and those already taken into the control.
    int InBufferCount() const;
    void setInBufferCount(int count); // 0 discards everything that waits
    // Characters not yet on the wire: the control's write buffer and the driver's output queue.
    int OutBufferCount() const;
    void setOutBufferCount(int count); // 0 discards everything not yet sent

    bool PortOpen() const;
    void setPortOpen(bool open); // true opens with the current CommPort and Settings

    // Hands the text to the operating system at once, one byte per character. Text with a
    // character outside 7-bit ASCII raises 8018 and nothing is sent.
    void setOutput(const QString &text);
    // Everything that waits, one character per byte, as Latin-1: up to InputLen characters, or
    // with InputLen 0 up to InBufferSize, all the receive buffer holds. However fast a peer sends
    // (a network port is not held back by a tty's buffer), one read takes a bounded amount.
    QString Input();

    std::int16_t CommEvent() const;

    // Blocks, dispatching no events and raising no OnComm, until characters wait or `seconds`
    // have passed. Returns whether characters wait. Used by the receive burst's quiet wait.
    bool waitForInput(double seconds);
    // Blocks, dispatching no events, until the output has drained or `seconds` have passed.
    void waitForOutput(double seconds);

    // The device the current CommPort names ("/dev/ttyUSB0"), or empty.
    QString deviceName() const;
    // What the operator should know about how the open port was taken; empty when nothing.
    QString openNotice() const;

    // What runs while an open waits on a network port (the look-up, the connection, the server's
    // first words, up to 3 s): everything pending for the window except the operator's input, so
    // that it repaints and a close or a signal is acted on. Without it such an open blocks. A
    // second open asked for meanwhile is refused (8005).
    void setOpenPump(std::function<void()> pump);

    // Test hook: raise OnComm with this code from the event pump, as the driver would.
    void raiseCommEvent(std::int16_t code);

Q_SIGNALS:
    void OnComm();
    void DeviceLost(int number, const QString &description);
    void BytesSent(const QByteArray &bytes);
    void BytesReceived(const QByteArray &bytes);
    // `device` is the path the port table names, `settings` the settings text in force.
    void PortOpened(int port, const QString &device, const QString &settings);
    void PortClosed(int port);

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace korvane
