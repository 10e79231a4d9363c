#include "text/telnet_codec.h"

#include "base/comm_event.h"

#include <algorithm>
#include <cstring>

namespace korvane {

namespace telnet {

QByteArray encodeData(QByteArrayView data, bool binary) {
    QByteArray out;
    out.reserve(data.size() + data.size() / 16 + 2);
    for (qsizetype i = 0; i < data.size(); ++i) {
        const auto byte = static_cast<std::uint8_t>(data[i]);
        out += char(byte);
        if (byte == kIac)
            out += char(kIac);
        else if (!binary && byte == '\r' && (i + 1 == data.size() || data[i + 1] != '\n'))
            out += '\0';
    }
    return out;
}

QByteArray encodeCommand(std::uint8_t command) {
    const char bytes[] = {char(kIac), char(command)};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray encodeOption(std::uint8_t verb, std::uint8_t option) {
    const char bytes[] = {char(kIac), char(verb), char(option)};
    return QByteArray(bytes, sizeof bytes);
}

QByteArray encodeSubnegotiation(std::uint8_t option, QByteArrayView payload) {
    const char start[] = {char(kIac), char(kSb), char(option)};
    QByteArray out(start, sizeof start);
    out += encodeData(payload, true);
    out += char(kIac);
    out += char(kSe);
    return out;
}

} // namespace telnet

using namespace telnet;

void TelnetDecoder::decode(QByteArrayView bytes, QByteArray &data, const EventHandler &onEvent) {
    const char *p = bytes.data();
    const char *const end = p + bytes.size();
    while (p < end) {
        const auto byte = static_cast<std::uint8_t>(*p);
        switch (m_state) {
        case State::Data: {
            if (byte == kIac) {
                m_state = State::Iac;
                m_afterCr = false;
                ++p;
                break;
            }
            if (!m_binary && m_afterCr && byte == 0) { // text mode: CR NUL is a bare CR
                m_afterCr = false;
                ++p;
                break;
            }
            // The run of plain data up to the next IAC goes in one piece; in text mode a CR ends
            // the run, as the byte after it must be looked at.
            const char *stop = static_cast<const char *>(std::memchr(p, char(kIac), end - p));
            if (!stop)
                stop = end;
            if (!m_binary) {
                if (const void *cr = std::memchr(p, '\r', stop - p))
                    stop = static_cast<const char *>(cr) + 1;
            }
            data.append(p, stop - p);
            m_afterCr = !m_binary && stop[-1] == '\r';
            p = stop;
            break;
        }
        case State::Iac:
            ++p;
            if (byte == kIac) {
                data += char(kIac);
                m_state = State::Data;
            } else {
                command(byte, onEvent);
            }
            break;
        case State::Verb: {
            ++p;
            m_state = State::Data;
            TelnetEvent event;
            event.kind = TelnetEvent::Kind::Option;
            event.code = m_verb;
            event.option = byte;
            onEvent(event);
            break;
        }
        case State::SbOption:
            ++p;
            m_sub = TelnetEvent{};
            m_sub.kind = TelnetEvent::Kind::Subnegotiation;
            m_sub.code = kSb;
            m_sub.option = byte;
            m_state = State::Sb;
            break;
        case State::Sb: {
            const char *stop = static_cast<const char *>(std::memchr(p, char(kIac), end - p));
            if (!stop)
                stop = end;
            const qsizetype room = kMaxSubnegotiation - m_sub.payload.size();
            const qsizetype run = stop - p;
            m_sub.payload.append(p, std::min(run, room));
            if (run > room)
                m_sub.intact = false;
            p = stop;
            if (p < end) {
                m_state = State::SbIac;
                ++p;
            }
            break;
        }
        case State::SbIac:
            ++p;
            if (byte == kIac) {
                if (m_sub.payload.size() < kMaxSubnegotiation)
                    m_sub.payload += char(kIac);
                else
                    m_sub.intact = false;
                m_state = State::Sb;
            } else if (byte == kSe) {
                m_state = State::Data;
                onEvent(m_sub);
            } else {
                // Another command inside a subnegotiation: the peer broke it off. What came so
                // far is handed on as cut short, and the command is taken as any other.
                m_sub.intact = false;
                onEvent(m_sub);
                command(byte, onEvent);
            }
            break;
        }
    }
}

void TelnetDecoder::command(std::uint8_t byte, const EventHandler &onEvent) {
    switch (byte) {
    case kWill:
    case kWont:
    case kDo:
    case kDont:
        m_verb = byte;
        m_state = State::Verb;
        return;
    case kSb:
        m_state = State::SbOption;
        return;
    default: {
        m_state = State::Data;
        TelnetEvent event;
        event.code = byte;
        onEvent(event);
        return;
    }
    }
}

TelnetDecoder::Decoded TelnetDecoder::decode(QByteArrayView bytes) {
    Decoded out;
    decode(bytes, out.data, [&out](const TelnetEvent &event) {
        out.events.append(event);
        out.eventAt.append(out.data.size());
    });
    return out;
}

// -- negotiation ----------------------------------------------------------------------------

TelnetNegotiation::Policy TelnetNegotiation::clientPolicy() {
    Policy policy;
    policy.local[kComPort] = true;
    policy.local[kBinary] = true;
    policy.local[kSuppressGoAhead] = true;
    policy.remote[kBinary] = true;
    policy.remote[kSuppressGoAhead] = true;
    return policy;
}

TelnetNegotiation::Policy TelnetNegotiation::serverPolicy() {
    Policy policy;
    policy.local[kBinary] = true;
    policy.local[kSuppressGoAhead] = true;
    policy.remote[kBinary] = true;
    policy.remote[kSuppressGoAhead] = true;
    policy.remote[kComPort] = true;
    return policy;
}

TelnetNegotiation::TelnetNegotiation(const Policy &policy) : m_policy(policy) {}

QByteArray TelnetNegotiation::start() {
    QByteArray out;
    for (int option = 0; option < 256; ++option) {
        if (m_policy.local[option])
            out += request(Side::Local, std::uint8_t(option), true);
    }
    for (int option = 0; option < 256; ++option) {
        if (m_policy.remote[option])
            out += request(Side::Remote, std::uint8_t(option), true);
    }
    return out;
}

QByteArray TelnetNegotiation::receive(std::uint8_t verb, std::uint8_t option) {
    switch (verb) {
    case kWill:
        return answer(Side::Remote, option, true);
    case kWont:
        return answer(Side::Remote, option, false);
    case kDo:
        return answer(Side::Local, option, true);
    case kDont:
        return answer(Side::Local, option, false);
    default:
        return {};
    }
}

// The Q method's table for an offer (`enable`) or a refusal from the peer about one side.
QByteArray TelnetNegotiation::answer(Side side, std::uint8_t option, bool enable) {
    Entry &entry = side == Side::Local ? m_local[option] : m_remote[option];
    const bool accept = side == Side::Local ? m_policy.local[option] : m_policy.remote[option];
    const std::uint8_t yes = side == Side::Local ? kWill : kDo;
    const std::uint8_t no = side == Side::Local ? kWont : kDont;
    if (enable) {
        switch (entry.state) {
        case State::No:
            if (!accept) {
                if (m_read != 0 && entry.refusedIn == m_read)
                    return {};
                entry.refusedIn = m_read;
                return encodeOption(no, option);
            }
            entry.state = State::Yes;
            return encodeOption(yes, option);
        case State::Yes:
            return {};
        case State::WantNo:
            // The peer answered our refusal with an offer, against the rules; take it as the
            // peer's last word rather than argue.
            entry.state = entry.opposite ? State::Yes : State::No;
            entry.opposite = false;
            return {};
        case State::WantYes:
            if (!entry.opposite) {
                entry.state = State::Yes;
                return {};
            }
            entry.state = State::WantNo;
            entry.opposite = false;
            return encodeOption(no, option);
        }
    } else {
        switch (entry.state) {
        case State::No:
            return {};
        case State::Yes:
            entry.state = State::No;
            return encodeOption(no, option);
        case State::WantNo:
            if (!entry.opposite) {
                entry.state = State::No;
                return {};
            }
            entry.state = State::WantYes;
            entry.opposite = false;
            return encodeOption(yes, option);
        case State::WantYes:
            entry.state = State::No;
            entry.opposite = false;
            return {};
        }
    }
    return {};
}

void TelnetNegotiation::beginRead() {
    ++m_read;
    if (m_read == 0) { // wrapped: no entry may look refused in this read
        for (Entry &entry : m_local)
            entry.refusedIn = 0;
        for (Entry &entry : m_remote)
            entry.refusedIn = 0;
        m_read = 1;
    }
}

QByteArray TelnetNegotiation::request(Side side, std::uint8_t option, bool enable) {
    Entry &entry = side == Side::Local ? m_local[option] : m_remote[option];
    const std::uint8_t verb =
        side == Side::Local ? (enable ? kWill : kWont) : (enable ? kDo : kDont);
    const State want = enable ? State::WantYes : State::WantNo;
    const State unwanted = enable ? State::WantNo : State::WantYes;
    const State done = enable ? State::Yes : State::No;
    if (entry.state == done)
        return {};
    if (entry.state == want) {
        entry.opposite = false; // a queued change of mind is withdrawn
        return {};
    }
    if (entry.state == unwanted) {
        entry.opposite = true; // asked again once the pending answer is in
        return {};
    }
    entry.state = want;
    return encodeOption(verb, option);
}

bool TelnetNegotiation::enabled(Side side, std::uint8_t option) const {
    return (side == Side::Local ? m_local[option] : m_remote[option]).state == State::Yes;
}

bool TelnetNegotiation::pending(Side side, std::uint8_t option) const {
    const State state = (side == Side::Local ? m_local[option] : m_remote[option]).state;
    return state == State::WantYes || state == State::WantNo;
}

} // namespace korvane
