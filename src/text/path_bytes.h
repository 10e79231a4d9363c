#pragma once
// Device paths are bytes, and not every name is valid UTF-8 (a link named in Latin-1, say). Text
// holds them losslessly: valid UTF-8 is decoded as such, and each byte that is not part of a
// valid sequence becomes U+DC80 + (byte - 0x80), a lone low surrogate no real text holds (the
// "surrogate escape"). Encoding gives back exactly the bytes decoded.

#include <QByteArray>
#include <QString>

namespace korvane {

QString pathFromBytes(const QByteArray &bytes);
QByteArray bytesOfPath(const QString &path);

} // namespace korvane
