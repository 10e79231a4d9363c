#include "text/framing.h"

namespace korvane {

namespace {
constexpr QChar kLineFeed = QLatin1Char('\n');
} // namespace

FramedBatch frameBatch(const QString &batch, FramingState &state) {
    FramedBatch out;
    out.shown = batch;
    qsizetype pos = 0;
    const qsizetype size = batch.size();

    // The end of a line that was dropped for being too long: discard up to its line feed, which
    // still ends it (and shows as "<" like every framed line feed).
    if (state.discardingOverlongLine) {
        const qsizetype lf = batch.indexOf(kLineFeed);
        if (lf < 0) {
            out.dropped = size;
            return out;
        }
        out.dropped = lf;
        out.shown[lf] = QLatin1Char('<');
        pos = lf + 1;
        state.discardingOverlongLine = false;
    }

    while (size - pos >= 2) {
        const qsizetype lf = batch.indexOf(kLineFeed, pos);
        if (lf < 0)
            break;
        out.shown[lf] = QLatin1Char('<');
        const qsizetype length = lf - pos;
        if (length > 0) {
            out.lines.append(batch.mid(pos, length));
            if (batch[pos] == QLatin1Char('.'))
                out.complete = true;
        }
        pos = lf + 1;
    }

    out.tail = batch.mid(pos);
    if (out.tail.size() > kMaxTail) {
        out.dropped += out.tail.size();
        out.tail.clear();
        state.discardingOverlongLine = true;
    }
    return out;
}

} // namespace korvane
