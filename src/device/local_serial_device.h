#pragma once
// A serial device of this machine (a UART, a USB adapter, a pseudo-terminal), held with
// QSerialPort.
//
// QSerialPort takes the driver's bytes into its own buffer only when its notifier fires inside
// the event pump, so every count here adds what still sits in the driver (FIONREAD, TIOCOUTQ),
// and every read first pulls the driver's bytes in without waiting. Qt would likewise hand
// written bytes to the driver only from the pump: a write pushes them at once.
//
// A device that goes away is noticed at the first read error the device confirms (Qt repeats
// that error in a tight loop for as long as the device stays open), at a hang-up seen by poll, or
// at a failing modem-line query: the device is closed at once and lost is emitted once.

#include "device/line_watch.h"
#include "device/port_lock.h"
#include "device/serial_device.h"

#include <QSerialPort>

namespace korvane {

class LocalSerialDevice final : public SerialDevice {
    Q_OBJECT
public:
    // `port` is the port number messages name, `path` the device the port table gives it.
    LocalSerialDevice(int port, QString path, QObject *parent = nullptr);
    ~LocalSerialDevice() override;

    QString name() const override;
    void open(const LineSettings &settings, int handshaking) override;
    void setLine(const LineSettings &settings, int handshaking) override;
    void close() override;
    bool isOpen() const override { return m_port.isOpen(); }
    qint64 bytesWaiting() const override;
    qint64 bytesToSend() const override;
    QByteArray read(qint64 maxBytes) override;
    void write(const QByteArray &bytes) override;
    void discardInput() override;
    void discardOutput() override;
    bool waitForInput(std::int64_t deadline) override;
    void waitForOutput(std::int64_t deadline) override;
    QString openNotice() const override { return m_openNotice; }

private:
    int fd() const { return m_port.isOpen() ? m_port.handle() : -1; }
    qint64 driverInCount() const;
    qint64 driverOutCount() const;
    void pullFromDriver();
    bool pushToDriver();
    short pollDevice(short events, std::int64_t deadline);
    void onPortError(QSerialPort::SerialPortError error);
    bool deviceGone() const;
    void lose();

    int m_number;
    QString m_path;
    QSerialPort m_port;
    LineWatch m_lineWatch;
    PortLock m_lock;
    int m_staleReadErrors = 0; // read errors in a row that the device did not confirm
    QString m_openNotice;
};

} // namespace korvane
