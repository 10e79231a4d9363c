#include "text/command_text.h"

#include "base/run_time_error.h"

namespace korvane {

QString encodeCommand(const QString &text) {
    if (text.isEmpty())
        throw RunTimeError(err::kInvalidArgument);
    if (text.size() > kLongestCommand)
        throw RunTimeError(err::kCommandTooLong,
                           QStringLiteral("%1 characters, at most %2; nothing was sent")
                               .arg(text.size())
                               .arg(kLongestCommand));
    constexpr QChar kLineFeed = QLatin1Char('\n');
    QString out = text;
    out.replace(QLatin1Char('!'), kLineFeed);
    if (out.back() != kLineFeed)
        out.append(kLineFeed);
    return out;
}

} // namespace korvane
