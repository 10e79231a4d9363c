#include "fuzz_support.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <poll.h>
#include <unistd.h>

namespace korvane::fuzz {

void fail(const char *what, const QString &detail) {
    std::fprintf(stderr, "\nkorvane fuzz: property broken: %s\n", what);
    if (!detail.isEmpty())
        std::fprintf(stderr, "  %s\n", detail.toUtf8().constData());
    std::fflush(stderr);
    std::abort();
}

QString latin1(const std::uint8_t *data, std::size_t size) {
    return QString::fromLatin1(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
}

QString printable(const QString &text, qsizetype limit) {
    QString out;
    for (qsizetype i = 0; i < text.size() && out.size() < limit; ++i) {
        qsizetype run = 1;
        while (i + run < text.size() && text[i + run] == text[i])
            ++run;
        const QChar c = text[i];
        const QString shown =
            c.unicode() >= 0x20 && c.unicode() < 0x7F
                ? QString(c)
                : QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        if (run > 8) {
            out += QStringLiteral("[%1 x%2]").arg(shown).arg(run);
            i += run - 1;
        } else {
            out += shown;
        }
    }
    if (out.size() >= limit)
        out += QStringLiteral("...");
    return QStringLiteral("\"") + out + QStringLiteral("\" (%1 chars)").arg(text.size());
}

Stream streamFrom(const std::uint8_t *data, std::size_t size) {
    Stream stream;
    if (size < 2)
        return stream;
    stream.mode = data[0];
    std::uint32_t seed = 0x9E3779B9u ^ (std::uint32_t{data[1]} * 2654435761u);
    const QString text = latin1(data + 2, size - 2);
    static constexpr qsizetype kLongest[] = {0, 4, 64, 3000};
    const qsizetype longest = kLongest[stream.mode & 3];
    if (longest == 0) {
        stream.batches.push_back(text);
        return stream;
    }
    for (qsizetype pos = 0; pos < text.size();) {
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        const qsizetype length =
            1 + static_cast<qsizetype>(seed % static_cast<std::uint32_t>(longest));
        stream.batches.push_back(text.mid(pos, length));
        pos += length;
    }
    return stream;
}

Account accountFor(const std::vector<QString> &batches, qsizetype maxTail) {
    Account account;
    QString line;
    bool lineDropped = false;
    for (const QString &chunk : batches) {
        Account::Batch batch;
        for (const QChar c : chunk) {
            if (c == QLatin1Char('\n')) {
                if (!line.isEmpty()) {
                    account.lines.push_back({line, lineDropped});
                    if (!lineDropped)
                        batch.routed << line;
                }
                line.clear();
                lineDropped = false;
                continue;
            }
            line += c;
            if (lineDropped) {
                ++batch.dropped;
                batch.droppedLine = line.size();
            }
        }
        // What is left of a line when a batch ends waits for the next one, unless it is already
        // longer than any line the radio sends.
        if (!lineDropped && line.size() > maxTail) {
            lineDropped = true;
            batch.dropped += line.size();
            batch.droppedLine = line.size();
        }
        batch.unfinished = lineDropped ? QString() : line;
        batch.dropping = lineDropped;
        account.batches.push_back(batch);
    }
    return account;
}

} // namespace korvane::fuzz
