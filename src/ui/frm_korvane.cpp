#include "ui/frm_korvane.h"

#include "ui/shape.h"
#include "ui/simple_combo.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

namespace korvane {

namespace {
template <typename T> T *make(QWidget *parent, const QString &name) {
    auto *w = new T(parent);
    w->setObjectName(name);
    return w;
}
QPushButton *button(QWidget *parent, const char *name, const char *text) {
    auto *b = make<QPushButton>(parent, QString::fromLatin1(name));
    b->setText(QString::fromLatin1(text));
    return b;
}
QGroupBox *frame(QWidget *parent, const char *name, const char *title) {
    auto *f = make<QGroupBox>(parent, QString::fromLatin1(name));
    f->setTitle(QString::fromLatin1(title));
    return f;
}
QLabel *label(QWidget *parent, const QString &name, const QString &text) {
    auto *l = make<QLabel>(parent, name);
    l->setTextFormat(Qt::PlainText);
    l->setText(text);
    return l;
}
} // namespace

frmKorvane::frmKorvane(QWidget *parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("frmKorvane"));
    setWindowTitle(QString::fromLatin1(caption::kWindow));
    buildControls();
}

frmKorvane::~frmKorvane() = default;

void frmKorvane::buildControls() {
    auto *client = new QWidget(this);
    setCentralWidget(client);

    cmdGetComPorts = button(client, "cmdGetComPorts", "Get COM Ports");
    cmdGetComPorts->hide();
    cmdCOMStatus = button(client, "cmdCOMStatus", caption::kStartProbe);
    cmdSyncOnOff = button(client, "cmdSyncOnOff", caption::kStartSync);
    LED[0] = make<Shape>(client, QStringLiteral("LED(0)"));

    Frame1 = frame(client, "Frame1", "Settings");
    lblLabel[2] = label(Frame1, QStringLiteral("lblLabel(2)"), QStringLiteral("COM Port"));
    cboCommPort = make<QComboBox>(Frame1, QStringLiteral("cboCommPort"));
    cboCommPort->setEditable(true);
    cboCommPort->setInsertPolicy(QComboBox::NoInsert);
    cboCommPort->setEditText(QStringLiteral("cboComm"));
    lblLabel[0] = label(Frame1, QStringLiteral("lblLabel(0)"), QStringLiteral("Baud Rate"));
    cboBaudRate = make<QComboBox>(Frame1, QStringLiteral("cboBaudRate"));
    cboBaudRate->addItems({QStringLiteral("300"), QStringLiteral("600"), QStringLiteral("1200"),
                           QStringLiteral("2400"), QStringLiteral("4800"), QStringLiteral("9600"),
                           QStringLiteral("19200")});
    cboBaudRate->setCurrentIndex(-1);
    lblLabel[3] = label(Frame1, QStringLiteral("lblLabel(3)"), QStringLiteral("Parity"));
    cboParity = make<SimpleCombo>(Frame1, QStringLiteral("cboParity"));
    cboParity->setList({QStringLiteral("E"), QStringLiteral("M"), QStringLiteral("N"),
                        QStringLiteral("O"), QStringLiteral("S")});
    cboParity->setText(QStringLiteral("O"));
    cboParity->setEnabled(false);
    lblLabel[4] = label(Frame1, QStringLiteral("lblLabel(4)"), QStringLiteral("Data Bits"));
    cboDataBits = make<SimpleCombo>(Frame1, QStringLiteral("cboDataBits"));
    cboDataBits->setList({QStringLiteral("4"), QStringLiteral("5"), QStringLiteral("6"),
                          QStringLiteral("7"), QStringLiteral("8")});
    cboDataBits->setText(QStringLiteral("7"));
    cboDataBits->setEnabled(false);
    lblLabel[5] = label(Frame1, QStringLiteral("lblLabel(5)"), QStringLiteral("Stop Bits"));
    cboStopBits = make<SimpleCombo>(Frame1, QStringLiteral("cboStopBits"));
    cboStopBits->setList({QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")});
    cboStopBits->setText(QStringLiteral("1"));
    cboStopBits->setEnabled(false);
    lblLabel[6] = label(Frame1, QStringLiteral("lblLabel(6)"),
                        QStringLiteral("(only available COM ports are listed)"));

    Frame2 = frame(client, "Frame2", "Error Message");
    txtErrMsg = make<QLineEdit>(Frame2, QStringLiteral("txtErrMsg"));
    cmdClearError = button(Frame2, "cmdClearError", "Clear");

    fraCommand = frame(client, "fraCommand", "Command");
    cmdGetStatus = button(fraCommand, "cmdGetStatus", "Get Status");
    LED[1] = make<Shape>(fraCommand, QStringLiteral("LED(1)"));
    cboCommand = make<QComboBox>(fraCommand, QStringLiteral("cboCommand"));
    cboCommand->setEditable(true);
    cboCommand->setInsertPolicy(QComboBox::NoInsert);
    cboCommand->addItems({QStringLiteral("?!"), QStringLiteral("F1000000!"), QStringLiteral("D!"),
                          QStringLiteral("H!"), QStringLiteral("I!"), QStringLiteral("S!"),
                          QStringLiteral("V!"), QStringLiteral("A! F1234567!")});
    cboCommand->setCurrentIndex(-1);
    cboCommand->setEditText(QString());
    lblCmd = label(fraCommand, QStringLiteral("lblCmd"),
                   QStringLiteral("Enter or Edit Command.  Use ! for Line Feed."));
    cmdSendCmd = button(fraCommand, "cmdSendCmd", "Send Command");

    fraTimes = frame(client, "fraTimes", "Times");
    Label1 = label(fraTimes, QStringLiteral("Label1"), QStringLiteral("Command Time"));
    txtCommandTime = make<QLineEdit>(fraTimes, QStringLiteral("txtCommandTime"));
    Label2 = label(fraTimes, QStringLiteral("Label2"), QStringLiteral("Response Time"));
    txtResponseTime = make<QLineEdit>(fraTimes, QStringLiteral("txtResponseTime"));
    cmbInitial = make<QComboBox>(fraTimes, QStringLiteral("cmbInitial"));
    cmbInitial->setEditable(true);
    cmbInitial->setInsertPolicy(QComboBox::NoInsert);
    cmbInitial->addItems({QStringLiteral("?"), QStringLiteral("A"), QStringLiteral("M"),
                          QStringLiteral("F"), QStringLiteral("D"), QStringLiteral("H"),
                          QStringLiteral("!"), QStringLiteral("#"), QStringLiteral(".")});
    cmbInitial->setCurrentIndex(-1);
    cmbInitial->setEditText(QStringLiteral("Combo1"));
    Label3 = label(fraTimes, QStringLiteral("Label3"), QStringLiteral("Elapsed Time"));
    txtElapsedTime = make<QLineEdit>(fraTimes, QStringLiteral("txtElapsedTime"));

    fraFromVO1446 = frame(client, "fraFromVO1446", "From VO1446");
    txtFromVO1446 = make<QPlainTextEdit>(fraFromVO1446, QStringLiteral("txtFromVO1446"));
    cmdClearFromRT = button(fraFromVO1446, "cmdClearFromRT", "Clear");
    for (int i = 0; i < 36; ++i)
        StatusToken[i] = make<QLineEdit>(fraFromVO1446, QStringLiteral("StatusToken(%1)").arg(i));
    cmdClearResponse = button(fraFromVO1446, "cmdClearResponse", "Clear");

    UTimer = new QTimer(this);
    UTimer->setObjectName(QStringLiteral("UTimer"));
    UTimer->setInterval(1000);

    mnuFile = menuBar()->addMenu(QStringLiteral("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    Menu2 = mnuFile->addAction(QStringLiteral("&Exit"));
    Menu2->setObjectName(QStringLiteral("Menu2"));
    mnuHelp = menuBar()->addMenu(QStringLiteral("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpAbout = mnuHelp->addAction(QStringLiteral("&About MyApp..."));
    mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));

    connect(cmdClearError, &QPushButton::clicked, this, &frmKorvane::cmdClearError_Click);
    connect(cmdClearFromRT, &QPushButton::clicked, this, &frmKorvane::cmdClearFromRT_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmKorvane::mnuHelpAbout_Click);
}

void frmKorvane::ShowMessage(const QString &text, bool /*important*/) {
    txtErrMsg->setText(QString());
    txtErrMsg->setText(text);
    // Callers such as the port scan go on without pumping events: paint the line now.
    txtErrMsg->repaint();
}

void frmKorvane::cmdClearError_Click() {
    txtErrMsg->setText(QString());
}

void frmKorvane::cmdClearFromRT_Click() {
    txtFromVO1446->setPlainText(QString());
}

QString frmKorvane::aboutText() {
    return QStringLiteral("Korvane V0.40 8-18-11:2116\n"
                          "A console for the RT-1446 radio over a serial line.  ");
}

void frmKorvane::mnuHelpAbout_Click() {
    // Modal: the probe loop stands still until the operator presses OK.
    QMessageBox::about(this, QStringLiteral("About Korvane"), aboutText());
}

void frmKorvane::closeEvent(QCloseEvent *event) {
    if (onQueryUnload)
        onQueryUnload();
    event->accept();
}

} // namespace korvane
