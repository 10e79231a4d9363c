#include "replay_log.h"

#include <QByteArrayView>
#include <QDate>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace sim {

namespace {

// Every record begins "YYYY-MM-DD HH:MM:SS.mmm M", the mark at a fixed column.
constexpr char kStampPattern[] = "0000-00-00 00:00:00.000"; // 0: a digit
constexpr qsizetype kStampLength = sizeof kStampPattern - 1;
constexpr qsizetype kMarkAt = kStampLength + 1;
constexpr qsizetype kTextAt = kMarkAt + 2;
constexpr qint64 kMsPerDay = 86'400'000;

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (isDigit(c))
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Milliseconds since a fixed day long past, so that two stamps of one log subtract across
// midnight, the end of a month or of a year.
std::optional<qint64> stampMs(QByteArrayView line, QString *why) {
    for (qsizetype i = 0; i < kStampLength; ++i) {
        const char want = kStampPattern[i];
        if (want == '0' ? !isDigit(line[i]) : line[i] != want) {
            *why = QStringLiteral("the time stamp does not read YYYY-MM-DD HH:MM:SS.mmm");
            return std::nullopt;
        }
    }
    const auto number = [&](qsizetype at, qsizetype count) {
        int value = 0;
        for (qsizetype i = at; i < at + count; ++i)
            value = value * 10 + (line[i] - '0');
        return value;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const int hour = number(11, 2);
    const int minute = number(14, 2);
    const int second = number(17, 2);
    if (!date.isValid() || hour > 23 || minute > 59 || second > 59) {
        *why = QStringLiteral("no such date or time of day");
        return std::nullopt;
    }
    return date.toJulianDay() * kMsPerDay + ((hour * 60 + minute) * 60 + second) * 1000 +
           number(20, 3);
}

// The bytes an escaped TEXT stands for; `cut` tells whether it ended in "\c".
bool unescape(QByteArrayView text, QByteArray *bytes, bool *cut, QString *why) {
    bytes->clear();
    bytes->reserve(text.size() + 1);
    *cut = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            bytes->append(text[i]);
            continue;
        }
        if (i + 1 == text.size()) {
            *why = QStringLiteral("a lone \\ at the end of the text");
            return false;
        }
        const char escape = text[++i];
        switch (escape) {
        case '\\':
            bytes->append('\\');
            break;
        case 'r':
            bytes->append('\r');
            break;
        case 't':
            bytes->append('\t');
            break;
        case 'c':
            if (i + 1 != text.size()) {
                *why = QStringLiteral("\\c before the end of the text");
                return false;
            }
            *cut = true;
            break;
        case 'x': {
            const int high = i + 1 < text.size() ? hexValue(text[i + 1]) : -1;
            const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
            if (high < 0 || low < 0) {
                *why = QStringLiteral("\\x not followed by two hex digits");
                return false;
            }
            bytes->append(char(high * 16 + low));
            i += 2;
            break;
        }
        default:
            *why = QStringLiteral("unknown escape \\%1").arg(QLatin1Char(escape));
            return false;
        }
    }
    return true;
}

// One line of the log as far as the radio cares.
struct Event {
    qint64 ms = 0;
    char mark = 0;
    bool opened = false;
    bool lost = false;
    QByteArray bytes; // mark '<': what the radio sent, line feed included
};

std::optional<Event> parseLine(QByteArrayView line, QString *why) {
    for (qsizetype i = 0; i < line.size(); ++i) {
        const auto u = static_cast<unsigned char>(line[i]);
        if (u < 0x20 || u > 0x7e) {
            *why = QStringLiteral("byte 0x%1 in column %2 is not printable ASCII")
                       .arg(u, 2, 16, QLatin1Char('0'))
                       .arg(i + 1);
            return std::nullopt;
        }
    }
    if (line.size() <= kMarkAt) {
        *why = line.isEmpty() ? QStringLiteral("an empty line")
                              : QStringLiteral("too short for a time stamp and a mark");
        return std::nullopt;
    }
    const std::optional<qint64> ms = stampMs(line, why);
    if (!ms)
        return std::nullopt;
    if (line[kStampLength] != ' ') {
        *why = QStringLiteral("no blank after the time stamp");
        return std::nullopt;
    }
    Event event;
    event.ms = *ms;
    event.mark = line[kMarkAt];
    if (!QByteArrayView("<>!=").contains(event.mark)) {
        *why = QStringLiteral("unknown mark \"%1\"").arg(QLatin1Char(event.mark));
        return std::nullopt;
    }
    // A record with an empty TEXT whose trailing blank was lost (an editor trims it) still
    // reads as one: nothing else could have been meant.
    if (line.size() > kMarkAt + 1 && line[kMarkAt + 1] != ' ') {
        *why = QStringLiteral("no blank after the mark");
        return std::nullopt;
    }
    const QByteArrayView text = line.size() > kTextAt ? line.sliced(kTextAt) : QByteArrayView();
    const auto isWord = [&](QByteArrayView word) {
        return text.startsWith(word) && (text.size() == word.size() || text[word.size()] == ' ');
    };
    if (event.mark == '=') {
        event.opened = isWord("opened");
        event.lost = isWord("lost");
    } else if (event.mark == '<') {
        bool cut = false;
        if (!unescape(text, &event.bytes, &cut, why))
            return std::nullopt;
        if (!cut)
            event.bytes.append('\n');
    }
    return event;
}

} // namespace

ReplayLog parseReplayLog(const QByteArray &text) {
    ReplayLog log;
    QList<Event> events;
    std::optional<qint64> start;
    std::optional<qint64> opened;
    qsizetype lineNumber = 0;
    for (qsizetype at = 0; at < text.size();) {
        qsizetype end = text.indexOf('\n', at);
        if (end < 0)
            end = text.size();
        const QByteArrayView line(text.constData() + at, end - at);
        at = end + 1;
        ++lineNumber;
        QString why;
        std::optional<Event> event = parseLine(line, &why);
        if (!event) {
            log.problems.append({lineNumber, why});
            continue;
        }
        if (!start)
            start = event->ms;
        if (event->opened && !opened)
            opened = event->ms;
        if (event->mark == '<' || event->lost)
            events.append(std::move(*event));
    }

    const qint64 origin = opened ? *opened : start.value_or(0);
    qint64 due = 0;
    for (Event &event : events) {
        due = std::max(due, event.ms - origin);
        if (!event.lost && !log.steps.isEmpty() && !log.steps.last().lost &&
            log.steps.last().ms == due) {
            log.steps.last().bytes += event.bytes;
            ++log.steps.last().records;
            continue;
        }
        ReplayStep step;
        step.ms = due;
        step.lost = event.lost;
        step.bytes = std::move(event.bytes);
        step.records = event.lost ? 0 : 1;
        log.steps.append(std::move(step));
    }
    return log;
}

bool readReplayLog(const QString &path, ReplayLog *log, QString *error) {
    const auto refuse = [&](const QString &why) {
        *error = QStringLiteral("cannot read the replay log %1: %2").arg(path, why);
        return false;
    };
    // Opened without waiting, so that a FIFO with no writer is refused rather than waited on;
    // only a regular file of a bounded size is read, so that /dev/zero or a mistaken image
    // cannot take all the memory.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return refuse(file.errorString());
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return refuse(QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISREG(info.st_mode))
        return refuse(QStringLiteral("not a regular file"));
    const QString tooLarge =
        QStringLiteral("larger than %1 MiB").arg(kLargestReplayLog / (1024 * 1024));
    if (info.st_size > kLargestReplayLog)
        return refuse(tooLarge);
    // One byte more than was there: a log that grew past the bound since is refused too.
    const QByteArray text = file.read(info.st_size + 1);
    if (file.error() != QFileDevice::NoError)
        return refuse(file.errorString());
    if (text.size() > kLargestReplayLog)
        return refuse(tooLarge);
    *log = parseReplayLog(text);
    return true;
}

} // namespace sim
