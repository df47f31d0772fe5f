#include "console/ConsoleRules.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

namespace console {

QString UsageText()
{
    return QStringLiteral(
               "Usage: corvane-cmd \"cmd.exe /c COMMAND\"\n"
               "       corvane-cmd --batch FILE [--log LOGFILE]\n"
               "\n"
               "Runs COMMAND as cmd.exe would, in a console window of its own: the steps\n"
               "between & one after the other, each program looked up in the current\n"
               "folder and then along PATH; PAUSE waits for a key. The whole command is\n"
               "one argument; \"cmd.exe /c \" before it may be left out.\n"
               "With --batch it runs the lines of a saved command file the same way,\n"
               "without a window, its output appended to LOGFILE between a start line and\n"
               "an end line with the exit code (for a scheduler).\n"
               "\n"
               "Exit code: that of the last step; %1 when a program is not found (cmd.exe\n"
               "gives 9009); %2 when it cannot be executed; %3 when a step is ended by a\n"
               "signal or by closing the window; %4 when the command is longer than %5\n"
               "characters (nothing runs); %6 when called without exactly one argument.\n")
        .arg(NotFoundStatus)
        .arg(CannotExecuteStatus)
        .arg(AbnormalEndStatus)
        .arg(TooLongStatus)
        .arg(MaxCommandLength)
        .arg(UsageStatus);
}

QString TooLongLine() { return QStringLiteral("The command line is too long."); }

QList<Step> SplitSteps(const QString &command)
{
    QList<Step> steps;
    bool piped = false; // the step before sends its output into this one
    for (const CmdCommand &c : ScanCmdLine(command).commands) {
        const bool pipes = c.connector == CmdConnector::Pipe;
        if (!c.text.trimmed().isEmpty() || !c.redirections.isEmpty())
            steps << Step{c.text.trimmed(), c.connector, c.redirections, pipes || piped};
        else if (!steps.isEmpty())
            steps.last().after = c.connector; // "a & & b" runs b as "a & b" would
        piped = pipes;
    }
    return steps;
}

bool StepRuns(CmdConnector previous, int errorLevel)
{
    switch (previous) {
    case CmdConnector::OnSuccess: return errorLevel == 0;
    case CmdConnector::OnFailure: return errorLevel != 0;
    case CmdConnector::End:
    case CmdConnector::Then:
    case CmdConnector::Pipe:
    case CmdConnector::BlockEnd: break;
    }
    return true;
}

QString RedirectionLine(const Step &step)
{
    QStringList parts{step.command};
    parts += step.redirections;
    return QStringLiteral("This console cannot %1 a program's output; not run: %2")
        .arg(step.piped ? QStringLiteral("pipe") : QStringLiteral("redirect"), parts.join(u' '));
}

bool IsPause(const QString &step)
{
    return step.trimmed().compare(QLatin1StringView("PAUSE"), Qt::CaseInsensitive) == 0;
}

namespace {
bool isProgram(const QFileInfo &fi) { return fi.isFile() && fi.isExecutable(); }

QString findIn(const QDir &dir, const QString &name)
{
    const QFileInfo exact(dir, name);
    if (isProgram(exact))
        return exact.absoluteFilePath();
    const QStringList entries = dir.entryList(QDir::Files | QDir::Executable | QDir::Hidden | QDir::System,
                                              QDir::Name);
    for (const QString &entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0 && isProgram(QFileInfo(dir, entry)))
            return QFileInfo(dir, entry).absoluteFilePath();
    }
    return QString();
}
} // namespace

QString FindProgram(const QString &name, const QString &currentFolder, const QString &pathValue)
{
    if (name.isEmpty())
        return QString();
    QString path = name;
    path.replace(u'\\', u'/');
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash >= 0) {
        const QString folder = path.left(slash + 1);
        const QDir dir(QDir(currentFolder).absoluteFilePath(folder));
        return findIn(dir, path.mid(slash + 1));
    }
    QStringList folders{currentFolder};
    for (const QString &entry : pathValue.split(u':'))
        if (!entry.isEmpty())
            folders << entry;
    for (const QString &folder : folders) {
        const QString found = findIn(QDir(folder), name);
        if (!found.isEmpty())
            return found;
    }
    return QString();
}

QString CopyEngineName() { return QStringLiteral("corvane-copy"); }

QString ProgramToRun(const QString &name, const QString &currentFolder, const QString &pathValue,
                     const QString &programFolder)
{
    const QString found = FindProgram(name, currentFolder, pathValue);
    if (!found.isEmpty() || programFolder.isEmpty())
        return found;
    const bool robocopy = name.compare(QLatin1StringView("ROBOCOPY.EXE"), Qt::CaseInsensitive) == 0
        || name.compare(QLatin1StringView("ROBOCOPY"), Qt::CaseInsensitive) == 0;
    if (!robocopy)
        return QString();
    const QFileInfo engine(QDir(programFolder), CopyEngineName());
    return isProgram(engine) ? engine.absoluteFilePath() : QString();
}

QStringList NotFoundLines(const QString &name)
{
    return {QStringLiteral("'%1' is not recognized as an internal or external command,").arg(name),
            QStringLiteral("operable program or batch file.")};
}

void Screen::write(const QString &text)
{
    for (QChar c : text) {
        if (c == u'\n') {
            m_finished << m_current;
            m_current.clear();
            m_column = 0;
        } else if (c == u'\r') {
            m_column = 0;
        } else if (c == u'\b') {
            if (m_column > 0)
                --m_column;
        } else if (m_column < m_current.size()) {
            m_current[m_column++] = c;
        } else {
            m_current += c;
            ++m_column;
        }
    }
}

QStringList Screen::takeFinished()
{
    return std::exchange(m_finished, QStringList());
}

} // namespace console
