#pragma once

#include "ScopedHook.h"
#include "tools/basTools.h"

#include <QList>
#include <QString>

// One message box as the user would have seen it: its text, its style told
// back from its icon (0, 16, 48 or 64; -1 for a box that offers more than an
// OK button) and its title.
struct ShownBox
{
    QString prompt;
    int style;
    QString title;
};

// Answers every message box with OK instead of showing it, for its lifetime,
// and keeps what each one showed.
class MessageBoxCatcher
{
public:
    MessageBoxCatcher();

    // One line per box, for a failure message.
    QString describe() const;

    QList<ShownBox> boxes;

private:
    ScopedHook<MsgBoxExec> m_hook;
};
