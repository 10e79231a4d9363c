#pragma once
// Telnet as a serial device server speaks it, with its com-port option: the program reaches a
// radio behind such a server through one TCP connection that carries the radio's bytes and, in
// between, the commands that set the line. Everything here is pure: bytes in, bytes and events
// out, no socket in sight.
//
// On the wire, 0xFF (IAC) starts a command. IAC IAC is one data byte 0xFF; IAC WILL/WONT/DO/DONT
// <option> negotiates an option; IAC SB <option> ... IAC SE carries an option's message, with
// every 0xFF inside doubled; IAC and any other byte is a lone command (NOP, BRK, ...).
//
// Text mode and binary mode. Until the peer agrees to send binary (it said WILL BINARY and we
// said DO), it sends a bare carriage return as CR NUL, and the decoder gives back the CR alone;
// we do the same for what we send until the peer agreed to DO BINARY for us. The program asks for
// binary both ways at once, and ser2net offers it itself, so on a real session every byte of the
// radio's passes untouched. (ser2net never adds or removes a NUL after CR, binary or not: a
// session that stayed in text mode would lose a NUL the radio sent after a CR.)
//
// Negotiation follows the Q method: every option on each side is NO, YES, WANTNO or WANTYES,
// with one queued change of mind, so that an answer is never answered again and two ends that
// disagree cannot talk in circles. A request the program refuses leaves the option as it was, so
// a peer may ask the same again and again in one breath: within one read of the wire such a
// request is refused once (a peer by the Q method never asks again before it heard the answer).
//
// The com-port option: the client sends IAC SB COM-PORT-OPTION <command> <value> IAC SE, the
// server answers each setting with <command + 100> and the value it put in force, and reports
// modem lines and line errors with NOTIFY-MODEMSTATE and NOTIFY-LINESTATE. The values: baud as
// four bytes in network order; data bits 5 to 8; parity 1 none, 2 odd, 3 even, 4 mark, 5 space;
// stop bits 1 = one, 2 = two, 3 = one and a half; 0 asks for the value in force.

#include "text/settings_text.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace korvane {

namespace telnet {

// Command bytes, each after IAC.
inline constexpr std::uint8_t kSe = 240;  // end of subnegotiation
inline constexpr std::uint8_t kNop = 241; // no operation
inline constexpr std::uint8_t kDm = 242;  // data mark
inline constexpr std::uint8_t kBrk = 243; // break
inline constexpr std::uint8_t kIp = 244;  // interrupt process
inline constexpr std::uint8_t kAo = 245;  // abort output
inline constexpr std::uint8_t kAyt = 246; // are you there
inline constexpr std::uint8_t kEc = 247;  // erase character
inline constexpr std::uint8_t kEl = 248;  // erase line
inline constexpr std::uint8_t kGa = 249;  // go ahead
inline constexpr std::uint8_t kSb = 250;  // start of subnegotiation
inline constexpr std::uint8_t kWill = 251;
inline constexpr std::uint8_t kWont = 252;
inline constexpr std::uint8_t kDo = 253;
inline constexpr std::uint8_t kDont = 254;
inline constexpr std::uint8_t kIac = 255;

// Options.
inline constexpr std::uint8_t kBinary = 0;
inline constexpr std::uint8_t kEcho = 1;
inline constexpr std::uint8_t kSuppressGoAhead = 3;
inline constexpr std::uint8_t kComPort = 44;

// Data as it goes on the wire: every 0xFF doubled and, unless the peer agreed to receive binary,
// every CR not followed by LF sent as CR NUL.
QByteArray encodeData(QByteArrayView data, bool binary);
// IAC and the command (NOP, BRK, ...).
QByteArray encodeCommand(std::uint8_t command);
// IAC WILL/WONT/DO/DONT and the option.
QByteArray encodeOption(std::uint8_t verb, std::uint8_t option);
// IAC SB option payload IAC SE, with every 0xFF of the payload doubled.
QByteArray encodeSubnegotiation(std::uint8_t option, QByteArrayView payload);

} // namespace telnet

// One command taken from the stream.
struct TelnetEvent {
    enum class Kind : std::uint8_t {
        Command,        // IAC and a command byte: NOP, BRK, DM, GA, a stray SE, or one unknown
        Option,         // IAC WILL/WONT/DO/DONT option
        Subnegotiation, // IAC SB option ... IAC SE
    };
    Kind kind = Kind::Command;
    std::uint8_t code = 0;   // the byte after IAC: the command, the verb, or SB
    std::uint8_t option = 0; // for Option and Subnegotiation
    QByteArray payload;      // for Subnegotiation: its bytes, doubled 0xFF undone
    // False when the subnegotiation did not end with IAC SE (another command cut it short) or
    // outgrew kMaxSubnegotiation (what came past that was dropped).
    bool intact = true;

    friend bool operator==(const TelnetEvent &, const TelnetEvent &) = default;
};

// Takes the peer's byte stream apart, piece by piece as it arrives: a command or a doubled 0xFF
// cut between two reads decodes as if it had come whole.
class TelnetDecoder {
public:
    // No com-port message comes near this; a peer that never ends a subnegotiation must not
    // grow the program's memory without end.
    static constexpr qsizetype kMaxSubnegotiation = 1024;

    using EventHandler = std::function<void(const TelnetEvent &)>;

    // Whether the peer sends binary (it said WILL BINARY and it was agreed). In text mode a NUL
    // right after a CR is dropped.
    void setPeerBinary(bool on) { m_binary = on; }
    bool peerBinary() const { return m_binary; }

    // Decodes the next piece: its data are appended to `data`, and each command is handed to
    // `onEvent` as soon as it is complete, with `data` then holding exactly the data sent before
    // it. So a handler may switch binary mode before the bytes after the command are decoded.
    void decode(QByteArrayView bytes, QByteArray &data, const EventHandler &onEvent);

    // The same, for a caller that needs no such switch: data and events, each event with the
    // count of data bytes decoded before it in this call.
    struct Decoded {
        QByteArray data;
        QList<TelnetEvent> events;
        QList<qsizetype> eventAt;
    };
    Decoded decode(QByteArrayView bytes);

    // True while the stream so far ends inside a command or a subnegotiation.
    bool midCommand() const { return m_state != State::Data; }

private:
    enum class State : std::uint8_t { Data, Iac, Verb, SbOption, Sb, SbIac };
    void command(std::uint8_t byte, const EventHandler &onEvent);

    State m_state = State::Data;
    std::uint8_t m_verb = 0;
    bool m_binary = false;
    bool m_afterCr = false; // the last byte on the wire was a data CR (text mode only)
    TelnetEvent m_sub;
};

// Which options each end takes on, negotiated by the Q method. The program's side: we WILL
// COM-PORT-OPTION, BINARY and SUPPRESS-GO-AHEAD (we never send a go-ahead); we DO BINARY and
// SUPPRESS-GO-AHEAD; everything else (ECHO above all: an echo would hand the program its own
// commands as the radio's words) is refused.
class TelnetNegotiation {
public:
    enum class Side : std::uint8_t {
        Local, // what this end does: WILL / WONT from us, DO / DONT from the peer
        Remote // what the peer does: DO / DONT from us, WILL / WONT from the peer
    };
    struct Policy {
        std::array<bool, 256> local{};  // options we offer and accept for our side
        std::array<bool, 256> remote{}; // options we ask for and accept for the peer's side
    };
    static Policy clientPolicy();
    // What a serial device server takes on, for a test's server: it WILL BINARY and
    // SUPPRESS-GO-AHEAD, and asks the client to DO BINARY, SUPPRESS-GO-AHEAD and COM-PORT-OPTION.
    static Policy serverPolicy();

    explicit TelnetNegotiation(const Policy &policy = clientPolicy());

    // The requests this end sends when the connection opens: one for each option the policy
    // asks for.
    QByteArray start();
    // The answer to a WILL, WONT, DO or DONT from the peer; empty when none is due (an
    // acknowledgement of our own request is never answered, nor a request refused already in
    // the same read).
    QByteArray receive(std::uint8_t verb, std::uint8_t option);
    // What the peer sends next came in a new read of the wire: a request refused before is
    // answered again (the peer heard the refusal and asks anew). Until the first call every
    // request is answered.
    void beginRead();
    // Asks to turn an option on or off; empty when it is already so or already asked.
    QByteArray request(Side side, std::uint8_t option, bool enable);

    bool enabled(Side side, std::uint8_t option) const;
    // True while a request of ours waits for its answer.
    bool pending(Side side, std::uint8_t option) const;

private:
    enum class State : std::uint8_t { No, Yes, WantNo, WantYes };
    struct Entry {
        State state = State::No;
        bool opposite = false;       // a change of mind queued behind the pending request
        std::uint32_t refusedIn = 0; // the read in which the peer's request was last refused
    };
    QByteArray answer(Side side, std::uint8_t option, bool enable);

    Policy m_policy;
    std::array<Entry, 256> m_local{};
    std::array<Entry, 256> m_remote{};
    std::uint32_t m_read = 0; // counts reads from the first beginRead(); 0 before
};

// The com-port option's messages, client to server and back.
namespace comport {

enum class Command : std::uint8_t {
    Signature = 0,
    SetBaudRate = 1,
    SetDataSize = 2,
    SetParity = 3,
    SetStopSize = 4,
    SetControl = 5,
    NotifyLineState = 6,
    NotifyModemState = 7,
    FlowControlSuspend = 8,
    FlowControlResume = 9,
    SetLineStateMask = 10,
    SetModemStateMask = 11,
    PurgeData = 12,
};
// The server sends each command's code plus this.
inline constexpr std::uint8_t kServerOffset = 100;

enum class Parity : std::uint8_t { Request = 0, None = 1, Odd = 2, Even = 3, Mark = 4, Space = 5 };
enum class StopSize : std::uint8_t { Request = 0, One = 1, Two = 2, OneAndHalf = 3 };
enum class Control : std::uint8_t {
    FlowRequest = 0, // outbound (or both ways) flow control
    FlowNone = 1,
    FlowXonXoff = 2,
    FlowHardware = 3,
    BreakRequest = 4,
    BreakOn = 5,
    BreakOff = 6,
    DtrRequest = 7,
    DtrOn = 8,
    DtrOff = 9,
    RtsRequest = 10,
    RtsOn = 11,
    RtsOff = 12,
    InboundFlowRequest = 13,
    InboundFlowNone = 14,
    InboundFlowXonXoff = 15,
    InboundFlowHardware = 16,
    FlowDcd = 17,
    InboundFlowDtr = 18,
    FlowDsr = 19,
};
enum class Purge : std::uint8_t { Receive = 1, Transmit = 2, Both = 3 };

// NOTIFY-LINESTATE bits.
inline constexpr std::uint8_t kLineTimeout = 0x80;
inline constexpr std::uint8_t kLineShiftRegisterEmpty = 0x40;
inline constexpr std::uint8_t kLineHoldingRegisterEmpty = 0x20;
inline constexpr std::uint8_t kLineBreak = 0x10;
inline constexpr std::uint8_t kLineFramingError = 0x08;
inline constexpr std::uint8_t kLineParityError = 0x04;
inline constexpr std::uint8_t kLineOverrun = 0x02;
inline constexpr std::uint8_t kLineDataReady = 0x01;

// NOTIFY-MODEMSTATE bits: the lines' states and what changed since the last notification.
inline constexpr std::uint8_t kModemCd = 0x80;
inline constexpr std::uint8_t kModemRi = 0x40;
inline constexpr std::uint8_t kModemDsr = 0x20;
inline constexpr std::uint8_t kModemCts = 0x10;
inline constexpr std::uint8_t kModemDeltaCd = 0x08;
inline constexpr std::uint8_t kModemRingEnded = 0x04; // trailing edge of a ring
inline constexpr std::uint8_t kModemDeltaDsr = 0x02;
inline constexpr std::uint8_t kModemDeltaCts = 0x01;

// A client's message, whole on the wire (IAC SB COM-PORT-OPTION ... IAC SE).
QByteArray clientMessage(Command command, QByteArrayView value);
// A server's message: the command's code plus 100.
QByteArray serverMessage(Command command, QByteArrayView value);

QByteArray setBaudRate(std::uint32_t baud); // 0 asks for the baud in force
QByteArray setDataSize(std::uint8_t bits);  // 5 to 8; 0 asks
QByteArray setParity(Parity parity);
QByteArray setStopSize(StopSize stop);
QByteArray setControl(Control control);
QByteArray setLineStateMask(std::uint8_t mask);
QByteArray setModemStateMask(std::uint8_t mask);
QByteArray purgeData(Purge purge);
QByteArray flowControlSuspend();
QByteArray flowControlResume();

// The line settings as a server takes them: baud, data size, parity, stop size, in that order
// (some servers refuse a parity the data size in force cannot have).
QByteArray lineSettingsMessages(const LineSettings &settings);
Parity parityFor(LineSettings::Parity parity);
StopSize stopSizeFor(LineSettings::StopBits stop);

// A com-port message taken from a subnegotiation, either way.
struct Message {
    Command command = Command::Signature;
    bool fromServer = false; // the code was the command's plus 100
    QByteArray value;

    // The value as a number: the baud (four bytes) or a one-byte value. Nothing for a signature
    // or a suspend or resume, which carry none.
    std::optional<std::uint32_t> number() const;
};
// The message in a com-port subnegotiation; nothing for another option, a cut-short
// subnegotiation, an unknown code, or a value of the wrong length for its command.
std::optional<Message> parseMessage(const TelnetEvent &event);

struct ModemState {
    std::uint8_t bits = 0;
};
struct LineState {
    std::uint8_t bits = 0;
};

// The comm events a modem-state notification raises: 3 CTS changed, 4 DSR changed, 5 CD
// changed, 6 ring, in that order, each at most once. A line changed when the server says so
// (its delta bit) or when its state differs from the last notification (`before`): not every
// server sets the delta bits. Ring is raised by the trailing edge bit or a change of RI.
std::vector<std::int16_t> commEventsFrom(ModemState now, std::optional<ModemState> before = {});
// The comm events a line-state notification raises: 1001 break, 1004 framing error, 1006
// overrun, 1009 parity error, in that order.
std::vector<std::int16_t> commEventsFrom(LineState state);

} // namespace comport

} // namespace korvane
