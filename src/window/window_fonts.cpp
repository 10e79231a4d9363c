#include "window/window_fonts.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QStringList>

namespace korvane {

namespace {

// Where Debian's fonts-wine puts its faces; fontconfig does not look there.
constexpr char kWineTahoma[] = "/usr/share/wine/fonts/tahoma.ttf";

// The faces nearest to each named face, nearest first.
const QStringList &tahomaLike() {
    static const QStringList faces{
        QStringLiteral("Tahoma"),          QStringLiteral("DejaVu Sans Condensed"),
        QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
        QStringLiteral("Nimbus Sans"),     QStringLiteral("DejaVu Sans")};
    return faces;
}
const QStringList &msSansSerifLike() {
    static const QStringList faces{
        QStringLiteral("MS Sans Serif"),   QStringLiteral("Microsoft Sans Serif"),
        QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
        QStringLiteral("Arial"),           QStringLiteral("Nimbus Sans"),
        QStringLiteral("Tahoma"),          QStringLiteral("DejaVu Sans Condensed"),
        QStringLiteral("DejaVu Sans")};
    return faces;
}

bool usable(const QString &family) {
    return QFontDatabase::hasFamily(family) && QFontDatabase::isSmoothlyScalable(family);
}

void loadWineTahoma() {
    static const bool loaded = [] {
        if (!usable(QStringLiteral("Tahoma")) && QFile::exists(QString::fromLatin1(kWineTahoma)))
            QFontDatabase::addApplicationFont(QString::fromLatin1(kWineTahoma));
        return true;
    }();
    (void)loaded;
}

// The first usable face of the list, or an empty name (the platform's default face).
QString nearest(const QStringList &faces) {
    for (const QString &face : faces) {
        if (usable(face))
            return face;
    }
    return QString();
}

QFont make(const QString &family, double points, bool bold) {
    QFont font;
    if (!family.isEmpty())
        font.setFamily(family);
    font.setPointSizeF(points);
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setItalic(false);
    return font;
}

constexpr double kShrinkStep = 0.25;
// How far past its box a caption's ink is looked for, and how opaque a pixel must be to be seen
// (the faint edge of an anti-aliased glyph that strays a pixel does not count).
constexpr int kInkMargin = 8;
constexpr int kVisibleAlpha = 96;
constexpr double kSmallestPoints = 5.0;

} // namespace

QFont windowFont(FontLetter letter) {
    loadWineTahoma();
    static const QString tahoma = nearest(tahomaLike());
    static const QString msSansSerif = nearest(msSansSerifLike());
    switch (letter) {
    case FontLetter::L:
        return make(msSansSerif, 12.0, false);
    case FontLetter::M:
        return make(msSansSerif, 9.75, false);
    case FontLetter::B:
        return make(msSansSerif, 9.75, true);
    case FontLetter::Window:
    case FontLetter::T:
        break;
    }
    return make(tahoma, 8.25, false);
}

bool captionFits(const QFont &font, const Caption &caption) {
    const QFontMetrics metrics(font);
    const QRect box(QPoint(0, 0), caption.box);
    // The text as laid out must fit: its advance, or every wrapped line.
    if (caption.flags & Qt::TextWordWrap) {
        if (!box.contains(metrics.boundingRect(box, caption.flags, caption.text)))
            return false;
    } else if (metrics.horizontalAdvance(caption.text) > box.width()) {
        return false;
    }
    // And so must its ink, which a synthesised bold or an overhanging glyph can push past the
    // advance: draw it unclipped and look for any visible pixel outside the box.
    const QRect canvas = box.adjusted(-kInkMargin, -kInkMargin, kInkMargin, kInkMargin);
    QImage image(canvas.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.translate(-canvas.topLeft());
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(box, caption.flags, caption.text);
    }
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > kVisibleAlpha &&
                !box.contains(canvas.topLeft() + QPoint(x, y)))
                return false;
        }
    }
    return true;
}

QFont fitted(QFont font, const Caption &caption) {
    if (captionFits(font, caption))
        return font;
    // Narrower first, at the same size; only then smaller.
    for (int stretch : {QFont::SemiCondensed, QFont::Condensed}) {
        font.setStretch(stretch);
        if (captionFits(font, caption))
            return font;
    }
    while (!captionFits(font, caption) && font.pointSizeF() - kShrinkStep >= kSmallestPoints)
        font.setPointSizeF(font.pointSizeF() - kShrinkStep);
    return font;
}

} // namespace korvane
