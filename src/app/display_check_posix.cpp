#include "app/display_check.h"

#include <QList>
#include <QString>
#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace korvane {

namespace {

// The value of the last of Qt's `option` (with one dash or two) on the command line; Qt takes
// the last one too. Empty when it is not there.
QByteArray lastQtOption(const QStringList &qtArguments, const char *option) {
    QByteArray value;
    for (qsizetype i = 0; i + 1 < qtArguments.size(); ++i) {
        const QString &arg = qtArguments[i];
        const QStringView bare = QStringView(arg).mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
        if (arg.startsWith(QLatin1Char('-')) && bare == QLatin1String(option))
            value = qtArguments[++i].toLocal8Bit();
    }
    return value;
}

// The platforms Qt will try, in order: `-platform`, else QT_QPA_PLATFORM, else Qt's default.
QList<QByteArray> platformsAsked(const QStringList &qtArguments) {
    QByteArray platform = lastQtOption(qtArguments, "platform");
    if (platform.isEmpty())
        platform = qgetenv("QT_QPA_PLATFORM");
    if (platform.isEmpty()) {
        const bool wayland = !qgetenv("WAYLAND_DISPLAY").isEmpty() ||
                             qgetenv("XDG_SESSION_TYPE") == QByteArrayLiteral("wayland");
        platform = wayland ? QByteArrayLiteral("wayland;xcb") : QByteArrayLiteral("xcb");
    }
    return platform.split(';');
}

// Whether an X server answers at `display`: the connection Qt would make, made and let go.
bool xServerAnswers(const QByteArray &display) {
    xcb_connection_t *connection = xcb_connect(display.constData(), nullptr);
    const bool answers = xcb_connection_has_error(connection) == 0;
    xcb_disconnect(connection);
    return answers;
}

std::optional<QByteArray> xProblem(const QStringList &qtArguments) {
    const QByteArray named = lastQtOption(qtArguments, "display");
    if (!named.isEmpty()) {
        if (xServerAnswers(named))
            return std::nullopt;
        return QByteArrayLiteral("no display was found (no X server answers at -display ") + named +
               QByteArrayLiteral(").");
    }
    const QByteArray display = qgetenv("DISPLAY");
    if (display.isEmpty()) {
        return QByteArrayLiteral("no display was found (neither DISPLAY nor WAYLAND_DISPLAY is "
                                 "set).");
    }
    if (!xServerAnswers(display))
        return QByteArrayLiteral("no display was found (no X server answers at DISPLAY=") +
               display + QByteArrayLiteral(").");
    return std::nullopt;
}

// Whether a compositor takes a connection at the socket `path`: connected and let go, as the
// X server is asked. A socket left behind by a compositor that has ended refuses it.
bool socketAnswers(const QByteArray &path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= qsizetype(sizeof address.sun_path))
        return false;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool answers =
        ::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return answers;
}

std::optional<QByteArray> waylandProblem() {
    if (!qgetenv("WAYLAND_SOCKET").isEmpty())
        return std::nullopt; // a connection handed over by whoever started the program
    QByteArray path = qgetenv("WAYLAND_DISPLAY");
    if (path.isEmpty())
        path = QByteArrayLiteral("wayland-0");
    if (!path.startsWith('/')) {
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            return QByteArrayLiteral("no display was found (XDG_RUNTIME_DIR, where the Wayland "
                                     "compositor's socket is, is not set).");
        path = runtime + '/' + path;
    }
    if (!socketAnswers(path))
        return QByteArrayLiteral("no display was found (no Wayland compositor answers at ") + path +
               QByteArrayLiteral(").");
    return std::nullopt;
}

// ---- the watch over Qt's start ----

struct HeldMessage {
    QtMsgType type;
    QByteArray file, function, category;
    int line;
    QString text;
};

std::mutex g_watchLock;
QtMessageHandler g_previousHandler = nullptr;
QList<HeldMessage> g_held;
QByteArray g_platforms;

// Qt's words when no platform it tried started; the list of those it has follows them.
constexpr char kNoPlatformStarted[] = "no Qt platform plugin could be initialized";
constexpr char kPlatformsQtHas[] = "Available platform plugins are: ";

void passOn(const HeldMessage &m) {
    const QMessageLogContext context(m.file.constData(), m.line, m.function.constData(),
                                     m.category.constData());
    g_previousHandler(m.type, context, m.text);
}

void watchMessages(QtMsgType type, const QMessageLogContext &context, const QString &text) {
    std::unique_lock lock(g_watchLock);
    if (type != QtFatalMsg || !text.contains(QLatin1String(kNoPlatformStarted))) {
        if (type == QtFatalMsg) { // another end: Qt's own, as it would be without the watch
            lock.unlock();
            g_previousHandler(type, context, text);
            return;
        }
        g_held.append({type, context.file, context.function, context.category, context.line, text});
        return;
    }
    QByteArray problem = QByteArrayLiteral("no display was found (Qt could not start the "
                                           "platform \"") +
                         g_platforms + '"';
    const qsizetype listed = text.indexOf(QLatin1String(kPlatformsQtHas));
    if (listed >= 0) {
        const QString has = text.mid(listed + qsizetype(std::strlen(kPlatformsQtHas)))
                                .section(QLatin1Char('\n'), 0, 0)
                                .trimmed();
        problem += QByteArrayLiteral("; the platforms it has: ") +
                   (has.endsWith(QLatin1Char('.')) ? has.chopped(1) : has).toLocal8Bit();
    }
    tellNoDisplay(problem + QByteArrayLiteral(")."));
    for (const HeldMessage &m : g_held)
        passOn(m);
    std::fflush(nullptr);
    std::_Exit(2);
}

} // namespace

std::optional<QByteArray> displayProblem(const QStringList &qtArguments) {
    std::optional<QByteArray> first;
    for (const QByteArray &entry : platformsAsked(qtArguments)) {
        const qsizetype colon = entry.indexOf(':'); // Qt's "NAME:ARGUMENTS"
        const QByteArray name = (colon < 0 ? entry : entry.left(colon)).trimmed().toLower();
        std::optional<QByteArray> problem;
        if (name == "xcb")
            problem = xProblem(qtArguments);
        else if (name.startsWith("wayland"))
            problem = waylandProblem();
        if (!problem)
            return std::nullopt;
        if (!first)
            first = problem;
    }
    return first;
}

void tellNoDisplay(const QByteArray &problem) {
    std::fprintf(stderr, "korvane: %s\n", problem.constData());
    std::fputs("Korvane is a desktop program: start it from a desktop session, or give it a\n"
               "virtual display with  xvfb-run -a korvane  (Debian package xvfb).\n"
               "scripts/run.sh does this for you on a machine without a display.\n",
               stderr);
}

PlatformStartWatch::PlatformStartWatch(const QStringList &qtArguments) {
    const std::lock_guard lock(g_watchLock);
    g_platforms = platformsAsked(qtArguments).join(';');
    g_held.clear();
    g_previousHandler = qInstallMessageHandler(watchMessages);
}

PlatformStartWatch::~PlatformStartWatch() {
    QList<HeldMessage> held;
    {
        const std::lock_guard lock(g_watchLock);
        qInstallMessageHandler(g_previousHandler);
        held.swap(g_held);
    }
    for (const HeldMessage &m : held)
        passOn(m);
}

} // namespace korvane
