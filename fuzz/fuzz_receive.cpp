// The receive path as the program runs it: the real console (window, serial control, receive
// handler, probe loop) with its port open on a pseudo-terminal, fed a stream cut into pieces.
//
// Bit 2 of the first control byte chooses how the pieces come in:
//   clear  each piece is a burst the receive handler has just collected: it is added to RxBuffer,
//          ResponseReady is raised and the loop takes turns until it has framed it all (one turn,
//          so that batches are exactly the pieces, unless it is more than one pass frames);
//   set    each piece is written at the radio's end of the line, and the serial control, the
//          receive handler and the loop take it from there (batches are whatever the line gives).
// Every stream ends with a line of its own that marks the end, so the run knows when the console
// has taken everything in.
//
// Whatever the pieces, the lines shown in the status slots are exactly the stream's complete
// lines in order (against the line account in fuzz_support.h), nothing else reaches a slot, and
// only lines longer than kMaxTail may be missing, each with a message. The "J" count stays below
// the forced-poll mark after every turn, and where a piece took one turn it is exactly the "J"
// lines since the last forced poll.

#include "base/timer_value.h"
#include "fuzz_rig.h"
#include "text/framing.h"
#include "text/token_keys.h"

#include <QLineEdit>
#include <QPlainTextEdit>

using namespace korvane;
using namespace korvane::fuzz;

namespace {

// A clock that moves a little each time it is read: a receive burst then ends as soon as it has
// taken what waits, instead of after real milliseconds of quiet, and the run crosses midnight
// every few thousand reads.
class SteppingClock final : public Clock {
public:
    double secondsSinceMidnight() const override {
        m_seconds += 0.016;
        if (m_seconds >= kSecondsPerDay)
            m_seconds -= kSecondsPerDay;
        return m_seconds;
    }

private:
    mutable double m_seconds = 86000.0;
};

struct Shown {
    int slot;
    QString text;
    bool operator==(const Shown &) const = default;
};

std::vector<Shown> g_shown;

Rig &rig() {
    static Rig *rig = [] {
        setClock(new SteppingClock);
        auto *made = new Rig;
        for (int i = 0; i < kStatusSlots; ++i) {
            QObject::connect(made->app().window.StatusToken.at(static_cast<std::size_t>(i)),
                             &QLineEdit::textChanged, [i](const QString &text) {
                                 g_shown.push_back({i, text});
                             });
        }
        return made;
    }();
    return *rig;
}

QString describe(const Shown &shown) {
    return QStringLiteral("slot %1: %2").arg(shown.slot).arg(printable(shown.text));
}

void checkDirectTurn(Korvane &app, const Account::Batch &expected, std::int16_t count) {
    FUZZ_CHECK(app.state.JTokenCount == count,
               QStringLiteral("J count %1, expected %2").arg(app.state.JTokenCount).arg(count));
    const QString message = app.window.txtErrMsg->text();
    // A report that has grown past what the box shows (the rig's reports run on from one input
    // to the next until a "." line) says so when it completes, after any other message.
    const bool reportCut =
        message.startsWith(QStringLiteral("Report too long for the box: its first ")) &&
        app.window.txtFromVO1446->toPlainText().size() <= kMaxReportText;
    if (expected.dropped > 0)
        FUZZ_CHECK(reportCut ||
                       message == QStringLiteral("Received line too long: %1 characters dropped")
                                      .arg(expected.droppedLine),
                   message);
    else
        FUZZ_CHECK(reportCut || message.isEmpty(), message);
    FUZZ_CHECK(!app.state.ResponseReady, QStringLiteral("a framed batch left waiting"));
    const QString &kept = app.state.RxBuffer;
    FUZZ_CHECK(kept == expected.unfinished ||
                   (expected.unfinished.isEmpty() && kept == QStringLiteral("\n")),
               printable(kept) + QStringLiteral(" kept, ") + printable(expected.unfinished) +
                   QStringLiteral(" unfinished"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static unsigned runs = 0;
    Korvane &app = rig().app();
    Stream stream = streamFrom(data, size);
    const bool viaLine = (stream.mode & 4) != 0;
    const QString endMark = QStringLiteral("\x01end of run %1").arg(++runs);
    stream.batches.push_back(QStringLiteral("\n") + endMark + QStringLiteral("\n"));
    const Account account = accountFor(stream.batches, kMaxTail);

    std::array<QString, kStatusSlots> slots;
    for (int i = 0; i < kStatusSlots; ++i)
        slots[static_cast<std::size_t>(i)] =
            app.window.StatusToken[static_cast<std::size_t>(i)]->text();
    g_shown.clear();
    std::int16_t count = app.state.JTokenCount;

    for (std::size_t b = 0; b < stream.batches.size(); ++b) {
        const QString &piece = stream.batches[b];
        if (!viaLine) {
            app.window.txtErrMsg->clear();
            app.state.RxBuffer += piece;
            app.state.ResponseReady = true;
            int turns = 0;
            do {
                app.loop.step();
                FUZZ_CHECK(++turns < 100000, QStringLiteral("the console never framed a piece"));
            } while (app.state.ResponseReady);
            for (const QString &line : account.batches[b].routed)
                count = static_cast<std::int16_t>(count + (slotForLine(line) == kJSlot ? 1 : 0));
            if (count >= kForcedPollJLines)
                count = 0;
            // Framed in several turns, a piece may have forced a poll between them.
            if (turns > 1) {
                FUZZ_CHECK(app.state.JTokenCount >= 0 && app.state.JTokenCount < kForcedPollJLines,
                           QString::number(app.state.JTokenCount));
                count = app.state.JTokenCount;
            }
            checkDirectTurn(app, account.batches[b], count);
            continue;
        }
        rig().writeRadio(piece.toLatin1());
        // Give the console a few turns to take it in; whatever it has not taken yet it takes with
        // the next piece, and the end mark waits for everything.
        for (int turn = 0; turn < 4 || app.MSComm1.InBufferCount() > 0 || app.state.ResponseReady;
             ++turn) {
            app.loop.step();
            FUZZ_CHECK(app.state.JTokenCount >= 0 && app.state.JTokenCount < kForcedPollJLines,
                       QString::number(app.state.JTokenCount));
            FUZZ_CHECK(turn < 100000, QStringLiteral("the console never finished a piece"));
        }
    }
    if (viaLine) {
        const Shown end{kOtherKeysSlot, endMark};
        for (int turn = 0; g_shown.empty() || !(g_shown.back() == end); ++turn) {
            FUZZ_CHECK(turn < 200000, QStringLiteral("the end of the stream never arrived"));
            app.loop.step();
        }
    }
    FUZZ_CHECK(app.state.RxBuffer.isEmpty(), printable(app.state.RxBuffer));
    FUZZ_CHECK(app.MSComm1.PortOpen(), app.window.txtErrMsg->text());

    // Every complete line must have reached its slot, in order; a slot that already showed the
    // same text does not change. Only an overlong line may be missing.
    std::size_t next = 0;
    for (const Account::Line &line : account.lines) {
        const int slot = slotForLine(line.text);
        QString &showing = slots[static_cast<std::size_t>(slot)];
        if (showing == line.text)
            continue;
        const Shown expected{slot, line.text};
        if (next < g_shown.size() && g_shown[next] == expected && (viaLine || !line.dropped)) {
            ++next;
            showing = line.text;
            continue;
        }
        const bool mayDrop = viaLine ? line.text.size() > kMaxTail : line.dropped;
        FUZZ_CHECK(mayDrop, QStringLiteral("line lost: ") + describe(expected) +
                                (next < g_shown.size()
                                     ? QStringLiteral("; shown instead ") + describe(g_shown[next])
                                     : QString()));
    }
    FUZZ_CHECK(next == g_shown.size(),
               QStringLiteral("shown but never sent: ") + describe(g_shown[next]));
    return 0;
}
