#include "window/frame.h"

#include <QFontMetrics>
#include <QPainter>
#include <QStyle>

namespace korvane {

namespace {
constexpr int kCaptionIndent = 6;  // from the frame's left edge to the caption's space
constexpr int kCaptionPadding = 2; // clear space on either side of the caption's text
} // namespace

QRect Frame::captionRect() const {
    const QFontMetrics metrics(font());
    return QRect(kCaptionIndent, 0, metrics.horizontalAdvance(title()) + 2 * kCaptionPadding,
                 metrics.height());
}

void Frame::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    const QRect caption = captionRect();
    const QRect border = rect().adjusted(0, caption.height() / 2, -1, -1);
    // Etched: a shadow line with a light line inside it, one pixel down and right.
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(border.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(border.adjusted(1, 1, 0, 0));
    painter.fillRect(caption, palette().window());
    style()->drawItemText(&painter, caption, Qt::AlignCenter, palette(), isEnabled(), title(),
                          QPalette::WindowText);
}

} // namespace korvane
