#pragma once
// What the fuzz targets share: how a fuzz input becomes a received stream cut into batches, an
// independent account of what lines such a stream must give, and the way a broken property stops
// the run. Pure: it needs nothing but Qt Core.
//
// A stream input is two control bytes and then the stream itself, character for character (one
// byte is one character, as the serial control reads the line): the first chooses how the
// stream is cut into batches (one character each, a few, or large pieces), the second seeds the
// piece lengths. So a seed file is the stream as the radio would send it, behind two bytes.
//
// The account of lines is written from the rules the operator relies on, not from the framing
// code: a line is what comes before a line feed; empty lines are nothing; a line whose unfinished
// part, kept between batches, grows past kMaxTail is dropped whole and counted.
//
// The whole console for the targets that run it is in fuzz_rig.h.

#include <QString>
#include <QStringList>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace korvane::fuzz {

// Stops the run with the property that broke; libFuzzer then keeps the input that broke it.
[[noreturn]] void fail(const char *what, const QString &detail = QString());
#define FUZZ_CHECK(condition, detail)                                                              \
    do {                                                                                           \
        if (!(condition))                                                                          \
            ::korvane::fuzz::fail(#condition, (detail));                                           \
    } while (false)

// The bytes as characters, one each, as the serial control's Input gives them.
QString latin1(const std::uint8_t *data, std::size_t size);
// Shows a text with its control characters and long runs made readable, for failure messages.
QString printable(const QString &text, qsizetype limit = 200);

struct Stream {
    std::uint8_t mode = 0; // the first control byte: bits 0-1 cut, the rest for the target
    std::vector<QString> batches;
};
Stream streamFrom(const std::uint8_t *data, std::size_t size);

// The stream's complete lines and, batch by batch, what must come of them.
struct Account {
    struct Line {
        QString text;
        bool dropped = false;
    };
    struct Batch {
        QStringList routed;        // kept lines completed in this batch, in order
        qsizetype dropped = 0;     // characters lost to an overlong line in this batch
        qsizetype droppedLine = 0; // the length so far of the last line those belonged to
        QString unfinished;        // the line still on its way after the batch ("" while dropping)
        bool dropping = false;     // inside a dropped line after the batch
    };
    std::vector<Line> lines;
    std::vector<Batch> batches;
};
Account accountFor(const std::vector<QString> &batches, qsizetype maxTail);

} // namespace korvane::fuzz
