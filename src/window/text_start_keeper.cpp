#include "window/text_start_keeper.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>

namespace korvane {

// A box's "modified" flag tells the two writers apart. Qt clears it whenever the program sets the
// text, and nothing the operator does clears it. The keeper raises it on each box it has put in
// order, so a change seen with the flag down is a text the program has just set.
void TextStartKeeper::watch(QLineEdit *box) {
    box->setModified(true);
    connect(box, &QLineEdit::textChanged, this, [box] { changed(box); });
    // The same text set again: only the cursor moves, to the end.
    connect(box, &QLineEdit::cursorPositionChanged, this, [box] { changed(box); });
}

void TextStartKeeper::changed(QLineEdit *box) {
    if (box->isModified())
        return;
    box->setModified(true);
    const auto *combo = qobject_cast<const QComboBox *>(box->parentWidget());
    if (combo && combo->lineEdit() == box && (combo->hasFocus() || combo->view()->isVisible()))
        return;
    box->setCursorPosition(0);
}

} // namespace korvane
