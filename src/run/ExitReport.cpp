#include "run/ExitReport.h"

#include "tools/basTools.h"

#include <QComboBox>
#include <QSignalBlocker>

QString ExitReport(int runResult)
{
    static const struct { int bit; const char *line; } kLines[] = {
        {1, "One or more files copied successfully."},
        {2, "Some Extra files or directories were detected."},
        {4, "Some Mismatched files or directories were detected."},
        {8, "Some files or directories could not be copied."},
        {16, "Serious error. Robocopy did not copy any files."},
    };
    QString report = QStringLiteral("Completed with no errors");
    for (const auto &l : kLines)
        if (runResult & l.bit)
            report = QString::fromLatin1(l.line) + QStringLiteral("\r\n");
    return report;
}

bool MultithreadingConflict(qint16 threadsEnable, qint16 efsRaw, const QString &delayPer64k)
{
    return threadsEnable == 1 && (efsRaw == 1 || !delayPer64k.isEmpty());
}

QString ProcessCommand(const QString &commandLine, bool autoClose)
{
    QString command = QStringLiteral("cmd.exe /c ") + commandLine;
    if (!autoClose)
        command += QStringLiteral(" & PAUSE");
    return command;
}

void RememberFolder(QComboBox *combo, const QString &text)
{
    // An empty entry would end the stored list at the next start and lose
    // every folder after it, so it is never added.
    if (text.isEmpty() || ComboContains(combo, text))
        return;
    // Adding the first entry or removing the current one makes the combo box
    // copy an entry into its edit field; the typed text must stay.
    const QString kept = combo->currentText();
    {
        const QSignalBlocker block(combo);
        combo->addItem(text);
        if (combo->count() > kRecentFolderLimit)
            combo->removeItem(0);
        if (combo->isEditable() && combo->currentText() != kept)
            combo->setEditText(kept);
    }
}
