#pragma once
// The status keys: which slot of the status grid each received line lands in, chosen by the
// line's first character ("Q" also looks at its second). One table serves both the routing of
// received lines and the key labels the window draws beside the slots.

#include <QString>
#include <QStringView>
#include <array>

namespace korvane {

inline constexpr int kStatusSlots = 36;
inline constexpr int kOtherKeysSlot = 0; // every line whose key has no slot of its own
inline constexpr int kJSlot = 31;

struct TokenKey {
    char first;  // the line's first character, compared exactly
    char second; // for "Q" only: the second character; 0 for every other key
    int slot;
    const char *label; // the caption beside the slot
};

// In the order the tests are made. "K" and "U" share slot 17, which is labelled "U".
inline constexpr auto kTokenKeys = std::to_array<TokenKey>({
    {'J', 0, 31, "J"}, {'U', 0, 17, "U"},    {'K', 0, 17, "U"},    {'!', 0, 1, "!"},
    {'#', 0, 2, "#"},  {'$', 0, 3, "$"},     {'&', 0, 4, "&"},     {'*', 0, 5, "*"},
    {'"', 0, 6, "\""}, {'\'', 0, 7, "'"},    {'(', 0, 8, "("},     {',', 0, 9, ","},
    {'A', 0, 10, "A"}, {'M', 0, 11, "M"},    {'R', 0, 12, "R"},    {'Z', 0, 13, "Z"},
    {'E', 0, 14, "E"}, {'O', 0, 15, "O"},    {'T', 0, 16, "T"},    {'F', 0, 18, "F"},
    {'X', 0, 19, "X"}, {'^', 0, 20, "^"},    {'G', 0, 21, "G"},    {')', 0, 22, ")"},
    {'D', 0, 23, "D"}, {'H', 0, 24, "H"},    {'I', 0, 25, "I"},    {'S', 0, 26, "S"},
    {'V', 0, 27, "V"}, {'Y', 0, 28, "Y"},    {'C', 0, 29, "C"},    {'B', 0, 30, "B"},
    {'P', 0, 35, "P"}, {'Q', 'T', 32, "QT"}, {'Q', 'C', 34, "QC"}, {'.', 0, 33, "."},
});

// The slot a non-empty line is routed to: 0 to 35.
int slotForLine(QStringView line);

// The caption beside a slot, or an empty text for slot 0.
QString labelForSlot(int slot);

} // namespace korvane
