#pragma once

#include "command/OptionReader.h"

#include <QHash>
#include <QString>
#include <QStringList>

// The reverse of the builder: reads a Robocopy command, a batch file or a
// job file back into the option values that compose it.

// Option values by control name. A control that no switch names reads its
// cleared value, except the copy and folder-copy boxes, which start at
// Robocopy's defaults (D A T for files, D A for folders).
class OptionValues : public OptionReader
{
public:
    OptionValues();

    qint16 checkValue(QLatin1StringView name) const override;
    QString text(QLatin1StringView name) const override;

    // The names must outlive the values (the switch table's names do).
    void setCheck(QLatin1StringView name, qint16 value) { m_checks.insert(name, value); }
    void setText(QLatin1StringView name, const QString &text) { m_texts.insert(name, text); }

private:
    QHash<QLatin1StringView, qint16> m_checks;
    QHash<QLatin1StringView, QString> m_texts;
};

struct CommandReading
{
    bool found = false;   // the text holds a Robocopy command or job
    OptionValues values;
    QStringList leftOut;  // what no option stands for, as written
};

// A command line or the text of a batch file: the first line that runs
// Robocopy (after "@", "cmd /c"; up to an "&", "|", "<" or ">" outside quotes).
CommandReading ReadCommand(const QString &text);
// The text of a job file as Robocopy's /SAVE: writes it: one switch per line,
// "::" comments, the names of /IF, /XF and /XD one per line.
CommandReading ReadJob(const QString &text);
// A job when told so, or when the text runs no Robocopy but starts with a
// switch; otherwise a command.
CommandReading ReadCommandOrJob(const QString &text, bool job);
