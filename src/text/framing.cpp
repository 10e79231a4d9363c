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
        out.dropped = lf < 0 ? size : lf;
        state.droppedOfLine += out.dropped;
        if (out.dropped > 0)
            out.droppedLines.append(state.droppedOfLine);
        if (lf < 0)
            return out;
        out.shown[lf] = QLatin1Char('<');
        pos = lf + 1;
        state.discardingOverlongLine = false;
        state.droppedOfLine = 0;
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
        state.droppedOfLine = out.tail.size();
        out.droppedLines.append(state.droppedOfLine);
        out.tail.clear();
        state.discardingOverlongLine = true;
    }
    return out;
}

} // namespace korvane
