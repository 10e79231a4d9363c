#pragma once
// What the console puts on the line, as text: the keep-alive poll, the status request, and the
// operator's command with "!" written wherever a line feed is meant.

#include <QString>

namespace korvane {

// The keep-alive poll: one byte, no line feed. The session log knows it by the same byte.
inline constexpr char kPollByte = 'U';
inline const QString kPollText = QString(QLatin1Char(kPollByte));
inline const QString kStatusRequestText = QStringLiteral("?\n"); // "?" and a line feed

// The most characters a command may have: what a line box holds by default. A longer one is
// refused whole (error 8024): cut, it would reach the radio as another command.
inline constexpr qsizetype kLongestCommand = 32767;

// The bytes a command text becomes: "!" made line feeds, one line feed at the end ensured.
// An empty text has no last character and raises error 5; one longer than kLongestCommand
// raises error 8024.
QString encodeCommand(const QString &text);

} // namespace korvane
