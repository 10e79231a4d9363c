#include "text/path_bytes.h"

namespace korvane {

namespace {
constexpr char32_t kEscapeBase = 0xDC00; // an escaped byte b (>= 0x80) is kEscapeBase + b

// The length of the valid UTF-8 sequence at `at` and its code point; 0 when none starts there.
int validSequence(const QByteArray &bytes, qsizetype at, char32_t &point) {
    const auto byte = [&](qsizetype i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    int length = 0;
    char32_t least = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, point = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, point = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, point = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        const unsigned char next = byte(at + i);
        if ((next & 0xC0) != 0x80)
            return 0;
        point = (point << 6) | (next & 0x3F);
    }
    if (point < least || point > 0x10FFFF || (point >= 0xD800 && point <= 0xDFFF))
        return 0;
    return length;
}
} // namespace

QString pathFromBytes(const QByteArray &bytes) {
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size();) {
        const unsigned char b = static_cast<unsigned char>(bytes[at]);
        if (b < 0x80) {
            text.append(QChar(b));
            ++at;
            continue;
        }
        char32_t point = 0;
        const int length = validSequence(bytes, at, point);
        if (length == 0) {
            text.append(QChar(static_cast<char16_t>(kEscapeBase + b)));
            ++at;
            continue;
        }
        const char32_t one[1] = {point};
        text.append(QString::fromUcs4(one, 1));
        at += length;
    }
    return text;
}

QByteArray bytesOfPath(const QString &path) {
    QByteArray bytes;
    bytes.reserve(path.size());
    for (qsizetype at = 0; at < path.size(); ++at) {
        const char16_t unit = path[at].unicode();
        const bool pair = QChar::isHighSurrogate(unit) && at + 1 < path.size() &&
                          QChar::isLowSurrogate(path[at + 1].unicode());
        if (!pair && unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF) {
            bytes.append(static_cast<char>(unit - kEscapeBase));
            continue;
        }
        bytes.append(QStringView(path).mid(at, pair ? 2 : 1).toUtf8());
        if (pair)
            ++at;
    }
    return bytes;
}

} // namespace korvane
