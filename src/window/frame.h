#pragma once
// A frame as the window draws its five: an etched border whose top runs through the middle of
// the caption, so that the caption sits on the border and the frame's whole inside, from half a
// line below its outer top, is free for the controls placed in it.

#include <QGroupBox>

namespace korvane {

class Frame : public QGroupBox {
    Q_OBJECT
public:
    explicit Frame(QWidget *parent = nullptr) : QGroupBox(parent) {}

    // Where the caption is drawn, in the frame's own coordinates.
    QRect captionRect() const;

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace korvane
