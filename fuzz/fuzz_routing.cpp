// Token routing, fed lines as framing hands them over (non-empty, no line feed, any character the
// line can carry), through the real window.
//
// Input: two bytes for the "J" count the routing starts from (so that its 16-bit top is reached),
// then lines separated by line feeds.
//
// Every line lands in a slot from 0 to 35 chosen by its first character alone ("Q" by its first
// two); slot 0 takes exactly the lines whose key has no slot of its own; the slot then shows the
// line and no other slot changes; only "J" lines move the count, by one, and at its top the line
// is reported instead.

#include "fuzz_rig.h"
#include "text/token_keys.h"

#include <QLineEdit>
#include <limits>

using namespace korvane;
using namespace korvane::fuzz;

namespace {

// The keys of the status grid as the operator's key chart lists them.
bool hasOwnSlot(QStringView line) {
    static const QString keys = QStringLiteral("JUK!#$&*\"'(,AMRZEOTFX^GDHIYSVCBP.)");
    const QChar first = line.front();
    if (first == QLatin1Char('Q'))
        return line.size() > 1 && (line[1] == QLatin1Char('T') || line[1] == QLatin1Char('C'));
    return keys.contains(first);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static Korvane *app = [] {
        ensureApplication();
        return new Korvane(dispatchPending, [] {});
    }();
    if (size < 2)
        return 0;
    frmKorvane &window = app->window;
    const auto start = static_cast<std::int16_t>((data[0] << 8 | data[1]) & 0x7FFF);
    app->state.JTokenCount = start;

    for (const QString &line : latin1(data + 2, size - 2).split(QLatin1Char('\n'))) {
        if (line.isEmpty())
            continue; // framing never routes an empty line
        const int slot = slotForLine(line);
        FUZZ_CHECK(slot >= 0 && slot < kStatusSlots, QString::number(slot));
        FUZZ_CHECK((slot != kOtherKeysSlot) == hasOwnSlot(line), printable(line));
        FUZZ_CHECK(slotForLine(line.left(2)) == slot, printable(line));
        if (!line.startsWith(QLatin1Char('Q')))
            FUZZ_CHECK(slotForLine(line.left(1)) == slot, printable(line));

        QStringList before;
        for (const QLineEdit *box : window.StatusToken)
            before << box->text();
        const std::int16_t count = app->state.JTokenCount;
        window.txtErrMsg->clear();

        app->routing.DisplayToken(line);

        const bool overflow = slot == kJSlot && count == std::numeric_limits<std::int16_t>::max();
        for (int i = 0; i < kStatusSlots; ++i) {
            const QString shown = window.StatusToken.at(static_cast<std::size_t>(i))->text();
            const QString expected = i == slot && !overflow ? line : before[i];
            FUZZ_CHECK(shown == expected, QStringLiteral("slot %1 shows %2 for %3")
                                              .arg(i)
                                              .arg(printable(shown), printable(line)));
        }
        const std::int16_t expectedCount =
            slot == kJSlot && !overflow ? static_cast<std::int16_t>(count + 1) : count;
        FUZZ_CHECK(app->state.JTokenCount == expectedCount,
                   QStringLiteral("count %1 after %2").arg(app->state.JTokenCount).arg(count));
        FUZZ_CHECK(window.txtErrMsg->text() ==
                       (overflow ? QStringLiteral("DisplayToken: Err 6. Overflow") : QString()),
                   window.txtErrMsg->text());
    }
    return 0;
}
