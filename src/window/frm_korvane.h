#pragma once
// frmKorvane: the program's one window. It owns its controls and nothing else: every control is a
// public member under its code name (and carries that name as its object name), so the handlers
// of the serial link, the radio protocol and the probe loop read and write them directly. The
// window itself only knows how to show a message, clear its two text areas and show About. Its
// layout (the twips tables, the status grid, the tab order) is drawn by the builders in
// frm_korvane_controls.cpp and frm_korvane_layout.cpp; frm_korvane_access.cpp fits it for the
// keyboard and a screen reader.

#include "text/token_keys.h"
#include "window/vocabulary.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTextEdit;
class QTimer;

namespace korvane {

class FocusKeeper;
class Shape;
class SimpleCombo;

class frmKorvane : public QMainWindow {
    Q_OBJECT
public:
    // `slotCaption` gives the key label drawn beside each status slot (an empty text for none);
    // without it the grid has no labels. `queryUnload` runs when the window is asked to close,
    // before it goes: the program's shutdown.
    explicit frmKorvane(std::function<QString(int)> slotCaption = {},
                        std::function<void()> queryUnload = {}, QWidget *parent = nullptr);
    ~frmKorvane() override;

    // The message line: replaces what it showed and repaints at once, or with the next turn of
    // the event loop when it was painted at once a moment ago. The same text again within a second
    // of the last is counted: the line reads "TEXT (N times)".
    void ShowMessage(const QString &text);

    // The port state as the window shows it: "Stop Probe" means open, "Start Probe" closed.
    bool portShownOpen() const;
    bool portShownClosed() const;
    void showPortOpen(bool open);
    // The sync switch as the window shows it: "Stop Sync" means on.
    bool syncShownOn() const;
    void showSyncOn(bool on);

    void cmdClearError_Click();
    void cmdClearFromRT_Click();
    void mnuHelpAbout_Click();

    // Buttons and the indicator in the column at the left.
    QPushButton *cmdGetComPorts = nullptr;
    QPushButton *cmdCOMStatus = nullptr;
    QPushButton *cmdSyncOnOff = nullptr;
    std::array<Shape *, 2> LED{};

    // "Settings".
    QGroupBox *Frame1 = nullptr;
    std::array<QLabel *, 7> lblLabel{}; // indices 0 and 2 to 6; 1 stays empty
    QComboBox *cboCommPort = nullptr;   // editable
    QComboBox *cboBaudRate = nullptr;   // drop-down list
    SimpleCombo *cboParity = nullptr;
    SimpleCombo *cboDataBits = nullptr;
    SimpleCombo *cboStopBits = nullptr;

    // "Error Message".
    QGroupBox *Frame2 = nullptr;
    QLineEdit *txtErrMsg = nullptr;
    QPushButton *cmdClearError = nullptr;

    // "Command".
    QGroupBox *fraCommand = nullptr;
    QPushButton *cmdGetStatus = nullptr;
    QComboBox *cboCommand = nullptr; // editable
    QLabel *lblCmd = nullptr;
    QPushButton *cmdSendCmd = nullptr;

    // "Times".
    QGroupBox *fraTimes = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtCommandTime = nullptr;
    QLabel *Label2 = nullptr;
    QLineEdit *txtResponseTime = nullptr;
    QComboBox *cmbInitial = nullptr; // editable
    QLabel *Label3 = nullptr;
    QLineEdit *txtElapsedTime = nullptr;

    // "From VO1446".
    QGroupBox *fraFromVO1446 = nullptr;
    QPlainTextEdit *txtFromVO1446 = nullptr;
    QPushButton *cmdClearFromRT = nullptr;
    std::array<QLineEdit *, kStatusSlots> StatusToken{};
    // The key label beside each slot, none for slot 0; named "lblJ" for "&" and "Token(n)" for
    // the others.
    std::array<QLabel *, kStatusSlots> slotLabel{};
    QPushButton *cmdClearResponse = nullptr;
    QLabel *lblFreq = nullptr, *lblMode = nullptr, *lblAGC = nullptr, *lblControl = nullptr,
           *lblAudio = nullptr, *lblDevice = nullptr, *lblMeter = nullptr, *lblVOX = nullptr,
           *lblSideTone = nullptr, *lblPTT = nullptr, *lblClipping = nullptr;
    QLineEdit *txtFreq = nullptr, *txtMode = nullptr, *txtAGC = nullptr, *txtControl = nullptr,
              *txtAudio = nullptr, *txtDevice = nullptr, *txtMeter = nullptr, *txtVOX = nullptr,
              *txtSideTone = nullptr, *txrPTT = nullptr, *txtClipping = nullptr;

    // Never started: all polling is done by the probe loop.
    QTimer *UTimer = nullptr;

    // Menus.
    QMenu *mnuFile = nullptr;
    QAction *mnuFileLog = nullptr; // "&Log to File...", checked while the session is logged
    QAction *Menu2 = nullptr;      // "&Exit"
    QMenu *mnuHelp = nullptr;
    QAction *mnuHelpAbout = nullptr;

    // The About box's text.
    static QString aboutText();

Q_SIGNALS:
    // Every text ShowMessage put on the message line; of a run of the same text, the first, then
    // its count at most once a second and when another text comes.
    void messageShown(const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override;
    // Enter in a combo box or single-line text box is the default button's: "Send Command".
    bool eventFilter(QObject *watched, QEvent *event) override;
    // Where Qt moves the focus on, also from a control being disabled: see FocusKeeper.
    bool focusNextPrevChild(bool next) override;

private:
    std::function<void()> m_queryUnload;
    FocusKeeper *m_focusKeeper = nullptr;
    QElapsedTimer m_messagePainted; // when the message line was last painted at once
    // The last message shown, how many times it came in a row, and how many of those the
    // session log has heard of.
    QString m_lastMessage;
    QElapsedTimer m_lastMessageAt;
    qint64 m_repeats = 0;
    qint64 m_repeatsTold = 0;
    QElapsedTimer m_repeatToldAt;
    QString repeatedText() const;
    void tellRepeats();

    void buildControls();
    void buildStatusGrid(const std::function<QString(int)> &slotCaption);
    void applyTabOrder();
    void makeSendCmdTheDefault();
    // For the keyboard and a screen reader: labels tied to their boxes, names, F10, the focus
    // keeper, boxes shown from their start.
    void makeAccessible();
    void enterMenuBar();
};

} // namespace korvane
