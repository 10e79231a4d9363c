#pragma once
// The window's fonts. The window is drawn in four fonts, known by letter: T ("Tahoma" 8.25 pt)
// for buttons and the settings, L ("MS Sans Serif" 12 pt) for the three time boxes and the
// marker box, M ("MS Sans Serif" 9.75 pt) for the report box, and B (the same, bold) for the key
// labels of the status grid. Everything else uses the window's own font, which is T's: the
// desktop's default font is often larger than the window's fixed boxes allow.
//
// Few machines have these faces. Debian's fonts-wine ships a free, metric-compatible Tahoma
// outside the font search path; it is loaded from there when the machine has no Tahoma of its
// own. Its "MS Sans Serif" is a bitmap face with a single size and no bold, so the "MS Sans
// Serif" letters take the nearest scalable face with the same proportions (Liberation Sans,
// Nimbus Sans and the like), at the same point sizes. Only scalable faces are used, so the
// window draws alike on any display density.
//
// Whatever face is found, a caption must never be clipped: `fitted` narrows a font, and then
// shrinks it in quarter points, when it has to, until the caption fits its box.

#include <QFont>
#include <QRect>
#include <QString>

namespace korvane {

enum class FontLetter { Window, T, L, M, B };

// The font a letter stands for, in the nearest face this machine has.
QFont windowFont(FontLetter letter);

// A caption and the box it is drawn in; `flags` are the text flags it is drawn with
// (alignment, word wrap).
struct Caption {
    QString text;
    QSize box;
    int flags = 0;
};

// Whether `caption` fits its box in `font`: its advance (every line of it, when it wraps) and
// every visible pixel of its ink inside the box.
bool captionFits(const QFont &font, const Caption &caption);

// `font` if the caption fits in it; else a condensed width of it, or at last the largest smaller
// size of that, in which it fits.
QFont fitted(QFont font, const Caption &caption);

} // namespace korvane
