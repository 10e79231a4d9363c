// The window as a screen reader meets it, through Qt's accessibility interfaces on the offscreen
// platform, with the whole console behind it: what each control an operator uses is called, what
// it holds, its description, the labels tied to it and its state; labels tied to their boxes
// without a caption changed or an access key added; the poll indicator's blink told as it
// happens; and F10 into the menu bar as Alt.
//
// Qt passes accessibility events on only while a screen reader listens. On the offscreen platform
// none ever does, and QAccessible::setActive only informs observers, so events never reach an
// update handler. The platform's own accessibility is switched on here, as Qt's tests do it,
// and every event is recorded.

#include "support/console.h"
#include "window/shape.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QtTest>
#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformintegration.h>

using namespace korvane;
using namespace korvane::test;

namespace {

struct Heard {
    QAccessible::Event type;
    QObject *object;
    QString value;
};
QList<Heard> g_heard;

void record(QAccessibleEvent *event) {
    Heard heard{event->type(), event->object(), QString()};
    if (event->type() == QAccessible::ValueChanged)
        heard.value = static_cast<QAccessibleValueChangeEvent *>(event)->value().toString();
    g_heard.append(heard);
}

QStringList valuesHeardFrom(QObject *object) {
    QStringList values;
    for (const Heard &heard : g_heard) {
        if (heard.object == object && heard.type == QAccessible::ValueChanged)
            values << heard.value;
    }
    return values;
}

QAccessibleInterface *spoken(QObject *control) {
    return QAccessible::queryAccessibleInterface(control);
}

// What the labels tied to a control say, in the order a screen reader is given them.
QStringList labelsOf(QAccessibleInterface *control) {
    QStringList labels;
    for (const auto &[label, relation] : control->relations(QAccessible::Label))
        labels << label->text(QAccessible::Name);
    return labels;
}

QString stateOf(QAccessibleInterface *control) {
    const QAccessible::State s = control->state();
    QString flags;
    if (s.focusable)
        flags += QLatin1Char('f');
    if (s.disabled)
        flags += QLatin1Char('d');
    if (s.editable)
        flags += QLatin1Char('e');
    return flags;
}

void activate(QWidget *window) {
    window->show();
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
}

} // namespace

class TestWindowAccess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void eachControlAsAScreenReaderReadsIt_data();
    void eachControlAsAScreenReaderReadsIt();
    void labelsNameTheirBoxesAndLookAsBefore();
    void thePollIndicatorTellsItsBlink();
    void intoTheMenuBar_data();
    void intoTheMenuBar();

private:
    std::unique_ptr<Console> m_console;
};

void TestWindowAccess::initTestCase() {
    QAccessible::installUpdateHandler(record);
    QPlatformAccessibility *platform =
        QGuiApplicationPrivate::platformIntegration()->accessibility();
    QVERIFY(platform);
    platform->setActive(true);
    QVERIFY(QAccessible::isActive());
}

void TestWindowAccess::init() {
    m_console.reset(); // one console at a time: each sets the port table for its life
    m_console = std::make_unique<Console>();
    m_console->startUp();
    activate(&m_console->window());
    g_heard.clear();
}

// Values as start-up leaves them: port 1, 9600 baud, the first command preset.
void TestWindowAccess::eachControlAsAScreenReaderReadsIt_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("value"); // null: not looked at, it changes
    QTest::addColumn<QString>("description");
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QString>("state"); // f focusable, d disabled, e editable
    const int button = QAccessible::Button;
    const int combo = QAccessible::ComboBox;
    const int text = QAccessible::EditableText;
    const int indicator = QAccessible::Indicator;
    auto row = [](const char *control, int role, const char *name, const char *value,
                  const char *description, QStringList labels, const char *state) {
        QTest::newRow(control) << QString::fromLatin1(control) << role << QString::fromLatin1(name)
                               << (value ? QString::fromLatin1(value) : QString())
                               << QString::fromLatin1(description) << labels
                               << QString::fromLatin1(state);
    };
    const QString settings = QStringLiteral("Settings");
    const QString command = QStringLiteral("Command");
    const QString times = QStringLiteral("Times");
    const QString report = QStringLiteral("From VO1446");
    const char *hint = "Enter or Edit Command.  Use ! for Line Feed.";

    row("cmdCOMStatus", button, "Start Probe", "", "", {}, "f");
    row("cmdSyncOnOff", button, "Start Sync", "", "", {}, "f");
    row("LED(0)", indicator, "Poll indicator", "dark",
        "Lit for half a second each time a keep-alive poll goes out", {}, "");
    row("cboCommPort", combo, "COM Port", "1", "(only available COM ports are listed)",
        {QStringLiteral("COM Port"), settings}, "fe");
    row("cboBaudRate", combo, "Baud Rate", "9600", "", {QStringLiteral("Baud Rate"), settings},
        "f");
    row("cboParity", text, "Parity", "O", "", {QStringLiteral("Parity"), settings}, "fde");
    row("cboDataBits", text, "Data Bits", "7", "", {QStringLiteral("Data Bits"), settings}, "fde");
    row("cboStopBits", text, "Stop Bits", "1", "", {QStringLiteral("Stop Bits"), settings}, "fde");
    row("txtErrMsg", text, "Error Message", nullptr, "", {QStringLiteral("Error Message")}, "fe");
    row("cmdClearError", button, "Clear error message", "", "", {QStringLiteral("Error Message")},
        "f");
    row("cmdGetStatus", button, "Get Status", "", "", {command}, "f");
    row("LED(1)", indicator, "Status request indicator", "dark", "Not in use: stays dark",
        {command}, "");
    row("cboCommand", combo, "Command", "?!", hint, {command}, "fe");
    row("cmdSendCmd", button, "Send Command", "", "", {command}, "f");
    row("txtCommandTime", text, "Command Time", "", "", {QStringLiteral("Command Time"), times},
        "fe");
    row("txtResponseTime", text, "Response Time", "", "", {QStringLiteral("Response Time"), times},
        "fe");
    row("cmbInitial", combo, "Response marker", "Combo1",
        "A reply containing this text stamps the response time", {times}, "fe");
    row("txtElapsedTime", text, "Elapsed Time", "", "", {QStringLiteral("Elapsed Time"), times},
        "fe");
    row("txtFromVO1446", text, "From VO1446", "", "", {report}, "fe");
    row("cmdClearFromRT", button, "Clear report", "", "", {report}, "f");
    row("cmdClearResponse", button, "Clear status slots", "", "", {report}, "f");
    row("StatusToken(31)", text, "Status slot J", "", "", {QStringLiteral("J"), report}, "fe");
    row("StatusToken(6)", text, "Status slot \"", "", "", {QStringLiteral("\""), report}, "fe");
    // Its "&" cannot be a buddy's caption: the box's own name says it.
    row("StatusToken(4)", text, "Status slot &", "", "", {report}, "fe");
    row("StatusToken(0)", text, "Status slot, other keys", "", "", {report}, "fe");
    // The right-hand column, each box by its label.
    const std::pair<const char *, const char *> column[]{
        {"txtFreq", "Freq"},       {"txtMode", "Mode"},         {"txtAGC", "AGC"},
        {"txtControl", "Control"}, {"txtAudio", "Audio"},       {"txtDevice", "Device"},
        {"txtMeter", "Meter"},     {"txtVOX", "VOX"},           {"txtSideTone", "SideTone"},
        {"txrPTT", "PTT"},         {"txtClipping", "Clipping"},
    };
    for (const auto &[box, caption] : column)
        row(box, text, caption, "", "", {QString::fromLatin1(caption), report}, "fe");
}

void TestWindowAccess::eachControlAsAScreenReaderReadsIt() {
    QFETCH(QString, control);
    QFETCH(int, role);
    QFETCH(QString, name);
    QFETCH(QString, value);
    QFETCH(QString, description);
    QFETCH(QStringList, labels);
    QFETCH(QString, state);
    auto *widget = m_console->window().findChild<QWidget *>(control);
    QVERIFY(widget);
    QAccessibleInterface *reader = spoken(widget);
    QVERIFY(reader);
    QCOMPARE(int(reader->role()), role);
    QCOMPARE(reader->text(QAccessible::Name), name);
    if (!value.isNull())
        QCOMPARE(reader->text(QAccessible::Value), value);
    QCOMPARE(reader->text(QAccessible::Description), description);
    QCOMPARE(labelsOf(reader), labels);
    QCOMPARE(stateOf(reader), state);
}

// Every label that names a box is tied to it both ways, and is drawn exactly as it was untied:
// no caption changed, no "&" taken for an access key. Every control the Tab key reaches has a
// name no other has, and every combo box is called by its name, never by what it holds.
void TestWindowAccess::labelsNameTheirBoxesAndLookAsBefore() {
    frmKorvane &w = m_console->window();
    int tied = 0;
    for (QLabel *label : w.findChildren<QLabel *>()) {
        QWidget *box = label->buddy();
        if (!box)
            continue;
        ++tied;
        const QString what = label->objectName() + QStringLiteral(" for ") + box->objectName();
        QVERIFY2(!label->text().contains(QLatin1Char('&')), qPrintable(what));
        QVERIFY2(labelsOf(spoken(box)).contains(label->text()), qPrintable(what));
        const auto named = spoken(label)->relations(QAccessible::Labelled);
        QVERIFY2(named.size() == 1 && named.first().first->object() == box, qPrintable(what));

        QLabel untied(label->parentWidget());
        untied.setGeometry(label->geometry());
        untied.setFont(label->font());
        untied.setTextFormat(label->textFormat());
        untied.setAlignment(label->alignment());
        untied.setWordWrap(label->wordWrap());
        untied.setText(label->text());
        QVERIFY2(label->grab().toImage() == untied.grab().toImage(), qPrintable(what));
    }
    // The settings, the times, the right-hand column and every key label but "&".
    QCOMPARE(tied, 5 + 3 + 11 + 34);

    // Every control the Tab key reaches is called by a name of its own.
    QSet<QString> names;
    for (QWidget *control : w.findChildren<QWidget *>()) {
        if (!(control->focusPolicy() & Qt::TabFocus) || !control->isVisibleTo(&w) ||
            qobject_cast<QComboBox *>(control->parentWidget()))
            continue; // a combo box's edit field is read as the combo box
        const QString name = spoken(control)->text(QAccessible::Name);
        QVERIFY2(!name.isEmpty() && !names.contains(name), qPrintable(control->objectName()));
        names.insert(name);
    }
    QVERIFY(names.size() >= 60);

    for (QComboBox *combo : w.findChildren<QComboBox *>()) {
        QAccessibleInterface *reader = spoken(combo);
        QCOMPARE(reader->text(QAccessible::Name), combo->accessibleName());
        QVERIFY2(reader->text(QAccessible::Name) != reader->text(QAccessible::Value),
                 qPrintable(combo->objectName()));
    }
}

// Each poll lights LED(0) for half a second: a screen reader is told "lit" and then "dark" once
// each, however many passes the loop makes meanwhile; LED(1) never changes.
void TestWindowAccess::thePollIndicatorTellsItsBlink() {
    Console &console = *m_console;
    frmKorvane &w = console.window();
    console.openPort();
    console.click("cmdSyncOnOff");
    g_heard.clear();
    QByteArray sent;
    auto polls = [&](int count) {
        return console.runUntil(
            [&] {
                sent += console.radio().read(1);
                return sent.count('U') >= count;
            },
            4000);
    };
    QVERIFY(polls(1));
    QCOMPARE(spoken(w.LED[0])->text(QAccessible::Value), QStringLiteral("lit"));
    QCOMPARE(valuesHeardFrom(w.LED[0]), QStringList{QStringLiteral("lit")});
    QVERIFY(console.runUntil([&] { return w.LED[0]->fillColor() == kLedWhite; }, 1000));
    QCOMPARE(spoken(w.LED[0])->text(QAccessible::Value), QStringLiteral("dark"));
    QVERIFY(polls(2));
    QCOMPARE(valuesHeardFrom(w.LED[0]),
             (QStringList{QStringLiteral("lit"), QStringLiteral("dark"), QStringLiteral("lit")}));
    QCOMPARE(valuesHeardFrom(w.LED[1]), QStringList());
}

void TestWindowAccess::intoTheMenuBar_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::newRow("Alt") << int(Qt::Key_Alt) << int(Qt::AltModifier);
    QTest::newRow("F10") << int(Qt::Key_F10) << int(Qt::NoModifier);
}

// The first menu highlighted and none opened; the arrows move along it, Down opens a menu,
// Escape goes back, and the key again leaves the menu bar.
void TestWindowAccess::intoTheMenuBar() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    frmKorvane &w = m_console->window();
    QMenuBar *bar = w.menuBar();
    auto press = [&] {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key),
                        Qt::KeyboardModifiers::fromInt(modifiers));
    };
    w.cboCommand->lineEdit()->setFocus(Qt::TabFocusReason);
    QWidget *before = QApplication::focusWidget();

    press();
    QCOMPARE(QApplication::focusWidget(), bar);
    QCOMPARE(bar->activeAction(), w.mnuFile->menuAction());
    QVERIFY(!w.mnuFile->isVisible());
    QTest::keyClick(bar, Qt::Key_Right);
    QCOMPARE(bar->activeAction(), w.mnuHelp->menuAction());
    QTest::keyClick(bar, Qt::Key_Left);
    QTest::keyClick(bar, Qt::Key_Down);
    QTRY_VERIFY(w.mnuFile->isVisible());
    QTest::keyClick(w.mnuFile, Qt::Key_Escape);
    QTRY_VERIFY(!w.mnuFile->isVisible());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QCOMPARE(QApplication::focusWidget(), before);

    press();
    QCOMPARE(QApplication::focusWidget(), bar);
    press();
    QCOMPARE(QApplication::focusWidget(), before);
    QCOMPARE(bar->activeAction(), nullptr);
}

QTEST_MAIN(TestWindowAccess)
#include "tst_window_access.moc"
