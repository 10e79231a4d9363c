// The window's layout apart from its behaviour: how a control is placed in twips, the status
// grid with its key labels, the column of right-hand boxes, and the tab order.

#include "window/frm_korvane_layout.h"
#include "window/frm_korvane.h"
#include "window/simple_combo.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <vector>

namespace korvane {

namespace layout {

QLabel *makeLabel(QWidget *in, const char *name, const QString &text, Twips at, FontLetter font,
                  int flags) {
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

} // namespace layout

using namespace layout;

namespace {

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
constexpr std::array<SlotPlace, kStatusSlots> kSlotPlaces{{
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

} // namespace korvane
