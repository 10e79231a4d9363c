// The console driven from inside, for the measures that must see the window: the whole program
// (window, serial control, probe loop) built exactly as the korvane executable builds it, with
// the same event pump that sleeps until the next event or due moment. The driver only clicks the
// buttons an operator would click and runs the loop a turn at a time, so that it can look at the
// window between two turns; one turn of the loop is what the program's own endless loop does.
//
//   korvane-bench drive geometry
//       where the buttons "Start Probe" and "Start Sync" are in the window, for clicking them in
//       the real executable
//   korvane-bench drive latency --baud N --seconds S --out FILE [--log FILE]
//       records every report shown in txtFromVO1446: when it was set, when it was painted, its
//       text; the benchmark sets these against the radio's log. With --log the session is logged
//       there, as the program's own --log does
//   korvane-bench drive throughput --baud N --seconds S --radio-pid P --radio-log FILE --out FILE
//       counts the lines the loop routes while the radio streams, then holds the radio still,
//       lets the console take what is on its way, and compares with what the radio sent
//   korvane-bench drive backlog --radio-pid P --out FILE
//       holds the loop in the About box until 200 KB have piled up from a radio that never pauses,
//       holds the radio still, closes the box, and measures the longest time the window goes
//       without dispatching an event while the backlog is framed and routed
//
// Results are "key value" lines in the --out file. With KORVANE_BENCH_TRACE=FILE the throughput
// measure also writes a time line of the loop's turns, the batches framed and every repaint.

#include "driver.h"

#include "processes.h"

#include "app/korvane_app.h"
#include "text/framing.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <unistd.h>

namespace bench {

namespace {

using korvane::Korvane;

std::map<std::string, std::string> options(int argc, char *argv[], int first) {
    std::map<std::string, std::string> o;
    for (int i = first; i + 1 < argc; i += 2)
        o[argv[i]] = argv[i + 1];
    return o;
}

std::string hex(const QString &text) {
    return text.toLatin1().toHex().toStdString();
}

// FNV-1a: lines are compared by hash, which is all the comparison needs.
std::uint64_t lineHash(const QByteArray &line) {
    std::uint64_t h = 1469598103934665603ull;
    for (const char c : line) {
        h ^= static_cast<unsigned char>(c);
        h *= 1099511628211ull;
    }
    return h;
}

[[noreturn]] void fail(const char *why) {
    std::fprintf(stderr, "korvane-bench drive: %s\n", why);
    std::_Exit(2);
}

// The console, built as main() builds it.
struct Console {
    Korvane k{korvane::waitAndDispatch, [] { fail("the console shut down"); }};

    // The operator's steps: start-up, the line speed, "Start Probe", "Start Sync".
    void openWithSync(int baud) {
        k.loop.showWindow();
        // The box offers speeds up to 19200; faster lines run at its fastest.
        const QString wanted = QString::number(baud);
        k.window.cboBaudRate->setCurrentIndex(k.window.cboBaudRate->count() - 1);
        for (int i = 0; i < k.window.cboBaudRate->count(); ++i) {
            if (k.window.cboBaudRate->itemText(i) == wanted)
                k.window.cboBaudRate->setCurrentIndex(i);
        }
        k.window.cmdCOMStatus->click();
        const double until = monotonicNow() + 3.0;
        while (!k.loop.probing() && monotonicNow() < until)
            k.loop.step();
        if (!k.loop.probing())
            fail("the port did not open");
        k.window.cmdSyncOnOff->click();
    }
};

// Watches the window's repaints: how many, and the longest time between two of them inside the
// span [from, to]. Keeps no list, so that watching does not grow the process.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget *window) : m_window(window) {}
    long count = 0;
    double longestGap = 0;
    double from = 1e300, to = 1e300;
    std::function<void(QWidget *)> onPaint;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        if (event->type() == QEvent::Paint && watched->isWidgetType()) {
            auto *widget = static_cast<QWidget *>(watched);
            if (widget->window() == m_window) {
                const double now = monotonicNow();
                if (count > 0 && now > from && now <= to)
                    longestGap = std::max(longestGap, now - m_last);
                m_last = now;
                ++count;
                if (onPaint)
                    onPaint(widget);
            }
        }
        return false;
    }

private:
    QWidget *m_window;
    double m_last = 0;
};

int geometry(int argc, char *argv[]) {
    korvane::prepareDisplay();
    QApplication app(argc, argv);
    Console c;
    c.k.window.show();
    QApplication::processEvents();
    for (QAbstractButton *b : {static_cast<QAbstractButton *>(c.k.window.cmdCOMStatus),
                               static_cast<QAbstractButton *>(c.k.window.cmdSyncOnOff)}) {
        const QPoint centre = b->mapTo(&c.k.window, b->rect().center());
        std::printf("%s %d %d\n", qPrintable(b->objectName()), centre.x(), centre.y());
    }
    return 0;
}

int latency(int argc, char *argv[]) {
    auto o = options(argc, argv, 3);
    const int baud = std::stoi(o["--baud"]);
    const double seconds = std::stod(o["--seconds"]);
    std::ofstream out(o["--out"]);

    korvane::prepareDisplay();
    QApplication app(argc, argv);
    Console c;
    if (!o["--log"].empty() && !c.k.sessionLog.start(QString::fromStdString(o["--log"])).isEmpty())
        fail("the session log could not be opened");
    QPlainTextEdit *box = c.k.window.txtFromVO1446;

    struct Shown {
        double set;
        QString text;
    };
    std::vector<Shown> pending;
    QObject::connect(box, &QPlainTextEdit::textChanged, box, [&] {
        pending.push_back({monotonicNow(), box->toPlainText()});
    });
    PaintWatch watch(&c.k.window);
    watch.onPaint = [&](QWidget *widget) {
        if (widget != box->viewport())
            return;
        const double painted = monotonicNow();
        for (const Shown &s : pending) {
            if (!s.text.isEmpty())
                out << "SHOWN " << std::fixed << s.set << ' ' << painted << ' ' << hex(s.text)
                    << '\n';
        }
        pending.clear();
    };
    QApplication::instance()->installEventFilter(&watch);

    c.openWithSync(baud);
    out << "OPEN " << std::fixed << monotonicNow() << '\n';
    const double until = monotonicNow() + seconds;
    while (monotonicNow() < until)
        c.k.loop.step();
    out << "END " << std::fixed << monotonicNow() << '\n';
    out.flush();
    std::fflush(nullptr);
    std::_Exit(0); // as the program ends: at once, without tearing the window down
}

// Lines the radio sent in whole reports, in order, and lines of a report cut short at the end.
struct SentLines {
    std::vector<std::string> lines;
    std::size_t whole = 0; // lines[0..whole) belong to reports sent whole
    long bytes = 0;        // bytes of the whole reports
    double first = 0, last = 0;
};

SentLines sentAfter(const RadioLog &log, double opened) {
    SentLines sent;
    for (const RadioLog::Report &r : log.reports) {
        if (r.start < opened)
            continue; // partly written before the port was opened, and so not ours
        const std::string text = r.text.toStdString();
        std::size_t begin = 0;
        while (begin < text.size()) {
            auto end = text.find('\n', begin);
            if (end == std::string::npos)
                end = text.size();
            if (end > begin)
                sent.lines.push_back(text.substr(begin, end - begin));
            begin = end + 1;
        }
        if (r.end >= 0) {
            sent.whole = sent.lines.size();
            sent.bytes += r.bytes;
            if (sent.first == 0)
                sent.first = r.start;
            sent.last = r.end;
        }
    }
    return sent;
}

int throughput(int argc, char *argv[]) {
    auto o = options(argc, argv, 3);
    const int baud = std::stoi(o["--baud"]);
    const double seconds = std::stod(o["--seconds"]);
    const pid_t radioPid = static_cast<pid_t>(std::stol(o["--radio-pid"]));
    const std::string radioLog = o["--radio-log"];
    std::ofstream out(o["--out"]);

    korvane::prepareDisplay();
    QApplication app(argc, argv);
    Console c;
    PaintWatch watch(&c.k.window);
    QApplication::instance()->installEventFilter(&watch);

    c.openWithSync(baud);
    const double opened = monotonicNow();

    // The lines the loop hands to routing: each batch framed exactly as the loop frames it, at
    // the turn that frames it, with framing state of its own that follows the loop's. Each is
    // kept as a hash, in room claimed and touched before the stream starts, so that keeping them
    // does not show as growth of the console's memory.
    korvane::FramingState mirror;
    std::vector<std::uint64_t> routed(static_cast<std::size_t>(baud / 10.0 * (seconds + 10)), 0);
    std::size_t routedCount = 0;
    QString lastJ;
    // KORVANE_BENCH_TRACE=FILE: a time line of turns, framed batches and repaints.
    std::FILE *trace = std::getenv("KORVANE_BENCH_TRACE")
                           ? std::fopen(std::getenv("KORVANE_BENCH_TRACE"), "w")
                           : nullptr;
    if (trace) {
        watch.onPaint = [&](QWidget *w) {
            std::fprintf(trace, "%.6f PAINT %s\n", monotonicNow(), qPrintable(w->objectName()));
        };
    }
    auto turn = [&] {
        if (trace)
            std::fprintf(trace, "%.6f TURN ready=%d buffer=%lld\n", monotonicNow(),
                         int(c.k.state.ResponseReady),
                         static_cast<long long>(c.k.state.RxBuffer.size()));
        if (c.k.loop.probing() && c.k.state.ResponseReady) {
            const QString &waiting = c.k.state.RxBuffer;
            const korvane::FramedBatch batch =
                korvane::frameBatch(waiting.left(korvane::framingCut(waiting)), mirror);
            for (const QString &line : batch.lines) {
                if (routedCount < routed.size())
                    routed[routedCount++] = lineHash(line.toLatin1());
                if (line.startsWith(QLatin1Char('J')))
                    lastJ = line;
            }
        }
        c.k.loop.step();
    };

    std::vector<std::pair<double, long>> resident;
    resident.reserve(static_cast<std::size_t>(seconds) + 10);
    const double until = opened + seconds;
    watch.from = opened + 1.0;
    watch.to = until;
    double nextSample = opened;
    while (monotonicNow() < until) {
        if (monotonicNow() >= nextSample) {
            resident.emplace_back(monotonicNow(), residentKiB(getpid()));
            nextSample += 1.0;
        }
        turn();
    }
    const double stopped = monotonicNow();
    kill(radioPid, SIGSTOP); // hold the radio still; what it wrote is on its way
    const double drainUntil = stopped + 1.5;
    while (monotonicNow() < drainUntil)
        turn();
    // The routing itself must agree: the meter slot shows the last meter line framed.
    const bool meterSlotAgrees = !lastJ.isEmpty() && c.k.window.StatusToken[31]->text() == lastJ;

    // Compare with what the radio sent since the port opened.
    const SentLines sent = sentAfter(readRadioLog(radioLog), opened);
    std::vector<std::uint64_t> sentHashes;
    for (const std::string &line : sent.lines)
        sentHashes.push_back(lineHash(QByteArray::fromStdString(line)));
    std::size_t at = 0; // where the first whole report begins among the routed lines
    const std::size_t probe = std::min<std::size_t>(sent.whole, 24);
    bool aligned = false;
    for (; probe > 0 && at + probe <= routedCount; ++at) {
        if (std::equal(sentHashes.begin(), sentHashes.begin() + static_cast<long>(probe),
                       routed.begin() + static_cast<long>(at))) {
            aligned = true;
            break;
        }
    }
    std::size_t matched = 0, lost = 0, wrong = 0;
    if (aligned) {
        std::size_t r = at;
        for (std::size_t s = 0; s < sent.whole; ++s) {
            if (r < routedCount && routed[r] == sentHashes[s]) {
                ++matched;
                ++r;
                continue;
            }
            // A line missing here shows up as the next line sent being the one routed.
            if (r < routedCount && s + 1 < sentHashes.size() && routed[r] == sentHashes[s + 1]) {
                ++lost;
                continue;
            }
            ++wrong;
            ++r;
        }
    }
    const std::size_t half = resident.size() / 2;
    const long residentMid = resident.empty() ? 0 : resident[half].second;
    const long residentEnd = resident.empty() ? 0 : resident.back().second;
    long residentMax = 0;
    for (const auto &[when, kib] : resident)
        residentMax = std::max(residentMax, kib);
    const double streamSeconds = sent.last - sent.first;

    out << "aligned " << (aligned ? 1 : 0) << '\n'
        << "lines_sent " << sent.whole << '\n'
        << "lines_routed " << matched << '\n'
        << "lines_lost " << lost << '\n'
        << "lines_wrong " << wrong << '\n'
        << "meter_slot_agrees " << (meterSlotAgrees ? 1 : 0) << '\n'
        << "chars_per_second " << (streamSeconds > 0 ? sent.bytes / streamSeconds : 0) << '\n'
        << "longest_paint_gap " << watch.longestGap << '\n'
        << "paints " << watch.count << '\n'
        << "resident_mid_kib " << residentMid << '\n'
        << "resident_end_kib " << residentEnd << '\n'
        << "resident_max_kib " << residentMax << '\n'
        << "peak_resident_kib " << peakResidentKiB(getpid()) << '\n';
    out.flush();
    std::fflush(nullptr);
    std::_Exit(0);
}

int backlog(int argc, char *argv[]) {
    auto o = options(argc, argv, 3);
    const pid_t radioPid = static_cast<pid_t>(std::stol(o["--radio-pid"]));
    std::ofstream out(o["--out"]);

    korvane::prepareDisplay();
    QApplication app(argc, argv);
    Console c;
    c.openWithSync(9600);

    // The About box holds the loop (it is modal) while the radio goes on sending.
    constexpr qsizetype kBacklog = 200 * 1024;
    const double opened = monotonicNow();
    QTimer closer;
    qsizetype piled = 0;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (box == nullptr ||
            (c.k.state.RxBuffer.size() < kBacklog && monotonicNow() < opened + 20))
            return;
        kill(radioPid, SIGSTOP); // what piled up is all there is
        closer.stop();
        piled = c.k.state.RxBuffer.size();
        qobject_cast<QDialog *>(box)->accept();
    });
    closer.start(10);
    c.k.window.mnuHelpAbout->trigger(); // returns once the box is closed

    // Every turn of the loop dispatches what is pending; a 10 ms timer stands for the operator's
    // next event, and the gap between two of its ticks is how long that event waited.
    double longest = 0, last = monotonicNow();
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const double now = monotonicNow();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start(10);
    const double start = monotonicNow();
    while (c.k.state.RxBuffer.size() >= 4096 && monotonicNow() < start + 30)
        c.k.loop.step();
    const double drained = monotonicNow();
    tick.stop();
    out << "backlog_chars " << piled << '\n'
        << "longest_gap " << longest << '\n'
        << "drain_seconds " << drained - start << '\n';
    out.flush();
    std::fflush(nullptr);
    std::_Exit(0);
}

} // namespace

int drive(int argc, char *argv[]) {
    if (argc < 3)
        fail("which measure?");
    const std::string what = argv[2];
    if (what == "geometry")
        return geometry(argc, argv);
    if (what == "latency")
        return latency(argc, argv);
    if (what == "throughput")
        return throughput(argc, argv);
    if (what == "backlog")
        return backlog(argc, argv);
    fail("unknown measure");
}

} // namespace bench
