// The line settings text, fed anything the boxes or a caller could put together (the input as
// UTF-8).
//
// A text is accepted exactly when it is "baud,parity,data,stop" with a positive whole baud that
// fits 32 bits, one parity letter of E, M, N, O, S in either case, 4 to 8 data bits and 1, 1.5 or
// 2 stop bits, no blanks anywhere. What is accepted round-trips: written back in its plain form it
// parses to the same settings. The serial control takes the same texts, keeps them as given, and
// refuses the rest with error 380 without changing what it had.

#include "device/mscomm.h"
#include "fuzz_support.h"
#include "text/settings_text.h"

#include <QCoreApplication>
#include <QRegularExpression>

using namespace korvane;
using namespace korvane::fuzz;

namespace {

QString plainForm(const LineSettings &s) {
    QString parity;
    switch (s.parity) {
    case LineSettings::Parity::None:
        parity = QStringLiteral("N");
        break;
    case LineSettings::Parity::Even:
        parity = QStringLiteral("E");
        break;
    case LineSettings::Parity::Odd:
        parity = QStringLiteral("O");
        break;
    case LineSettings::Parity::Mark:
        parity = QStringLiteral("M");
        break;
    case LineSettings::Parity::Space:
        parity = QStringLiteral("S");
        break;
    }
    const char *stop = s.stopBits == LineSettings::StopBits::One          ? "1"
                       : s.stopBits == LineSettings::StopBits::OneAndHalf ? "1.5"
                                                                          : "2";
    return QStringLiteral("%1,%2,%3,%4")
        .arg(s.baud)
        .arg(parity)
        .arg(s.dataBits)
        .arg(QLatin1String(stop));
}

// The baud digits name a rate from 1 to 2147483647: compared as digit strings, so that no number
// conversion is trusted here.
bool baudInRange(QString digits) {
    while (digits.startsWith(QLatin1Char('0')))
        digits.remove(0, 1);
    static const QString top = QStringLiteral("2147483647");
    if (digits.isEmpty() || digits.size() > top.size())
        return false;
    return digits.size() < top.size() || digits <= top;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const std::optional<LineSettings> parsed = parseSettingsText(text);

    static const QRegularExpression form(QRegularExpression::anchoredPattern(
        QStringLiteral("([0-9]+),([EMNOSemnos]),([4-8]),(1|1\\.5|2)")));
    const QRegularExpressionMatch match = form.match(text);
    const bool wellFormed = match.hasMatch() && baudInRange(match.captured(1));
    FUZZ_CHECK(parsed.has_value() == wellFormed, printable(text));

    if (parsed) {
        const QString plain = plainForm(*parsed);
        QString canonical = text;
        canonical.replace(match.capturedStart(2), 1, match.captured(2).toUpper());
        QString baud = match.captured(1);
        while (baud.startsWith(QLatin1Char('0')))
            baud.remove(0, 1);
        canonical.replace(0, match.capturedLength(1), baud);
        FUZZ_CHECK(plain == canonical,
                   printable(plain) + QStringLiteral(" from ") + printable(text));
        const std::optional<LineSettings> again = parseSettingsText(plain);
        FUZZ_CHECK(again && *again == *parsed, printable(plain));
        const QString refused = refusedLineSettings(*parsed);
        const bool unusual = parsed->parity == LineSettings::Parity::Mark ||
                             parsed->parity == LineSettings::Parity::Space ||
                             parsed->dataBits < 5 ||
                             parsed->stopBits == LineSettings::StopBits::OneAndHalf;
        FUZZ_CHECK(refused.isEmpty() != unusual, refused);
    }

    // The serial control, closed, keeps the text it was given or refuses it and keeps its own.
    static MSComm *comm = [] {
        static int argc = 1;
        static char name[] = "korvane-fuzz";
        static char *argv[] = {name, nullptr};
        new QCoreApplication(argc, argv); // kept for the life of the process, as the control is
        return new MSComm([] { return std::map<int, QString>(); }); // names no port: never opens
    }();
    const QString was = comm->Settings();
    try {
        comm->setSettings(text);
        FUZZ_CHECK(parsed.has_value(), printable(text));
        FUZZ_CHECK(comm->Settings() == text, printable(comm->Settings()));
    } catch (const RunTimeError &e) {
        FUZZ_CHECK(!parsed && e.number() == err::kInvalidPropertyValue.number, e.message());
        FUZZ_CHECK(comm->Settings() == was, printable(comm->Settings()));
    }
    return 0;
}
