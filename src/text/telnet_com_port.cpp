// The com-port option's messages: what the client sends to set the remote line, what the server
// answers, and the comm events its notifications become.

#include "text/telnet_codec.h"

#include "base/comm_event.h"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace comport {

using telnet::encodeSubnegotiation;
using telnet::kComPort;

namespace {

QByteArray message(std::uint8_t code, QByteArrayView value) {
    QByteArray payload(1, char(code));
    payload += value;
    return encodeSubnegotiation(kComPort, payload);
}

QByteArray oneByte(Command command, std::uint8_t value) {
    const char byte = char(value);
    return clientMessage(command, QByteArrayView(&byte, 1));
}

// How many value bytes each command carries; -1: any number (a signature).
qsizetype valueLength(Command command) {
    switch (command) {
    case Command::Signature:
        return -1;
    case Command::SetBaudRate:
        return 4;
    case Command::FlowControlSuspend:
    case Command::FlowControlResume:
        return 0;
    default:
        return 1;
    }
}

} // namespace

QByteArray clientMessage(Command command, QByteArrayView value) {
    return message(std::uint8_t(command), value);
}

QByteArray serverMessage(Command command, QByteArrayView value) {
    return message(std::uint8_t(std::uint8_t(command) + kServerOffset), value);
}

QByteArray setBaudRate(std::uint32_t baud) {
    const char bytes[] = {char(baud >> 24), char(baud >> 16), char(baud >> 8), char(baud)};
    return clientMessage(Command::SetBaudRate, QByteArrayView(bytes, sizeof bytes));
}

QByteArray setDataSize(std::uint8_t bits) {
    return oneByte(Command::SetDataSize, bits);
}

QByteArray setParity(Parity parity) {
    return oneByte(Command::SetParity, std::uint8_t(parity));
}

QByteArray setStopSize(StopSize stop) {
    return oneByte(Command::SetStopSize, std::uint8_t(stop));
}

QByteArray setControl(Control control) {
    return oneByte(Command::SetControl, std::uint8_t(control));
}

QByteArray setLineStateMask(std::uint8_t mask) {
    return oneByte(Command::SetLineStateMask, mask);
}

QByteArray setModemStateMask(std::uint8_t mask) {
    return oneByte(Command::SetModemStateMask, mask);
}

QByteArray purgeData(Purge purge) {
    return oneByte(Command::PurgeData, std::uint8_t(purge));
}

QByteArray flowControlSuspend() {
    return clientMessage(Command::FlowControlSuspend, {});
}

QByteArray flowControlResume() {
    return clientMessage(Command::FlowControlResume, {});
}

Parity parityFor(LineSettings::Parity parity) {
    switch (parity) {
    case LineSettings::Parity::None:
        return Parity::None;
    case LineSettings::Parity::Odd:
        return Parity::Odd;
    case LineSettings::Parity::Even:
        return Parity::Even;
    case LineSettings::Parity::Mark:
        return Parity::Mark;
    case LineSettings::Parity::Space:
        return Parity::Space;
    }
    return Parity::None;
}

StopSize stopSizeFor(LineSettings::StopBits stop) {
    switch (stop) {
    case LineSettings::StopBits::One:
        return StopSize::One;
    case LineSettings::StopBits::Two:
        return StopSize::Two;
    case LineSettings::StopBits::OneAndHalf:
        return StopSize::OneAndHalf;
    }
    return StopSize::One;
}

QByteArray lineSettingsMessages(const LineSettings &settings) {
    return setBaudRate(std::uint32_t(settings.baud)) +
           setDataSize(std::uint8_t(settings.dataBits)) + setParity(parityFor(settings.parity)) +
           setStopSize(stopSizeFor(settings.stopBits));
}

std::optional<std::uint32_t> Message::number() const {
    const qsizetype length = valueLength(command);
    if (length <= 0 || value.size() != length)
        return std::nullopt;
    std::uint32_t n = 0;
    for (const char byte : value)
        n = (n << 8) | std::uint8_t(byte);
    return n;
}

std::optional<Message> parseMessage(const TelnetEvent &event) {
    if (event.kind != TelnetEvent::Kind::Subnegotiation || event.option != kComPort ||
        !event.intact || event.payload.isEmpty())
        return std::nullopt;
    std::uint8_t code = std::uint8_t(event.payload[0]);
    Message message;
    if (code >= kServerOffset) {
        message.fromServer = true;
        code -= kServerOffset;
    }
    if (code > std::uint8_t(Command::PurgeData))
        return std::nullopt;
    message.command = Command(code);
    message.value = event.payload.mid(1);
    const qsizetype length = valueLength(message.command);
    if (length >= 0 && message.value.size() != length)
        return std::nullopt;
    return message;
}

std::vector<std::int16_t> commEventsFrom(ModemState now, std::optional<ModemState> before) {
    const std::uint8_t changed = before ? std::uint8_t(now.bits ^ before->bits) : 0;
    struct Line {
        std::int16_t code;
        std::uint8_t state;
        std::uint8_t delta;
    };
    static constexpr Line kLines[] = {{comEvCTS, kModemCts, kModemDeltaCts},
                                      {comEvDSR, kModemDsr, kModemDeltaDsr},
                                      {comEvCD, kModemCd, kModemDeltaCd},
                                      {comEvRing, kModemRi, kModemRingEnded}};
    std::vector<std::int16_t> events;
    for (const Line &line : kLines) {
        if ((now.bits & line.delta) != 0 || (changed & line.state) != 0)
            events.push_back(line.code);
    }
    return events;
}

std::vector<std::int16_t> commEventsFrom(LineState state) {
    struct Fault {
        std::int16_t code;
        std::uint8_t bit;
    };
    static constexpr Fault kFaults[] = {{comEventBreak, kLineBreak},
                                        {comEventFrame, kLineFramingError},
                                        {comEventOverrun, kLineOverrun},
                                        {comEventRxParity, kLineParityError}};
    std::vector<std::int16_t> events;
    for (const Fault &fault : kFaults) {
        if ((state.bits & fault.bit) != 0)
            events.push_back(fault.code);
    }
    return events;
}

} // namespace comport

} // namespace korvane
