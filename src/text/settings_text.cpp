#include "text/settings_text.h"

#include <QStringList>
#include <limits>

namespace korvane {

namespace {

bool isDigits(const QString &text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

} // namespace

std::optional<LineSettings> parseSettingsText(const QString &text) {
    const QStringList fields = text.split(QLatin1Char(','));
    if (fields.size() != 4)
        return std::nullopt;
    LineSettings settings;

    const QString &baud = fields[0];
    if (!isDigits(baud))
        return std::nullopt;
    bool ok = false;
    const qlonglong rate = baud.toLongLong(&ok);
    if (!ok || rate < 1 || rate > std::numeric_limits<qint32>::max())
        return std::nullopt;
    settings.baud = static_cast<int>(rate);

    if (fields[1].size() != 1)
        return std::nullopt;
    switch (fields[1][0].toUpper().unicode()) {
    case 'E':
        settings.parity = LineSettings::Parity::Even;
        break;
    case 'M':
        settings.parity = LineSettings::Parity::Mark;
        break;
    case 'N':
        settings.parity = LineSettings::Parity::None;
        break;
    case 'O':
        settings.parity = LineSettings::Parity::Odd;
        break;
    case 'S':
        settings.parity = LineSettings::Parity::Space;
        break;
    default:
        return std::nullopt;
    }

    if (fields[2].size() != 1 || fields[2][0] < QLatin1Char('4') || fields[2][0] > QLatin1Char('8'))
        return std::nullopt;
    settings.dataBits = fields[2][0].unicode() - '0';

    if (fields[3] == QLatin1String("1"))
        settings.stopBits = LineSettings::StopBits::One;
    else if (fields[3] == QLatin1String("1.5"))
        settings.stopBits = LineSettings::StopBits::OneAndHalf;
    else if (fields[3] == QLatin1String("2"))
        settings.stopBits = LineSettings::StopBits::Two;
    else
        return std::nullopt;
    return settings;
}

QString refusedLineSettings(const LineSettings &settings) {
    // Linux serial drivers frame 5 to 8 data bits with 1 or 2 stop bits; mark and space parity are
    // not offered on this line.
    QStringList refused;
    if (settings.parity == LineSettings::Parity::Mark)
        refused << QStringLiteral("mark parity");
    if (settings.parity == LineSettings::Parity::Space)
        refused << QStringLiteral("space parity");
    if (settings.dataBits < 5)
        refused << QStringLiteral("%1 data bits").arg(settings.dataBits);
    if (settings.stopBits == LineSettings::StopBits::OneAndHalf)
        refused << QStringLiteral("1.5 stop bits");
    return refused.join(QStringLiteral(" and "));
}

double secondsOnTheWire(qint64 characters, const LineSettings &settings) {
    double bits = 1.0 + settings.dataBits + (settings.parity == LineSettings::Parity::None ? 0 : 1);
    switch (settings.stopBits) {
    case LineSettings::StopBits::One:
        bits += 1.0;
        break;
    case LineSettings::StopBits::OneAndHalf:
        bits += 1.5;
        break;
    case LineSettings::StopBits::Two:
        bits += 2.0;
        break;
    }
    return static_cast<double>(characters) * bits / settings.baud;
}

} // namespace korvane
