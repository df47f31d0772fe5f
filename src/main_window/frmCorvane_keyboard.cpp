#include "main_window/frmCorvane.h"

#include "main_window/Twips.h"

#include <QAction>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>

#include <iterator>

// The keyboard reaches everything: the menu shortcuts act whichever field has
// the focus, the scroll bars stand in the tab order, and a control that Tab
// or an access key moves to is scrolled into view.

void frmCorvane::setUpKeyboard()
{
    // Tab only: a click on a bar scrolls without taking the focus from the
    // field the user is typing in.
    m_hScroll->setFocusPolicy(Qt::TabFocus);
    m_vScroll->setFocusPolicy(Qt::TabFocus);
    m_hScroll->installEventFilter(this);
    m_vScroll->installEventFilter(this);
    QWidget *chain[] = {control("cmdExecute"), m_hScroll, m_vScroll, m_filler,
                        control("cmdCopy")};
    for (size_t i = 1; i < std::size(chain); ++i)
        setTabOrder(chain[i - 1], chain[i]);

    for (QWidget *w : std::as_const(m_controls)) {
        if (!(w->focusPolicy() & Qt::TabFocus))
            continue;
        w->installEventFilter(this);
        const QList<QWidget *> parts = w->findChildren<QWidget *>();
        for (QWidget *part : parts)
            part->installEventFilter(this);
    }
}

bool frmCorvane::keyboardEvent(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        // A field asks first whether it wants a key; under the X11 key scheme
        // a line edit claims Ctrl+E for the end of its line. The menu's own
        // shortcuts go to the menu, and every other key stays the field's.
        const auto *key = static_cast<QKeyEvent *>(event);
        const QKeySequence pressed(QKeyCombination(key->modifiers() & ~Qt::KeypadModifier, Qt::Key(key->key())));
        for (const QAction *action : std::as_const(m_menuItems)) {
            if (!action->shortcut().isEmpty() && action->shortcut() == pressed) {
                event->ignore();
                return true;
            }
        }
        return false;
    }
    if (event->type() == QEvent::KeyPress && (watched == m_hScroll || watched == m_vScroll)) {
        // Qt's scroll bar inverts its keys so that Up and Page Up go back,
        // which turns Left and Right around as well; they are put right here.
        auto *bar = static_cast<QScrollBar *>(watched);
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key != Qt::Key_Left && key != Qt::Key_Right)
            return false;
        const bool back = (key == Qt::Key_Left) != bar->isRightToLeft();
        bar->triggerAction(back ? QAbstractSlider::SliderSingleStepSub : QAbstractSlider::SliderSingleStepAdd);
        return true;
    }
    if (event->type() == QEvent::FocusIn) {
        // Not for a click (the control is in view under the pointer) nor for
        // the window coming back to the front (the user may have scrolled on).
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason || reason == Qt::ShortcutFocusReason)
            if (auto *w = qobject_cast<QWidget *>(watched))
                scrollIntoView(w);
    }
    return false;
}

void frmCorvane::scrollIntoView(QWidget *w)
{
    if (!m_canvas->isAncestorOf(w))
        return;
    // The part of the canvas in view, in canvas pixels.
    const QWidget *client = centralWidget();
    const QRect view(-m_canvas->pos(), QSize(m_vScroll->isVisible() ? m_vScroll->x() : client->width(),
                                             m_hScroll->isVisible() ? m_hScroll->y() : client->height()));
    const QRect field(w->mapTo(m_canvas, QPoint(0, 0)), w->size());
    if (view.contains(field))
        return;
    // With its whole group where that fits, so that its captions show too.
    QWidget *group = w;
    while (group->parentWidget() != m_canvas)
        group = group->parentWidget();
    const QRect frame = group->geometry();

    // The bars move the canvas, so that they keep showing where it stands.
    auto scroll = [](QScrollBar *bar, int viewStart, int viewLength, int start, int length) {
        if (!bar->isVisible())
            return;
        int first = viewStart;
        if (start < viewStart || length > viewLength)
            first = start;
        else if (start + length > viewStart + viewLength)
            first = start + length - viewLength;
        bar->setValue(first * kTwipsPerPixel);
    };
    const bool frameFitsAcross = frame.width() <= view.width();
    const bool frameFitsDown = frame.height() <= view.height();
    scroll(m_hScroll, view.x(), view.width(), frameFitsAcross ? frame.x() : field.x(),
           frameFitsAcross ? frame.width() : field.width());
    scroll(m_vScroll, view.y(), view.height(), frameFitsDown ? frame.y() : field.y(),
           frameFitsDown ? frame.height() : field.height());
}
