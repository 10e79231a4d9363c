#include "text/framing.h"

#include <algorithm>
#include <utility>

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

qsizetype framingCut(const QString &waiting, qsizetype budget) {
    if (waiting.size() <= budget)
        return waiting.size();
    // A line feed first in what is framed is never framed by itself (one character is not
    // scanned): the cut comes after a later one, so that every pass takes something.
    const qsizetype within = waiting.lastIndexOf(kLineFeed, budget - 1);
    const qsizetype end =
        within >= 1 ? within : waiting.indexOf(kLineFeed, std::max<qsizetype>(budget, 1));
    // With no line feed after the cut, the rest is a line on its way: it is kept either way.
    if (end < 0 || waiting.indexOf(kLineFeed, end + 1) < 0)
        return waiting.size();
    return end + 1;
}

void ReportText::add(const FramedBatch &batch) {
    // A tail kept for the next batch comes again at that batch's start: an unfinished batch shows
    // it with the batch that frames it, and what a completed report already showed is skipped.
    const qsizetype end =
        batch.complete ? batch.shown.size() : batch.shown.size() - batch.tail.size();
    const qsizetype from = std::min(m_shownAhead, end);
    m_text += QStringView(batch.shown).mid(from, end - from);
    if (batch.complete)
        m_shownAhead = batch.tail.size();
    else if (end >= m_shownAhead)
        m_shownAhead = 0; // what was shown ahead has been framed (or dropped) now
    const qsizetype excess = m_text.size() - kMaxReportText;
    if (excess <= 0)
        return;
    // Whole lines go, the oldest first; a single line longer than the box holds loses its start.
    const qsizetype lastEnd = m_text.indexOf(QLatin1Char('<'), excess - 1);
    const qsizetype cut = lastEnd < 0 ? excess : lastEnd + 1;
    m_text.remove(0, cut);
    m_leftOut += cut;
}

QString ReportText::take(qsizetype &leftOut) {
    leftOut = m_leftOut;
    m_leftOut = 0;
    return std::exchange(m_text, QString());
}

} // namespace korvane
