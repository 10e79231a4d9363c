#include "window/focus_keeper.h"

#include <QApplication>
#include <QEvent>

namespace korvane {

FocusKeeper::FocusKeeper(QWidget *window, std::function<bool(const QWidget *)> harbour)
    : QObject(window), m_window(window), m_isHarbour(std::move(harbour)) {
    connect(qApp, &QApplication::focusChanged, this, &FocusKeeper::focusChanged);
}

bool FocusKeeper::holdFocus() {
    QWidget *focus = m_window->focusWidget();
    // A Tab from a control already held is the operator's: it moves the focus as always.
    if (!focus || focus->isEnabled() || focus == m_held)
        return false;
    m_held = focus;
    watch(focus);
    // Looked at again once the handler that disabled it is over.
    QMetaObject::invokeMethod(this, &FocusKeeper::settle, Qt::QueuedConnection);
    return true;
}

void FocusKeeper::settle() {
    QWidget *held = m_held;
    m_held = nullptr;
    if (!held || held->isEnabled() || m_window->focusWidget() != held)
        return; // enabled again within its handler: the focus never moved
    m_waiting = held;
    m_harbour = harbourAfter(held);
    moveFocus(m_harbour);
}

bool FocusKeeper::eventFilter(QObject *watched, QEvent *event) {
    if (event->type() != QEvent::EnabledChange || !watched->isWidgetType())
        return false;
    auto *control = static_cast<QWidget *>(watched);
    if (!control->isEnabled())
        return false;
    if (control == m_held) {
        m_held = nullptr;
    } else if (control == m_waiting) {
        const QPointer<QWidget> harbour = m_harbour;
        m_waiting = nullptr;
        m_harbour = nullptr;
        if (harbour && m_window->focusWidget() == harbour)
            moveFocus(control);
    }
    control->removeEventFilter(this);
    return false;
}

void FocusKeeper::focusChanged(QWidget *, QWidget *now) {
    // Focus leaving the window (another program, a dialog, a combo box's list) and coming back
    // to where it was is no move of the operator's within the window.
    if (m_moving || !now || now->window() != m_window || now == m_harbour)
        return;
    if (m_held && now != m_held)
        m_held = nullptr;
    if (m_waiting && now != m_waiting) {
        m_waiting->removeEventFilter(this);
        m_waiting = nullptr;
        m_harbour = nullptr;
    }
}

QWidget *FocusKeeper::harbourAfter(QWidget *control) const {
    for (QWidget *w = control->nextInFocusChain(); w && w != control; w = w->nextInFocusChain()) {
        if (w->window() == m_window && w->isEnabled() && w->isVisibleTo(m_window) && m_isHarbour(w))
            return w;
    }
    return m_window;
}

void FocusKeeper::moveFocus(QWidget *to) {
    m_moving = true;
    // Not a Tab: a text box given the focus this way keeps its cursor and selects nothing, so a
    // key typed there cannot replace its text.
    to->setFocus(Qt::OtherFocusReason);
    m_moving = false;
}

void FocusKeeper::watch(QWidget *control) {
    control->installEventFilter(this);
}

} // namespace korvane
