#include "run/basCommonDialog.h"

#include "tools/basTools.h"

#include <QApplication>
#include <QFileDialog>

#include <utility>

#ifdef Q_OS_WIN
#include "run/basCommonDialog_win.h"

#include <QWidget>
#endif

namespace {
FileDialogExec &dialogExec()
{
    static FileDialogExec exec;
    return exec;
}

struct FileDialogAnswer
{
    bool accepted = false;
    QString path;
    int filterIndex = 0; // 1-based entry chosen when the user pressed Save or Open
};

// open: an existing file to read rather than a name to write.
FileDialogAnswer runDialog(bool open, const QString &title, const QString &initialFile, const QStringList &nameFilters,
                           bool confirmOverwrite)
{
    // The initial name doubles as the starting folder (empty: the dialog's default).
    QFileDialog dialog(QApplication::activeWindow(), title, initialFile);
    dialog.setAcceptMode(open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog.setFileMode(open ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !confirmOverwrite);
    dialog.setNameFilters(nameFilters);
    if (!initialFile.isEmpty())
        dialog.selectFile(initialFile);
    const int result = dialogExec() ? dialogExec()(dialog) : dialog.exec();
    FileDialogAnswer answer;
    if (result != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return answer;
    answer.accepted = true;
    answer.path = StripAtNul(dialog.selectedFiles().constFirst());
    answer.filterIndex = int(nameFilters.indexOf(dialog.selectedNameFilter())) + 1;
    return answer;
}
} // namespace

FileDialogExec SetFileDialogExec(FileDialogExec exec) { return std::exchange(dialogExec(), std::move(exec)); }

QString StripAtNul(const QString &text)
{
    const qsizetype nul = text.indexOf(QChar(0));
    return nul < 0 ? text : text.left(nul);
}

QString GetExtension(const QString &path)
{
    const QString name = FileNamePart(path);
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot >= 1 ? name.mid(dot + 1) : QString();
}

QString NulFilter(const QString &filter)
{
    QString f = filter;
    if (!f.endsWith(u'|'))
        f += QStringLiteral("||");
    else if (!f.endsWith(QStringLiteral("||")))
        f += u'|';
    f.replace(u'|', QChar(0));
    return f;
}

QString FilterExtension(const QString &nulFilter, int index)
{
    const QStringList parts = nulFilter.split(QChar(0));
    const qsizetype at = qsizetype(2) * index - 1;
    if (index < 1 || at >= parts.size())
        return QString();
    return GetExtension(parts.at(at));
}

QStringList QtNameFilters(const QString &nulFilter)
{
    const QStringList parts = nulFilter.split(QChar(0));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString &name = parts.at(i);
        if (name.isEmpty())
            break; // the double NUL ends the list
        QStringList patterns;
        for (QString pattern : parts.at(i + 1).split(u';', Qt::SkipEmptyParts)) {
            pattern = pattern.trimmed();
            if (pattern == u"*.*") {
                patterns << QStringLiteral("*"); // every file, with or without a dot
                continue;
            }
            patterns << pattern;
#ifndef Q_OS_WIN
            // Names are case-sensitive here; the Windows dialog would match both.
            if (pattern.toLower() != pattern)
                patterns << pattern.toLower();
#endif
        }
        patterns.removeDuplicates();
        filters << name + QStringLiteral(" (") + patterns.join(u' ') + u')';
    }
    return filters;
}

QString ApplyFilterExtension(const QString &path, const QString &nulFilter, int index)
{
    if (!GetExtension(path).isEmpty())
        return path;
    const QString ext = FilterExtension(nulFilter, index);
    if (ext.isEmpty() || ext == u"*")
        return path;
    return path + u'.' + ext;
}

QString FileDialog(const QString &title, const QString &initialFile, const QString &filter, int flags)
{
    const QString nulFilter = NulFilter(filter);
#ifdef Q_OS_WIN
    // Windows' own dialog, as Qt's native one would add the first pattern's
    // extension to a bare name (or even to a typed one) before the rule below
    // could decide.
    const QWidget *owner = QApplication::activeWindow();
    const win32::SaveDialogAnswer answer =
        win32::SaveFileDialog(owner ? std::uintptr_t(owner->winId()) : 0, title.toStdWString(),
                              initialFile.toStdWString(), nulFilter.toStdWString(), unsigned(flags));
    const QString path = QString::fromStdWString(answer.path);
#else
    const FileDialogAnswer answer =
        runDialog(false, title, initialFile, QtNameFilters(nulFilter), flags & OFN_OVERWRITEPROMPT_FLAG);
    const QString &path = answer.path;
#endif
    if (!answer.accepted || path.isEmpty())
        return QString();
    return ApplyFilterExtension(path, nulFilter, answer.filterIndex);
}

QString SaveFileDialog(const QString &title, const QString &initialFile, const QString &filter, int flags)
{
    return FileDialog(title, initialFile, filter, flags);
}

QString OpenFileDialog(const QString &title, const QString &initialFile, const QString &filter)
{
    const FileDialogAnswer answer = runDialog(true, title, initialFile, QtNameFilters(NulFilter(filter)), false);
    return answer.accepted ? answer.path : QString();
}
