#include "window/shape.h"

#include <QAccessible>
#include <QPainter>

namespace korvane {

Shape::Shape(QWidget *parent) : QWidget(parent) {}

void Shape::setFillColor(const QColor &color) {
    if (color == m_fill)
        return;
    const QString before = spokenState();
    m_fill = color;
    update();
    if (spokenState() != before) {
        QAccessibleValueChangeEvent changed(this, spokenState());
        QAccessible::updateAccessibility(&changed);
    }
}

QString Shape::spokenState() const {
    return m_fill == QColor(Qt::white) ? QStringLiteral("dark") : QStringLiteral("lit");
}

void Shape::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.fillRect(rect(), m_fill);
    painter.setPen(Qt::black);
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

} // namespace korvane
