// Where the operator's focus stays while the program works, with the whole console on a
// real pseudo-terminal: a poll leaves the focus on "Send Command"; "Get Status" pressed from the
// keyboard, and the port and baud boxes while the port is open, hand the focus to a box that only
// shows text (never a "Clear" button) and get it back when enabled again, unless the operator
// moved it meanwhile; any control disabled and enabled again within one handler keeps the focus
// unseen.

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

QTEST_MAIN(TestWindowFocus)
#include "tst_window_focus.moc"
