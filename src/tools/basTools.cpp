#include "tools/basTools.h"

#include <QApplication>
#include <QComboBox>
#include <QMessageBox>
#include <QWidget>

#include <utility>

namespace {
MsgBoxExec &msgBoxExec()
{
    static MsgBoxExec exec;
    return exec;
}

bool isSeparator(QChar c) { return c == u'\\' || c == u'/'; }
} // namespace

MsgBoxExec SetMsgBoxExec(MsgBoxExec exec) { return std::exchange(msgBoxExec(), std::move(exec)); }

int MsgBox(const QString &prompt, int style, const QString &title)
{
    const QString caption = title.isEmpty() ? QStringLiteral("Corvane") : title;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    switch (style & 0x70) {
    case vbCritical: icon = QMessageBox::Critical; break;
    case vbExclamation: icon = QMessageBox::Warning; break;
    case vbInformation: icon = QMessageBox::Information; break;
    default: break;
    }
    const bool yesNo = (style & 0x0F) == vbYesNo;
    QMessageBox box(icon, caption, prompt, yesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    QApplication::activeWindow());
    if (yesNo) {
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    }
    const int pressed = msgBoxExec() ? msgBoxExec()(box) : box.exec();
    if (!yesNo)
        return vbOK;
    return pressed == QMessageBox::Yes ? vbYes : vbNo;
}

QString FileNamePart(const QString &path)
{
    for (qsizetype i = path.size() - 1; i >= 0; --i)
        if (isSeparator(path.at(i)))
            return path.mid(i + 1);
    return path;
}

QString FolderPart(const QString &path)
{
    // A trailing separator belongs to the item itself (a folder), so the
    // search for its parent starts one character earlier.
    for (qsizetype i = path.size() - 2; i >= 0; --i)
        if (isSeparator(path.at(i)))
            // An item right under the POSIX root has the root as its folder.
            return (i == 0 && path.at(0) == u'/') ? path.left(1) : path.left(i);
    return QString();
}

QString FirstUnquotablePath(const QStringList &paths)
{
    for (const QString &path : paths)
        if (path.contains(u'"'))
            return path;
    return QString();
}

void RefuseUnquotablePath(const QString &path)
{
    MsgBox(QStringLiteral("A Windows command line cannot hold this name, because it contains a double quotation "
                          "mark (\"):\n\n%1\n\nThe field is left as it was.")
               .arg(path),
           vbExclamation);
}

bool ComboContains(const QComboBox *combo, const QString &text)
{
    for (int i = 0; i < combo->count(); ++i)
        if (combo->itemText(i) == text)
            return true;
    return false;
}

void UnloadOtherForms(const QString &name)
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows)
        if (w->isWindow() && w->isVisible() && w->objectName() != name)
            w->close();
}
