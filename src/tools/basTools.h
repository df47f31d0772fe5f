#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QComboBox;
class QMessageBox;

// Message box styles: 0 OK only, 4 Yes and No instead of OK, 16 stop,
// 48 exclamation, 64 information; an icon and the buttons add up.
enum MsgBoxStyle : int { vbOKOnly = 0, vbYesNo = 4, vbCritical = 16, vbExclamation = 48, vbInformation = 64 };
// The button pressed.
enum MsgBoxResult : int { vbOK = 1, vbYes = 6, vbNo = 7 };

// Shows a modal message box with an OK button, or Yes and No; an empty title
// means "Corvane". Returns the button pressed (closing a Yes/No box by its
// close box or Escape is No).
int MsgBox(const QString &prompt, int style = vbOKOnly, const QString &title = QString());

// Shows the prepared message box modally and returns its result: the one
// place MsgBox hands over to the platform. Tests answer the real box here, so
// that nothing modal blocks them; an empty function shows it as usual.
// Returns the function it replaces.
using MsgBoxExec = std::function<int(QMessageBox &box)>;
MsgBoxExec SetMsgBoxExec(MsgBoxExec exec);

// Text after the last path separator ("\" or "/"); the whole text when there is none.
QString FileNamePart(const QString &path);
// Text before the last separator that is not the final character.
QString FolderPart(const QString &path);

// Windows names never hold a double quotation mark, and a command line cannot
// carry one inside a quoted name: such a name would end the quotes and the
// rest would run as commands of its own. The first of paths that holds one,
// or an empty text.
QString FirstUnquotablePath(const QStringList &paths);
// Tells the user why that path is not taken (style 48).
void RefuseUnquotablePath(const QString &path);

// Exact, case-sensitive search of a combo box's drop-down list.
bool ComboContains(const QComboBox *combo, const QString &text);

// Closes every top-level window of the program whose object name differs from name.
void UnloadOtherForms(const QString &name);
