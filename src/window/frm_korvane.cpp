// The window's behaviour: making it (its builders, in frm_korvane_controls.cpp and
// frm_korvane_layout.cpp, draw the controls), Enter as the default button's key, the message
// line, the two clear buttons of its own, About, and the close request.

#include "window/frm_korvane.h"

#include "window/accessible_controls.h"
#include "window/focus_keeper.h"
#include "window/window_fonts.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>

// The window's icon lives in the core library's resources; a static library's resources are
// only linked in when something names them.
static void initWindowResources() {
    Q_INIT_RESOURCE(resources);
}

namespace korvane {

frmKorvane::frmKorvane(std::function<QString(int)> slotCaption, std::function<void()> queryUnload,
                       QWidget *parent)
    : QMainWindow(parent), m_queryUnload(std::move(queryUnload)) {
    installAccessibleControls();
    initWindowResources();
    setObjectName(QStringLiteral("frmKorvane"));
    setWindowTitle(QString::fromLatin1(caption::kWindow));
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/korvane-%1.png").arg(size), QSize(size, size));
    setWindowIcon(icon);
    setFont(windowFont(FontLetter::Window));
    // A fixed dialog border: no resizing, no minimise or maximise, but a close box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    buildControls();
    buildStatusGrid(slotCaption);
    applyTabOrder();
    makeSendCmdTheDefault();
    makeAccessible();
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    connect(cmdClearError, &QPushButton::clicked, this, &frmKorvane::cmdClearError_Click);
    connect(cmdClearFromRT, &QPushButton::clicked, this, &frmKorvane::cmdClearFromRT_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmKorvane::mnuHelpAbout_Click);
}

frmKorvane::~frmKorvane() = default;

void frmKorvane::makeSendCmdTheDefault() {
    cmdSendCmd->setDefault(true);
    for (QLineEdit *edit : findChildren<QLineEdit *>())
        edit->installEventFilter(this);
    for (QComboBox *combo : findChildren<QComboBox *>())
        combo->installEventFilter(this);
}

bool frmKorvane::eventFilter(QObject *watched, QEvent *event) {
    const bool box = qobject_cast<QLineEdit *>(watched) || qobject_cast<QComboBox *>(watched);
    if (box && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
            // Only the default button acts; the box itself does nothing with the key (an
            // editable combo box would otherwise pick a matching entry).
            cmdSendCmd->click();
            return true;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

bool frmKorvane::focusNextPrevChild(bool next) {
    if (m_focusKeeper && m_focusKeeper->holdFocus())
        return true;
    return QMainWindow::focusNextPrevChild(next);
}

void frmKorvane::ShowMessage(const QString &text) {
    // The same message again within a moment of the last, while the line still shows it (a flood
    // of one error), is counted, not repeated: the line says how many times, and the session log
    // hears of it at most once a second, and once more when another message comes.
    constexpr qint64 kRepeatMsecs = 1000;
    const bool repeated = text == m_lastMessage && m_lastMessageAt.isValid() &&
                          m_lastMessageAt.elapsed() < kRepeatMsecs &&
                          txtErrMsg->text().startsWith(m_lastMessage);
    m_lastMessageAt.start();
    if (repeated) {
        ++m_repeats;
        txtErrMsg->setText(repeatedText());
        if (m_repeatToldAt.elapsed() >= kRepeatMsecs)
            tellRepeats();
    } else {
        if (m_repeats > m_repeatsTold)
            tellRepeats();
        m_lastMessage = text;
        m_repeats = 1;
        m_repeatsTold = 1;
        m_repeatToldAt.start();
        txtErrMsg->setText(QString());
        txtErrMsg->setText(text);
        Q_EMIT messageShown(text);
    }
    // Callers such as the port scan go on without pumping events: paint the line now. But a
    // flood of messages (one for each of thousands of lines of a backlog) must not pay a paint
    // each: within a moment of the last one, the line is painted by the event loop, newest text.
    constexpr qint64 kRepaintAtOnceMsecs = 50;
    if (m_messagePainted.isValid() && m_messagePainted.elapsed() < kRepaintAtOnceMsecs)
        return; // setText has asked for the paint
    txtErrMsg->repaint();
    m_messagePainted.start();
}

QString frmKorvane::repeatedText() const {
    return m_lastMessage + QStringLiteral(" (%1 times)").arg(m_repeats);
}

void frmKorvane::tellRepeats() {
    m_repeatsTold = m_repeats;
    m_repeatToldAt.start();
    Q_EMIT messageShown(repeatedText());
}

bool frmKorvane::portShownOpen() const {
    return cmdCOMStatus->text() == QLatin1String(caption::kStopProbe);
}

bool frmKorvane::portShownClosed() const {
    return cmdCOMStatus->text() == QLatin1String(caption::kStartProbe);
}

void frmKorvane::showPortOpen(bool open) {
    cmdCOMStatus->setText(QString::fromLatin1(open ? caption::kStopProbe : caption::kStartProbe));
}

bool frmKorvane::syncShownOn() const {
    return cmdSyncOnOff->text() == QLatin1String(caption::kStopSync);
}

void frmKorvane::showSyncOn(bool on) {
    cmdSyncOnOff->setText(QString::fromLatin1(on ? caption::kStopSync : caption::kStartSync));
}

void frmKorvane::cmdClearError_Click() {
    txtErrMsg->setText(QString());
}

void frmKorvane::cmdClearFromRT_Click() {
    txtFromVO1446->setPlainText(QString());
}

QString frmKorvane::aboutText() {
    return QString::fromLatin1(kVersionCaption) +
           QStringLiteral("\nA console for the RT-1446 radio over a serial line.  ");
}

void frmKorvane::mnuHelpAbout_Click() {
    // Modal: the probe loop stands still until the operator presses OK.
    QMessageBox::about(this, QStringLiteral("About Korvane"), aboutText());
}

void frmKorvane::closeEvent(QCloseEvent *event) {
    if (m_queryUnload)
        m_queryUnload();
    event->accept();
}

} // namespace korvane
