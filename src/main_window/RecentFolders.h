#pragma once

#include <QStringList>

class QComboBox;

// The recent-folder lists of cboSource and cboDestination: the folders of
// earlier runs, oldest first, never more than kRecentFolderLimit. A run adds
// to them, the settings keep them; the box's own text is never touched.
constexpr int kRecentFolderLimit = 10;

// After a run: a text not yet in the list goes to its end, and the oldest
// entry leaves when that makes more than the limit. An empty text is not
// remembered.
void RememberFolder(QComboBox *combo, const QString &text);

// On load: the list becomes the entries, the newest of them when they are
// more than the limit (a damaged store may hold more than a list ever does).
void RestoreRecentFolders(QComboBox *combo, QStringList entries);
