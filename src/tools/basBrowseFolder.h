#pragma once

#include <QString>

#include <functional>

class QWidget;

// What the folder dialog is asked to show.
struct FolderDialogRequest
{
    QWidget *owner = nullptr;
    QString startFolder;     // with "/" separators; empty for the platform's choice
    QString title;
    bool allowNewFolder = false;
};

// The one place where the folder dialog opens. It returns the chosen folder
// (any separators) or an empty text on cancel. Tests replace it so that no
// modal dialog blocks them; an empty hook restores the real dialog.
using FolderDialogHook = std::function<QString(const FolderDialogRequest &request)>;
void SetFolderDialogHook(FolderDialogHook hook);

// Lets the user pick a folder, modal to owner, starting at startFolder.
// newDialogStyle offers making a new folder. The result is in the platform's
// separators, or empty when the user cancels. A folder whose path holds a
// double quotation mark (possible off Windows) is refused with a message and
// gives the empty result too.
QString BrowseForFolder(QWidget *owner, const QString &startFolder, const QString &title, bool newDialogStyle);
