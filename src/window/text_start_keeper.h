#pragma once
// Shows the text the program writes into a box from its first character.
//
// A single-line box shows the end of a text too long for it once the text is set, the cursor
// having gone to its end: a message read "r 8017. COM3 (/dev/pts/0) was lost: ...", an elapsed
// time "0000000017462". Each box watched here is put back to its start whenever the program sets
// its text, the same text again included (a status line the radio repeats at every poll changes
// nothing but the cursor). What the operator does is left alone: typing, moving the cursor or
// selecting in a box, and any change to a combo box's edit field while the operator works in it
// (an entry picked from the list or with the arrow keys, a completion).

#include <QObject>

class QLineEdit;

namespace korvane {

class TextStartKeeper : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    void watch(QLineEdit *box);

private:
    static void changed(QLineEdit *box);
};

} // namespace korvane
