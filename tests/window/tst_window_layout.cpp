// The window as drawn, on the offscreen platform with the fonts this machine resolves: every
// control inside its container and clear of its neighbours, no caption clipped, the four fonts
// at their sizes (a bold that really is bold), the key labels read from the routing table, the
// fixed size, and a name a screen reader can speak for every control that takes the focus.

#include "text/token_keys.h"
#include "window/frame.h"
#include "window/frm_korvane.h"

#include <QAccessible>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyleOption>
#include <QtTest>
#include <memory>

using namespace korvane;

namespace {

// Visible pixels of `text` drawn with `flags` in `box` (unclipped) that fall outside `within`
// (the box itself unless given). Faint anti-aliasing that strays a pixel is not counted.
int inkOutside(const QFont &font, const QString &text, const QRect &box, int flags,
               QRect within = QRect()) {
    if (within.isNull())
        within = box;
    const QRect canvas = box.adjusted(-10, -10, 10, 10);
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(-canvas.topLeft());
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(box, flags, text);
    painter.end();
    int outside = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 96 && !within.contains(canvas.topLeft() + QPoint(x, y)))
                ++outside;
        }
    }
    return outside;
}

// Dark pixels of `text` in `font`: how much ink a face puts down.
int inkAmount(const QFont &font, const QString &text) {
    QImage image(100, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(QRect(0, 0, 100, 40), Qt::AlignLeft | Qt::AlignTop, text);
    painter.end();
    int amount = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            amount += qAlpha(image.pixel(x, y));
    }
    return amount;
}

int twips(int value) {
    return value / 15;
}

} // namespace

class TestWindowLayout : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void places_data();
    void places();
    void controlsStayInsideTheirContainers();
    void controlsDoNotOverlap();
    void captionsFit_data();
    void captionsFit();
    void fonts_data();
    void fonts();
    void keyLabelsComeFromTheRoutingTable();
    void ampersandAndQuoteLabelsShowTheirCharacter();
    void everyFocusableControlHasASpokenName();
    void windowHasAFixedSize();

private:
    template <typename T = QWidget> T *control(const QString &name) const {
        auto *found = m_window->findChild<T *>(name);
        if (!found)
            qFatal("no control %s", qPrintable(name));
        return found;
    }
    std::unique_ptr<frmKorvane> m_window;
};

void TestWindowLayout::initTestCase() {
    m_window = std::make_unique<frmKorvane>(labelForSlot);
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestWindowLayout::cleanupTestCase() {
    m_window.reset();
}

// A few controls from each container: twips become pixels at 15 to one, measured from the
// container's outer corner.
void TestWindowLayout::places_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("container");
    QTest::addColumn<QRect>("twipsRect");
    auto row = [](const char *name, const char *container, QRect rect) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(container) << rect;
    };
    row("cmdCOMStatus", "clientArea", {360, 960, 1455, 375});
    row("LED(0)", "clientArea", {840, 2040, 375, 135});
    row("fraFromVO1446", "clientArea", {120, 3600, 11055, 5175});
    row("cboParity", "Frame1", {3720, 600, 495, 315});
    row("lblLabel(6)", "Frame1", {1200, 720, 1455, 375});
    row("cmdClearError", "Frame2", {4800, 360, 1215, 375});
    row("LED(1)", "fraCommand", {720, 720, 375, 135});
    row("cmbInitial", "fraTimes", {240, 1800, 735, 420});
    row("StatusToken(0)", "fraFromVO1446", {2040, 1200, 1095, 375});
    row("StatusToken(17)", "fraFromVO1446", {3720, 3600, 1095, 375});
    row("StatusToken(34)", "fraFromVO1446", {3720, 4560, 1095, 375});
    row("lblJ", "fraFromVO1446", {120, 3120, 255, 255});
    row("txrPTT", "fraFromVO1446", {9480, 3960, 1215, 285});
    row("lblSideTone", "fraFromVO1446", {8640, 3600, 855, 255});
}

void TestWindowLayout::places() {
    QFETCH(QString, name);
    QFETCH(QString, container);
    QFETCH(QRect, twipsRect);
    QWidget *w = control(name);
    QCOMPARE(w->parentWidget()->objectName(), container);
    QCOMPARE(w->geometry(), QRect(twips(twipsRect.x()), twips(twipsRect.y()),
                                  twips(twipsRect.width()), twips(twipsRect.height())));
}

void TestWindowLayout::controlsStayInsideTheirContainers() {
    const QList<QWidget *> containers{
        control(QStringLiteral("clientArea")), control(QStringLiteral("Frame1")),
        control(QStringLiteral("Frame2")),     control(QStringLiteral("fraCommand")),
        control(QStringLiteral("fraTimes")),   control(QStringLiteral("fraFromVO1446"))};
    for (QWidget *container : containers) {
        QRect inside = container->rect();
        QRect caption;
        if (auto *frame = qobject_cast<Frame *>(container)) {
            caption = frame->captionRect();
            // Inside the border, which runs through the middle of the caption.
            inside.adjust(2, caption.height() / 2 + 2, -2, -2);
            QVERIFY2(caption.right() < inside.right(), qPrintable(frame->title()));
        }
        for (QWidget *child : container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!child->isVisibleTo(m_window.get()))
                continue;
            const QString what =
                child->objectName() + QStringLiteral(" in ") + container->objectName();
            QVERIFY2(inside.contains(child->geometry()), qPrintable(what));
            QVERIFY2(!caption.intersects(child->geometry()), qPrintable(what));
        }
    }
}

// Two controls of one container may touch only where a label's box runs a pixel under the box
// beside it; then none of the label's text may be under it.
void TestWindowLayout::controlsDoNotOverlap() {
    const QList<QWidget *> containers = m_window->findChildren<QWidget *>();
    int overlaps = 0;
    for (QWidget *container : containers) {
        QList<QWidget *> children;
        for (QWidget *child : container->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (child->isVisibleTo(m_window.get()) && !child->isWindow())
                children.append(child);
        }
        if (qobject_cast<QComboBox *>(container) || qobject_cast<QLineEdit *>(container) ||
            qobject_cast<QPlainTextEdit *>(container))
            continue; // a control's own parts
        for (qsizetype i = 0; i < children.size(); ++i) {
            for (qsizetype j = i + 1; j < children.size(); ++j) {
                QWidget *a = children[i];
                QWidget *b = children[j];
                const QRect common = a->geometry().intersected(b->geometry());
                if (common.isEmpty())
                    continue;
                ++overlaps;
                const QString what = a->objectName() + QStringLiteral(" and ") + b->objectName();
                auto *label = qobject_cast<QLabel *>(a) ? qobject_cast<QLabel *>(a)
                                                        : qobject_cast<QLabel *>(b);
                QWidget *other = label == a ? b : a;
                QVERIFY2(label && !qobject_cast<QLabel *>(other), qPrintable(what));
                // A strip one pixel thick along one side of the label.
                QRect visible = label->geometry();
                if (common.height() == visible.height() && common.width() <= 1) {
                    if (common.left() > visible.left())
                        visible.setRight(common.left() - 1);
                    else
                        visible.setLeft(common.right() + 1);
                } else if (common.width() == visible.width() && common.height() <= 1) {
                    if (common.top() > visible.top())
                        visible.setBottom(common.top() - 1);
                    else
                        visible.setTop(common.bottom() + 1);
                } else {
                    QFAIL(qPrintable(what));
                }
                // The label's text, drawn in what is left of its box, must not lose any ink.
                visible.translate(-label->pos());
                QCOMPARE(inkOutside(label->font(), label->text(), label->contentsRect(),
                                    label->alignment().toInt(), visible),
                         0);
                // and the box beside it is drawn above it
                QVERIFY2(container->children().indexOf(other) >
                             container->children().indexOf(label),
                         qPrintable(what));
            }
        }
    }
    QVERIFY(overlaps > 0); // the grid's labels do touch their boxes; the check above ran
}

void TestWindowLayout::captionsFit_data() {
    QTest::addColumn<QString>("name");
    for (QLabel *label : m_window->findChildren<QLabel *>())
        QTest::newRow(qPrintable(label->objectName())) << label->objectName();
    for (QPushButton *button : m_window->findChildren<QPushButton *>())
        QTest::newRow(qPrintable(button->objectName())) << button->objectName();
    for (Frame *frame : m_window->findChildren<Frame *>())
        QTest::newRow(qPrintable(frame->objectName())) << frame->objectName();
    QTest::newRow("cboBaudRate") << QStringLiteral("cboBaudRate");
    QTest::newRow("cboStopBits") << QStringLiteral("cboStopBits");
}

void TestWindowLayout::captionsFit() {
    QFETCH(QString, name);
    QWidget *w = control(name);
    if (auto *label = qobject_cast<QLabel *>(w)) {
        const int flags =
            label->alignment().toInt() | (label->wordWrap() ? int(Qt::TextWordWrap) : 0);
        const QRect box = label->contentsRect();
        const QFontMetrics metrics(label->font());
        if (label->wordWrap()) // every line, as laid out
            QVERIFY(box.contains(metrics.boundingRect(box, flags, label->text())));
        else
            QVERIFY(metrics.horizontalAdvance(label->text()) <= box.width());
        QCOMPARE(inkOutside(label->font(), label->text(), box, flags), 0);
    } else if (auto *button = qobject_cast<QPushButton *>(w)) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect box =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        QVERIFY(QFontMetrics(button->font()).horizontalAdvance(button->text()) <= box.width());
        QCOMPARE(inkOutside(button->font(), button->text(), box, Qt::AlignCenter), 0);
    } else if (auto *frame = qobject_cast<Frame *>(w)) {
        const QRect caption = frame->captionRect();
        QVERIFY(frame->rect().contains(caption));
        QCOMPARE(inkOutside(frame->font(), frame->title(), caption, Qt::AlignCenter), 0);
    } else if (auto *combo = qobject_cast<QComboBox *>(w)) {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                           QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i) {
            QVERIFY2(QFontMetrics(combo->font()).horizontalAdvance(combo->itemText(i)) <=
                         field.width(),
                     qPrintable(combo->itemText(i)));
        }
    } else if (auto *edit = qobject_cast<QLineEdit *>(w)) {
        // The fixed line format: every value it could show fits its greyed box.
        QStyleOptionFrame option;
        option.initFrom(edit);
        const QRect field =
            edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        for (const QString &value : {QStringLiteral("1.5"), edit->text()})
            QVERIFY(QFontMetrics(edit->font()).horizontalAdvance(value) <= field.width());
    }
}

void TestWindowLayout::fonts_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<double>("points");
    QTest::addColumn<bool>("bold");
    QTest::newRow("T: a button") << QStringLiteral("cmdSendCmd") << 8.25 << false;
    QTest::newRow("T: a settings label") << QStringLiteral("lblLabel(6)") << 8.25 << false;
    QTest::newRow("T: the command box") << QStringLiteral("cboCommand") << 8.25 << false;
    QTest::newRow("L: a time box") << QStringLiteral("txtElapsedTime") << 12.0 << false;
    QTest::newRow("L: the marker box") << QStringLiteral("cmbInitial") << 12.0 << false;
    QTest::newRow("M: the report box") << QStringLiteral("txtFromVO1446") << 9.75 << false;
    QTest::newRow("B: the key labels") << QStringLiteral("lblJ") << 9.75 << true;
}

void TestWindowLayout::fonts() {
    QFETCH(QString, name);
    QFETCH(double, points);
    QFETCH(bool, bold);
    const QFont font = control(name)->font();
    const QFontInfo drawn(font);
    // A bitmap face would be drawn at another size than asked for, and badly scaled elsewhere.
    QVERIFY2(QFontDatabase::isSmoothlyScalable(drawn.family()), qPrintable(drawn.family()));
    QCOMPARE(drawn.pointSizeF(), points);
    QCOMPARE(drawn.bold(), bold);
    if (bold) {
        // Bold on the screen, not only by name: clearly more ink than the regular weight.
        QFont regular = font;
        regular.setWeight(QFont::Normal);
        QVERIFY(inkAmount(font, QStringLiteral("QTM")) >
                inkAmount(regular, QStringLiteral("QTM")) * 5 / 4);
    }
}

void TestWindowLayout::keyLabelsComeFromTheRoutingTable() {
    QSet<QString> names;
    for (int slot = 0; slot < kStatusSlots; ++slot) {
        QLabel *label = m_window->slotLabel[static_cast<std::size_t>(slot)];
        QLineEdit *box = m_window->StatusToken[static_cast<std::size_t>(slot)];
        QCOMPARE(box->objectName(), QStringLiteral("StatusToken(%1)").arg(slot));
        if (slot == kOtherKeysSlot) {
            QVERIFY(!label);
            continue;
        }
        QVERIFY(label);
        // A line beginning with the caption lands in the slot the caption stands beside.
        QCOMPARE(slotForLine(label->text()), slot);
        QCOMPARE(label->parentWidget(), box->parentWidget());
        QCOMPARE(label->y(), box->y());
        QVERIFY(label->geometry().right() <= box->x());
        QVERIFY(label->x() >= box->x() - twips(360));
        names.insert(label->objectName());
    }
    QCOMPARE(names.size(), 35);
    QVERIFY(names.contains(QStringLiteral("lblJ")));
    for (int i = 0; i < 34; ++i)
        QVERIFY(names.contains(QStringLiteral("Token(%1)").arg(i)));
    // "K" lines share the slot labelled "U".
    QCOMPARE(m_window->slotLabel[static_cast<std::size_t>(slotForLine(u"K123"))]->text(),
             QStringLiteral("U"));
}

void TestWindowLayout::ampersandAndQuoteLabelsShowTheirCharacter() {
    auto *ampersand = control<QLabel>(QStringLiteral("lblJ"));
    QCOMPARE(ampersand->text(), QStringLiteral("&"));
    QCOMPARE(m_window->slotLabel[6]->text(), QStringLiteral("\""));
    // Drawn as text: the "&" is shown, not taken for an access key that would hide it.
    QCOMPARE(ampersand->textFormat(), Qt::PlainText);
    QVERIFY(!ampersand->buddy());
    const QImage drawn = ampersand->grab().toImage();
    QImage blank(drawn.size(), drawn.format());
    blank.fill(ampersand->palette().color(QPalette::Window));
    QVERIFY(drawn != blank);
}

void TestWindowLayout::everyFocusableControlHasASpokenName() {
    int focusable = 0;
    for (QWidget *w : m_window->findChildren<QWidget *>()) {
        if (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(m_window.get()))
            continue;
        QAccessibleInterface *spoken = QAccessible::queryAccessibleInterface(w);
        QVERIFY(spoken);
        QVERIFY2(!spoken->text(QAccessible::Name).trimmed().isEmpty(),
                 qPrintable(w->objectName() + QStringLiteral(" ") + w->metaObject()->className()));
        ++focusable;
    }
    QVERIFY(focusable >= 60);
    auto spokenName = [this](const char *name) {
        return QAccessible::queryAccessibleInterface(control(QString::fromLatin1(name)))
            ->text(QAccessible::Name);
    };
    QCOMPARE(spokenName("StatusToken(31)"), QStringLiteral("Status slot J"));
    QCOMPARE(spokenName("StatusToken(17)"), QStringLiteral("Status slot U"));
    QCOMPARE(spokenName("StatusToken(0)"), QStringLiteral("Status slot, other keys"));
    // The three "Clear" buttons say what they clear.
    const QSet<QString> clears{spokenName("cmdClearError"), spokenName("cmdClearFromRT"),
                               spokenName("cmdClearResponse")};
    QCOMPARE(clears.size(), 3);
    // A button whose caption is its state is spoken as it reads now.
    auto *probe = control<QPushButton>(QStringLiteral("cmdCOMStatus"));
    probe->setText(QString::fromLatin1(caption::kStopProbe));
    QCOMPARE(spokenName("cmdCOMStatus"), QString::fromLatin1(caption::kStopProbe));
    probe->setText(QString::fromLatin1(caption::kStartProbe));
}

void TestWindowLayout::windowHasAFixedSize() {
    QCOMPARE(m_window->centralWidget()->size(), QSize(750, 614));
    QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
    const Qt::WindowFlags flags = m_window->windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    const QSize before = m_window->size();
    m_window->resize(before + QSize(200, 100));
    QCoreApplication::processEvents();
    QCOMPARE(m_window->size(), before);
    QVERIFY(!m_window->windowIcon().isNull());
}

QTEST_MAIN(TestWindowLayout)
#include "tst_window_layout.moc"
