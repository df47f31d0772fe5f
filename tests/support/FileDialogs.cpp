#include "FileDialogs.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

#ifdef Q_OS_WIN
#include "NativeSaveDialog.h"
#endif

namespace {
#ifndef Q_OS_WIN
FileDialogExec qtAnswer(QList<ShownDialog> &dialogs, const QString &folder, const QString &typed, int filterIndex)
{
    return [&dialogs, folder, typed, filterIndex](QFileDialog &dialog) {
        dialogs.append({dialog.windowTitle(), dialog.nameFilters(), !dialog.testOption(QFileDialog::DontConfirmOverwrite)});
        // Qt's own dialog on every platform, so that keys can reach it.
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.setDirectory(folder);
        QTimer::singleShot(0, &dialog, [&dialog, typed, filterIndex] {
            auto *types = dialog.findChild<QComboBox *>(QStringLiteral("fileTypeCombo"));
            auto *name = dialog.findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
            if (!types || !name) {
                dialog.reject(); // nothing is saved, and the test says so
                return;
            }
            for (int i = 1; i < filterIndex; ++i)
                QTest::keyClick(types, Qt::Key_Down);
            QTest::keyClicks(name, typed);
            QTest::keyClick(name, filterIndex > 0 ? Qt::Key_Return : Qt::Key_Escape);
        });
        return dialog.exec();
    };
}
#endif
} // namespace

SaveDialogAnswer::SaveDialogAnswer(QList<ShownDialog> &dialogs, const QString &folder, const QString &typed,
                                   int filterIndex)
    : m_dialogs(dialogs)
#ifdef Q_OS_WIN
    , m_native(std::make_unique<NativeSaveDialogAnswer>(QDir::toNativeSeparators(folder + u'/' + typed).toStdWString(),
                                                         filterIndex))
#else
    , m_hook(SetFileDialogExec, qtAnswer(dialogs, folder, typed, filterIndex))
#endif
{
}

SaveDialogAnswer::~SaveDialogAnswer() = default;

void SaveDialogAnswer::collect()
{
#ifdef Q_OS_WIN
    const NativeSaveDialogSeen &seen = m_native->seen();
    if (!seen.found || m_collected)
        return;
    m_collected = true;
    QStringList types;
    for (const std::wstring &type : seen.types)
        types << QString::fromStdWString(type);
    m_dialogs.append({QString::fromStdWString(seen.title), types, seen.prompted});
#endif
}
