#include "run/ExecuteChecks.h"

#include "command/CommandWords.h"

bool MultithreadingConflict(qint16 threadsEnable, qint16 efsRaw, const QString &delayPer64k)
{
    return threadsEnable == 1 && (efsRaw == 1 || !delayPer64k.isEmpty());
}

QString TooLongToRunMessage(const QString &commandLine, bool autoClose)
{
    const qsizetype length = InterpreterCommand(commandLine, autoClose).size();
    if (length <= MaxCommandLength)
        return QString();
    return QStringLiteral("The command is too long to run: cmd.exe runs at most %1 characters, and this one has %2%3.")
        .arg(MaxCommandLength)
        .arg(length)
        .arg(autoClose ? QString() : QStringLiteral(" with \" & PAUSE\""));
}
