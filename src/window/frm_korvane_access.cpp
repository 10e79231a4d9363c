// The window for the keyboard and a screen reader: each label tied to the box it names, the notes
// beside a box as its description, the indicators named, F10 into the menu bar as Alt, the focus
// kept where the operator put it, and the boxes the program writes shown from their start.

#include "window/focus_keeper.h"
#include "window/frm_korvane.h"
#include "window/shape.h"
#include "window/simple_combo.h"
#include "window/text_start_keeper.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSet>
#include <QShortcut>
#include <utility>

namespace korvane {

namespace {

// Only a label's text without "&" may name its box through Qt's buddy: a buddy's "&" marks an
// access key, which would take the character off the label and give the window a key it never
// had. The slot labelled "&" is named by its box's own name instead.
void tie(QLabel *label, QWidget *box) {
    if (label && box && !label->text().contains(QLatin1Char('&')))
        label->setBuddy(box);
}

} // namespace

void frmKorvane::makeAccessible() {
    const std::pair<QLabel *, QWidget *> named[]{
        {lblLabel[2], cboCommPort}, {lblLabel[0], cboBaudRate}, {lblLabel[3], cboParity},
        {lblLabel[4], cboDataBits}, {lblLabel[5], cboStopBits}, {Label1, txtCommandTime},
        {Label2, txtResponseTime},  {Label3, txtElapsedTime},   {lblFreq, txtFreq},
        {lblMode, txtMode},         {lblAGC, txtAGC},           {lblControl, txtControl},
        {lblAudio, txtAudio},       {lblDevice, txtDevice},     {lblMeter, txtMeter},
        {lblVOX, txtVOX},           {lblSideTone, txtSideTone}, {lblPTT, txrPTT},
        {lblClipping, txtClipping},
    };
    for (const auto &[label, box] : named)
        tie(label, box);
    for (std::size_t slot = 0; slot < StatusToken.size(); ++slot)
        tie(slotLabel[slot], StatusToken[slot]);

    // The notes beside a box say how to use it.
    cboCommPort->setAccessibleDescription(lblLabel[6]->text());
    cboCommand->setAccessibleDescription(lblCmd->text());
    cboCommand->lineEdit()->setAccessibleDescription(lblCmd->text());
    cmbInitial->setAccessibleDescription(
        QStringLiteral("A reply containing this text stamps the response time"));

    LED[0]->setAccessibleName(QStringLiteral("Poll indicator"));
    LED[0]->setAccessibleDescription(
        QStringLiteral("Lit for half a second each time a keep-alive poll goes out"));
    LED[1]->setAccessibleName(QStringLiteral("Status request indicator"));
    LED[1]->setAccessibleDescription(QStringLiteral("Not in use: stays dark"));

    connect(new QShortcut(QKeySequence(Qt::Key_F10), this), &QShortcut::activated, this,
            &frmKorvane::enterMenuBar);

    // Where the focus may wait while the control that had it is disabled: the boxes that only
    // show what the radio and the program said. Neither Space nor Enter there clears anything.
    QSet<const QWidget *> shownOnly{txtErrMsg,     txtCommandTime, txtResponseTime, txtElapsedTime,
                                    txtFromVO1446, txtFreq,        txtMode,         txtAGC,
                                    txtControl,    txtAudio,       txtDevice,       txtMeter,
                                    txtVOX,        txtSideTone,    txrPTT,          txtClipping};
    for (QLineEdit *slot : StatusToken)
        shownOnly.insert(slot);
    m_focusKeeper = new FocusKeeper(
        this, [shownOnly](const QWidget *control) { return shownOnly.contains(control); });

    auto *starts = new TextStartKeeper(this);
    for (QLineEdit *box : findChildren<QLineEdit *>())
        starts->watch(box);
}

void frmKorvane::enterMenuBar() {
    // The menu bar takes the keyboard on a lone Alt, which it sees as the key's shortcut check
    // followed by its release. F10 hands it the same two, so it acts exactly as Alt does: the
    // first menu highlighted, none opened, Escape back to where the focus was, F10 again out.
    // They carry the modifiers as the platform reports a lone Alt: none held yet at the press,
    // Alt held at the release (Qt reads a modifier key's own event with its bit turned over).
    QKeyEvent altChecked(QEvent::ShortcutOverride, Qt::Key_Alt, Qt::NoModifier);
    QCoreApplication::sendEvent(this, &altChecked);
    QKeyEvent altReleased(QEvent::KeyRelease, Qt::Key_Alt, Qt::AltModifier);
    QCoreApplication::sendEvent(this, &altReleased);
}

} // namespace korvane
