#include "device/line_setup.h"

#include <QSerialPort>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace korvane {

namespace {

constexpr unsigned int kPtySlaveMajorFirst = 136; // Unix98 pseudo-terminal slaves
constexpr unsigned int kPtySlaveMajorLast = 143;
constexpr unsigned int kLegacyPtySlaveMajor = 3;

QSerialPort::Parity qtParity(LineSettings::Parity parity) {
    switch (parity) {
    case LineSettings::Parity::Even:
        return QSerialPort::EvenParity;
    case LineSettings::Parity::Odd:
        return QSerialPort::OddParity;
    case LineSettings::Parity::Mark:
        return QSerialPort::MarkParity;
    case LineSettings::Parity::Space:
        return QSerialPort::SpaceParity;
    case LineSettings::Parity::None:
        break;
    }
    return QSerialPort::NoParity;
}

QSerialPort::StopBits qtStopBits(LineSettings::StopBits stopBits) {
    switch (stopBits) {
    case LineSettings::StopBits::OneAndHalf:
        return QSerialPort::OneAndHalfStop;
    case LineSettings::StopBits::Two:
        return QSerialPort::TwoStop;
    case LineSettings::StopBits::One:
        break;
    }
    return QSerialPort::OneStop;
}

} // namespace

bool isPseudoTerminal(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode))
        return false;
    const unsigned int deviceMajor = major(info.st_rdev);
    return (deviceMajor >= kPtySlaveMajorFirst && deviceMajor <= kPtySlaveMajorLast) ||
           deviceMajor == kLegacyPtySlaveMajor;
}

void applyLine(QSerialPort &port, const LineSettings &line, int handshaking, const QString &where) {
    const QString refused = refusedSettings(line, handshaking);
    if (!refused.isEmpty())
        throw settingsRefused(where, refused,
                              QStringLiteral("the operating system cannot give it"));
    const bool framingMatters = !isPseudoTerminal(port.handle());
    const auto check = [&](bool ok, const QString &what) {
        if (!ok && framingMatters)
            throw settingsRefused(where, what, port.errorString());
    };
    check(port.setBaudRate(line.baud), QStringLiteral("%1 baud").arg(line.baud));
    check(port.setDataBits(static_cast<QSerialPort::DataBits>(line.dataBits)),
          QStringLiteral("%1 data bits").arg(line.dataBits));
    check(port.setParity(qtParity(line.parity)), QStringLiteral("the parity"));
    check(port.setStopBits(qtStopBits(line.stopBits)), line.stopBits == LineSettings::StopBits::Two
                                                           ? QStringLiteral("2 stop bits")
                                                           : QStringLiteral("1 stop bit"));
    QSerialPort::FlowControl flow = QSerialPort::NoFlowControl;
    if (handshaking == 1)
        flow = QSerialPort::SoftwareControl;
    else if (handshaking == 2)
        flow = QSerialPort::HardwareControl;
    check(port.setFlowControl(flow), QStringLiteral("handshaking %1").arg(handshaking));
}

} // namespace korvane
