#pragma once
// A filled rectangle, as the poll indicators LED(0) and LED(1) are drawn: a one-pixel black
// border and a solid fill whose colour the program sets. To a screen reader it is an indicator
// whose state is "lit" (any fill but white) or "dark"; each change of that state is reported.

#include <QColor>
#include <QWidget>

namespace korvane {

class Shape : public QWidget {
    Q_OBJECT
public:
    explicit Shape(QWidget *parent = nullptr);
    QColor fillColor() const { return m_fill; }
    void setFillColor(const QColor &color);
    // "lit" or "dark", as a screen reader says it.
    QString spokenState() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_fill = Qt::white;
};

} // namespace korvane
