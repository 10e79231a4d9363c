#include "radio.h"

#include <algorithm>
#include <array>

namespace sim {

namespace {

enum class Rule { ReadOnly, Frequency, Choice, Range };

struct KeySpec {
    const char *key;
    const char *initial; // the text after the key at power-on
    Rule rule;
    const char *choices; // Rule::Choice: the accepted values, separated by blanks
    int min;             // Rule::Range: accepted numbers ...
    int max;
    int width; // ... written with at least this many digits
};

// One row per status key, in the order the full status report sends them. "J" (the signal
// meter) and "U" (the unit line, which counts the polls) are made afresh for every report.
constexpr std::array kKeys{
    KeySpec{"J", "", Rule::ReadOnly, nullptr, 0, 0, 0},
    KeySpec{"U", "", Rule::ReadOnly, nullptr, 0, 0, 0},
    KeySpec{"K", "0", Rule::Range, nullptr, 0, 1, 1},                  // keypad lock
    KeySpec{"!", "00", Rule::ReadOnly, nullptr, 0, 0, 0},              // alarm word
    KeySpec{"#", "01", Rule::Range, nullptr, 0, 99, 2},                // memory channel
    KeySpec{"$", "0", Rule::Range, nullptr, 0, 1, 1},                  // scan
    KeySpec{"&", "0", Rule::Range, nullptr, 0, 9, 1},                  // squelch
    KeySpec{"*", "0", Rule::Range, nullptr, 0, 1, 1},                  // noise blanker
    KeySpec{"\"", "HOME", Rule::ReadOnly, nullptr, 0, 0, 0},           // memory label
    KeySpec{"'", "100", Rule::Choice, "10 100 1000 5000", 0, 0, 0},    // tuning step, Hz
    KeySpec{"(", "+0000", Rule::ReadOnly, nullptr, 0, 0, 0},           // receive offset, Hz
    KeySpec{",", "0", Rule::Range, nullptr, 0, 1, 1},                  // split
    KeySpec{"A", "FAST", Rule::Choice, "FAST SLOW OFF", 0, 0, 0},      // AGC
    KeySpec{"M", "USB", Rule::Choice, "USB LSB AM CW DATA", 0, 0, 0},  // mode
    KeySpec{"R", "100", Rule::Range, nullptr, 0, 100, 1},              // RF gain, %
    KeySpec{"Z", "1", Rule::Range, nullptr, 1, 2, 1},                  // antenna port
    KeySpec{"E", "NONE", Rule::ReadOnly, nullptr, 0, 0, 0},            // last error
    KeySpec{"O", "100", Rule::Range, nullptr, 0, 100, 1},              // output power, %
    KeySpec{"T", "031", Rule::ReadOnly, nullptr, 0, 0, 0},             // temperature, degrees C
    KeySpec{"F", "14250000", Rule::Frequency, nullptr, 0, 0, 0},       // frequency, Hz
    KeySpec{"X", "0", Rule::Range, nullptr, 0, 1, 1},                  // transmit inhibit
    KeySpec{"^", "0", Rule::Range, nullptr, 0, 1, 1},                  // preamplifier
    KeySpec{"G", "5", Rule::Range, nullptr, 0, 9, 1},                  // audio gain
    KeySpec{")", "+0000", Rule::ReadOnly, nullptr, 0, 0, 0},           // transmit offset, Hz
    KeySpec{"D", "RT-1446", Rule::ReadOnly, nullptr, 0, 0, 0},         // device
    KeySpec{"H", "01234", Rule::ReadOnly, nullptr, 0, 0, 0},           // hour meter
    KeySpec{"I", "V2.13", Rule::ReadOnly, nullptr, 0, 0, 0},           // firmware ident
    KeySpec{"S", "1", Rule::Range, nullptr, 0, 1, 1},                  // side tone
    KeySpec{"V", "0", Rule::Range, nullptr, 0, 1, 1},                  // VOX
    KeySpec{"Y", "13.8", Rule::ReadOnly, nullptr, 0, 0, 0},            // supply, volts
    KeySpec{"C", "0", Rule::ReadOnly, nullptr, 0, 0, 0},               // clipping
    KeySpec{"B", "2700", Rule::Choice, "500 1800 2700 6000", 0, 0, 0}, // bandwidth, Hz
    KeySpec{"P", "0", Rule::Range, nullptr, 0, 1, 1},                  // PTT
    KeySpec{"QT", "READY", Rule::ReadOnly, nullptr, 0, 0, 0},          // antenna tuner
    KeySpec{"QC", "1.1", Rule::ReadOnly, nullptr, 0, 0, 0},            // coupler SWR
};

constexpr qint64 kLowestFrequency = 100'000;
constexpr qint64 kHighestFrequency = 30'000'000;
constexpr int kMeterMax = 120;
constexpr qsizetype kQuotedCommandLength = 32;

qsizetype indexOfKey(const QByteArray &key) {
    for (qsizetype i = 0; i < qsizetype(kKeys.size()); ++i) {
        if (key == kKeys[size_t(i)].key)
            return i;
    }
    return -1;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}

QByteArray trimmed(const QByteArray &line) {
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && isBlank(line[begin]))
        ++begin;
    while (end > begin && isBlank(line[end - 1]))
        --end;
    return line.mid(begin, end - begin);
}

// A run of decimal digits, short enough not to overflow; -1 for anything else.
qint64 parseDigits(const QByteArray &text, int maxDigits) {
    if (text.isEmpty() || text.size() > maxDigits)
        return -1;
    qint64 value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value;
}

// The value as the radio stores it, or an empty text when the radio refuses it.
QByteArray acceptedValue(const KeySpec &entry, const QByteArray &value) {
    switch (entry.rule) {
    case Rule::ReadOnly:
        return {};
    case Rule::Frequency: {
        const qint64 hz = parseDigits(value, 9);
        if (hz < kLowestFrequency || hz > kHighestFrequency)
            return {};
        return QByteArray::number(hz);
    }
    case Rule::Choice:
        for (const QByteArray &choice : QByteArray(entry.choices).split(' ')) {
            if (value == choice)
                return choice;
        }
        return {};
    case Rule::Range: {
        const qint64 n = parseDigits(value, 6);
        if (n < entry.min || n > entry.max)
            return {};
        return QByteArray::number(n).rightJustified(entry.width, '0');
    }
    }
    return {};
}

} // namespace

const char *kindName(Report::Kind kind) {
    switch (kind) {
    case Report::Kind::Poll:
        return "poll";
    case Report::Kind::Status:
        return "status";
    case Report::Kind::Reply:
        return "reply";
    case Report::Kind::Error:
        return "error";
    case Report::Kind::Stream:
        return "stream";
    case Report::Kind::Replay:
        return "replay";
    }
    return "?";
}

QByteArray printable(const QByteArray &bytes, qsizetype maxLength) {
    QByteArray out = bytes.left(maxLength);
    for (char &c : out) {
        if (c < 0x20 || c > 0x7e)
            c = '?';
    }
    if (bytes.size() > maxLength)
        out += "...";
    return out;
}

Radio::Radio(unsigned seed, int meterLinesPerPoll)
    : m_meterLinesPerPoll(meterLinesPerPoll), m_random(seed) {
    for (const KeySpec &entry : kKeys)
        m_values.append(entry.initial);
}

QList<QByteArray> Radio::statusKeys() {
    QList<QByteArray> keys;
    for (const KeySpec &entry : kKeys)
        keys.append(entry.key);
    return keys;
}

QByteArray Radio::meterLine() {
    // The signal wanders: a small random step each reading, held inside the meter's scale.
    std::uniform_int_distribution<int> step(-6, 6);
    m_meter = std::clamp(m_meter + step(m_random), 0, kMeterMax);
    return "J" + QByteArray::number(m_meter).rightJustified(3, '0');
}

QByteArray Radio::statusLine(const QByteArray &key) {
    if (key == "J")
        return meterLine();
    if (key == "U")
        return "U" + QByteArray::number(m_polls % 10000).rightJustified(4, '0');
    if (key == "C") {
        // The transmitter clips when it is keyed at nearly full power.
        const bool keyed = m_values[indexOfKey("P")] == "1";
        const bool hot = m_values[indexOfKey("O")].toInt() >= 90;
        return QByteArrayLiteral("C") + (keyed && hot ? "1" : "0");
    }
    const qsizetype i = indexOfKey(key);
    return i < 0 ? QByteArray() : key + m_values[i];
}

Report Radio::poll() {
    ++m_polls;
    Report report{Report::Kind::Poll, {}};
    for (int i = 0; i < m_meterLinesPerPoll; ++i)
        report.lines.append(meterLine());
    report.lines.append(statusLine("U"));
    report.lines.append(".");
    return report;
}

Report Radio::fullStatus() {
    Report report{Report::Kind::Status, {}};
    for (const KeySpec &entry : kKeys)
        report.lines.append(statusLine(entry.key));
    report.lines.append(".");
    return report;
}

Report Radio::error(const QByteArray &text) {
    m_values[indexOfKey("E")] = text;
    return Report{Report::Kind::Error, {"E" + text, "."}};
}

Report Radio::overlong(qsizetype length) {
    return error("COMMAND TOO LONG " + QByteArray::number(length) + " BYTES");
}

Report Radio::command(const QByteArray &line) {
    // The console may send a blank before a command ("A", LF, " F1234567", LF), and a terminal
    // may end lines with a carriage return: neither is part of the command.
    const QByteArray text = trimmed(line);
    if (text.isEmpty())
        return {}; // an empty line asks nothing
    if (text == "?")
        return fullStatus();

    const qsizetype keyLength = text.startsWith('Q') ? 2 : 1;
    const qsizetype i = indexOfKey(text.left(keyLength));
    if (i < 0)
        return error("UNKNOWN COMMAND " + printable(text, kQuotedCommandLength));
    const KeySpec &entry = kKeys[size_t(i)];
    const QByteArray value = trimmed(text.mid(keyLength));
    if (!value.isEmpty()) {
        if (entry.rule == Rule::ReadOnly)
            return error("READ ONLY " + QByteArray(entry.key));
        const QByteArray accepted = acceptedValue(entry, value);
        if (accepted.isEmpty())
            return error("BAD VALUE " + printable(text, kQuotedCommandLength));
        m_values[i] = accepted;
    }
    return Report{Report::Kind::Reply, {statusLine(entry.key), "."}};
}

} // namespace sim
