#include "run/ExitReport.h"

#include "command/CommandWords.h"
#include "main_window/Controls.h"
#include "tools/basTools.h"

#include <QComboBox>

namespace {
// The text cmd.exe is given to run.
QString interpreterCommand(const QString &commandLine, bool autoClose)
{
    return autoClose ? commandLine : commandLine + QStringLiteral(" & PAUSE");
}
} // namespace

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
    return QStringLiteral("cmd.exe /c ") + interpreterCommand(commandLine, autoClose);
}

QString TooLongToRunMessage(const QString &commandLine, bool autoClose)
{
    const qsizetype length = interpreterCommand(commandLine, autoClose).size();
    if (length <= MaxCommandLength)
        return QString();
    return QStringLiteral("The command is too long to run: cmd.exe runs at most %1 characters, and this one has %2%3.")
        .arg(MaxCommandLength)
        .arg(length)
        .arg(autoClose ? QString() : QStringLiteral(" with \" & PAUSE\""));
}

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
