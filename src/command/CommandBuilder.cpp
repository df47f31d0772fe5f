#include "command/CommandBuilder.h"

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
    bool needsQuotes = false;
    for (QChar c : path) {
        if (c == u' ' || c == u'\t' || c == u'&' || c == u'|' || c == u'<' || c == u'>' || c == u'^') {
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

struct Letter
{
    char letter;
    QLatin1StringView box;
};

QString letters(const OptionReader &o, std::initializer_list<Letter> table)
{
    QString result;
    for (const Letter &l : table)
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

    auto flag = [&](QStringView name, QLatin1StringView box) { AppendSwitch(cmd, name, o.checkValue(box)); };
    // Every text reaches the command on one line.
    auto read = [&](QLatin1StringView field) { return OneLine(o.text(field)); };
    auto text = [&](QStringView name, QLatin1StringView field) { AppendSwitch(cmd, name, read(field)); };
    // Paths that Robocopy takes as one argument.
    auto path = [&](QStringView name, QLatin1StringView field) {
        AppendSwitch(cmd, name, QuotePathArgument(read(field)));
    };

    for (QLatin1StringView folder : {"cboSource"_L1, "cboDestination"_L1}) {
        if (const QString folderPath = read(folder); !folderPath.isEmpty())
            cmd += u' ' + QuotePathArgument(folderPath);
    }
    if (const QString names = read("txtFilenames"_L1); !names.isEmpty())
        cmd += u' ' + names;

    if (isSet(o, "chkSubdirectories"_L1))
        cmd += isSet(o, "chkEmpty"_L1) ? u" /E"_s : u" /S"_s;
    text(u"LEV", "txtLevels"_L1);

    if ((o.checkValue("chkRestartable"_L1) & o.checkValue("chkBackup"_L1)) != 0) {
        AppendSwitch(cmd, u"ZB", true);
    } else {
        flag(u"Z", "chkRestartable"_L1);
        flag(u"B", "chkBackup"_L1);
    }
    flag(u"J", "chkUnbuffered"_L1);

    const QString copy = letters(o, {{'D', "chkData"_L1},
                                     {'A', "chkAttributes"_L1},
                                     {'T', "chkTimestamps"_L1},
                                     {'S', "chkSecurity"_L1},
                                     {'O', "chkOwnership"_L1},
                                     {'U', "chkAuditing"_L1}});
    if (copy == u"DATSOU")
        AppendSwitch(cmd, u"COPYALL", true);
    else if (copy == u"DATS")
        AppendSwitch(cmd, u"SEC", true);
    else if (copy != u"DAT") // the default combination, and an empty one, write nothing
        AppendSwitch(cmd, u"COPY", copy);

    const QString folderCopy =
        letters(o, {{'D', "chkFolderData"_L1}, {'A', "chkFolderAttributes"_L1}, {'T', "chkFolderTimestamps"_L1}});
    if (folderCopy.isEmpty())
        AppendSwitch(cmd, u"NODCOPY", true);
    else if (folderCopy != u"DA")
        AppendSwitch(cmd, u"DCOPY", folderCopy);

    flag(u"NOOFFLOAD", "chkNoOffload"_L1);
    flag(u"SECFIX", "chkSecFix"_L1);
    flag(u"TIMFIX", "chkTimeFix"_L1);
    flag(u"NOCOPY", "chkNoCopy"_L1);

    if (isOne(o, "chkMoveFiles"_L1)) {
        if (isOne(o, "chkMoveFolders"_L1))
            flag(u"MOVE", "chkMoveFolders"_L1);
        else
            flag(u"MOV", "chkMoveFiles"_L1);
    }
    flag(u"PURGE", "chkPurge"_L1);
    flag(u"MIR", "chkMirror"_L1);

    AppendSwitch(cmd, u"A+",
                 letters(o, {{'R', "chkDestReadOnlyAdd"_L1},
                             {'A', "chkDestArchiveAdd"_L1},
                             {'S', "chkDestSystemAdd"_L1},
                             {'H', "chkDestHiddenAdd"_L1},
                             {'C', "chkDestCompressedAdd"_L1},
                             {'N', "chkDestIndexAdd"_L1},
                             {'E', "chkDestEncryptedAdd"_L1},
                             {'T', "chkDestTempAdd"_L1}}));
    AppendSwitch(cmd, u"A-",
                 letters(o, {{'R', "chkDestReadonlyDel"_L1},
                             {'A', "chkDestArchiveDel"_L1},
                             {'S', "chkDestSystemDel"_L1},
                             {'H', "chkDestHiddenDel"_L1},
                             {'C', "chkDestCompressedDel"_L1},
                             {'N', "chkDestIndexDel"_L1},
                             {'E', "chkDestEncryptedDel"_L1},
                             {'T', "chkDestTempDel"_L1}}));

    flag(u"CREATE", "chkEmptyFiles"_L1);
    flag(u"FAT", "chkFATFilenames"_L1);
    flag(u"FFT", "chkFATFiletimes"_L1);
    flag(u"EFSRAW", "chkEfsRaw"_L1);
    flag(u"256", "chk256Char"_L1);
    text(u"MON", "txtChangeCount"_L1);
    text(u"MOT", "txtDelayMinutes"_L1);

    const QString start = read("txtAllowedStart"_L1);
    const QString end = read("txtAllowedEnd"_L1);
    if (!start.isEmpty() && !end.isEmpty())
        AppendSwitch(cmd, u"RH", start + u'-' + end);

    flag(u"PF", "chkFrequentChecks"_L1);
    text(u"IPG", "txtDelayPer64k"_L1);
    flag(u"SL", "chkSymbolicLink"_L1);

    AppendSwitch(cmd, u"IA",
                 letters(o, {{'R', "chkSourceReadOnlyIncl"_L1},
                             {'H', "chkSourceHiddenIncl"_L1},
                             {'S', "chkSourceSystemIncl"_L1},
                             {'E', "chkSourceEncryptedIncl"_L1},
                             {'C', "chkSourceCompressedIncl"_L1},
                             {'A', "chkSourceArchiveIncl"_L1},
                             {'N', "chkSourceNotIndexedIncl"_L1},
                             {'T', "chkSourceTempIncl"_L1},
                             {'O', "chkSourceOfflineIncl"_L1}}));
    if (isSet(o, "chkSourceArchiveOnly"_L1)) {
        if (isSet(o, "chkSourceArchiveReset"_L1))
            flag(u"M", "chkSourceArchiveReset"_L1);
        else
            flag(u"A", "chkSourceArchiveOnly"_L1);
    }
    AppendSwitch(cmd, u"XA",
                 letters(o, {{'R', "chkSourceReadOnlyExcl"_L1},
                             {'H', "chkSourceHiddenExcl"_L1},
                             {'S', "chkSourceSystemExcl"_L1},
                             {'E', "chkSourceEncryptedExcl"_L1},
                             {'C', "chkSourceCompressedExcl"_L1},
                             {'A', "chkSourceArchiveExcl"_L1},
                             {'N', "chkSourceNotIndexedExcl"_L1},
                             {'T', "chkSourceTempExcl"_L1},
                             {'O', "chkSourceOfflineExcl"_L1}}));

    flag(u"XJ", "chkExcludeJunctionPoints"_L1);
    flag(u"XJD", "chkExcludeJunctionPointsDir"_L1);
    flag(u"XJF", "chkExcludeJunctionPointsFile"_L1);
    flag(u"DST", "chkDstAdjust"_L1);

    // The exclusion lists go in as typed or dropped: the name carries them.
    if (const QString files = read("txtExcludeFiles"_L1); !files.isEmpty())
        AppendSwitch(cmd, QString(u"XF "_s + files), true);
    if (const QString folders = read("txtExcludeFolders"_L1); !folders.isEmpty())
        AppendSwitch(cmd, QString(u"XD "_s + folders), true);

    flag(u"XC", "chkExcludeChanged"_L1);
    flag(u"XN", "chkExcludeNewer"_L1);
    flag(u"XO", "chkExcludeOlder"_L1);
    flag(u"XX", "chkExcludeExtra"_L1);
    flag(u"XL", "chkExcludeLonely"_L1);
    flag(u"IS", "chkIncludeSame"_L1);
    flag(u"IT", "chkIncludeTweaked"_L1);
    text(u"MAX", "txtMaxBytes"_L1);
    text(u"MIN", "txtMinBytes"_L1);
    text(u"MAXAGE", "txtMaxAge"_L1);
    text(u"MINAGE", "txtMinAge"_L1);
    text(u"MAXLAD", "txtMaxLAD"_L1);
    text(u"MINLAD", "txtMinLAD"_L1);
    text(u"R", "txtRetryCount"_L1);
    text(u"W", "txtRetryWait"_L1);
    flag(u"REG", "chkRetriesSave"_L1);
    flag(u"TBD", "chkWaitForShare"_L1);
    flag(u"L", "chkListFilesOnly"_L1);
    flag(u"X", "chkDspExtra"_L1);
    flag(u"V", "chkDspVerbose"_L1);
    flag(u"TS", "chkDspTimestamps"_L1);
    flag(u"FP", "chkDspFullPaths"_L1);
    flag(u"BYTES", "chkLogSizeBytes"_L1);
    flag(u"NC", "chkDspNoClasses"_L1);
    flag(u"NS", "chkDspNoSizes"_L1);
    flag(u"NDL", "chkLogNoFolderNames"_L1);
    flag(u"NFL", "chkLogNoFilenames"_L1);
    flag(u"NJH", "chkLogNoHeader"_L1);
    flag(u"NJS", "chkLogNoSummary"_L1);
    flag(u"NP", "chkLogNoProgress"_L1);
    flag(u"ETA", "chkDspETA"_L1);

    const QString logArgument = QuotePathArgument(read("txtLogFile"_L1));
    if (!logArgument.isEmpty())
        flag(u"TEE", "chkLogShowInConsole"_L1);
    const bool append = isOne(o, "chkLogAppend"_L1);
    const QStringView logSwitch = isOne(o, "chkLogUnicode"_L1) ? (append ? u"UNILOG+" : u"UNILOG")
                                                               : (append ? u"LOG+" : u"LOG");
    AppendSwitch(cmd, logSwitch, logArgument);

    path(u"JOB", "txtJobRead"_L1);
    path(u"SAVE", "txtJobWrite"_L1);
    flag(u"QUIT", "chkJobQuit"_L1);
    flag(u"NOSD", "chkJobNoSource"_L1);
    flag(u"NODD", "chkJobNoDest"_L1);
    text(u"IF", "txtJobIncludeFiles"_L1);
    path(u"SD", "txtJobExplicitSource"_L1);
    path(u"DD", "txtJobExplicitDest"_L1);

    if (isOne(o, "chkThreadsEnable"_L1)) {
        if (const QString threads = read("txtThreadsCount"_L1); !threads.isEmpty())
            AppendSwitch(cmd, u"MT", threads);
        else
            flag(u"MT", "chkThreadsEnable"_L1);
    }
    return cmd;
}
