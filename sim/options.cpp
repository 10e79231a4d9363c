#include "options.h"

#include <QCommandLineParser>

#include <cmath>
#include <limits>

namespace sim {

namespace {

const char kDescription[] =
    "A simulated RT-1446 radio for trying and testing the Korvane console.\n"
    "\n"
    "With no DEVICE it opens a pseudo-terminal pair and prints, as the first line of its\n"
    "standard output, the path the console should open. With DEVICE it serves that serial\n"
    "device instead (7 data bits, odd parity, 1 stop bit).\n"
    "\n"
    "It answers as the radio does, with reports of printable ASCII lines ended by a line\n"
    "feed, the first character of each line its key, a \".\" line closing each report:\n"
    "  U (one byte, no line feed)  keep-alive poll: meter (J) lines, the U line, \".\"\n"
    "  ? and a line feed           full status: one line for every key, then \".\"\n"
    "  KEY and a line feed         that key's line (F, M, A, D, H, I, S, V, QT, QC, ...)\n"
    "  KEY VALUE and a line feed   sets it (F1000000, MLSB, AFAST, G7, P1, ...)\n"
    "Anything else gets an E line and \".\". Blanks around a command are ignored.\n"
    "\n"
    "Every byte received and every report sent is logged with CLOCK_MONOTONIC time stamps,\n"
    "one event a line, to standard error or to the --log file.\n"
    "It runs until SIGTERM or SIGINT, --exit-after or --hangup-after.\n"
    "\n"
    "With --replay it answers nothing and plays instead the radio's side of a traffic log\n"
    "the console recorded, at its recorded pace, from the moment the console opens the line.";

struct Number {
    bool ok = false;
    double value = 0;
};

Number number(const QCommandLineParser &parser, const QString &name, double min, double max,
              QString *error) {
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || !std::isfinite(value) || value < min || value > max) {
        *error = QStringLiteral("--%1: expected a number from %2 to %3, not \"%4\"")
                     .arg(name)
                     .arg(min, 0, 'g', 12)
                     .arg(max, 0, 'g', 12)
                     .arg(parser.value(name));
        return {};
    }
    return {true, value};
}

Number whole(const QCommandLineParser &parser, const QString &name, double min, double max,
             QString *error) {
    Number n = number(parser, name, min, max, error);
    if (n.ok && n.value != std::floor(n.value)) {
        *error = QStringLiteral("--%1: expected a whole number, not \"%2\"")
                     .arg(name, parser.value(name));
        n.ok = false;
    }
    return n;
}

constexpr double kSlowestReplay = 0.01;
constexpr double kFastestReplay = 1000;

// A replay sends the recorded bytes as they are, so the options that shape the radio's own
// answers would be silently without effect: they are refused instead.
ParseResult replayOptions(const QCommandLineParser &parser, Options &options) {
    const QString speed = QStringLiteral("replay-speed");
    const bool replay = parser.isSet(QStringLiteral("replay"));
    options.replayPath = parser.value(QStringLiteral("replay"));
    if (replay && options.replayPath.isEmpty())
        return {ParseResult::Outcome::Error, QStringLiteral("--replay: the file name is empty")};
    if (parser.isSet(speed)) {
        if (!replay)
            return {ParseResult::Outcome::Error, QStringLiteral("--replay-speed needs --replay")};
        bool ok = false;
        options.replaySpeed = parser.value(speed).toDouble(&ok);
        if (!ok || !std::isfinite(options.replaySpeed) || options.replaySpeed <= 0)
            return {ParseResult::Outcome::Error,
                    QStringLiteral("--replay-speed: expected a number greater than 0, not \"%1\"")
                        .arg(parser.value(speed))};
        // Slower than a hundredth, a poll interval of the recording lasts minutes; faster than a
        // thousand times, its millisecond gaps shrink below what the radio's timers keep and
        // the line's own pace sets the replay's. Far beyond them a step's due time no longer
        // fits the radio's wait, which then gave up without a word.
        QString error;
        if (!number(parser, speed, kSlowestReplay, kFastestReplay, &error).ok)
            return {ParseResult::Outcome::Error, error};
    }
    if (!replay)
        return {ParseResult::Outcome::Run, {}};
    for (const char *name : {"reply-delay", "meter-lines", "seed", "crlf", "pause-in-line",
                             "long-line", "garbage", "stream", "silent"}) {
        if (parser.isSet(QString::fromLatin1(name)))
            return {ParseResult::Outcome::Error,
                    QStringLiteral("--%1 shapes the radio's own answers; not with --replay, "
                                   "which sends the recorded bytes as they are")
                        .arg(QLatin1String(name))};
    }
    return {ParseResult::Outcome::Run, {}};
}

} // namespace

ParseResult parseOptions(const QStringList &arguments, Options &options) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.addHelpOption();
    parser.addPositionalArgument(
        QStringLiteral("DEVICE"),
        QStringLiteral("Serial device to serve instead of a new pseudo-terminal."),
        QStringLiteral("[DEVICE]"));
    const QList<QCommandLineOption> list{
        {QStringLiteral("link"),
         QStringLiteral("Also make a symbolic link at PATH to the pseudo-terminal (replaces an "
                        "older link there, removed on exit)."),
         QStringLiteral("PATH")},
        {QStringLiteral("baud"),
         QStringLiteral("Pace output at N baud (10 bit times a character). Default: the baud "
                        "the console set on the line, 9600 until it sets one. With DEVICE: the "
                        "device's baud, default 9600."),
         QStringLiteral("N")},
        {QStringLiteral("no-pace"), QStringLiteral("Send every report as fast as possible.")},
        {QStringLiteral("reply-delay"),
         QStringLiteral("Wait MS milliseconds before answering (default 5)."),
         QStringLiteral("MS")},
        {QStringLiteral("meter-lines"),
         QStringLiteral("J lines in each answer to a poll (default 4)."), QStringLiteral("N")},
        {QStringLiteral("seed"),
         QStringLiteral("Seed for the wandering meter and the garbage (default 1446)."),
         QStringLiteral("N")},
        {QStringLiteral("crlf"), QStringLiteral("Send a carriage return before each line feed.")},
        {QStringLiteral("pause-in-line"),
         QStringLiteral("Pause MS milliseconds in the middle of every line."),
         QStringLiteral("MS")},
        {QStringLiteral("long-line"),
         QStringLiteral("Once, at the start of the first report, send a line of N characters "
                        "(an L, then digits) before its line feed."),
         QStringLiteral("N")},
        {QStringLiteral("garbage"),
         QStringLiteral("Mix NUL, bytes above 127 and control characters into the lines "
                        "(never before a line's key, never a line end).")},
        {QStringLiteral("stream"),
         QStringLiteral("Send poll answers back to back without pause, polled or not.")},
        {QStringLiteral("silent"), QStringLiteral("Never answer (still logs what arrives).")},
        {QStringLiteral("hangup-after"),
         QStringLiteral("After N bytes sent, close the line and exit, as a pulled adapter "
                        "would."),
         QStringLiteral("N")},
        {QStringLiteral("exit-after"), QStringLiteral("Exit after SECONDS seconds."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("log"),
         QStringLiteral("Write the log to FILE (truncated) instead of standard error."),
         QStringLiteral("FILE")},
        {QStringLiteral("replay"),
         QStringLiteral("Instead of answering, play back what the radio sent in the traffic "
                        "log LOG, at its recorded pace, from the moment the console opens the "
                        "line. LOG is a regular file of at most 64 MiB."),
         QStringLiteral("LOG")},
        {QStringLiteral("replay-speed"),
         QStringLiteral("Play the log X times as fast, from 0.01 to 1000 (0.5: half as fast; "
                        "default 1)."),
         QStringLiteral("X")},
    };
    parser.addOptions(list);

    if (!parser.parse(arguments))
        return {ParseResult::Outcome::Error, parser.errorText()};
    if (parser.isSet(QStringLiteral("help")))
        return {ParseResult::Outcome::Help, parser.helpText()};

    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1)
        return {ParseResult::Outcome::Error, QStringLiteral("only one DEVICE can be served")};
    options.device = positional.value(0);
    options.link = parser.value(QStringLiteral("link"));
    if (!options.device.isEmpty() && parser.isSet(QStringLiteral("link")))
        return {ParseResult::Outcome::Error,
                QStringLiteral("--link makes a link to a pseudo-terminal; not with DEVICE")};
    if (parser.isSet(QStringLiteral("link")) && options.link.isEmpty())
        return {ParseResult::Outcome::Error, QStringLiteral("--link: the path is empty")};
    options.logPath = parser.value(QStringLiteral("log"));
    options.pace = !parser.isSet(QStringLiteral("no-pace"));
    options.wire.crlf = parser.isSet(QStringLiteral("crlf"));
    options.wire.garbage = parser.isSet(QStringLiteral("garbage"));
    options.stream = parser.isSet(QStringLiteral("stream"));
    options.silent = parser.isSet(QStringLiteral("silent"));

    QString error;
    auto take = [&](const char *name, double min, double max, bool integral, auto &&store) {
        const QString key = QString::fromLatin1(name);
        if (!parser.isSet(key) || !error.isEmpty())
            return;
        const Number n =
            integral ? whole(parser, key, min, max, &error) : number(parser, key, min, max, &error);
        if (n.ok)
            store(n.value);
    };
    constexpr double kMaxInt = std::numeric_limits<int>::max();
    take("baud", 50, 4'000'000, true, [&](double v) { options.baud = int(v); });
    take("reply-delay", 0, 60'000, true, [&](double v) { options.replyDelayMs = int(v); });
    take("meter-lines", 0, 100, true, [&](double v) { options.meterLinesPerPoll = int(v); });
    take("seed", 0, 4294967295.0, true, [&](double v) { options.seed = unsigned(v); });
    take("pause-in-line", 1, 60'000, true, [&](double v) { options.wire.pauseInLineMs = int(v); });
    take("long-line", 1, 16'000'000, true, [&](double v) { options.wire.longLine = qsizetype(v); });
    take("hangup-after", 0, 1e15, true, [&](double v) { options.hangupAfter = qint64(v); });
    take("exit-after", 0.001, kMaxInt, false, [&](double v) { options.exitAfter = v; });
    if (!error.isEmpty())
        return {ParseResult::Outcome::Error, error};
    return replayOptions(parser, options);
}

} // namespace sim
