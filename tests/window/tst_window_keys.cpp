// The window under the keyboard, with the whole console behind it on a real pseudo-terminal:
// the tab order, Enter as "Send Command" from any combo box or single-line box (and what it must
// not do: add list entries, or steal Enter from an open list), Enter on a focused button, and
// Exit ending the program like the close box; and the message line counting a message repeated
// at once.

#include "support/console.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

using namespace korvane;
using namespace korvane::test;

namespace {

// The control the operator sees as focused: an editable combo box's own edit field counts as the
// box.
QString focusedControl() {
    QWidget *w = QApplication::focusWidget();
    if (!w)
        return QString();
    if (auto *combo = qobject_cast<QComboBox *>(w->parentWidget()))
        return combo->objectName();
    return w->objectName();
}

void activate(QWidget *window) {
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

} // namespace

class TestWindowKeys : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tabVisitsTheControlsInOrder();
    void enterSendsTheCommand_data();
    void enterSendsTheCommand();
    void enterInAnOpenListPicksTheEntry_data();
    void enterInAnOpenListPicksTheEntry();
    void typingNeverAddsEntries();
    void enterOnAButtonClicksThatButton();
    void exitEndsTheProgram_data();
    void exitEndsTheProgram();
    void repeatedMessageIsCounted();
};

void TestWindowKeys::tabVisitsTheControlsInOrder() {
    Console console;
    console.startUp();
    frmKorvane &w = console.window();
    activate(&w);
    // "Get COM Ports" is hidden and the three line-format boxes are disabled: Tab passes them by.
    QStringList expected{QStringLiteral("cmdCOMStatus"),  QStringLiteral("cboCommPort"),
                         QStringLiteral("cboBaudRate"),   QStringLiteral("cboCommand"),
                         QStringLiteral("cmdSendCmd"),    QStringLiteral("txtErrMsg"),
                         QStringLiteral("cmdClearError"), QStringLiteral("StatusToken(1)"),
                         QStringLiteral("cmdGetStatus"),  QStringLiteral("cmdClearResponse"),
                         QStringLiteral("txtFromVO1446")};
    for (int slot = 2; slot <= 24; ++slot)
        expected << QStringLiteral("StatusToken(%1)").arg(slot);
    expected << QStringLiteral("cmdClearFromRT");
    for (int slot : {30, 25, 26, 27, 28, 29, 31, 32, 33, 35, 34, 0})
        expected << QStringLiteral("StatusToken(%1)").arg(slot);
    expected << QStringLiteral("cmdSyncOnOff") << QStringLiteral("txtCommandTime")
             << QStringLiteral("txtResponseTime") << QStringLiteral("cmbInitial")
             << QStringLiteral("txtElapsedTime");
    for (const char *box : {"txtFreq", "txtMode", "txtAGC", "txtControl", "txtAudio", "txtDevice",
                            "txtMeter", "txtVOX", "txtSideTone", "txrPTT", "txtClipping"})
        expected << QString::fromLatin1(box);
    expected << QStringLiteral("cmdCOMStatus"); // and round again

    w.cmdCOMStatus->setFocus(Qt::TabFocusReason);
    QStringList visited{focusedControl()};
    for (qsizetype i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << focusedControl();
    }
    QCOMPARE(visited, expected);

    // Backwards from the report box, which does not keep Tab for itself.
    w.txtFromVO1446->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab, Qt::ShiftModifier);
    QCOMPARE(focusedControl(), QStringLiteral("cmdClearResponse"));
}

// Enter, from wherever the operator types, sends what the command box holds.
void TestWindowKeys::enterSendsTheCommand_data() {
    QTest::addColumn<QString>("focus");
    QTest::addColumn<int>("key");
    QTest::newRow("command box, Return") << QStringLiteral("cboCommand") << int(Qt::Key_Return);
    QTest::newRow("command box, keypad Enter")
        << QStringLiteral("cboCommand") << int(Qt::Key_Enter);
    QTest::newRow("message line") << QStringLiteral("txtErrMsg") << int(Qt::Key_Return);
    QTest::newRow("a status slot") << QStringLiteral("StatusToken(0)") << int(Qt::Key_Return);
    QTest::newRow("a right-hand box") << QStringLiteral("txrPTT") << int(Qt::Key_Return);
    QTest::newRow("marker box") << QStringLiteral("cmbInitial") << int(Qt::Key_Return);
    QTest::newRow("baud rate list, closed") << QStringLiteral("cboBaudRate") << int(Qt::Key_Return);
}

void TestWindowKeys::enterSendsTheCommand() {
    QFETCH(QString, focus);
    QFETCH(int, key);
    Console console;
    console.startUp();
    console.openPort();
    frmKorvane &w = console.window();
    activate(&w);
    w.cboCommand->setEditText(QStringLiteral("H!"));
    auto *target = w.findChild<QWidget *>(focus);
    QVERIFY(target);
    auto *combo = qobject_cast<QComboBox *>(target);
    QWidget *receiver = combo && combo->lineEdit() ? combo->lineEdit() : target;
    receiver->setFocus();
    QTest::keyClick(receiver, Qt::Key(key),
                    key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    QCOMPARE(console.radio().read(1000, 2), QByteArray("H\n"));
    QCOMPARE(w.cboCommand->count(), 8);
    QCOMPARE(w.cboCommand->currentText(), QStringLiteral("H!"));
}

// With its list open, Enter picks the highlighted entry and sends nothing.
void TestWindowKeys::enterInAnOpenListPicksTheEntry_data() {
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("picked");
    QTest::newRow("baud rate") << QStringLiteral("cboBaudRate") << 6 << QStringLiteral("19200");
    QTest::newRow("command") << QStringLiteral("cboCommand") << 2 << QStringLiteral("D!");
}

void TestWindowKeys::enterInAnOpenListPicksTheEntry() {
    QFETCH(QString, box);
    QFETCH(int, row);
    QFETCH(QString, picked);
    Console console;
    console.startUp();
    frmKorvane &w = console.window();
    activate(&w);
    QSignalSpy sends(w.cmdSendCmd, &QPushButton::clicked);
    auto *combo = w.findChild<QComboBox *>(box);
    combo->setFocus();
    combo->showPopup();
    QAbstractItemView *list = combo->view();
    QTRY_VERIFY(list->isVisible());
    list->setCurrentIndex(list->model()->index(row, 0));
    QTest::keyClick(list, Qt::Key_Return);
    QTRY_VERIFY(!list->isVisible());
    QCOMPARE(combo->currentText(), picked);
    QCOMPARE(sends.count(), 0);
    QCOMPARE(console.radio().read(100), QByteArray());
}

void TestWindowKeys::typingNeverAddsEntries() {
    Console console;
    console.startUp();
    console.openPort();
    frmKorvane &w = console.window();
    activate(&w);
    const int commands = w.cboCommand->count();
    const int markers = w.cmbInitial->count();
    const int ports = w.cboCommPort->count();
    w.cboCommand->lineEdit()->setFocus();
    w.cboCommand->lineEdit()->clear();
    QTest::keyClicks(w.cboCommand->lineEdit(), QStringLiteral("V!"));
    QTest::keyClick(w.cboCommand->lineEdit(), Qt::Key_Return);
    QCOMPARE(console.radio().read(1000, 2), QByteArray("V\n"));
    w.cmbInitial->lineEdit()->setFocus();
    w.cmbInitial->lineEdit()->selectAll();
    QTest::keyClicks(w.cmbInitial->lineEdit(), QStringLiteral("Q"));
    QTest::keyClick(w.cmbInitial->lineEdit(), Qt::Key_Return);
    QCOMPARE(w.cmbInitial->currentText(), QStringLiteral("Q"));
    QCOMPARE(w.cboCommand->count(), commands);
    QCOMPARE(w.cmbInitial->count(), markers);
    QCOMPARE(w.cboCommPort->count(), ports);
}

// A button with the focus takes Enter for itself, as Space; it does not send a command.
void TestWindowKeys::enterOnAButtonClicksThatButton() {
    Console console;
    console.startUp();
    frmKorvane &w = console.window();
    activate(&w);
    QSignalSpy sends(w.cmdSendCmd, &QPushButton::clicked);
    w.ShowMessage(QStringLiteral("something"));
    w.cmdClearError->setFocus();
    QTest::keyClick(w.cmdClearError, Qt::Key_Return);
    QCOMPARE(w.txtErrMsg->text(), QString());
    QCOMPARE(sends.count(), 0);
}

void TestWindowKeys::exitEndsTheProgram_data() {
    QTest::addColumn<bool>("fromMenu");
    QTest::newRow("File, Exit") << true;
    QTest::newRow("close box") << false;
}

void TestWindowKeys::exitEndsTheProgram() {
    QFETCH(bool, fromMenu);
    Console console;
    console.startUp();
    console.openPort();
    QVERIFY(console.app().MSComm1.PortOpen());
    if (fromMenu)
        console.window().Menu2->trigger();
    else
        console.window().close();
    QVERIFY(console.ended());
    QVERIFY(!console.app().MSComm1.PortOpen());
}

void TestWindowKeys::repeatedMessageIsCounted() {
    // A flood of one message: the line counts it, and the session log (which hears messageShown)
    // gets the first, the count, and the next message, not a record each.
    Console console;
    console.startUp();
    QSignalSpy shown(&console.window(), &frmKorvane::messageShown);
    const QString overflow = QStringLiteral("DisplayToken: Err 6. Overflow");
    for (int i = 0; i < 1000; ++i)
        console.window().ShowMessage(overflow);
    QCOMPARE(console.window().txtErrMsg->text(), overflow + QStringLiteral(" (1000 times)"));
    console.window().ShowMessage(QStringLiteral("Closing COM Port 1"));
    QCOMPARE(console.window().txtErrMsg->text(), QStringLiteral("Closing COM Port 1"));
    QStringList told;
    for (const QList<QVariant> &signal : shown)
        told << signal.at(0).toString();
    QCOMPARE(told, (QStringList{overflow, overflow + QStringLiteral(" (1000 times)"),
                                QStringLiteral("Closing COM Port 1")}));
}

QTEST_MAIN(TestWindowKeys)
#include "tst_window_keys.moc"
