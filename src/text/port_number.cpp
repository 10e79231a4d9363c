#include "text/port_number.h"

#include "base/run_time_error.h"

#include <cmath>
#include <limits>

namespace korvane {

std::int16_t portNumberFromText(const QString &text) {
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value))
        throw RunTimeError(err::kTypeMismatch);
    const double rounded = std::nearbyint(value); // to even, as the conversion rounds
    if (rounded < std::numeric_limits<std::int16_t>::min() ||
        rounded > std::numeric_limits<std::int16_t>::max())
        throw RunTimeError(err::kOverflow);
    return static_cast<std::int16_t>(rounded);
}

} // namespace korvane
