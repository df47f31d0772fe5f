#pragma once

#include <QFileDialog>
#include <QString>

#include <functional>

class QWidget;

// What the folder dialog is asked to show: the arguments of
// QFileDialog::getExistingDirectory.
struct FolderDialogRequest
{
    QWidget *owner = nullptr;
    QString title;
    QString startFolder; // with "/" separators; empty for the platform's choice
    QFileDialog::Options options;
};

// The one place where the folder dialog opens: it returns the chosen folder
// (any separators) or an empty text on cancel. Tests answer it here, so that
// no modal dialog blocks them; an empty hook shows the real dialog. Returns
// the hook it replaces.
using FolderDialogHook = std::function<QString(const FolderDialogRequest &request)>;
FolderDialogHook SetFolderDialogHook(FolderDialogHook hook);

// Lets the user pick a folder, modal to owner, starting at startFolder.
// newDialogStyle offers making a new folder. The result is in the platform's
// separators, or empty when the user cancels. A folder whose path holds a
// double quotation mark (possible off Windows) is refused with a message and
// gives the empty result too.
QString BrowseForFolder(QWidget *owner, const QString &startFolder, const QString &title, bool newDialogStyle);
