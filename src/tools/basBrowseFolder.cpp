#include "tools/basBrowseFolder.h"

#include "tools/basTools.h"

#include <QDir>
#include <QFileDialog>

#include <utility>

namespace {

FolderDialogHook &folderDialogHook()
{
    static FolderDialogHook hook;
    return hook;
}

} // namespace

FolderDialogHook SetFolderDialogHook(FolderDialogHook hook)
{
    return std::exchange(folderDialogHook(), std::move(hook));
}

QString BrowseForFolder(QWidget *owner, const QString &startFolder, const QString &title, bool newDialogStyle)
{
    FolderDialogRequest request;
    request.owner = owner;
    request.title = title;
    request.startFolder = QDir::fromNativeSeparators(startFolder);
    request.options = QFileDialog::ShowDirsOnly;
    // A source is only read from: Qt's own dialog then offers no new folder
    // (a platform's native picker may offer one all the same).
    if (!newDialogStyle)
        request.options |= QFileDialog::ReadOnly;
    const QString chosen = folderDialogHook()
        ? folderDialogHook()(request)
        : QFileDialog::getExistingDirectory(request.owner, request.title, request.startFolder, request.options);
    if (!FirstUnquotablePath({chosen}).isEmpty()) {
        RefuseUnquotablePath(QDir::toNativeSeparators(chosen));
        return QString();
    }
    return chosen.isEmpty() ? QString() : QDir::toNativeSeparators(chosen);
}
