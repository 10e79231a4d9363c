#include "window/shape.h"

#include <QPainter>

namespace korvane {

Shape::Shape(QWidget *parent) : QWidget(parent) {}

void Shape::setFillColor(const QColor &color) {
    if (color == m_fill)
        return;
    m_fill = color;
    update();
}

void Shape::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), m_fill);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace korvane
