#include "main_window/frmCorvane.h"

#include "main_window/Controls.h"
#include "tools/basBrowseFolder.h"

namespace {

// Picks a folder for one of the two folder boxes. Only the box's text changes
// (which rebuilds the command); its recent-folder list stays as it is.
void browseInto(frmCorvane *window, ControlName boxName, const QString &title, bool newDialogStyle)
{
    QWidget *box = window->control(boxName);
    const QString chosen = BrowseForFolder(window, textOf(box), title, newDialogStyle);
    if (!chosen.isEmpty())
        setTextOf(box, chosen);
}

} // namespace

void frmCorvane::cmdBrowseSource_Click()
{
    browseInto(this, "cboSource", QStringLiteral("Source Folder"), false);
}

void frmCorvane::cmdBrowseDestination_Click()
{
    browseInto(this, "cboDestination", QStringLiteral("Destination Folder"), true);
}
