#include "text/command_text.h"

#include "base/run_time_error.h"

namespace korvane {

QString encodeCommand(const QString &text) {
    if (text.isEmpty())
        throw RunTimeError(err::kInvalidArgument,
                           QStringLiteral("Invalid procedure call or argument"));
    constexpr QChar kLineFeed = QLatin1Char('\n');
    QString out = text;
    out.replace(QLatin1Char('!'), kLineFeed);
    if (out.back() != kLineFeed)
        out.append(kLineFeed);
    return out;
}

} // namespace korvane
