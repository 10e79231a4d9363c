#pragma once
// How the window's builders place a control: the layout is drawn in twips, measured from the
// top-left corner of each control's container (the client area below the menu bar, or a frame's
// outer corner). 15 twips make one device-independent pixel, 96 to the inch; Qt scales those on
// denser displays. Only the window's own builders use this.

#include "window/window_fonts.h"

#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <initializer_list>

class QLabel;
class QPushButton;

namespace korvane::layout {

struct Twips {
    int left, top, width, height;
};
inline constexpr int kTwipsPerPixel = 15;
inline QRect pixels(Twips t) {
    return QRect(t.left / kTwipsPerPixel, t.top / kTwipsPerPixel, t.width / kTwipsPerPixel,
                 t.height / kTwipsPerPixel);
}
inline constexpr Twips kClientArea{0, 0, 11250, 9210};

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
inline constexpr int kLabelFlags = Qt::AlignLeft | Qt::AlignTop;
inline constexpr int kCentredWrapFlags = Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap;
QLabel *makeLabel(QWidget *in, const char *name, const QString &text, Twips at, FontLetter font,
                  int flags = kLabelFlags);

QPushButton *makeButton(QWidget *in, const char *name, const char *text, Twips at);

QStringList texts(std::initializer_list<const char *> entries);

} // namespace korvane::layout
