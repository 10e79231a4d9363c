// Batch framing, fed a received stream cut into batches as the probe loop feeds it: each batch is
// the kept tail of the one before with the next burst behind it.
//
// Every character of every batch must be accounted for, in order: it is part of a routed line, a
// framed line feed (shown as "<"), part of an empty line, the kept tail, or counted as dropped.
// Across the whole stream the routed lines must be exactly the stream's complete lines, less the
// overlong ones and only those, and the losses must be exactly what they held.

#include "fuzz_support.h"
#include "text/framing.h"

using namespace korvane;
using namespace korvane::fuzz;

namespace {

// One batch on its own: the shown text differs from the batch only where a line feed was framed,
// and the pieces between framed line feeds are the lines, the dropped start and the tail.
void checkBatch(const QString &batch, const FramedBatch &out, bool wasDropping) {
    FUZZ_CHECK(out.shown.size() == batch.size(), printable(out.shown));
    // Put the framed line feeds back: what results must be the batch itself.
    std::vector<qsizetype> framed;
    QString restored = out.shown;
    for (qsizetype lf = batch.indexOf(QLatin1Char('\n')); lf >= 0;
         lf = batch.indexOf(QLatin1Char('\n'), lf + 1)) {
        if (out.shown[lf] == QLatin1Char('<')) {
            framed.push_back(lf);
            restored[lf] = QLatin1Char('\n');
        }
    }
    FUZZ_CHECK(restored == batch,
               printable(out.shown) + QStringLiteral(" shown for ") + printable(batch));

    qsizetype accounted = static_cast<qsizetype>(framed.size()) + out.dropped + out.tail.size();
    for (const QString &line : out.lines) {
        FUZZ_CHECK(!line.isEmpty() && !line.contains(QLatin1Char('\n')), printable(line));
        accounted += line.size();
    }
    FUZZ_CHECK(
        accounted == batch.size(),
        QStringLiteral("%1 of %2 characters accounted for").arg(accounted).arg(batch.size()));

    QStringList pieces;
    qsizetype start = 0;
    for (const qsizetype lf : framed) {
        pieces << batch.mid(start, lf - start);
        start = lf + 1;
    }
    const QString rest = batch.mid(start);
    qsizetype droppedHere = 0;
    if (wasDropping && !pieces.isEmpty()) {
        droppedHere += pieces.front().size(); // the end of a line dropped before this batch
        pieces.removeFirst();
    } else if (wasDropping) {
        FUZZ_CHECK(out.dropped == batch.size() && out.tail.isEmpty() && out.lines.isEmpty(),
                   QStringLiteral("a line still being dropped"));
        return;
    }
    pieces.removeAll(QString());
    FUZZ_CHECK(pieces == out.lines, QStringLiteral("routed %1 lines, %2 between line feeds")
                                        .arg(out.lines.size())
                                        .arg(pieces.size()));
    if (out.tail.isEmpty() && rest.size() > kMaxTail)
        droppedHere += rest.size();
    else
        FUZZ_CHECK(out.tail == rest,
                   printable(out.tail) + QStringLiteral(" kept, left ") + printable(rest));
    FUZZ_CHECK(out.dropped == droppedHere,
               QStringLiteral("dropped %1, expected %2").arg(out.dropped).arg(droppedHere));
    // A kept tail holds no line feed the scan could still have framed.
    FUZZ_CHECK(out.tail.size() < 2 || !out.tail.contains(QLatin1Char('\n')), printable(out.tail));
    bool complete = false;
    for (const QString &line : out.lines)
        complete = complete || line.startsWith(QLatin1Char('.'));
    FUZZ_CHECK(out.complete == complete, QStringLiteral("report end flag"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const Stream stream = streamFrom(data, size);
    const Account account = accountFor(stream.batches, kMaxTail);

    FramingState state;
    QString kept;
    QStringList routed;
    for (std::size_t b = 0; b < stream.batches.size(); ++b) {
        const QString batch = kept + stream.batches[b];
        const bool wasDropping = state.discardingOverlongLine;
        const FramedBatch out = frameBatch(batch, state);
        checkBatch(batch, out, wasDropping);

        const Account::Batch &expected = account.batches[b];
        FUZZ_CHECK(out.lines == expected.routed,
                   QStringLiteral("batch %1: %2 lines routed, %3 expected")
                       .arg(b)
                       .arg(out.lines.size())
                       .arg(expected.routed.size()));
        FUZZ_CHECK(out.dropped == expected.dropped,
                   QStringLiteral("batch %1: %2 dropped, %3 expected")
                       .arg(b)
                       .arg(out.dropped)
                       .arg(expected.dropped));
        FUZZ_CHECK(state.discardingOverlongLine == expected.dropping, QStringLiteral("dropping"));
        // The operator is told the length of the overlong line so far, the whole line at its end.
        FUZZ_CHECK(
            out.droppedLines.isEmpty() == (expected.dropped == 0) &&
                (out.droppedLines.isEmpty() || out.droppedLines.last() == expected.droppedLine),
            QStringLiteral("batch %1: line length told %2, expected %3")
                .arg(b)
                .arg(out.droppedLines.isEmpty() ? 0 : out.droppedLines.last())
                .arg(expected.droppedLine));
        // A lone line feed may wait in the tail: it ends an empty line, which is nothing.
        FUZZ_CHECK(out.tail == expected.unfinished ||
                       (expected.unfinished.isEmpty() && out.tail == QStringLiteral("\n")),
                   printable(out.tail) + QStringLiteral(" kept, ") +
                       printable(expected.unfinished) + QStringLiteral(" unfinished"));
        routed += out.lines;
        kept = out.tail;
    }

    QStringList complete;
    for (const Account::Line &line : account.lines) {
        if (!line.dropped)
            complete << line.text;
        else
            FUZZ_CHECK(line.text.size() > kMaxTail, printable(line.text));
    }
    FUZZ_CHECK(
        routed == complete,
        QStringLiteral("%1 lines routed of %2 complete").arg(routed.size()).arg(complete.size()));
    return 0;
}
