// Where the operator's focus and cursor stay while the program works, with the whole console on a
// real pseudo-terminal: a poll leaves the focus on "Send Command"; "Get Status" pressed from the
// keyboard, and the port and baud boxes while the port is open, hand the focus to a box that only
// shows text (never a "Clear" button) and get it back when enabled again, unless the operator
// moved it meanwhile; any control disabled and enabled again within one handler keeps the focus
// unseen. And a box the program writes shows its text from the first character, while what the
// operator types stays as typed.

#include "support/console.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

namespace {

void activate(QWidget *window) {
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

// The control the operator sees as focused: an editable combo box's own edit field counts as the
// box.
QWidget *focusedControl() {
    QWidget *w = QApplication::focusWidget();
    if (w)
        if (auto *combo = qobject_cast<QComboBox *>(w->parentWidget()))
            return combo;
    return w;
}

QString nameOf(const QWidget *w) {
    return w ? w->objectName() : QStringLiteral("(none)");
}

// Every control in the window that the operator can reach with Tab.
QList<QWidget *> tabStops(frmKorvane &w) {
    QList<QWidget *> stops;
    for (QWidget *c : w.findChildren<QWidget *>()) {
        if ((c->focusPolicy() & Qt::TabFocus) && c->isVisibleTo(&w) && c->isEnabled() &&
            !c->focusProxy() && !c->objectName().isEmpty())
            stops.append(c);
    }
    return stops;
}

// The edit field of the window's box of that name: the box itself, or a combo box's field.
QLineEdit *editField(frmKorvane &w, const QString &name) {
    if (auto *combo = w.findChild<QComboBox *>(name))
        return combo->lineEdit();
    return w.findChild<QLineEdit *>(name);
}

// How `box` draws `text` shown from its first character, or from its end: a box of the same
// kind, size, font and frame that has only ever been given the text.
QImage drawnFrom(QLineEdit *box, bool start) {
    QLineEdit reference(box->parentWidget());
    reference.setGeometry(box->geometry());
    reference.setFont(box->font());
    reference.setFrame(box->hasFrame());
    reference.setAlignment(box->alignment());
    reference.setText(box->text());
    reference.setCursorPosition(start ? 0 : int(box->text().size()));
    return reference.grab().toImage();
}

} // namespace

class TestWindowFocus : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void aPollLeavesTheFocusOnSendCommand();
    void getStatusFromTheKeyboard_data();
    void getStatusFromTheKeyboard();
    void portBoxWhileThePortIsOpen_data();
    void portBoxWhileThePortIsOpen();
    void everyControlKeepsTheFocusThroughADisable();
    void boxesShowTheStartOfWhatTheProgramWrites_data();
    void boxesShowTheStartOfWhatTheProgramWrites();
    void typingStaysAsTyped_data();
    void typingStaysAsTyped();
};

void TestWindowFocus::aPollLeavesTheFocusOnSendCommand() {
    Console console;
    console.startUp();
    console.openPort();
    frmKorvane &w = console.window();
    activate(&w);
    w.cmdSendCmd->setFocus(Qt::TabFocusReason);
    console.click("cmdSyncOnOff");
    QSignalSpy moves(qApp, &QApplication::focusChanged);
    QByteArray sent;
    QVERIFY(console.runUntil(
        [&] {
            sent += console.radio().read(1);
            return sent.count('U') >= 2;
        },
        5000));
    QCOMPARE(sent, QByteArray("UU"));
    QCOMPARE(nameOf(focusedControl()), QStringLiteral("cmdSendCmd"));
    QCOMPARE(moves.count(), 0); // not even for a moment
    // Space is still the button's: the command goes out, nothing is typed anywhere.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QVERIFY(console.runUntil([&] { return (sent += console.radio().read(1)).contains("?\n"); }));
    QVERIFY(w.txtErrMsg->text().startsWith(QStringLiteral("Sending ")));
}

void TestWindowFocus::getStatusFromTheKeyboard_data() {
    QTest::addColumn<bool>("operatorMoves");
    QTest::newRow("the operator waits for the report") << false;
    QTest::newRow("the operator tabs on meanwhile") << true;
}

void TestWindowFocus::getStatusFromTheKeyboard() {
    QFETCH(bool, operatorMoves);
    Console console;
    console.startUp();
    console.openPort();
    frmKorvane &w = console.window();
    activate(&w);
    console.radio().write("J123\n.\n");
    QVERIFY(console.runUntil([&] { return console.slot(31) == QStringLiteral("J123"); }));

    w.cmdGetStatus->setFocus(Qt::TabFocusReason);
    QTest::keyClick(w.cmdGetStatus, Qt::Key_Space);
    QCOMPARE(console.radio().read(1000, 2), QByteArray("?\n"));
    QVERIFY(!w.cmdGetStatus->isEnabled());
    console.runFor(30);
    QWidget *harbour = focusedControl();
    QVERIFY2(!qobject_cast<QAbstractButton *>(harbour), qPrintable(nameOf(harbour)));
    QCOMPARE(nameOf(harbour), QStringLiteral("txtFromVO1446"));
    // What clicked the button before lands where nothing is cleared or sent.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QCOMPARE(console.slot(31), QStringLiteral("J123"));
    QCOMPARE(console.radio().read(100), QByteArray());

    QWidget *expected = w.cmdGetStatus;
    if (operatorMoves) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        expected = focusedControl();
        QVERIFY(expected != harbour);
    }
    console.radio().write("J124\n.\n");
    QVERIFY(console.runUntil([&] { return w.cmdGetStatus->isEnabled(); }));
    QCOMPARE(console.slot(31), QStringLiteral("J124"));
    QCOMPARE(nameOf(focusedControl()), nameOf(expected));
}

// The port is opened by Enter in the port box (a command on a closed port opens it first), and
// closed by the device going away, or by the operator's own click on "Stop Probe".
void TestWindowFocus::portBoxWhileThePortIsOpen_data() {
    QTest::addColumn<bool>("operatorCloses");
    QTest::newRow("the device goes away") << false;
    QTest::newRow("the operator clicks Stop Probe") << true;
}

void TestWindowFocus::portBoxWhileThePortIsOpen() {
    QFETCH(bool, operatorCloses);
    Console console;
    console.startUp();
    frmKorvane &w = console.window();
    activate(&w);
    w.cboCommPort->lineEdit()->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(console.runUntil([&] { return console.app().loop.probing(); }));
    QCOMPARE(console.radio().read(1000, 2), QByteArray("?\n"));
    QVERIFY(!w.cboCommPort->isEnabled());
    console.runFor(30);
    QCOMPARE(nameOf(focusedControl()), QStringLiteral("txtErrMsg"));

    if (operatorCloses)
        QTest::mouseClick(w.cmdCOMStatus, Qt::LeftButton);
    else
        console.radio().hangUp();
    QVERIFY(console.runUntil([&] { return w.portShownClosed() && w.cboCommPort->isEnabled(); }));
    QCOMPARE(nameOf(focusedControl()),
             operatorCloses ? QStringLiteral("cmdCOMStatus") : QStringLiteral("cboCommPort"));
}

// Any control the operator can reach: disabled and enabled again within one handler, it keeps the
// focus and no one sees it move; disabled for longer, it hands the focus to a box that only shows
// text and gets it back.
void TestWindowFocus::everyControlKeepsTheFocusThroughADisable() {
    Console console;
    console.startUp();
    frmKorvane &w = console.window();
    activate(&w);
    const QList<QWidget *> stops = tabStops(w);
    QVERIFY(stops.size() >= 60);
    for (QWidget *control : stops) {
        const QString name = nameOf(control);
        control->setFocus(Qt::TabFocusReason);
        QCOMPARE(focusedControl(), control);
        QSignalSpy moves(qApp, &QApplication::focusChanged);
        control->setEnabled(false);
        control->setEnabled(true);
        console.runFor(5);
        QVERIFY2(focusedControl() == control && moves.isEmpty(), qPrintable(name));

        control->setEnabled(false);
        console.runFor(5);
        QWidget *harbour = focusedControl();
        QVERIFY2(harbour && harbour != control, qPrintable(name));
        QVERIFY2(qobject_cast<QLineEdit *>(harbour) || qobject_cast<QPlainTextEdit *>(harbour),
                 qPrintable(name + QStringLiteral(" -> ") + nameOf(harbour)));
        QVERIFY2(!qobject_cast<QComboBox *>(harbour->parentWidget()), qPrintable(name));
        control->setEnabled(true);
        QVERIFY2(focusedControl() == control, qPrintable(name));
    }
}

void TestWindowFocus::boxesShowTheStartOfWhatTheProgramWrites_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("focused");
    QTest::addColumn<bool>("again"); // the same text written a second time
    const QString lost =
        QStringLiteral("Err 8017. COM3 (/dev/pts/0) was lost: the device went away");
    const QString report = QStringLiteral("U0003 and a long tail after it");
    QTest::newRow("message line") << QStringLiteral("txtErrMsg") << lost << false << false;
    QTest::newRow("message line, focus waiting in it")
        << QStringLiteral("txtErrMsg") << lost << true << false;
    QTest::newRow("command time") << QStringLiteral("txtCommandTime")
                                  << QStringLiteral(" 45296.5156250000001") << false << false;
    QTest::newRow("response time") << QStringLiteral("txtResponseTime")
                                   << QStringLiteral(" 45296.5956250000001") << false << false;
    QTest::newRow("elapsed time") << QStringLiteral("txtElapsedTime")
                                  << QStringLiteral("0.0800000000017462") << false << false;
    QTest::newRow("elapsed time, the same again")
        << QStringLiteral("txtElapsedTime") << QStringLiteral("0.0800000000017462") << false
        << true;
    QTest::newRow("a status slot") << QStringLiteral("StatusToken(17)") << report << false << false;
    QTest::newRow("a status slot, the radio repeating the line")
        << QStringLiteral("StatusToken(17)") << report << false << true;
    QTest::newRow("a status slot, focus waiting in it, the line repeated")
        << QStringLiteral("StatusToken(17)") << report << true << true;
    QTest::newRow("the other keys' slot")
        << QStringLiteral("StatusToken(0)") << QStringLiteral("~ an unknown key's long line")
        << false << false;
    QTest::newRow("a right-hand box")
        << QStringLiteral("txtFreq") << QStringLiteral("14.074000 MHz upper sideband") << false
        << false;
    QTest::newRow("command box, set at start-up")
        << QStringLiteral("cboCommand")
        << QStringLiteral("A! F1234567! MUSB! AFAST! G7! P1! F7000000! MLSB! AGC SLOW! G3!")
        << false << false;
}

void TestWindowFocus::boxesShowTheStartOfWhatTheProgramWrites() {
    QFETCH(QString, box);
    QFETCH(QString, text);
    QFETCH(bool, focused);
    QFETCH(bool, again);
    Console console;
    console.startUp();
    frmKorvane &w = console.window();
    activate(&w);
    auto *combo = w.findChild<QComboBox *>(box);
    QLineEdit *edit = editField(w, box);
    QVERIFY(edit);
    w.cmdCOMStatus->setFocus();
    if (focused)
        edit->setFocus(Qt::OtherFocusReason);
    edit->setText(QStringLiteral("short"));
    edit->grab(); // drawn once before, as the window is
    for (int times = again ? 2 : 1; times > 0; --times) {
        if (box == QLatin1String("txtErrMsg"))
            w.ShowMessage(text);
        else if (combo)
            combo->setEditText(text);
        else
            edit->setText(text);
    }

    QCOMPARE(edit->text(), text);
    QCOMPARE(edit->cursorPosition(), 0);
    const QImage drawn = edit->grab().toImage();
    // The text is longer than the box (shown from its end, it looks different) ...
    QVERIFY(drawnFrom(edit, true) != drawnFrom(edit, false));
    // ... and the box shows it from its first character: the first character at the left edge.
    if (!focused)
        QCOMPARE(drawn, drawnFrom(edit, true));
    // The cursor, at the first character, stands at the box's left edge.
    const QRect cursor = edit->inputMethodQuery(Qt::ImCursorRectangle).toRect();
    QVERIFY2(cursor.center().x() <
                 edit->contentsRect().left() + edit->fontMetrics().averageCharWidth(),
             qPrintable(QString::number(cursor.x())));
}

// Typed a key at a time, with Qt's completion of the command presets running in the command box,
// then the cursor taken to the start and back to the end with Home and End.
void TestWindowFocus::typingStaysAsTyped_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<QString>("written"); // by the program before the operator came
    QTest::addColumn<QString>("typed");
    QTest::newRow("a right-hand box") << QStringLiteral("txtFreq") << QString()
                                      << QStringLiteral("14.074 MHz and more than fits");
    QTest::newRow("message line") << QStringLiteral("txtErrMsg") << QString()
                                  << QStringLiteral(
                                         "a note of the operator's, longer than the box");
    QTest::newRow("a status slot, read to its end")
        << QStringLiteral("StatusToken(17)") << QStringLiteral("U0003 and a long tail after it")
        << QString();
    QTest::newRow("command box, completing a preset")
        << QStringLiteral("cboCommand") << QString() << QStringLiteral("F2");
    QTest::newRow("command box, past two presets")
        << QStringLiteral("cboCommand") << QString() << QStringLiteral("A! F9");
}

void TestWindowFocus::typingStaysAsTyped() {
    QFETCH(QString, box);
    QFETCH(QString, written);
    QFETCH(QString, typed);
    Console console;
    console.startUp();
    frmKorvane &w = console.window();
    activate(&w);
    QLineEdit *edit = editField(w, box);
    QVERIFY(edit);
    edit->setText(written);
    edit->setFocus(Qt::OtherFocusReason);
    if (written.isEmpty())
        edit->clear();
    QTest::keyClicks(QApplication::focusWidget(), typed);
    QCOMPARE(edit->text().left(typed.size()), typed);
    if (!typed.isEmpty())
        QCOMPARE(edit->cursorPosition(), int(typed.size()));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_End);
    QCOMPARE(edit->cursorPosition(), int(edit->text().size()));
}

QTEST_MAIN(TestWindowFocus)
#include "tst_window_focus.moc"
