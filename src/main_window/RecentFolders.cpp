#include "main_window/RecentFolders.h"

#include "main_window/Controls.h"
#include "tools/basTools.h"

#include <QComboBox>

void RememberFolder(QComboBox *combo, const QString &text)
{
    // An empty entry would end the stored list at the next start and lose
    // every folder after it, so it is never added.
    if (text.isEmpty() || ComboContains(combo, text))
        return;
    addListItem(combo, text);
    if (combo->count() > kRecentFolderLimit)
        removeListItem(combo, 0);
}

void RestoreRecentFolders(QComboBox *combo, QStringList entries)
{
    if (entries.size() > kRecentFolderLimit)
        entries = entries.mid(entries.size() - kRecentFolderLimit);
    clearList(combo);
    for (const QString &entry : std::as_const(entries))
        addListItem(combo, entry);
}
