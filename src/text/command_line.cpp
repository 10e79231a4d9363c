#include "text/command_line.h"

#include "base/version.h"
#include "text/port_table.h"

#include <algorithm>
#include <iterator>
#include <optional>

namespace korvane {

namespace {

// Qt's options, without their dash, as QGuiApplication, QApplication and the X11 platform read
// them: those that take the next argument as their value, those that stand alone, and those that
// may also be given their value after "=".
constexpr const char *kQtValued[] = {"platform",
                                     "platformpluginpath",
                                     "platformtheme",
                                     "plugin",
                                     "qwindowgeometry",
                                     "qwindowicon",
                                     "qwindowtitle",
                                     "session",
                                     "display",
                                     "geometry",
                                     "title",
                                     "icon",
                                     "name",
                                     "style",
                                     "stylesheet"};
constexpr const char *kQtFlags[] = {"reverse", "widgetcount", "nograb",
                                    "dograb",  "testability", "sync"};
constexpr const char *kQtJoined[] = {"style",         "stylesheet", "session",
                                     "qmljsdebugger", "dialogs",    "fontengine"};

bool isOneOf(const QString &name, const auto &names) {
    return std::any_of(std::begin(names), std::end(names),
                       [&](const char *n) { return name == QLatin1String(n); });
}

QString seeHelp() {
    return QStringLiteral("; korvane --help lists the options");
}

} // namespace

CommandLine parseCommandLine(const QStringList &arguments) {
    CommandLine line;
    const auto fail = [&line](const QString &why) {
        if (line.error.isEmpty())
            line.error = why;
    };
    for (qsizetype i = 0; i < arguments.size() && line.error.isEmpty(); ++i) {
        const QString &arg = arguments[i];
        const qsizetype equals = arg.indexOf(QLatin1Char('='));
        const QString name = equals < 0 ? arg : arg.left(equals);
        // The option's value: joined by "=", or the next argument.
        const auto value = [&](const QString &option) -> std::optional<QString> {
            if (equals >= 0)
                return arg.mid(equals + 1);
            if (i + 1 < arguments.size())
                return arguments[++i];
            fail(option + QStringLiteral(" needs a value") + seeHelp());
            return std::nullopt;
        };

        if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            line.help = true;
        } else if (arg == QLatin1String("--version")) {
            line.version = true;
        } else if (arg == QLatin1String("--log-no-polls")) {
            line.leavePollsOut = true;
        } else if (name == QLatin1String("--log")) {
            const std::optional<QString> file = value(name);
            if (file && file->isEmpty())
                fail(QStringLiteral("--log needs a file name"));
            else if (file)
                line.logFile = *file;
        } else if (name == QLatin1String("--port")) {
            const std::optional<QString> entry = value(name);
            QString why;
            const std::optional<PortEntry> parsed =
                entry ? parsePortEntry(*entry, &why) : std::nullopt;
            if (parsed)
                line.ports[parsed->number] = parsed->path;
            else if (entry)
                fail(QStringLiteral("--port \"%1\": %2").arg(*entry, why));
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            // Qt reads its options with one dash or two.
            const QString bare = name.mid(name.startsWith(QLatin1String("--")) ? 2 : 1);
            if (equals >= 0 ? isOneOf(bare, kQtJoined) : isOneOf(bare, kQtFlags)) {
                line.qtArguments << arg;
            } else if (equals < 0 && isOneOf(bare, kQtValued)) {
                if (const std::optional<QString> given = value(name))
                    line.qtArguments << arg << *given;
            } else {
                fail(QStringLiteral("unknown option \"%1\"").arg(arg) + seeHelp());
            }
        } else {
            fail(QStringLiteral("unexpected argument \"%1\"").arg(arg) + seeHelp());
        }
    }
    return line;
}

QString usageText() {
    return QStringLiteral(
        "Usage: korvane [OPTION]... [QT OPTION]...\n"
        "The operator's console for the RT-1446 radio over a serial line.\n"
        "\n"
        "  --log FILE       append a record of the session to FILE: every byte sent to the\n"
        "                   radio and received from it, every message shown and every\n"
        "                   opening, closing and loss of the port, each with its time\n"
        "  --log-no-polls   leave the keep-alive polls out of the record; each run of them is\n"
        "                   counted in one line (\"> U*N\")\n"
        "  --port N=PATH    make COM N the device PATH, over the port table (repeatable)\n"
        "  -h, --help       print this help and exit\n"
        "  --version        print the version and exit\n"
        "\n"
        "Qt's own options are accepted too: -platform NAME, -display HOST:N, -style NAME,\n"
        "-geometry WxH+X+Y, -reverse and the others.\n"
        "\n"
        "Environment: KORVANE_PORTS=\"N=PATH ...\" replaces the port table (by default COM1-4\n"
        "are /dev/ttyS0-3, COM5-10 /dev/ttyUSB0-5, COM11-16 /dev/ttyACM0-5).\n"
        "\n"
        "Exit status: 0 when the window was closed or a question answered; 2 for a mistake\n"
        "on the command line or no display. The manual page korvane(1) says more.\n");
}

QString versionText() {
    return QStringLiteral("korvane ") + QLatin1String(kVersion) + QLatin1Char('\n');
}

} // namespace korvane
