#include "main_window/frmCorvane.h"

#include <QAction>
#include <QKeyEvent>

// The menu shortcuts act whichever field has the focus.

void frmCorvane::setUpKeyboard()
{
    for (QWidget *w : std::as_const(m_controls)) {
        if (!(w->focusPolicy() & Qt::TabFocus))
            continue;
        w->installEventFilter(this);
        const QList<QWidget *> parts = w->findChildren<QWidget *>();
        for (QWidget *part : parts)
            part->installEventFilter(this);
    }
}

bool frmCorvane::keyboardEvent(QObject *, QEvent *event)
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
    }
    return false;
}
