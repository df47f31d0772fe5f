#pragma once

#include "ScopedHook.h"
#include "tools/basTools.h"

#include <QList>
#include <QString>

// One message box as the user would have seen it: its text, its style told
// back from its icon (0, 16, 48 or 64) and buttons (4 more for Yes and No;
// -1 for any other buttons) and its title.
struct ShownBox
{
    QString prompt;
    int style;
    QString title;
};

// Answers every message box with OK (a Yes/No box with yesNoReply) instead of
// showing it, for its lifetime, and keeps what each one showed.
class MessageBoxCatcher
{
public:
    MessageBoxCatcher();

    // One line per box, for a failure message.
    QString describe() const;

    QList<ShownBox> boxes;
    int yesNoReply = vbNo;

private:
    ScopedHook<MsgBoxExec> m_hook;
};
