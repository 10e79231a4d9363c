// Command encoding, fed whatever the operator might type into the command box (the input as
// UTF-8), first on its own and then through the real window: typed into the box, sent with
// "Send Command", and read back byte for byte at the radio's end of a pseudo-terminal.
//
// The encoding holds the operator's text with every "!" made a line feed, ending in exactly one
// line feed of its own (none is added after a "!" or a line feed that already ends it). An empty
// box is refused with error 5. What reaches the radio is that encoding, byte for byte, or nothing
// at all when the text holds a character the 7-bit line cannot carry; never a byte more.

#include "fuzz_rig.h"
#include "text/command_text.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

using namespace korvane;
using namespace korvane::fuzz;

namespace {

void checkEncoding(const QString &text) {
    if (text.isEmpty()) {
        try {
            encodeCommand(text);
        } catch (const RunTimeError &e) {
            FUZZ_CHECK(e.number() == err::kInvalidArgument.number, e.message());
            return;
        }
        fail("an empty command is refused");
    }
    const QString out = encodeCommand(text);
    FUZZ_CHECK(out.endsWith(QLatin1Char('\n')), printable(out));
    FUZZ_CHECK(!out.contains(QLatin1Char('!')), printable(out));
    const bool endsWithLineFeed =
        text.back() == QLatin1Char('!') || text.back() == QLatin1Char('\n');
    FUZZ_CHECK(out.size() == text.size() + (endsWithLineFeed ? 0 : 1),
               printable(text) + QStringLiteral(" became ") + printable(out));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar typed = text[i];
        const QChar expected = typed == QLatin1Char('!') ? QLatin1Char('\n') : typed;
        FUZZ_CHECK(out[i] == expected,
                   QStringLiteral("position %1 of %2").arg(i).arg(printable(out)));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    checkEncoding(text);

    static Rig *rig = new Rig;
    Korvane &app = rig->app();
    app.window.cboCommand->setEditText(text);
    const QString inBox = app.window.cboCommand->currentText();
    FUZZ_CHECK(inBox == text.left(app.window.cboCommand->lineEdit()->maxLength()),
               QStringLiteral("the box holds ") + printable(inBox));
    checkEncoding(inBox);
    app.window.txtErrMsg->clear();

    app.window.cmdSendCmd->click();

    QByteArray expected;
    bool sevenBit = true;
    for (const QChar c : inBox)
        sevenBit = sevenBit && c.unicode() < 0x80;
    if (!inBox.isEmpty() && sevenBit)
        expected = encodeCommand(inBox).toLatin1();
    // The bytes are on their way once the handler returns; another millisecond shows any byte
    // sent beyond them (one later still would spoil the next run's comparison).
    QByteArray sent = rig->readRadio(std::max(1, static_cast<int>(expected.size())),
                                     expected.isEmpty() ? 2 : 500);
    sent += rig->readRadio(1, 1);
    FUZZ_CHECK(sent == expected, QStringLiteral("sent ") + printable(QString::fromLatin1(sent)) +
                                     QStringLiteral(" for ") + printable(inBox));
    const QString message = app.window.txtErrMsg->text();
    if (inBox.isEmpty())
        FUZZ_CHECK(message.startsWith(QStringLiteral("Err 5. ")), message);
    else if (!sevenBit)
        FUZZ_CHECK(message.startsWith(QStringLiteral("Err 8018. ")), message);
    else
        FUZZ_CHECK(message == QStringLiteral("Sending ") + QString::fromLatin1(expected) +
                                  QStringLiteral(" command..."),
                   message);
    FUZZ_CHECK(app.MSComm1.PortOpen(), app.window.txtErrMsg->text());
    dispatchPending(std::nullopt);
    return 0;
}
