#include "support/fault_predicates.h"

#include "support/slot_recorder.h"
#include "text/token_keys.h"
#include "window/shape.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>

namespace korvane::test {

bool runWatched(Console &c, const std::function<bool()> &done, int msecs, qint64 &longest) {
    QElapsedTimer turn;
    turn.start();
    return c.runUntil(
        [&] {
            longest = std::max(longest, turn.restart());
            return done();
        },
        msecs);
}

namespace {
QString judged(Console &c) {
    frmKorvane &w = c.window();
    QStringList wrong;
    const bool open = c.app().MSComm1.PortOpen();
    const bool stopProbe = w.cmdCOMStatus->text() == kStopProbe;
    if (open != stopProbe)
        wrong << QStringLiteral("\"%1\" with the port %2")
                     .arg(w.cmdCOMStatus->text(),
                          open ? QStringLiteral("open") : QStringLiteral("closed"));
    if (w.cboCommPort->isEnabled() == stopProbe || w.cboBaudRate->isEnabled() == stopProbe)
        wrong << QStringLiteral("port and baud boxes %1 under \"%2\"")
                     .arg(w.cboCommPort->isEnabled() ? QStringLiteral("enabled")
                                                     : QStringLiteral("disabled"),
                          w.cmdCOMStatus->text());
    const bool stopSync = w.cmdSyncOnOff->text() == kStopSync;
    if (c.state().SyncEnabled != stopSync)
        wrong << QStringLiteral("polling %1 under \"%2\"")
                     .arg(c.state().SyncEnabled ? QStringLiteral("on") : QStringLiteral("off"),
                          w.cmdSyncOnOff->text());
    if (!stopSync && w.LED[0]->fillColor() != kLedWhite)
        wrong << QStringLiteral("the poll light lit with sync off");
    return wrong.join(QStringLiteral("; "));
}
} // namespace

// A loss the control finds while one event is delivered is told by a later one: the verdict is
// the first truthful one within a few rounds of delivery. A control that lies stays lying.
QString untruths(Console &c) {
    QString wrong;
    for (int round = 0; round < 4; ++round) {
        QCoreApplication::processEvents();
        wrong = judged(c);
        if (wrong.isEmpty())
            break;
    }
    return wrong;
}

QStringList misrouted(const SlotRecorder &r) {
    QStringList wrong;
    for (const SlotRecorder::Line &line : r.lines()) {
        if (slotForLine(line.text) != line.slot)
            wrong << QStringLiteral("%1 in slot %2").arg(line.text).arg(line.slot);
    }
    return wrong;
}

QStringList invented(const SlotRecorder &r, const QStringList &sent) {
    QSet<QString> known;
    for (const QString &line : sent) {
        for (qsizetype i = 0; i < line.size(); ++i)
            known.insert(line.mid(i));
    }
    QStringList wrong;
    for (const QString &line : r.texts()) {
        if (!known.contains(line))
            wrong << line;
    }
    return wrong;
}

QString unbrokenTail(const QStringList &routed, const QStringList &sent) {
    if (routed.size() < 2)
        return QStringLiteral("only %1 lines routed").arg(routed.size());
    const QStringList after = routed.mid(1);
    const QStringList expected = sent.mid(sent.size() - after.size());
    if (after == expected)
        return QString();
    qsizetype i = 0;
    while (after[i] == expected[i])
        ++i;
    return QStringLiteral("%1 lines routed of %2 sent; line %3 of the tail is %4, sent %5")
        .arg(routed.size())
        .arg(sent.size())
        .arg(i)
        .arg(after[i], expected[i]);
}

QList<qint64> droppedCounts(const SlotRecorder &r) {
    static const QRegularExpression dropped(
        QStringLiteral("^Received line too long: (\\d+) characters dropped$"));
    QList<qint64> counts;
    for (const QString &m : r.messages()) {
        const QRegularExpressionMatch match = dropped.match(m);
        if (match.hasMatch())
            counts.append(match.captured(1).toLongLong());
    }
    return counts;
}

QStringList errors(const SlotRecorder &r) {
    QStringList out;
    for (const QString &m : r.messages()) {
        if (m.contains(QStringLiteral("Err ")))
            out << m;
    }
    return out;
}

} // namespace korvane::test
