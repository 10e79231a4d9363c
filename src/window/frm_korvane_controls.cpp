// The window's controls as drawn: the five frames, the buttons, the indicators, the labels, the
// combo boxes and the text boxes, each at its place in twips, with its font and its list.

#include "window/frame.h"
#include "window/frm_korvane.h"
#include "window/frm_korvane_layout.h"
#include "window/shape.h"
#include "window/simple_combo.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <limits>

namespace korvane {

using namespace layout;

void frmKorvane::buildControls() {
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    client->setFixedSize(pixels(kClientArea).size());
    setCentralWidget(client);
    using enum FontLetter;

    struct FrameRow {
        QGroupBox **control;
        const char *name;
        const char *title;
        Twips at;
        FontLetter font;
    };
    for (const FrameRow &row : std::initializer_list<FrameRow>{
             {&Frame1, "Frame1", "Settings", {2040, 240, 6735, 1215}, T},
             {&Frame2, "Frame2", "Error Message", {2040, 1560, 6735, 855}, Window},
             {&fraCommand, "fraCommand", "Command", {120, 2520, 8655, 975}, Window},
             {&fraTimes, "fraTimes", "Times", {8880, 240, 2295, 3255}, Window},
             {&fraFromVO1446, "fraFromVO1446", "From VO1446", {120, 3600, 11055, 5175}, Window},
         }) {
        *row.control = place(new Frame(client), row.name, row.at, row.font);
        (*row.control)->setTitle(QString::fromLatin1(row.title));
    }

    struct ButtonRow {
        QPushButton **control;
        QWidget *in;
        const char *name;
        const char *text;
        Twips at;
        const char *spoken; // what a screen reader says where the caption alone is ambiguous
    };
    // One button a row, as the table reads best.
    // clang-format off
    for (const ButtonRow &row : std::initializer_list<ButtonRow>{
             {&cmdGetComPorts, client, "cmdGetComPorts", "Get COM Ports", {360, 360, 1455, 375}, nullptr},
             {&cmdCOMStatus, client, "cmdCOMStatus", caption::kStartProbe, {360, 960, 1455, 375}, nullptr},
             {&cmdSyncOnOff, client, "cmdSyncOnOff", caption::kStartSync, {360, 1560, 1455, 375}, nullptr},
             {&cmdClearError, Frame2, "cmdClearError", "Clear", {4800, 360, 1215, 375}, "Clear error message"},
             {&cmdGetStatus, fraCommand, "cmdGetStatus", "Get Status", {240, 240, 1455, 375}, nullptr},
             {&cmdSendCmd, fraCommand, "cmdSendCmd", "Send Command", {6840, 240, 1455, 375}, nullptr},
             {&cmdClearFromRT, fraFromVO1446, "cmdClearFromRT", "Clear", {6960, 480, 1215, 375}, "Clear report"},
             {&cmdClearResponse, fraFromVO1446, "cmdClearResponse", "Clear", {6960, 4560, 1215, 375}, "Clear status slots"},
         }) {
        // clang-format on
        *row.control = makeButton(row.in, row.name, row.text, row.at);
        if (row.spoken)
            (*row.control)->setAccessibleName(QString::fromLatin1(row.spoken));
    }
    cmdGetComPorts->hide();

    LED[0] = place(new Shape(client), "LED(0)", {840, 2040, 375, 135}, Window);
    LED[1] = place(new Shape(fraCommand), "LED(1)", {720, 720, 375, 135}, Window);

    struct LabelRow {
        QLabel **control;
        QWidget *in;
        const char *name;
        const char *text;
        Twips at;
        FontLetter font;
        int flags;
    };
    // One label a row, as the table reads best.
    // clang-format off
    for (const LabelRow &row : std::initializer_list<LabelRow>{
             {&lblLabel[2], Frame1, "lblLabel(2)", "COM Port", {960, 360, 735, 255}, T, kLabelFlags},
             {&lblLabel[0], Frame1, "lblLabel(0)", "Baud Rate", {2760, 360, 855, 255}, T, kLabelFlags},
             {&lblLabel[3], Frame1, "lblLabel(3)", "Parity", {3000, 720, 495, 255}, T, kLabelFlags},
             {&lblLabel[4], Frame1, "lblLabel(4)", "Data Bits", {4920, 360, 735, 255}, T, kLabelFlags},
             {&lblLabel[5], Frame1, "lblLabel(5)", "Stop Bits", {4920, 720, 735, 255}, T, kLabelFlags},
             {&lblLabel[6], Frame1, "lblLabel(6)", "(only available COM ports are listed)", {1200, 720, 1455, 375}, T, kCentredWrapFlags},
             {&lblCmd, fraCommand, "lblCmd", "Enter or Edit Command.  Use ! for Line Feed.", {2040, 600, 3375, 255}, Window, kLabelFlags},
             {&Label1, fraTimes, "Label1", "Command Time", {360, 240, 1455, 255}, Window, kLabelFlags},
             {&Label2, fraTimes, "Label2", "Response Time", {360, 960, 1455, 255}, Window, kLabelFlags},
             {&Label3, fraTimes, "Label3", "Elapsed Time", {360, 2400, 1335, 255}, Window, kLabelFlags},
         }) {
        // clang-format on
        *row.control =
            makeLabel(row.in, row.name, QString::fromLatin1(row.text), row.at, row.font, row.flags);
    }

    struct ComboRow {
        QComboBox **control;
        QWidget *in;
        const char *name;
        Twips at;
        FontLetter font;
        bool editable;
        const char *text; // nullptr: nothing selected, no text
        QStringList entries;
        const char *spoken;
    };
    for (const ComboRow &row : std::initializer_list<ComboRow>{
             {&cboCommPort,
              Frame1,
              "cboCommPort",
              {1800, 240, 615, 315},
              T,
              true,
              "cboComm",
              {},
              "COM Port"},
             {&cboBaudRate,
              Frame1,
              "cboBaudRate",
              {3720, 240, 975, 315},
              T,
              false,
              nullptr,
              texts({"300", "600", "1200", "2400", "4800", "9600", "19200"}),
              "Baud Rate"},
             {&cboCommand,
              fraCommand,
              "cboCommand",
              {2040, 240, 4575, 315},
              T,
              true,
              "",
              texts({"?!", "F1000000!", "D!", "H!", "I!", "S!", "V!", "A! F1234567!"}),
              "Command"},
             {&cmbInitial,
              fraTimes,
              "cmbInitial",
              {240, 1800, 735, 420},
              L,
              true,
              "Combo1",
              texts({"?", "A", "M", "F", "D", "H", "!", "#", "."}),
              "Response marker"},
         }) {
        auto *combo = place(new QComboBox(row.in), row.name, row.at, row.font);
        combo->setEditable(row.editable);
        // What the operator types is used as it stands; it never becomes a list entry.
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->addItems(row.entries);
        combo->setCurrentIndex(-1);
        if (row.editable) {
            combo->setEditText(QString::fromLatin1(row.text));
            combo->lineEdit()->setCursorPosition(0); // show the start of a text too long to fit
            combo->lineEdit()->setAccessibleName(QString::fromLatin1(row.spoken));
        }
        combo->setAccessibleName(QString::fromLatin1(row.spoken));
        *row.control = combo;
    }
    // A line box cuts what is typed or pasted beyond its length without a word, and a cut
    // command is another command: the command box takes any length, and a command too long to
    // send is refused whole when it is sent.
    cboCommand->lineEdit()->setMaxLength(std::numeric_limits<int>::max());

    // The line format is fixed: these show it, greyed, and cannot be changed.
    struct SimpleComboRow {
        SimpleCombo **control;
        const char *name;
        Twips at;
        const char *text;
        QStringList entries;
        const char *spoken;
    };
    for (const SimpleComboRow &row : std::initializer_list<SimpleComboRow>{
             {&cboParity,
              "cboParity",
              {3720, 600, 495, 315},
              "O",
              texts({"E", "M", "N", "O", "S"}),
              "Parity"},
             {&cboDataBits,
              "cboDataBits",
              {5760, 240, 495, 315},
              "7",
              texts({"4", "5", "6", "7", "8"}),
              "Data Bits"},
             {&cboStopBits,
              "cboStopBits",
              {5760, 600, 495, 315},
              "1",
              texts({"1", "1.5", "2"}),
              "Stop Bits"},
         }) {
        auto *combo = place(new SimpleCombo(Frame1), row.name, row.at, T);
        combo->setList(row.entries);
        combo->setText(QString::fromLatin1(row.text));
        combo->setEnabled(false);
        combo->setAccessibleName(QString::fromLatin1(row.spoken));
        *row.control = combo;
    }

    struct EditRow {
        QLineEdit **control;
        QWidget *in;
        const char *name;
        Twips at;
        FontLetter font;
        bool centred;
        const char *spoken;
    };
    for (const EditRow &row : std::initializer_list<EditRow>{
             {&txtErrMsg,
              Frame2,
              "txtErrMsg",
              {120, 360, 4335, 375},
              Window,
              false,
              "Error Message"},
             {&txtCommandTime,
              fraTimes,
              "txtCommandTime",
              {240, 480, 1815, 420},
              L,
              true,
              "Command Time"},
             {&txtResponseTime,
              fraTimes,
              "txtResponseTime",
              {240, 1200, 1815, 420},
              L,
              true,
              "Response Time"},
             {&txtElapsedTime,
              fraTimes,
              "txtElapsedTime",
              {240, 2640, 1815, 420},
              L,
              true,
              "Elapsed Time"},
         }) {
        auto *edit = place(new QLineEdit(row.in), row.name, row.at, row.font);
        if (row.centred)
            edit->setAlignment(Qt::AlignCenter);
        edit->setAccessibleName(QString::fromLatin1(row.spoken));
        *row.control = edit;
    }

    // The raw report: wraps inside its two or three lines, without scroll bars; Tab leaves it.
    txtFromVO1446 =
        place(new QPlainTextEdit(fraFromVO1446), "txtFromVO1446", {120, 360, 6735, 615}, M);
    txtFromVO1446->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtFromVO1446->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtFromVO1446->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    txtFromVO1446->setTabChangesFocus(true);
    txtFromVO1446->setAccessibleName(QStringLiteral("From VO1446"));

    UTimer = new QTimer(this);
    UTimer->setObjectName(QStringLiteral("UTimer"));
    UTimer->setInterval(1000);

    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileLog = mnuFile->addAction(QStringLiteral("&Log to File..."));
    mnuFileLog->setObjectName(QStringLiteral("mnuFileLog"));
    mnuFileLog->setCheckable(true);
    Menu2 = mnuFile->addAction(QStringLiteral("&Exit"));
    Menu2->setObjectName(QStringLiteral("Menu2"));
    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpAbout = mnuHelp->addAction(QStringLiteral("&About MyApp..."));
    mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));
}

} // namespace korvane
