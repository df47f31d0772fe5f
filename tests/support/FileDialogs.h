#pragma once

// The save and open dialogs as a user answers them.

#include "ScopedHook.h"
#include "run/basCommonDialog.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

#ifdef Q_OS_WIN
class NativeSaveDialogAnswer;
#endif

// What a file dialog showed.
struct ShownDialog
{
    QString title;
    QStringList nameFilters;
    bool confirmsOverwrite; // for the system's save dialog: it asked before closing
    bool opensExistingFile = false;
};

// Answers the next save dialog as a user would: starts it in the folder,
// picks the 1-based filter entry, types the name and presses Save; filter
// entry 0 types the name and presses Cancel instead. Qt's own dialog gets
// keys through the hook; on Windows the program shows the system's own,
// which is answered from a thread of its own.
class SaveDialogAnswer
{
public:
    SaveDialogAnswer(QList<ShownDialog> &dialogs, const QString &folder, const QString &typed, int filterIndex);
    ~SaveDialogAnswer();
    SaveDialogAnswer(const SaveDialogAnswer &) = delete;
    SaveDialogAnswer &operator=(const SaveDialogAnswer &) = delete;

    // Adds what the system's dialog showed to the list, once it has closed.
    void collect();

private:
    QList<ShownDialog> &m_dialogs;
#ifdef Q_OS_WIN
    std::unique_ptr<NativeSaveDialogAnswer> m_native;
    bool m_collected = false;
#else
    ScopedHook<FileDialogExec> m_hook;
#endif
};
