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
    return RunTimeError(err::kSettingsRefused,
                        QStringLiteral("Could not set the line settings of %1: %2 refused (%3)")
                            .arg(where, what, reason));
}

} // namespace korvane
