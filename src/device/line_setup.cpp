#include "device/line_setup.h"

namespace korvane {

QString refusedSettings(const LineSettings &line, int handshaking) {
    QString refused = refusedLineSettings(line);
    if (handshaking == 3) {
        if (!refused.isEmpty())
            refused += QStringLiteral(" and ");
        refused += QStringLiteral("RTS/CTS together with XON/XOFF handshaking");
    }
    return refused;
}

RunTimeError settingsRefused(const QString &where, const QString &what, const QString &reason) {
    return RunTimeError(err::kSettingsRefused, where,
                        QStringLiteral("%1 refused (%2)").arg(what, reason));
}

} // namespace korvane
