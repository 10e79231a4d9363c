#include "window/frm_korvane.h"

#include "window/frame.h"
#include "window/shape.h"
#include "window/simple_combo.h"
#include "window/window_fonts.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <vector>

// The window's icon lives in the core library's resources; a static library's resources are
// only linked in when something names them.
static void initWindowResources() {
    Q_INIT_RESOURCE(resources);
}

namespace korvane {

namespace {

// The layout is drawn in twips, measured from the top-left corner of each control's container
// (the client area below the menu bar, or a frame's outer corner). 15 twips make one
// device-independent pixel, 96 to the inch; Qt scales those on denser displays.
struct Twips {
    int left, top, width, height;
};
constexpr int kTwipsPerPixel = 15;
QRect pixels(Twips t) {
    return QRect(t.left / kTwipsPerPixel, t.top / kTwipsPerPixel, t.width / kTwipsPerPixel,
                 t.height / kTwipsPerPixel);
}
constexpr Twips kClientArea{0, 0, 11250, 9210};

template <typename T> T *place(T *control, const char *name, Twips at, FontLetter font) {
    control->setObjectName(QString::fromLatin1(name));
    control->setGeometry(pixels(at));
    if (font != FontLetter::Window)
        control->setFont(windowFont(font));
    return control;
}

// Labels are drawn as the text is, never taking "&" for an access key, from their top-left
// corner; a caption that would not fit its box in the face this machine has gets a narrower or
// smaller font.
constexpr int kLabelFlags = Qt::AlignLeft | Qt::AlignTop;
constexpr int kCentredWrapFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
QLabel *makeLabel(QWidget *in, const char *name, const QString &text, Twips at, FontLetter font,
                  int flags = kLabelFlags) {
    auto *label = place(new QLabel(in), name, at, font);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::Alignment::fromInt(flags & ~Qt::TextWordWrap));
    label->setWordWrap((flags & Qt::TextWordWrap) != 0);
    label->setText(text);
    label->setFont(fitted(label->font(), {text, label->size(), flags}));
    return label;
}

QPushButton *makeButton(QWidget *in, const char *name, const char *text, Twips at) {
    auto *button = place(new QPushButton(in), name, at, FontLetter::T);
    button->setText(QString::fromLatin1(text));
    // Enter on a button that has the focus clicks it, as Space does.
    button->setAutoDefault(true);
    const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin) +
                       button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
    const QSize inside = button->size() - QSize(2 * margin, 2 * margin);
    button->setFont(fitted(button->font(), {button->text(), inside, Qt::AlignCenter}));
    return button;
}

QStringList texts(std::initializer_list<const char *> entries) {
    QStringList list;
    for (const char *entry : entries)
        list.append(QString::fromLatin1(entry));
    return list;
}

// The status grid: five columns of slots, eight rows 480 twips apart, each slot but 0 with its
// key label at its left (the label's caption comes from the key table the routing uses).
struct SlotPlace {
    int slot;
    int column;
    int row;
    int labelLeft;
    int labelWidth; // 0: no label
};
constexpr std::array<int, 5> kSlotLeft{360, 2040, 3720, 5280, 6960};
constexpr int kSlotTop = 1200;
constexpr int kSlotRowStep = 480;
constexpr int kSlotWidth = 1095;
constexpr int kSlotHeight = 375;
constexpr int kKeyHeight = 255;
constexpr int kAmpersandSlot = 4; // its label is `lblJ`, the others form `Token`
constexpr std::array<SlotPlace, 36> kSlotPlaces{{
    {35, 0, 0, 120, 255},  {0, 1, 0, 0, 0},

    {1, 0, 1, 120, 255},   {7, 1, 1, 1800, 255},  {13, 2, 1, 3480, 255}, {19, 3, 1, 5040, 255},
    {25, 4, 1, 6720, 135},

    {2, 0, 2, 120, 255},   {8, 1, 2, 1800, 255},  {14, 2, 2, 3480, 255}, {20, 3, 2, 5040, 255},
    {26, 4, 2, 6720, 135},

    {3, 0, 3, 120, 255},   {9, 1, 3, 1800, 255},  {15, 2, 3, 3480, 255}, {21, 3, 3, 5040, 255},
    {27, 4, 3, 6720, 135},

    {4, 0, 4, 120, 255},   {10, 1, 4, 1800, 255}, {16, 2, 4, 3480, 255}, {22, 3, 4, 5040, 135},
    {28, 4, 4, 6720, 135},

    {5, 0, 5, 120, 255},   {11, 1, 5, 1800, 255}, {17, 2, 5, 3480, 255}, {23, 3, 5, 5040, 135},
    {29, 4, 5, 6720, 135},

    {6, 0, 6, 120, 255},   {12, 1, 6, 1800, 255}, {18, 2, 6, 3480, 255}, {24, 3, 6, 5040, 135},
    {30, 4, 6, 6720, 255},

    {31, 0, 7, 120, 255},  {32, 1, 7, 1680, 375}, {34, 2, 7, 3360, 375}, {33, 3, 7, 5040, 255},
}};

} // namespace

frmKorvane::frmKorvane(std::function<QString(int)> slotCaption, std::function<void()> queryUnload,
                       QWidget *parent)
    : QMainWindow(parent), m_queryUnload(std::move(queryUnload)) {
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
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

frmKorvane::~frmKorvane() = default;

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
    for (const ButtonRow &row : std::initializer_list<ButtonRow>{
             {&cmdGetComPorts,
              client,
              "cmdGetComPorts",
              "Get COM Ports",
              {360, 360, 1455, 375},
              nullptr},
             {&cmdCOMStatus,
              client,
              "cmdCOMStatus",
              caption::kStartProbe,
              {360, 960, 1455, 375},
              nullptr},
             {&cmdSyncOnOff,
              client,
              "cmdSyncOnOff",
              caption::kStartSync,
              {360, 1560, 1455, 375},
              nullptr},
             {&cmdClearError,
              Frame2,
              "cmdClearError",
              "Clear",
              {4800, 360, 1215, 375},
              "Clear error message"},
             {&cmdGetStatus,
              fraCommand,
              "cmdGetStatus",
              "Get Status",
              {240, 240, 1455, 375},
              nullptr},
             {&cmdSendCmd,
              fraCommand,
              "cmdSendCmd",
              "Send Command",
              {6840, 240, 1455, 375},
              nullptr},
             {&cmdClearFromRT,
              fraFromVO1446,
              "cmdClearFromRT",
              "Clear",
              {6960, 480, 1215, 375},
              "Clear report"},
             {&cmdClearResponse,
              fraFromVO1446,
              "cmdClearResponse",
              "Clear",
              {6960, 4560, 1215, 375},
              "Clear status slots"},
         }) {
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
    for (const LabelRow &row : std::initializer_list<LabelRow>{
             {&lblLabel[2],
              Frame1,
              "lblLabel(2)",
              "COM Port",
              {960, 360, 735, 255},
              T,
              kLabelFlags},
             {&lblLabel[0],
              Frame1,
              "lblLabel(0)",
              "Baud Rate",
              {2760, 360, 855, 255},
              T,
              kLabelFlags},
             {&lblLabel[3], Frame1, "lblLabel(3)", "Parity", {3000, 720, 495, 255}, T, kLabelFlags},
             {&lblLabel[4],
              Frame1,
              "lblLabel(4)",
              "Data Bits",
              {4920, 360, 735, 255},
              T,
              kLabelFlags},
             {&lblLabel[5],
              Frame1,
              "lblLabel(5)",
              "Stop Bits",
              {4920, 720, 735, 255},
              T,
              kLabelFlags},
             {&lblLabel[6],
              Frame1,
              "lblLabel(6)",
              "(only available COM ports are listed)",
              {1200, 720, 1455, 375},
              T,
              kCentredWrapFlags},
             {&lblCmd,
              fraCommand,
              "lblCmd",
              "Enter or Edit Command.  Use ! for Line Feed.",
              {2040, 600, 3375, 255},
              Window,
              kLabelFlags},
             {&Label1,
              fraTimes,
              "Label1",
              "Command Time",
              {360, 240, 1455, 255},
              Window,
              kLabelFlags},
             {&Label2,
              fraTimes,
              "Label2",
              "Response Time",
              {360, 960, 1455, 255},
              Window,
              kLabelFlags},
             {&Label3,
              fraTimes,
              "Label3",
              "Elapsed Time",
              {360, 2400, 1335, 255},
              Window,
              kLabelFlags},
         }) {
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

    connect(cmdClearError, &QPushButton::clicked, this, &frmKorvane::cmdClearError_Click);
    connect(cmdClearFromRT, &QPushButton::clicked, this, &frmKorvane::cmdClearFromRT_Click);
    connect(mnuHelpAbout, &QAction::triggered, this, &frmKorvane::mnuHelpAbout_Click);
}

void frmKorvane::buildStatusGrid(const std::function<QString(int)> &slotCaption) {
    // The key labels first, so that each slot box, one pixel over its label's right edge, is
    // drawn above it.
    if (slotCaption) {
        int token = 0;
        for (const SlotPlace &p : kSlotPlaces) {
            const QString key = slotCaption(p.slot);
            if (p.labelWidth == 0 || key.isEmpty())
                continue;
            const QByteArray name = p.slot == kAmpersandSlot
                                        ? QByteArrayLiteral("lblJ")
                                        : QStringLiteral("Token(%1)").arg(token++).toLatin1();
            const Twips at{p.labelLeft, kSlotTop + p.row * kSlotRowStep, p.labelWidth, kKeyHeight};
            slotLabel[static_cast<std::size_t>(p.slot)] =
                makeLabel(fraFromVO1446, name.constData(), key, at, FontLetter::B);
        }
    }
    for (const SlotPlace &p : kSlotPlaces) {
        const QByteArray name = QStringLiteral("StatusToken(%1)").arg(p.slot).toLatin1();
        const Twips at{kSlotLeft[static_cast<std::size_t>(p.column)],
                       kSlotTop + p.row * kSlotRowStep, kSlotWidth, kSlotHeight};
        QLineEdit *box =
            place(new QLineEdit(fraFromVO1446), name.constData(), at, FontLetter::Window);
        const QString key = slotCaption ? slotCaption(p.slot) : QString();
        if (p.slot == 0)
            box->setAccessibleName(QStringLiteral("Status slot, other keys"));
        else
            box->setAccessibleName(QStringLiteral("Status slot ") +
                                   (key.isEmpty() ? QString::number(p.slot) : key));
        StatusToken[static_cast<std::size_t>(p.slot)] = box;
    }
    cmdClearResponse->raise();

    // The column at the right: eleven label and box pairs, 360 twips apart.
    struct PairRow {
        QLabel **label;
        const char *labelName;
        const char *text;
        int labelWidth;
        QLineEdit **box;
        const char *boxName;
        int top;
    };
    for (const PairRow &row : std::initializer_list<PairRow>{
             {&lblFreq, "lblFreq", "Freq", 495, &txtFreq, "txtFreq", 720},
             {&lblMode, "lblMode", "Mode", 495, &txtMode, "txtMode", 1080},
             {&lblAGC, "lblAGC", "AGC", 495, &txtAGC, "txtAGC", 1440},
             {&lblControl, "lblControl", "Control", 615, &txtControl, "txtControl", 1800},
             {&lblAudio, "lblAudio", "Audio", 615, &txtAudio, "txtAudio", 2160},
             {&lblDevice, "lblDevice", "Device", 615, &txtDevice, "txtDevice", 2520},
             {&lblMeter, "lblMeter", "Meter", 615, &txtMeter, "txtMeter", 2880},
             {&lblVOX, "lblVOX", "VOX", 615, &txtVOX, "txtVOX", 3240},
             {&lblSideTone, "lblSideTone", "SideTone", 855, &txtSideTone, "txtSideTone", 3600},
             {&lblPTT, "lblPTT", "PTT", 615, &txrPTT, "txrPTT", 3960},
             {&lblClipping, "lblClipping", "Clipping", 615, &txtClipping, "txtClipping", 4320},
         }) {
        *row.label = makeLabel(fraFromVO1446, row.labelName, QString::fromLatin1(row.text),
                               {8640, row.top, row.labelWidth, 255}, FontLetter::Window);
        *row.box = place(new QLineEdit(fraFromVO1446), row.boxName, {9480, row.top, 1215, 285},
                         FontLetter::Window);
        (*row.box)->setAccessibleName(QString::fromLatin1(row.text));
    }
}

void frmKorvane::applyTabOrder() {
    std::vector<QWidget *> order{cmdGetComPorts, cmdCOMStatus,     cboCommPort,   cboBaudRate,
                                 cboDataBits,    cboParity,        cboStopBits,   cboCommand,
                                 cmdSendCmd,     txtErrMsg,        cmdClearError, StatusToken[1],
                                 cmdGetStatus,   cmdClearResponse, txtFromVO1446};
    auto addSlots = [&order, this](std::initializer_list<std::size_t> indices) {
        for (std::size_t slot : indices)
            order.push_back(StatusToken[slot]);
    };
    for (std::size_t slot = 2; slot <= 24; ++slot)
        order.push_back(StatusToken[slot]);
    order.push_back(cmdClearFromRT);
    addSlots({30, 25, 26, 27, 28, 29, 31, 32, 33, 35, 34, 0});
    order.insert(order.end(), {cmdSyncOnOff, txtCommandTime, txtResponseTime, cmbInitial,
                               txtElapsedTime, txtFreq, txtMode, txtAGC, txtControl, txtAudio,
                               txtDevice, txtMeter, txtVOX, txtSideTone, txrPTT, txtClipping});
    for (std::size_t i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

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

void frmKorvane::ShowMessage(const QString &text, bool /*important*/) {
    txtErrMsg->setText(QString());
    txtErrMsg->setText(text);
    // Callers such as the port scan go on without pumping events: paint the line now.
    txtErrMsg->repaint();
    Q_EMIT messageShown(text);
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
