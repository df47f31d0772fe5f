#include "tools/basBrowseFolder.h"

#include "tools/basTools.h"

#include <QDir>
#include <QFileDialog>

namespace {

FolderDialogHook &folderDialogHook()
{
    static FolderDialogHook hook;
    return hook;
}

QString showFolderDialog(const FolderDialogRequest &request)
{
    QFileDialog::Options options = QFileDialog::ShowDirsOnly;
    // A source is only read from: Qt's own dialog then offers no new folder
    // (a platform's native picker may offer one all the same).
    if (!request.allowNewFolder)
        options |= QFileDialog::ReadOnly;
    return QFileDialog::getExistingDirectory(request.owner, request.title, request.startFolder, options);
}

} // namespace

void SetFolderDialogHook(FolderDialogHook hook) { folderDialogHook() = std::move(hook); }

QString BrowseForFolder(QWidget *owner, const QString &startFolder, const QString &title, bool newDialogStyle)
{
    FolderDialogRequest request;
    request.owner = owner;
    request.startFolder = QDir::fromNativeSeparators(startFolder);
    request.title = title;
    request.allowNewFolder = newDialogStyle;
    const QString chosen = folderDialogHook() ? folderDialogHook()(request) : showFolderDialog(request);
    if (!FirstUnquotablePath({chosen}).isEmpty()) {
        RefuseUnquotablePath(QDir::toNativeSeparators(chosen));
        return QString();
    }
    return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
}
