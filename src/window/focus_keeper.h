#pragma once
// Keeps the keyboard focus where the operator put it while the program disables the control that
// holds it.
//
// Qt moves the focus on, to the next control in the tab order, the moment a focused control is
// disabled. The program disables controls for two reasons: for a moment inside one handler (the
// send button while a poll goes out) and for longer (Get Status until its report, the port and
// baud boxes while the port is open). Moved on each time, the focus would leave "Send Command" at
// every poll, and land on whatever follows a disabled control, a "Clear" button among them, where
// the next Space or Enter destroys what the window shows.
//
// So the window asks the keeper before Qt moves the focus off a control being disabled
// (`holdFocus`). The keeper keeps the focus where it is and looks again once the handler is over,
// when events are next dispatched: a control enabled again by then never lost the focus, and no
// focus change was seen by anyone. A control still disabled hands the focus to a harbour, the
// next control in the tab order that only shows text (or the window itself), and gets it back
// when it is enabled again, unless the operator has moved the focus meanwhile. The operator's own
// Tab and clicks always win: any focus change the keeper did not make ends its claim.

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace korvane {

class FocusKeeper : public QObject {
    Q_OBJECT
public:
    // `window`: the window whose controls are kept; `harbour`: whether a control only shows text,
    // so that the focus may wait there.
    FocusKeeper(QWidget *window, std::function<bool(const QWidget *)> harbour);

    // Called by the window where Qt would move the focus on. True when the focus is on a control
    // that is being disabled: the keeper holds it there and Qt must leave it.
    bool holdFocus();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void settle();
    void focusChanged(QWidget *old, QWidget *now);
    QWidget *harbourAfter(QWidget *control) const;
    void moveFocus(QWidget *to);
    void watch(QWidget *control);

    QWidget *m_window;
    std::function<bool(const QWidget *)> m_isHarbour;
    QPointer<QWidget> m_held;    // disabled while focused; still holds the focus
    QPointer<QWidget> m_waiting; // disabled for longer; gets the focus back when enabled
    QPointer<QWidget> m_harbour; // where the focus waits meanwhile
    bool m_moving = false;       // the keeper itself is moving the focus
};

} // namespace korvane
