#include "command/CommandBuilder.h"

#include "command/SwitchTable.h"

using namespace Qt::Literals::StringLiterals;

void AppendSwitch(QString &cmd, QStringView name, qint16 value)
{
    if (value != 0) {
        cmd += u" /";
        cmd += name;
    }
}

void AppendSwitch(QString &cmd, QStringView name, bool value)
{
    AppendSwitch(cmd, name, qint16(value ? -1 : 0));
}

void AppendSwitch(QString &cmd, QStringView name, const QString &value)
{
    if (!value.isEmpty()) {
        cmd += u" /";
        cmd += name;
        cmd += u':';
        cmd += value;
    }
}

QString ParmStr(const QString &sCmd, const QString &sValue)
{
    return sValue.isEmpty() ? QString() : u" /"_s + sCmd + u':' + sValue;
}

QString OneLine(const QString &text)
{
    // cmd.exe ends a command at the first line break, and a batch file runs
    // the next line as a command of its own.
    if (!text.contains(u'\n') && !text.contains(u'\r'))
        return text;
    QString line;
    line.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r') {
            if (i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            line += u' ';
        } else if (c == u'\n') {
            line += u' ';
        } else {
            line += c;
        }
    }
    return line;
}

namespace {
// Backslashes that stand right before the closing quote of an argument.
qsizetype trailingBackslashes(QStringView text)
{
    qsizetype run = 0;
    while (run < text.size() && text.at(text.size() - 1 - run) == u'\\')
        ++run;
    return run;
}
} // namespace

QString QuotePathArgument(const QString &path)
{
    // Already quoted by the user: wrapping it again would split it. Only an
    // odd run of backslashes before the closing quote would escape it.
    if (path.size() >= 2 && path.front() == u'"' && path.back() == u'"') {
        const qsizetype run = trailingBackslashes(QStringView(path).sliced(1, path.size() - 2));
        return run % 2 ? path.chopped(1) + u"\\\""_s : path;
    }
    // Blanks split the argument, cmd.exe's operators would end the command
    // or redirect it, and a variable ("%TARGET%", "!DEST!") may hold a blank
    // once cmd.exe has put its value in.
    bool needsQuotes = false;
    for (QChar c : path) {
        if (c == u' ' || c == u'\t' || c == u'&' || c == u'|' || c == u'<' || c == u'>' || c == u'^' || c == u'%'
            || c == u'!') {
            needsQuotes = true;
            break;
        }
    }
    if (!needsQuotes)
        return path;
    // Each backslash before the closing quote is doubled, so that the quote
    // ends the argument and the backslashes arrive as typed.
    return u'"' + path + QString(trailingBackslashes(path), u'\\') + u'"';
}

namespace {

QString letters(const OptionReader &o, std::span<const SwitchLetter> table)
{
    QString result;
    for (const SwitchLetter &l : table)
        if (o.checkValue(l.box) != 0)
            result += QLatin1Char(l.letter);
    return result;
}

bool isSet(const OptionReader &o, QLatin1StringView box) { return o.checkValue(box) != 0; }
bool isOne(const OptionReader &o, QLatin1StringView box) { return o.checkValue(box) == 1; }

} // namespace

QString BuildCommandLine(const OptionReader &o)
{
    QString cmd;
    cmd.reserve(256);
    cmd = u"ROBOCOPY.EXE"_s;

    // Every text reaches the command on one line.
    auto read = [&](QLatin1StringView field) { return OneLine(o.text(field)); };

    for (QLatin1StringView folder : {kSourceField, kDestinationField}) {
        if (const QString folderPath = read(folder); !folderPath.isEmpty())
            cmd += u' ' + QuotePathArgument(folderPath);
    }
    if (const QString names = read(kFileNamesField); !names.isEmpty())
        cmd += u' ' + names;

    for (const SwitchSpec &row : switchTable()) {
        const auto &[name, second, third, fourth] = row.names;
        const auto &[control, secondControl, thirdControl] = row.controls;
        switch (row.rule) {
        case SwitchRule::Flag:
            AppendSwitch(cmd, name, o.checkValue(control));
            break;
        case SwitchRule::Text:
            AppendSwitch(cmd, name, read(control));
            break;
        case SwitchRule::Path:
            // Paths that Robocopy takes as one argument.
            AppendSwitch(cmd, name, QuotePathArgument(read(control)));
            break;
        case SwitchRule::List:
            // The exclusion lists go in as typed or dropped: the name carries them.
            if (const QString list = read(control); !list.isEmpty())
                AppendSwitch(cmd, name.toString() + u' ' + list, true);
            break;
        case SwitchRule::Letters:
            AppendSwitch(cmd, name, letters(o, row.letters));
            break;
        case SwitchRule::Subdirectories:
            if (isSet(o, control))
                AppendSwitch(cmd, isSet(o, secondControl) ? name : second, true);
            break;
        case SwitchRule::RestartableBackup:
            if ((o.checkValue(control) & o.checkValue(secondControl)) != 0) {
                AppendSwitch(cmd, name, true);
            } else {
                AppendSwitch(cmd, second, o.checkValue(control));
                AppendSwitch(cmd, third, o.checkValue(secondControl));
            }
            break;
        case SwitchRule::CopyLetters: {
            const QString copy = letters(o, row.letters);
            if (copy == kAllCopyLetters)
                AppendSwitch(cmd, name, true);
            else if (copy == kSecurityCopyLetters)
                AppendSwitch(cmd, second, true);
            else if (copy != kDefaultCopyLetters) // the default combination, and an empty one, write nothing
                AppendSwitch(cmd, third, copy);
            break;
        }
        case SwitchRule::FolderLetters: {
            const QString folderCopy = letters(o, row.letters);
            if (folderCopy.isEmpty())
                AppendSwitch(cmd, name, true);
            else if (folderCopy != kDefaultFolderLetters)
                AppendSwitch(cmd, second, folderCopy);
            break;
        }
        case SwitchRule::Move:
            if (isOne(o, control)) {
                if (isOne(o, secondControl))
                    AppendSwitch(cmd, name, o.checkValue(secondControl));
                else
                    AppendSwitch(cmd, second, o.checkValue(control));
            }
            break;
        case SwitchRule::RunHours: {
            const QString start = read(control);
            const QString end = read(secondControl);
            if (!start.isEmpty() && !end.isEmpty())
                AppendSwitch(cmd, name, start + u'-' + end);
            break;
        }
        case SwitchRule::ArchiveOnly:
            if (isSet(o, control)) {
                if (isSet(o, secondControl))
                    AppendSwitch(cmd, name, o.checkValue(secondControl));
                else
                    AppendSwitch(cmd, second, o.checkValue(control));
            }
            break;
        case SwitchRule::Tee:
            // Only beside a log file; so it stands before the log switch.
            if (!read(secondControl).isEmpty())
                AppendSwitch(cmd, name, o.checkValue(control));
            break;
        case SwitchRule::Log: {
            const bool append = isOne(o, secondControl);
            const QStringView logSwitch = isOne(o, thirdControl) ? (append ? fourth : third) : (append ? second : name);
            AppendSwitch(cmd, logSwitch, QuotePathArgument(read(control)));
            break;
        }
        case SwitchRule::Threads:
            if (isOne(o, control)) {
                if (const QString threads = read(secondControl); !threads.isEmpty())
                    AppendSwitch(cmd, name, threads);
                else
                    AppendSwitch(cmd, name, o.checkValue(control));
            }
            break;
        }
    }
    return cmd;
}
