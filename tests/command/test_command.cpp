// The command-line builder, driven through a plain map of option values.
#include "command/CmdScanner.h"
#include "command/CommandBuilder.h"
#include "command/CommandFileText.h"
#include "command/CommandReader.h"
#include "command/CommandWords.h"
#include "command/ListingCommand.h"
#include "main_window/Catalogue.h"

#include "BatchFiles.h"
#include "RandomOptions.h"

#include <QHash>
#include <QSet>
#include <QStringEncoder>
#include <QTest>

#include <random>

using namespace Qt::Literals::StringLiterals;

namespace {

// A scanned command in one line: "(" for each block it opens, its text in
// brackets, what it stood as where that differs, its redirections in braces,
// then the operator that ends it.
QString render(const CmdCommand &c)
{
    static const char *const connectors[] = {"", " &", " &&", " ||", " |", " )"};
    QString out = QString(c.blocksOpened, u'(') + u'[' + c.text + u']';
    if (const QString written = c.written(0, c.text.size()); written != c.text)
        out += u" as ["_qs + written + u']';
    for (const QString &r : c.redirections)
        out += u" {"_qs + r + u'}';
    return out + QLatin1StringView(connectors[int(c.connector)]);
}

// What was left out, compactly: place, text, kind, reason and detail.
QString render(const LeftOut &l)
{
    static const char *const kinds[] = {"switch", "word", "redirection", "command"};
    auto reason = [](LeftOutReason r) -> const char * {
        switch (r) {
        case LeftOutReason::UnknownSwitch: return "UnknownSwitch";
        case LeftOutReason::TakesNoValue: return "TakesNoValue";
        case LeftOutReason::NeedsValue: return "NeedsValue";
        case LeftOutReason::BadValue: return "BadValue";
        case LeftOutReason::UnknownLetters: return "UnknownLetters";
        case LeftOutReason::NoOption: return "NoOption";
        case LeftOutReason::LettersWithoutOption: return "LettersWithoutOption";
        case LeftOutReason::TeeWithoutLog: return "TeeWithoutLog";
        case LeftOutReason::QuoteInPath: return "QuoteInPath";
        case LeftOutReason::EmptyFolder: return "EmptyFolder";
        case LeftOutReason::NoSource: return "NoSource";
        case LeftOutReason::CannotWriteBack: return "CannotWriteBack";
        case LeftOutReason::Comment: return "Comment";
        case LeftOutReason::NotTaken: return "NotTaken";
        case LeftOutReason::NotRedirected: return "NotRedirected";
        case LeftOutReason::NoFolders: return "NoFolders";
        case LeftOutReason::OtherCommand: return "OtherCommand";
        }
        return "?";
    };
    QString out = (l.position < 0 ? u"#-"_qs : u"#"_qs + QString::number(l.position)) + u' ' + l.text + u' '
                + QLatin1StringView(kinds[int(l.kind)]) + u' ' + QLatin1StringView(reason(l.reason));
    return l.detail.isEmpty() ? out : out + u' ' + l.detail;
}

QStringList rendered(const QList<LeftOut> &items)
{
    QStringList out;
    for (const LeftOut &l : items)
        out << render(l);
    return out;
}

// The words Robocopy receives from a command of one step.
QStringList receivedWords(const QString &command)
{
    const CmdScan scan = ScanCmdLine(command);
    return scan.commands.size() == 1 ? SplitWords(scan.commands.first().text) : QStringList{u"(several commands)"_qs};
}

QStringList lines(const QList<LeftOut> &items)
{
    QStringList out;
    for (const LeftOut &l : items)
        out << LeftOutLine(l);
    return out;
}

// Options as a map; the window's initial state unless told otherwise.
class MapReader : public OptionReader
{
public:
    QHash<QString, qint16> checks;
    QHash<QString, QString> texts;

    static MapReader initial()
    {
        MapReader r;
        for (const char *name : {"chkData", "chkAttributes", "chkTimestamps", "chkFolderData", "chkFolderAttributes"})
            r.checks.insert(QString::fromLatin1(name), 1);
        r.texts.insert(QStringLiteral("txtThreadsCount"), QStringLiteral("1"));
        return r;
    }

    // "name=value" sets a text when the name starts with txt or cbo, else a check value.
    void apply(const QStringList &assignments)
    {
        for (const QString &a : assignments) {
            const qsizetype eq = a.indexOf(u'=');
            const QString name = a.left(eq);
            const QString value = a.mid(eq + 1);
            if (name.startsWith(u"txt") || name.startsWith(u"cbo"))
                texts.insert(name, value);
            else
                checks.insert(name, qint16(value.toInt()));
        }
    }

    qint16 checkValue(QLatin1StringView name) const override { return checks.value(QString(name)); }
    QString text(QLatin1StringView name) const override { return texts.value(QString(name)); }
};

// Every value answers "set", and the names the builder asks for are kept.
class RecordingReader : public OptionReader
{
public:
    mutable QSet<QString> checks;
    mutable QSet<QString> texts;

    qint16 checkValue(QLatin1StringView name) const override
    {
        checks.insert(name);
        return 1;
    }
    QString text(QLatin1StringView name) const override
    {
        texts.insert(name);
        return u"x"_qs;
    }
};

} // namespace

class TestCommand : public QObject
{
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void fromClearedState_data();
    void fromClearedState();
    void everyOptionInOrder();
    void readsEveryOptionByItsKind();
    void quoting_data();
    void quoting();
    void noTextBreaksTheLine();
    void appendSwitchKinds();
    void parmStr();
    void itemsSeparatedByOneBlank();

    // Splitting a command line
    void scanner_data();
    void scanner();
    void stripInterpreter_data();
    void stripInterpreter();
    void splitWords_data();
    void splitWords();

    // Reading commands and job files back
    void reading_data();
    void reading();
    void batchFiles_data();
    void batchFiles();
    void readArguments_data();
    void readArguments();
    void roundTrip();
    void readBuildReadBuild();
    void fileText_data();
    void fileText();

    // The listing before a run that deletes or moves
    void runEffects_data();
    void runEffects();
    void listingArguments_data();
    void listingArguments();
    void listingOfComposedCommands();
};

void TestCommand::commandLine_data()
{
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<QString>("expected");

    QTest::newRow("initial state") << QStringList{} << u"ROBOCOPY.EXE"_qs;
    QTest::newRow("long example")
        << QStringList{"cboSource=C:\\My Files", "cboDestination=D:\\Backup", "txtFilenames=*.doc *.xls",
                       "chkSubdirectories=1", "chkEmpty=1", "chkRestartable=1", "chkBackup=1", "chkSecurity=1",
                       "chkFolderTimestamps=1", "chkMirror=1", "chkDestArchiveDel=1", "chkSourceHiddenExcl=1",
                       "chkSourceSystemExcl=1", "txtExcludeFiles=\"~*.tmp\" \"thumbs.db\"", "txtRetryCount=3",
                       "txtRetryWait=10", "txtLogFile=C:\\Logs\\copy log.txt", "chkLogAppend=1",
                       "chkLogShowInConsole=1", "chkThreadsEnable=1", "txtThreadsCount=16"}
        << u"ROBOCOPY.EXE \"C:\\My Files\" D:\\Backup *.doc *.xls /E /ZB /SEC /DCOPY:DAT /MIR /A-:A /XA:HS "
           "/XF \"~*.tmp\" \"thumbs.db\" /R:3 /W:10 /TEE /LOG+:\"C:\\Logs\\copy log.txt\" /MT:16"_qs;

    // Folders and file names.
    QTest::newRow("destination only") << QStringList{"cboDestination=D:\\Backup"} << u"ROBOCOPY.EXE D:\\Backup"_qs;
    QTest::newRow("source with trailing backslash, no blank")
        << QStringList{"cboSource=C:\\Data\\"} << u"ROBOCOPY.EXE C:\\Data\\"_qs;
    QTest::newRow("file names never quoted")
        << QStringList{"txtFilenames=a b.txt"} << u"ROBOCOPY.EXE a b.txt"_qs;

    // Line breaks would end the command in cmd.exe: each becomes one blank.
    QTest::newRow("exclude files one per line")
        << QStringList{"txtExcludeFiles=a.txt\r\nb.txt\nc.txt\rd.txt", "txtRetryCount=3"}
        << u"ROBOCOPY.EXE /XF a.txt b.txt c.txt d.txt /R:3"_qs;
    QTest::newRow("exclude folders with a trailing line break")
        << QStringList{"txtExcludeFolders=\"x y\"\r\n", "txtRetryWait=1"}
        << u"ROBOCOPY.EXE /XD \"x y\"  /W:1"_qs;
    QTest::newRow("line break in a folder is a blank, then quoted")
        << QStringList{"cboSource=C:\\a\nb"} << u"ROBOCOPY.EXE \"C:\\a b\""_qs;
    QTest::newRow("file names one per line") << QStringList{"txtFilenames=*.doc\n*.xls"}
                                             << u"ROBOCOPY.EXE *.doc *.xls"_qs;
    QTest::newRow("value of only a line break") << QStringList{"txtRetryCount=\r\n"} << u"ROBOCOPY.EXE /R: "_qs;

    // Subdirectories and levels.
    QTest::newRow("subdirectories") << QStringList{"chkSubdirectories=1"} << u"ROBOCOPY.EXE /S"_qs;
    QTest::newRow("subdirectories with empty") << QStringList{"chkSubdirectories=1", "chkEmpty=1"}
                                               << u"ROBOCOPY.EXE /E"_qs;
    QTest::newRow("grayed subdirectories and empty count as set")
        << QStringList{"chkSubdirectories=2", "chkEmpty=2"} << u"ROBOCOPY.EXE /E"_qs;
    QTest::newRow("empty without subdirectories") << QStringList{"chkEmpty=1"} << u"ROBOCOPY.EXE"_qs;
    QTest::newRow("levels while subdirectories clear") << QStringList{"txtLevels=2"} << u"ROBOCOPY.EXE /LEV:2"_qs;

    // Restartable and backup.
    QTest::newRow("restartable alone") << QStringList{"chkRestartable=1"} << u"ROBOCOPY.EXE /Z"_qs;
    QTest::newRow("backup alone") << QStringList{"chkBackup=1"} << u"ROBOCOPY.EXE /B"_qs;
    QTest::newRow("both") << QStringList{"chkRestartable=1", "chkBackup=1"} << u"ROBOCOPY.EXE /ZB"_qs;
    QTest::newRow("both grayed") << QStringList{"chkRestartable=2", "chkBackup=2"} << u"ROBOCOPY.EXE /ZB"_qs;
    QTest::newRow("checked and grayed share no bit")
        << QStringList{"chkRestartable=1", "chkBackup=2"} << u"ROBOCOPY.EXE /Z /B"_qs;

    // Copy letters.
    QTest::newRow("copy: all six clear")
        << QStringList{"chkData=0", "chkAttributes=0", "chkTimestamps=0"} << u"ROBOCOPY.EXE"_qs;
    QTest::newRow("copy: DATSO") << QStringList{"chkSecurity=1", "chkOwnership=1"} << u"ROBOCOPY.EXE /COPY:DATSO"_qs;
    QTest::newRow("copy: all six") << QStringList{"chkSecurity=1", "chkOwnership=1", "chkAuditing=1"}
                                   << u"ROBOCOPY.EXE /COPYALL"_qs;
    QTest::newRow("copy: DATS") << QStringList{"chkSecurity=1"} << u"ROBOCOPY.EXE /SEC"_qs;
    QTest::newRow("copy: D only") << QStringList{"chkAttributes=0", "chkTimestamps=0"} << u"ROBOCOPY.EXE /COPY:D"_qs;
    QTest::newRow("copy: DATU") << QStringList{"chkAuditing=1"} << u"ROBOCOPY.EXE /COPY:DATU"_qs;
    QTest::newRow("copy: grayed data counts") << QStringList{"chkData=2", "chkSecurity=1"}
                                              << u"ROBOCOPY.EXE /SEC"_qs;

    // Folder letters.
    QTest::newRow("folder: all clear") << QStringList{"chkFolderData=0", "chkFolderAttributes=0"}
                                       << u"ROBOCOPY.EXE /NODCOPY"_qs;
    QTest::newRow("folder: timestamps only")
        << QStringList{"chkFolderData=0", "chkFolderAttributes=0", "chkFolderTimestamps=1"}
        << u"ROBOCOPY.EXE /DCOPY:T"_qs;
    QTest::newRow("folder: DAT") << QStringList{"chkFolderTimestamps=1"} << u"ROBOCOPY.EXE /DCOPY:DAT"_qs;
    QTest::newRow("folder: D") << QStringList{"chkFolderAttributes=0"} << u"ROBOCOPY.EXE /DCOPY:D"_qs;

    // Move.
    QTest::newRow("move folders alone") << QStringList{"chkMoveFolders=1"} << u"ROBOCOPY.EXE"_qs;
    QTest::newRow("move files") << QStringList{"chkMoveFiles=1"} << u"ROBOCOPY.EXE /MOV"_qs;
    QTest::newRow("move files and folders") << QStringList{"chkMoveFiles=1", "chkMoveFolders=1"}
                                            << u"ROBOCOPY.EXE /MOVE"_qs;
    QTest::newRow("grayed move files is not exactly 1")
        << QStringList{"chkMoveFiles=2", "chkMoveFolders=1"} << u"ROBOCOPY.EXE"_qs;
    QTest::newRow("grayed move folders gives MOV") << QStringList{"chkMoveFiles=1", "chkMoveFolders=2"}
                                                   << u"ROBOCOPY.EXE /MOV"_qs;
    QTest::newRow("mirror and purge") << QStringList{"chkMirror=1", "chkPurge=1"}
                                      << u"ROBOCOPY.EXE /PURGE /MIR"_qs;

    // Destination and source attribute letters, each in its own order.
    QTest::newRow("dest add order")
        << QStringList{"chkDestTempAdd=1", "chkDestReadOnlyAdd=1", "chkDestHiddenAdd=1", "chkDestIndexAdd=1"}
        << u"ROBOCOPY.EXE /A+:RHNT"_qs;
    QTest::newRow("dest remove uses the lower-case-o name")
        << QStringList{"chkDestReadonlyDel=1", "chkDestEncryptedDel=1", "chkDestCompressedDel=1"}
        << u"ROBOCOPY.EXE /A-:RCE"_qs;
    QTest::newRow("source include order")
        << QStringList{"chkSourceOfflineIncl=1", "chkSourceArchiveIncl=1", "chkSourceEncryptedIncl=1",
                       "chkSourceReadOnlyIncl=1"}
        << u"ROBOCOPY.EXE /IA:REAO"_qs;
    QTest::newRow("source exclude order")
        << QStringList{"chkSourceNotIndexedExcl=1", "chkSourceCompressedExcl=1", "chkSourceTempExcl=1"}
        << u"ROBOCOPY.EXE /XA:CNT"_qs;

    // Archive only and reset.
    QTest::newRow("archive only") << QStringList{"chkSourceArchiveOnly=1"} << u"ROBOCOPY.EXE /A"_qs;
    QTest::newRow("archive only and reset") << QStringList{"chkSourceArchiveOnly=1", "chkSourceArchiveReset=1"}
                                            << u"ROBOCOPY.EXE /M"_qs;
    QTest::newRow("reset alone") << QStringList{"chkSourceArchiveReset=1"} << u"ROBOCOPY.EXE"_qs;
    QTest::newRow("grayed archive only enables its rule")
        << QStringList{"chkSourceArchiveOnly=2"} << u"ROBOCOPY.EXE /A"_qs;

    // Run hours.
    QTest::newRow("run hours start only") << QStringList{"txtAllowedStart=2200"} << u"ROBOCOPY.EXE"_qs;
    QTest::newRow("run hours end only") << QStringList{"txtAllowedEnd=0600"} << u"ROBOCOPY.EXE"_qs;
    QTest::newRow("run hours") << QStringList{"txtAllowedStart=2200", "txtAllowedEnd=0600"}
                               << u"ROBOCOPY.EXE /RH:2200-0600"_qs;

    // Value fields are written unchanged.
    QTest::newRow("retry count of blanks") << QStringList{"txtRetryCount=   "} << u"ROBOCOPY.EXE /R:   "_qs;
    QTest::newRow("non-number kept") << QStringList{"txtRetryWait=ten"} << u"ROBOCOPY.EXE /W:ten"_qs;
    QTest::newRow("job include files take a colon") << QStringList{"txtJobIncludeFiles=*.c"}
                                                    << u"ROBOCOPY.EXE /IF:*.c"_qs;

    // Multithreading.
    QTest::newRow("threads with empty count") << QStringList{"chkThreadsEnable=1", "txtThreadsCount="}
                                              << u"ROBOCOPY.EXE /MT"_qs;
    QTest::newRow("count typed, threads clear") << QStringList{"txtThreadsCount=32"} << u"ROBOCOPY.EXE"_qs;
    QTest::newRow("threads grayed is not exactly 1") << QStringList{"chkThreadsEnable=2"} << u"ROBOCOPY.EXE"_qs;
    QTest::newRow("threads with initial count") << QStringList{"chkThreadsEnable=1"} << u"ROBOCOPY.EXE /MT:1"_qs;

    // Logging.
    QTest::newRow("log options without a name")
        << QStringList{"chkLogShowInConsole=1", "chkLogAppend=1", "chkLogUnicode=1"} << u"ROBOCOPY.EXE"_qs;
    QTest::newRow("log") << QStringList{"txtLogFile=C:\\x.log"} << u"ROBOCOPY.EXE /LOG:C:\\x.log"_qs;
    QTest::newRow("unicode log") << QStringList{"txtLogFile=C:\\x.log", "chkLogUnicode=1"}
                                 << u"ROBOCOPY.EXE /UNILOG:C:\\x.log"_qs;
    QTest::newRow("unicode append") << QStringList{"txtLogFile=C:\\x.log", "chkLogUnicode=1", "chkLogAppend=1"}
                                    << u"ROBOCOPY.EXE /UNILOG+:C:\\x.log"_qs;
    QTest::newRow("append") << QStringList{"txtLogFile=C:\\x.log", "chkLogAppend=1"}
                            << u"ROBOCOPY.EXE /LOG+:C:\\x.log"_qs;
    QTest::newRow("grayed append and unicode are not exactly 1")
        << QStringList{"txtLogFile=x.log", "chkLogAppend=2", "chkLogUnicode=2"} << u"ROBOCOPY.EXE /LOG:x.log"_qs;
    QTest::newRow("tee before the log switch") << QStringList{"txtLogFile=x.log", "chkLogShowInConsole=1"}
                                               << u"ROBOCOPY.EXE /TEE /LOG:x.log"_qs;
    QTest::newRow("grayed tee counts") << QStringList{"txtLogFile=x.log", "chkLogShowInConsole=2"}
                                       << u"ROBOCOPY.EXE /TEE /LOG:x.log"_qs;
    QTest::newRow("log name of one blank is quoted")
        << QStringList{"txtLogFile= "} << u"ROBOCOPY.EXE /LOG:\" \""_qs;
}

void TestCommand::commandLine()
{
    QFETCH(QStringList, changes);
    QFETCH(QString, expected);
    MapReader options = MapReader::initial();
    options.apply(changes);
    QCOMPARE(BuildCommandLine(options), expected);
}

void TestCommand::fromClearedState_data()
{
    QTest::addColumn<QStringList>("changes");
    QTest::addColumn<QString>("expected");
    QTest::newRow("everything clear") << QStringList{} << u"ROBOCOPY.EXE /NODCOPY"_qs;
    QTest::newRow("only folder timestamps") << QStringList{"chkFolderTimestamps=1"} << u"ROBOCOPY.EXE /DCOPY:T"_qs;
    QTest::newRow("only security") << QStringList{"chkSecurity=1"} << u"ROBOCOPY.EXE /COPY:S /NODCOPY"_qs;
}

void TestCommand::fromClearedState()
{
    QFETCH(QStringList, changes);
    QFETCH(QString, expected);
    MapReader options;
    options.apply(changes);
    QCOMPARE(BuildCommandLine(options), expected);
}

// Every check box set and every field filled: each switch appears once, in
// its fixed place.
void TestCommand::everyOptionInOrder()
{
    MapReader options;
    for (const ControlSpec &entry : controlCatalogue())
        if (entry.kind == ControlKind::CheckBox)
            options.checks.insert(QString::fromLatin1(entry.name), 1);
    options.apply({"cboSource=S", "cboDestination=D", "txtFilenames=F", "txtLevels=2", "txtChangeCount=3",
                   "txtDelayMinutes=4", "txtAllowedStart=0100", "txtAllowedEnd=0200", "txtDelayPer64k=5",
                   "txtExcludeFiles=xf", "txtExcludeFolders=xd", "txtMaxBytes=6", "txtMinBytes=7", "txtMaxAge=8",
                   "txtMinAge=9", "txtMaxLAD=10", "txtMinLAD=11", "txtRetryCount=12", "txtRetryWait=13",
                   "txtLogFile=L", "txtJobRead=jr", "txtJobWrite=jw", "txtJobIncludeFiles=ji",
                   "txtJobExplicitSource=js", "txtJobExplicitDest=jd", "txtThreadsCount=14",
                   "txtCommandLine=ignored"});
    QCOMPARE(BuildCommandLine(options),
             u"ROBOCOPY.EXE S D F /E /LEV:2 /ZB /J /COPYALL /DCOPY:DAT /NOOFFLOAD /SECFIX /TIMFIX /NOCOPY /MOVE "
             "/PURGE /MIR /A+:RASHCNET /A-:RASHCNET /CREATE /FAT /FFT /EFSRAW /256 /MON:3 /MOT:4 /RH:0100-0200 /PF "
             "/IPG:5 /SL /IA:RHSECANTO /M /XA:RHSECANTO /XJ /XJD /XJF /DST /XF xf /XD xd /XC /XN /XO /XX /XL /IS "
             "/IT /MAX:6 /MIN:7 /MAXAGE:8 /MINAGE:9 /MAXLAD:10 /MINLAD:11 /R:12 /W:13 /REG /TBD /L /X /V /TS /FP "
             "/BYTES /NC /NS /NDL /NFL /NJH /NJS /NP /ETA /TEE /UNILOG+:L /JOB:jr /SAVE:jw /QUIT /NOSD /NODD /IF:ji "
             "/SD:js /DD:jd /MT:14"_qs);
}

// With every option set the builder reads each option control of the
// catalogue, check boxes as check boxes and fields as texts, and nothing else:
// a name misspelt in the switch table, or an option it never reads, shows here.
void TestCommand::readsEveryOptionByItsKind()
{
    RecordingReader reader;
    BuildCommandLine(reader);
    QSet<QString> boxes, fields;
    for (const ControlSpec &entry : controlCatalogue()) {
        const QString name = QString::fromLatin1(entry.name);
        if (entry.kind == ControlKind::CheckBox)
            boxes << name;
        else if ((entry.kind == ControlKind::TextBox || entry.kind == ControlKind::ComboBox) && name != u"txtCommandLine")
            fields << name;
    }
    QCOMPARE(reader.checks, boxes);
    QCOMPARE(reader.texts, fields);
}

void TestCommand::quoting_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << u"C:\\Data"_qs << u"C:\\Data"_qs;
    QTest::newRow("trailing backslash, no blank") << u"C:\\Data\\"_qs << u"C:\\Data\\"_qs;
    QTest::newRow("blank") << u"C:\\My Files"_qs << u"\"C:\\My Files\""_qs;
    QTest::newRow("blank and trailing backslash") << u"C:\\My Files\\"_qs << u"\"C:\\My Files\\\\\""_qs;
    QTest::newRow("ampersand") << u"C:\\R&D"_qs << u"\"C:\\R&D\""_qs;
    QTest::newRow("pipe") << u"C:\\a|b"_qs << u"\"C:\\a|b\""_qs;
    QTest::newRow("less than") << u"C:\\a<b"_qs << u"\"C:\\a<b\""_qs;
    QTest::newRow("greater than") << u"C:\\a>b"_qs << u"\"C:\\a>b\""_qs;
    QTest::newRow("caret") << u"C:\\a^b"_qs << u"\"C:\\a^b\""_qs;
    QTest::newRow("tab") << u"C:\\a\tb"_qs << u"\"C:\\a\tb\""_qs;
    QTest::newRow("already quoted") << u"\"C:\\My Files\""_qs << u"\"C:\\My Files\""_qs;
    QTest::newRow("already quoted, no blank") << u"\"C:\\Data\""_qs << u"\"C:\\Data\""_qs;
    QTest::newRow("two quotes") << u"\"\""_qs << u"\"\""_qs;
    QTest::newRow("one quote alone") << u"\""_qs << u"\""_qs;
    QTest::newRow("opening quote only, with blank") << u"\"C:\\My Files"_qs << u"\"\"C:\\My Files\""_qs;
    QTest::newRow("single blank") << u" "_qs << u"\" \""_qs;
    QTest::newRow("UNC share") << u"\\\\server\\share\\x"_qs << u"\\\\server\\share\\x"_qs;
    // Backslashes before a closing quote are doubled, so the quote still ends the argument.
    QTest::newRow("blank and two trailing backslashes")
        << u"C:\\My Files\\\\"_qs << u"\"C:\\My Files\\\\\\\\\""_qs;
    QTest::newRow("ampersand and trailing backslash") << u"C:\\R&D\\"_qs << u"\"C:\\R&D\\\\\""_qs;
    QTest::newRow("already quoted, odd run of backslashes")
        << u"\"C:\\My Files\\\""_qs << u"\"C:\\My Files\\\\\""_qs;
    QTest::newRow("already quoted, even run of backslashes")
        << u"\"C:\\My Files\\\\\""_qs << u"\"C:\\My Files\\\\\""_qs;
    QTest::newRow("job file with an ampersand") << u"x&calc.RCJ"_qs << u"\"x&calc.RCJ\""_qs;
    // A variable's value may hold a blank once cmd.exe has put it in.
    QTest::newRow("percent variable") << u"%TARGET%"_qs << u"\"%TARGET%\""_qs;
    QTest::newRow("batch file's own folder") << u"%~dp0payload"_qs << u"\"%~dp0payload\""_qs;
    QTest::newRow("delayed variable") << u"!DEST!\\"_qs << u"\"!DEST!\\\\\""_qs;
    QTest::newRow("a lone percent") << u"C:\\100%"_qs << u"\"C:\\100%\""_qs;
}

void TestCommand::quoting()
{
    QFETCH(QString, source);
    QFETCH(QString, expected);
    QCOMPARE(QuotePathArgument(source), expected);

    // The same rule for every path Robocopy takes as one argument.
    MapReader options = MapReader::initial();
    QStringList assignments;
    for (const char *field : {"cboSource", "cboDestination", "txtLogFile", "txtJobRead", "txtJobWrite",
                              "txtJobExplicitSource", "txtJobExplicitDest"})
        assignments << QString::fromLatin1(field) + u'=' + source;
    options.apply(assignments);
    QCOMPARE(BuildCommandLine(options), u"ROBOCOPY.EXE "_qs + expected + u' ' + expected + u" /LOG:"_qs + expected
                                            + u" /JOB:"_qs + expected + u" /SAVE:"_qs + expected + u" /SD:"_qs
                                            + expected + u" /DD:"_qs + expected);

    // What the user did not quote reaches Robocopy as one argument, exactly as typed.
    if (!source.startsWith(u'"') && !source.trimmed().isEmpty())
        QCOMPARE(SplitWords(expected), QStringList{source});
}

// Whatever the boxes hold, the command stays one line.
void TestCommand::noTextBreaksTheLine()
{
    MapReader options = MapReader::initial();
    options.checks.insert(u"chkThreadsEnable"_qs, 1);
    options.checks.insert(u"chkLogShowInConsole"_qs, 1);
    for (const ControlSpec &entry : controlCatalogue())
        if (entry.kind == ControlKind::TextBox || entry.kind == ControlKind::ComboBox)
            options.texts.insert(QString::fromLatin1(entry.name), u"a\r\nb\rc\nd"_qs);
    const QString cmd = BuildCommandLine(options);
    QVERIFY2(!cmd.contains(u'\r') && !cmd.contains(u'\n'), qPrintable(cmd));
    QVERIFY2(cmd.contains(u" /XF a b c d /XD a b c d"), qPrintable(cmd));
}

void TestCommand::appendSwitchKinds()
{
    QString cmd = u"X"_qs;
    AppendSwitch(cmd, u"A", qint16(0));
    AppendSwitch(cmd, u"B", false);
    AppendSwitch(cmd, u"C", QString());
    QCOMPARE(cmd, u"X"_qs);

    AppendSwitch(cmd, u"D", qint16(1));
    AppendSwitch(cmd, u"E", qint16(2));
    AppendSwitch(cmd, u"F", qint16(-1));
    AppendSwitch(cmd, u"G", true);
    QCOMPARE(cmd, u"X /D /E /F /G"_qs);

    AppendSwitch(cmd, u"H", u"  "_qs);
    AppendSwitch(cmd, u"I", u"v"_qs);
    QCOMPARE(cmd, u"X /D /E /F /G /H:   /I:v"_qs);
}

// Only the three kinds of value compile; any other would write nothing unseen.
template <typename T>
constexpr bool kAppendable = requires(QString &cmd, const T &value) { AppendSwitch(cmd, u"X", value); };
static_assert(kAppendable<qint16> && kAppendable<bool> && kAppendable<QString>);
static_assert(!kAppendable<int> && !kAppendable<Qt::CheckState> && !kAppendable<QStringView>
              && !kAppendable<QLatin1StringView> && !kAppendable<const char *> && !kAppendable<double>
              && !kAppendable<QStringList>);

void TestCommand::parmStr()
{
    QCOMPARE(ParmStr(u"R"_qs, u"3"_qs), u" /R:3"_qs);
    QCOMPARE(ParmStr(u"R"_qs, QString()), QString());
    QCOMPARE(ParmStr(u"LOG"_qs, u" "_qs), u" /LOG: "_qs);
}

void TestCommand::itemsSeparatedByOneBlank()
{
    MapReader options = MapReader::initial();
    options.apply({"cboSource=S", "chkMirror=1", "txtRetryCount=1", "chkDspETA=1"});
    const QString cmd = BuildCommandLine(options);
    QVERIFY(!cmd.endsWith(u' '));
    QVERIFY(!cmd.contains(u"  "));
    QCOMPARE(cmd.split(u' ').size(), 5);
}

// cmd.exe's quotes, carets, operators, redirections and blocks: one table
// for the scanner that the reader and the stand-in console share.
void TestCommand::scanner_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("batchFile");
    QTest::addColumn<QStringList>("commands"); // "//" between lines; a line that ends in quotes says so

    auto row = [](const char *title, const QString &text, const QStringList &commands, bool batchFile = false) {
        QTest::newRow(title) << text << batchFile << commands;
    };
    // Operators.
    row("one", u"ROBOCOPY.EXE a b"_qs, {u"[ROBOCOPY.EXE a b]"_qs});
    row("with pause", u"ROBOCOPY.EXE a b & PAUSE"_qs, {u"[ROBOCOPY.EXE a b ] &"_qs, u"[ PAUSE]"_qs});
    row("quoted ampersand", u"ROBOCOPY.EXE \"C:\\R & D\" x & PAUSE"_qs,
        {u"[ROBOCOPY.EXE \"C:\\R & D\" x ] &"_qs, u"[ PAUSE]"_qs});
    row("no blanks", u"a&b&c"_qs, {u"[a] &"_qs, u"[b] &"_qs, u"[c]"_qs});
    row("doubled and trailing ampersands", u"a && b &"_qs, {u"[a ] &&"_qs, u"[ b ] &"_qs, u"[]"_qs});
    row("pipes", u"a || b | c"_qs, {u"[a ] ||"_qs, u"[ b ] |"_qs, u"[ c]"_qs});
    row("empty", QString(), {u"[]"_qs});
    // Carets.
    row("caret makes & plain", u"x^&touch pwned"_qs, {u"[x&touch pwned] as [x^&touch pwned]"_qs});
    row("caret makes a caret plain", u"a^^&b"_qs, {u"[a^] as [a^^] &"_qs, u"[b]"_qs});
    row("caret inside quotes stays", u"\"a^&b\" & c"_qs, {u"[\"a^&b\" ] &"_qs, u"[ c]"_qs});
    row("escaped quote opens no quotes", u"a ^\"b & c\""_qs,
        {u"[a \"b ] as [a ^\"b ] &"_qs, u"[ c\"]"_qs, u"ends in quotes"_qs});
    row("caret at the end is dropped", u"a^"_qs, {u"[a]"_qs});
    // Line breaks.
    row("line feed ends the command", u"a & b\n& touch pwned"_qs, {u"[a ] &"_qs, u"[ b]"_qs});
    row("CR LF ends the command", u"a\r\ntouch pwned"_qs, {u"[a]"_qs});
    row("CR ends the command", u"a\r& touch pwned"_qs, {u"[a]"_qs});
    row("quotes do not carry a line break", u"\"a\nb\" & c"_qs, {u"[\"a]"_qs, u"ends in quotes"_qs});
    row("caret does not escape a line break", u"a ^\nb"_qs, {u"[a ]"_qs});
    row("a batch file's caret joins the next line", u"robocopy a ^\r\n  b"_qs, {u"[robocopy a   b]"_qs}, true);
    row("and makes its first character plain", u"robocopy a ^\n&b"_qs,
        {u"[robocopy a &b] as [robocopy a ^&b]"_qs}, true);
    row("no joining inside quotes", u"robocopy \"a ^\nb"_qs,
        {u"[robocopy \"a ^]"_qs, u"ends in quotes"_qs, u"//"_qs, u"[b]"_qs}, true);
    row("lines of a batch file", u"line1\r\nline2\nline3"_qs,
        {u"[line1]"_qs, u"//"_qs, u"[line2]"_qs, u"//"_qs, u"[line3]"_qs}, true);
    // Redirections come out of the command.
    row("redirection", u"robocopy a b >nul /MIR"_qs, {u"[robocopy a b  /MIR] {>nul}"_qs});
    row("handles and appending", u"robocopy a b 2>&1 >> \"x y.log\" /R:1"_qs,
        {u"[robocopy a b   /R:1] {2>&1} {>> \"x y.log\"}"_qs});
    row("a handle stands alone", u"robocopy a2>x b"_qs, {u"[robocopy a2 b] {>x}"_qs});
    row("a handle touches the operator", u"robocopy a 2 > x"_qs, {u"[robocopy a 2 ] {> x}"_qs});
    row("a plain digit is no handle", u"robocopy a ^2>x"_qs, {u"[robocopy a 2] as [robocopy a ^2] {>x}"_qs});
    row("a caret in the file's name", u"a > x^&y b"_qs, {u"[a  b] {> x^&y}"_qs});
    row("input first", u"< in.txt a"_qs, {u"[ a] {< in.txt}"_qs});
    row("redirection to nothing", u"a >"_qs, {u"[a ] {>}"_qs});
    // Blocks.
    row("block", u"(robocopy a b)"_qs, {u"([robocopy a b] )"_qs, u"[]"_qs});
    row("nested blocks", u"((a) & b) c"_qs, {u"(([a] )"_qs, u"[ ] &"_qs, u"[ b] )"_qs, u"[ c]"_qs});
    row("a parenthesis with no block open is text", u"a ) b"_qs, {u"[a ) b]"_qs});
    row("a parenthesis after a word opens nothing", u"if x (a) else (b)"_qs, {u"[if x (a) else (b)]"_qs});
    row("a block left open", u"(a"_qs, {u"([a]"_qs, u"1 block open"_qs});
}

void TestCommand::scanner()
{
    QFETCH(QString, text);
    QFETCH(bool, batchFile);
    QFETCH(QStringList, commands);
    QStringList seen;
    qsizetype at = 0;
    do {
        if (at > 0)
            seen << u"//"_qs;
        const CmdScan scan = ScanCmdLine(text, at, batchFile ? CmdLines::BatchFile : CmdLines::CommandLine);
        for (const CmdCommand &c : scan.commands)
            seen << render(c);
        if (scan.quoted)
            seen << u"ends in quotes"_qs;
        if (scan.depth)
            seen << u"%1 block open"_qs.arg(scan.depth);
        QVERIFY(scan.next > at || text.isEmpty());
        at = scan.next;
    } while (batchFile && at < text.size());
    QCOMPARE(seen, commands);
}

void TestCommand::stripInterpreter_data()
{
    QTest::addColumn<QString>("processCommand");
    QTest::addColumn<QString>("command");
    QTest::newRow("as Corvane starts it") << "cmd.exe /c ROBOCOPY.EXE a b" << "ROBOCOPY.EXE a b";
    QTest::newRow("letter case and no .exe") << "CMD /C x & PAUSE" << "x & PAUSE";
    QTest::newRow("with a folder") << "C:\\Windows\\System32\\cmd.exe /c x" << "x";
    QTest::newRow("quoted interpreter") << "\"cmd.exe\" /c x" << "x";
    QTest::newRow("nothing after /c") << "cmd.exe /c " << "";
    QTest::newRow("one blank after /c is the separator") << "cmd.exe /c   x" << "  x";
    QTest::newRow("no interpreter") << "ROBOCOPY.EXE a" << "ROBOCOPY.EXE a";
    QTest::newRow("other switch") << "cmd.exe /k x" << "cmd.exe /k x";
    QTest::newRow("only a look-alike") << "cmdx.exe /c x" << "cmdx.exe /c x";
}

void TestCommand::stripInterpreter()
{
    QFETCH(QString, processCommand);
    QFETCH(QString, command);
    QCOMPARE(StripInterpreter(processCommand), command);
}

void TestCommand::splitWords_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<QStringList>("words");
    QTest::newRow("blanks separate") << "ROBOCOPY.EXE  C:\\a\tD:\\b " << QStringList{"ROBOCOPY.EXE", "C:\\a", "D:\\b"};
    QTest::newRow("quotes group") << "R \"C:\\My Source\" \"D:\\Dest Dir\"" << QStringList{"R", "C:\\My Source", "D:\\Dest Dir"};
    QTest::newRow("quotes inside a word") << "a\"b c\"d" << QStringList{"ab cd"};
    QTest::newRow("doubled backslash before closing quote") << "\"D:\\Dest Dir\\\\\" x"
                                                             << QStringList{"D:\\Dest Dir\\", "x"};
    QTest::newRow("single backslash escapes the quote") << "\"D:\\Dir\\\" x" << QStringList{"D:\\Dir\" x"};
    QTest::newRow("three backslashes and a quote") << "a\\\\\\\"b" << QStringList{"a\\\"b"};
    QTest::newRow("backslashes alone are literal") << "C:\\\\server\\share\\" << QStringList{"C:\\\\server\\share\\"};
    QTest::newRow("doubled quote in a group") << "\"a\"\"b\"" << QStringList{"a\"b"};
    QTest::newRow("empty quotes are a word") << "x \"\" y" << QStringList{"x", "", "y"};
    QTest::newRow("escaped quote alone") << "\\\"" << QStringList{"\""};
    QTest::newRow("only blanks") << "   " << QStringList{};
}

void TestCommand::splitWords()
{
    QFETCH(QString, step);
    QFETCH(QStringList, words);
    QCOMPARE(SplitWords(step), words);
    // Each word's place in the text holds that word alone.
    for (const CommandWord &word : CommandWords(step))
        QCOMPARE(SplitWords(step.mid(word.start, word.end - word.start)), QStringList{word.value});
}

void TestCommand::reading_data()
{
    QTest::addColumn<bool>("job");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QStringList>("values"); // beyond the copy defaults D A T and D A
    QTest::addColumn<QStringList>("leftOut");

    QTest::newRow("batch file: first Robocopy line, after @, cmd /c, up to &")
        << false << u"@echo off\r\nrem nightly\r\n:: robocopy x y\r\n\r\n@cmd /c robocopy c:\\src d:\\dst /mir & pause\r\n"
                    "robocopy x y /S\r\n"_qs
        << true << QStringList{"cboSource=c:\\src", "cboDestination=d:\\dst", "chkMirror=1"} << QStringList{};
    QTest::newRow("program path, letter case, odd spacing, tabs")
        << false << u"  \"C:\\Windows\\System32\\Robocopy.EXE\"   \"D:\\a b\\\\\"\te:\\c   /Copy:dt  /dcopy:T  /r:2 "_qs
        << true
        << QStringList{"cboSource=D:\\a b\\", "cboDestination=e:\\c", "chkAttributes=0", "chkFolderData=0",
                       "chkFolderAttributes=0", "chkFolderTimestamps=1", "txtRetryCount=2"}
        << QStringList{};
    QTest::newRow("a folder with slashes stays a folder; list names may start with one")
        << false << u"robocopy /home/u/src /mnt/b /XD /home/u/src/tmp \"/home/u/a b\" /MIR"_qs << true
        << QStringList{"cboSource=/home/u/src", "cboDestination=/mnt/b",
                       "txtExcludeFolders=/home/u/src/tmp \"/home/u/a b\"", "chkMirror=1"}
        << QStringList{};
    QTest::newRow("switches and letters without an option")
        << false << u"robocopy a b /IM /LFSM:50M /COPY:DATX /dcopy:dae /A+:rz /COMPRESS /MIR"_qs << true
        << QStringList{"cboSource=a", "cboDestination=b", "chkMirror=1", "chkDestReadOnlyAdd=1"}
        << QStringList{"#2 /IM switch NoOption", "#3 /LFSM:50M switch NoOption",
                       "#4 /COPY:DATX switch LettersWithoutOption X", "#5 /dcopy:dae switch LettersWithoutOption e",
                       "#6 /A+:rz switch UnknownLetters z", "#7 /COMPRESS switch NoOption"};
    QTest::newRow("Robocopy's /IF names, the builder's /IF: with names after it")
        << false << u"robocopy a b *.x /IF *.c \"my file.h\" /IF:*.txt *.md /XF *.o"_qs << true
        << QStringList{"cboSource=a", "cboDestination=b", "txtFilenames=*.x",
                       "txtJobIncludeFiles=*.c \"my file.h\" *.txt *.md", "txtExcludeFiles=*.o"}
        << QStringList{};
    QTest::newRow("/IF names before the folders take them; an empty /IF: needs a value")
        << false << u"robocopy /IF: /MIR /IF:\"a b\" c d e"_qs << true
        << QStringList{"txtJobIncludeFiles=\"a b\" c d e", "chkMirror=1"}
        << QStringList{"#0 /IF: switch NeedsValue"};
    QTest::newRow("/Z and /B apart keep apart") << false << u"robocopy /Z /B"_qs << true
                                                << QStringList{"chkRestartable=1", "chkBackup=2"} << QStringList{};
    QTest::newRow("composite switches")
        << false << u"robocopy a b /E /ZB /COPYALL /NODCOPY /MOVE /M /MT /TEE /UNILOG+:l.txt /RH:2200-0600 /mov /a /s"_qs
        << true
        << QStringList{"cboSource=a", "cboDestination=b", "chkSubdirectories=1", "chkEmpty=1", "chkRestartable=1",
                       "chkBackup=1", "chkSecurity=1", "chkOwnership=1", "chkAuditing=1", "chkFolderData=0",
                       "chkFolderAttributes=0", "chkMoveFiles=1", "chkMoveFolders=1", "chkSourceArchiveOnly=1",
                       "chkSourceArchiveReset=1", "chkThreadsEnable=1", "chkLogShowInConsole=1", "txtLogFile=l.txt",
                       "chkLogAppend=1", "chkLogUnicode=1", "txtAllowedStart=2200", "txtAllowedEnd=0600"}
        << QStringList{};
    QTest::newRow("a value is its own word; other words are file names; bad forms are left out")
        << false << u"robocopy a b /R:3 4 /MIR extra /RH:2200 /PURGE:x /W /FOO bar /XF"_qs << true
        << QStringList{"cboSource=a", "cboDestination=b", "txtFilenames=4 extra bar", "txtRetryCount=3", "chkMirror=1"}
        << QStringList{"#6 /RH:2200 switch BadValue", "#7 /PURGE:x switch TakesNoValue", "#8 /W switch NeedsValue",
                       "#9 /FOO switch UnknownSwitch"};
    QTest::newRow("values as they stood, or quoted where they cannot stand so")
        << false << u"robocopy a b /R:\"3\" \"/W:1 0\" /MAX:5^&6 /LEV:%DEPTH% /MT:\"8\""_qs << true
        << QStringList{"cboSource=a", "cboDestination=b", "txtRetryCount=\"3\"", "txtRetryWait=\"1 0\"",
                       "txtMaxBytes=5^&6", "txtLevels=%DEPTH%", "chkThreadsEnable=1", "txtThreadsCount=\"8\""}
        << QStringList{};
    QTest::newRow("what cannot be written back is left out")
        << false << u"robocopy \"\" b /XF x\\\"y z /LOG:\"a\\\" b\" /R:1\\\" /JOB:q\\\"q"_qs << true
        << QStringList{"txtExcludeFiles=z"}
        << QStringList{"#0 \"\" word EmptyFolder", "#1 b word NoSource", "#3 x\\\"y word CannotWriteBack",
                       "#5 /LOG:\"a\\\" b\" switch QuoteInPath", "#6 /R:1\\\" switch CannotWriteBack",
                       "#7 /JOB:q\\\"q switch QuoteInPath"};
    QTest::newRow("a word with a slash in its name is a folder; one without, a switch")
        << false << u"robocopy /XD /home/u/tmp /tmp /srv/data/ /mnt/b /"_qs << true
        << QStringList{"txtExcludeFolders=/home/u/tmp", "cboSource=/srv/data/", "cboDestination=/mnt/b",
                       "txtFilenames=/"}
        << QStringList{"#2 /tmp switch UnknownSwitch"};
    QTest::newRow("a comment ends an exclude list; a folder is never a comment")
        << false << u"robocopy ::src \"::dst\" /XF *.tmp :: temp files /MIR"_qs << true
        << QStringList{"cboSource=::src", "cboDestination=::dst", "txtExcludeFiles=*.tmp"}
        << QStringList{"#4 :: word Comment", "#5 temp word Comment", "#6 files word Comment", "#7 /MIR word Comment"};
    QTest::newRow("carets, continued lines, redirection")
        << false << u"robocopy R^&D \"x & y\" ^\r\n  /MIR ^\r\n /LOG:a.log 2>&1 | more"_qs << true
        << QStringList{"cboSource=R&D", "cboDestination=x & y", "chkMirror=1", "txtLogFile=a.log"}
        << QStringList{"#- 2>&1 redirection NotRedirected"};
    QTest::newRow("cmd /c with the command in quotes")
        << false << u"cmd.exe /c \"robocopy \"C:\\a b\" d /MIR\""_qs << true
        << QStringList{"cboSource=C:\\a b", "cboDestination=d", "chkMirror=1"} << QStringList{};
    QTest::newRow("no Robocopy command") << false << u"echo robocopy\r\nxcopy a b /S\r\n"_qs << false
                                         << QStringList{} << QStringList{};
    QTest::newRow("a look-alike program") << false << u"robocopy2.exe a b"_qs << false << QStringList{}
                                          << QStringList{};

    QTest::newRow("job file as Robocopy saves it")
        << true
        << u":: Robocopy Job C:\\JOBS\\NIGHTLY.RCJ\r\n"
           ":: Created by Admin on Monday, 1 January 2024 at 10:00:00\r\n\r\n"
           ":: Source Directory :\r\n\t/SD:C:\\My Data\\\t:: Source Directory.\r\n\r\n"
           ":: Destination Directory :\r\n\t/DD:\\\\server\\share\\backup\\\t:: Destination Directory.\r\n\r\n"
           ":: Include These Files :\r\n\t/IF\t\t:: Include Files matching these names\r\n\t\t*.doc\r\n"
           "\t\tmy file.txt\r\n\r\n"
           ":: Exclude These Directories :\r\n\t/XD\t\t:: eXclude Directories matching these names\r\n"
           "\t\tC:\\My Data\\Temp\\\r\n\t\tcache\r\n"
           ":: Exclude These Files :\r\n\t/XF\t\t:: eXclude Files matching these names\r\n\t\t*.tmp\r\n"
           ":: Copy options :\r\n\t/S\t\t:: copy Subdirectories, but not empty ones.\r\n"
           "\t/E\t\t:: copy subdirectories, including Empty ones.\r\n"
           "\t/DCOPY:DA\t:: what to COPY for directories (default is /DCOPY:DA).\r\n"
           "\t/COPY:DAT\t:: what to COPY for files (default is /COPY:DAT).\r\n"
           "\t/MIR\t\t:: MIRror a directory tree (equivalent to /E plus /PURGE).\r\n"
           ":: Retry Options :\r\n\t/R:1000000\t:: number of Retries on failed copies: default 1 million.\r\n"
           "\t/W:30\t\t:: Wait time between retries: default is 30 seconds.\r\n"
           ":: Logging Options :\r\n\t/LOG:C:\\Logs\\night log.txt\t:: output status to LOG file.\r\n"_qs
        << true
        << QStringList{"cboSource=C:\\My Data\\", "cboDestination=\\\\server\\share\\backup\\",
                       "txtJobIncludeFiles=*.doc \"my file.txt\"", "txtExcludeFolders=\"C:\\My Data\\Temp\\\\\" cache",
                       "txtExcludeFiles=*.tmp", "chkSubdirectories=1", "chkEmpty=1", "chkMirror=1",
                       "txtRetryCount=1000000", "txtRetryWait=30", "txtLogFile=C:\\Logs\\night log.txt"}
        << QStringList{};
    // A template for the command line's folders (/NOSD /NODD) with its names.
    QTest::newRow("job file without folders, names of /IF")
        << true
        << u":: Robocopy Job T.RCJ\r\n\t/NOSD\t\t:: no source\r\n\t/NODD\r\n\t/IF\t\t:: Include Files\r\n\t\t*.txt\r\n"
           "\t\t*.exe\r\n\t/IF:*.log *.md\r\n\t/DCOPY:DATE\r\n"_qs
        << true
        << QStringList{"chkJobNoSource=1", "chkJobNoDest=1", "txtJobIncludeFiles=*.txt *.exe *.log *.md",
                       "chkFolderTimestamps=1"}
        << QStringList{"#- /DCOPY:DATE switch LettersWithoutOption E"};
    QTest::newRow("job file by hand: odd spacing, letter case, strays")
        << true
        << u"   /sd:\"C:\\a b\"   \n/dd:D:\\x\n/xf *.bak *.old\n   \"quoted name.txt\"  \n/copy:datso\n  /mt:4\n"
           "stray line\n/LFSM\n/JOB:j.rcj :: nested\n"_qs
        << true
        << QStringList{"cboSource=C:\\a b", "cboDestination=D:\\x", "txtExcludeFiles=*.bak *.old \"quoted name.txt\"",
                       "chkSecurity=1", "chkOwnership=1", "chkThreadsEnable=1", "txtThreadsCount=4",
                       "txtJobRead=j.rcj"}
        << QStringList{"#- stray line word NotTaken", "#- /LFSM switch NoOption"};
    QTest::newRow("a job where a command was looked for") << false << u":: job\r\n/SD:C:\\a\r\n/MIR\r\n"_qs << true
                                                          << QStringList{"cboSource=C:\\a", "chkMirror=1"}
                                                          << QStringList{};
    QTest::newRow("a command in a job file") << true << u"robocopy a b /MIR\r\n"_qs << true
                                             << QStringList{"cboSource=a", "cboDestination=b", "chkMirror=1"}
                                             << QStringList{};
    QTest::newRow("a job file of comments only") << true << u":: nothing here\r\n\r\n"_qs << false << QStringList{}
                                                 << QStringList{};
}

void TestCommand::reading()
{
    QFETCH(bool, job);
    QFETCH(QString, text);
    QFETCH(bool, found);
    QFETCH(QStringList, values);
    QFETCH(QStringList, leftOut);
    const CommandReading reading = ReadCommandOrJob(text, job);
    QCOMPARE(reading.found, found);
    QCOMPARE(rendered(reading.leftOut), leftOut);

    // Every option control: the values named, the copy defaults, all else cleared.
    MapReader expected;
    expected.apply({"chkData=1", "chkAttributes=1", "chkTimestamps=1", "chkFolderData=1", "chkFolderAttributes=1"});
    expected.apply(values);
    QStringList wrong;
    for (const ControlSpec &entry : controlCatalogue()) {
        const QLatin1StringView name(entry.name);
        if (entry.kind == ControlKind::CheckBox && reading.values.checkValue(name) != expected.checkValue(name))
            wrong << u"%1=%2"_qs.arg(name).arg(reading.values.checkValue(name));
        else if (entry.kind != ControlKind::CheckBox && reading.values.text(name) != expected.text(name))
            wrong << u"%1=%2"_qs.arg(name, reading.values.text(name));
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u" | ")));
}

void TestCommand::batchFiles_data() { addBatchFileRows(); }

// The lines administrators write: what the window composes from each, what
// it leaves out and why, and why it refuses some.
void TestCommand::batchFiles()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, command);
    QFETCH(QStringList, leftOut);
    QFETCH(QString, refusal);
    const CommandReading reading = ReadCommandOrJob(text, name.endsWith(u".rcj"));
    QCOMPARE(reading.found, !command.isEmpty());
    QCOMPARE(reading.refusal, refusal);
    QCOMPARE(LeftOutLines(reading.leftOut), leftOut);
    if (!reading.found)
        return;
    const QString composed = BuildCommandLine(reading.values);
    QCOMPARE(composed, command);
    // The composed command reads back whole and composes itself again.
    const CommandReading again = ReadCommand(composed);
    QVERIFY2(again.leftOut.isEmpty(), qPrintable(lines(again.leftOut).join(u'\n')));
    QCOMPARE(BuildCommandLine(again.values), composed);
}

// The words a program receives, as the copy engine gets them from argv:
// the same grammar, each word left out with its place among the arguments.
void TestCommand::readArguments_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("received"); // "field=first|second", for each field set
    QTest::addColumn<QStringList>("leftOut");

    QTest::newRow("folders after switches")
        << QStringList{"/MT:32", "/B", "/MIR", "\\\\old\\share", "\\\\new\\share"}
        << u"ROBOCOPY.EXE \\\\old\\share \\\\new\\share /B /MIR /MT:32"_qs
        << QStringList{"cboSource=\\\\old\\share", "cboDestination=\\\\new\\share", "txtThreadsCount=32"}
        << QStringList{};
    QTest::newRow("names with blanks and cmd.exe's characters")
        << QStringList{"C:\\R&D", "D:\\x y", "a b.txt", "/XF", "Tom&Jerry.txt", "100%", "/R:3", "/LOG:C:\\my log.txt",
                       "*.doc"}
        << u"ROBOCOPY.EXE \"C:\\R&D\" \"D:\\x y\" \"a b.txt\" *.doc /XF \"Tom&Jerry.txt\" \"100%\" /R:3 "
           "/LOG:\"C:\\my log.txt\""_qs
        << QStringList{"cboSource=C:\\R&D", "cboDestination=D:\\x y", "txtFilenames=a b.txt|*.doc",
                       "txtExcludeFiles=Tom&Jerry.txt|100%", "txtRetryCount=3", "txtLogFile=C:\\my log.txt"}
        << QStringList{};
    QTest::newRow("Robocopy's invalid parameters, by place")
        << QStringList{"a", "b", "/FOO", "/COPY:DATZ", "/W", "/MIR:1", "/XF:x", "/RH:1", "/IM"}
        << u"ROBOCOPY.EXE a b"_qs << QStringList{"cboSource=a", "cboDestination=b"}
        << QStringList{"#2 /FOO switch UnknownSwitch", "#3 /COPY:DATZ switch UnknownLetters Z",
                       "#4 /W switch NeedsValue", "#5 /MIR:1 switch TakesNoValue", "#6 /XF:x switch TakesNoValue",
                       "#7 /RH:1 switch BadValue", "#8 /IM switch NoOption"};
    QTest::newRow("what the window cannot carry")
        << QStringList{"a\"b", "", "/XF", "x\"y", "ok", "/TEE", "/R:1\nx"} << u"ROBOCOPY.EXE /XF ok"_qs
        << QStringList{"txtExcludeFiles=ok"}
        << QStringList{"#0 a\"b word QuoteInPath source", "#1  word EmptyFolder", "#3 x\"y word CannotWriteBack",
                       "#5 /TEE switch TeeWithoutLog", "#6 /R:1\nx switch CannotWriteBack"};
    QTest::newRow("POSIX folders; /IF names; /TEE beside a log")
        << QStringList{"/home/u/src", "/mnt/b", "/IF", "*.c", "*.h", "/TEE", "/LOG+:/var/log/copy.log", "/XD",
                       "/home/u/src/tmp"}
        << u"ROBOCOPY.EXE /home/u/src /mnt/b /XD /home/u/src/tmp /TEE /LOG+:/var/log/copy.log /IF:*.c *.h"_qs
        << QStringList{"cboSource=/home/u/src", "cboDestination=/mnt/b", "txtJobIncludeFiles=*.c|*.h",
                       "txtExcludeFolders=/home/u/src/tmp", "txtLogFile=/var/log/copy.log"}
        << QStringList{};
    QTest::newRow("/IF names need no folders; /IF:name is the first")
        << QStringList{"/IF:a b", "*.c", "%X%", "/MIR", "C:\\a"} << u"ROBOCOPY.EXE C:\\a /MIR /IF:\"a b\" *.c \"%X%\""_qs
        << QStringList{"cboSource=C:\\a", "txtJobIncludeFiles=a b|*.c|%X%"} << QStringList{};
    // A folder left out keeps its place: nothing moves into it.
    QTest::newRow("file names without both folders")
        << QStringList{"C:\\a\" D:\\b", "E:\\c", "*.c", "/XF", "x"} << u"ROBOCOPY.EXE /XF x"_qs
        << QStringList{"txtExcludeFiles=x"}
        << QStringList{"#0 C:\\a\" D:\\b word QuoteInPath source", "#1 E:\\c word NoSource", "#2 *.c word NoFolders"};
}

void TestCommand::readArguments()
{
    QFETCH(QStringList, words);
    QFETCH(QString, command);
    QFETCH(QStringList, received);
    QFETCH(QStringList, leftOut);
    const CommandReading reading = ReadArguments(words);
    QVERIFY(reading.found);
    QCOMPARE(rendered(reading.leftOut), leftOut);
    QCOMPARE(BuildCommandLine(reading.values), command);
    QStringList seen;
    for (auto it = reading.received.cbegin(); it != reading.received.cend(); ++it)
        seen << QString(it.key()) + u'=' + it.value().join(u'|');
    seen.sort();
    received.sort();
    QCOMPARE(seen, received);
}

// Opening the command the window composed gives back options that compose
// the very same command, also through the bytes Save As writes. Rerun from
// another first seed with CORVANE_SEED=n.
void TestCommand::roundTrip()
{
    const quint32 first = qEnvironmentVariableIsSet("CORVANE_SEED") ? quint32(qEnvironmentVariableIntValue("CORVANE_SEED")) : 1;
    for (quint32 seed = first; seed < first + 5000; ++seed) {
        const OptionState state = RandomOptions(seed).next();
        MapReader options;
        options.checks = state.checks;
        options.texts = state.texts;
        const QString command = BuildCommandLine(options);
        const CommandReading reading = ReadCommand(command);
        const QString again = BuildCommandLine(reading.values);
        // File names stand where an empty folder would: Robocopy takes the
        // first for that folder, and so does the reader, which then quotes it
        // as a folder. Robocopy receives the same words either way.
        const bool namesForFolder = !state.texts.value(kFileNamesField).isEmpty()
                                 && (state.texts.value(kSourceField).isEmpty()
                                     || state.texts.value(kDestinationField).isEmpty());
        QVERIFY2(reading.found && reading.leftOut.isEmpty() && (again == command || namesForFolder)
                     && receivedWords(again) == receivedWords(command)
                     && BuildCommandLine(ReadCommand(again).values) == again,
                 qPrintable(u"seed %1\n composed: %2\n read back: %3\n left out: %4"_qs.arg(seed).arg(
                     command, again, lines(reading.leftOut).join(u" | "))));
        // And so does the state itself, as far as the command carries it.
        const QStringList differences = StateDifferences(state, StateOf(reading.values));
        QVERIFY2(differences.isEmpty(), qPrintable(u"seed %1: %2\n %3"_qs.arg(seed).arg(command, differences.join(u"\n "))));

        // The engine's reading of the words Robocopy receives agrees.
        QStringList words = receivedWords(command);
        words.removeFirst();
        const CommandReading fromWords = ReadArguments(words);
        QVERIFY2(fromWords.leftOut.isEmpty() && fromWords.received == reading.received
                     && receivedWords(BuildCommandLine(fromWords.values)) == receivedWords(again),
                 qPrintable(u"seed %1: the words of %2"_qs.arg(seed).arg(command)));

        for (const CommandFileKind kind : {CommandFileKind::Batch, CommandFileKind::Text}) {
            const QByteArray saved = CommandFileBytes(command, kind, SystemCodePages());
            const std::optional<QString> text = CommandFileText(saved, kind, SystemCodePages());
            QVERIFY2(text && BuildCommandLine(ReadCommandOrJob(*text, false).values) == again,
                     qPrintable(u"seed %1 from the saved %2 file"_qs.arg(seed).arg(int(kind))));
        }
    }
}

// Whatever a file holds, the command the window composes from it reads
// back whole and composes itself again. Texts of cmd.exe's characters,
// prefixes, switches with and without values, and lines.
void TestCommand::readBuildReadBuild()
{
    static const QStringList pieces = {
        u"robocopy "_qs, u"ROBOCOPY.EXE "_qs, u"call "_qs, u"start \"\" /wait "_qs, u"cmd /c "_qs, u"if exist x "_qs,
        u"("_qs, u")"_qs, u"@"_qs, u" "_qs, u" "_qs, u" "_qs, u"\t"_qs, u"\""_qs, u"\""_qs, u"^"_qs, u"^"_qs, u"&"_qs,
        u"|"_qs, u"<"_qs, u">"_qs, u"2>&1"_qs, u"%"_qs, u"!"_qs, u"%X%"_qs, u"%%d"_qs, u"::"_qs, u":"_qs, u"\\"_qs,
        u"\\\\"_qs, u"/"_qs, u"-"_qs, u"a"_qs, u"b"_qs, u"C:\\x"_qs, u"*.t"_qs, u"9"_qs, u"\u00e9"_qs, u"\r\n"_qs,
        u"^\r\n"_qs, u"\n"_qs, u"\u00a0"_qs, u"="_qs, u","_qs};
    QStringList switches;
    for (const SwitchSpec &row : switchTable())
        for (QStringView name : row.names)
            if (!name.isEmpty())
                switches << u" /"_qs + name.toString();
    switches << u" /IM"_qs << u" /FOO"_qs << u" /XF"_qs << u" /XD"_qs << u" /IF"_qs;

    const quint32 first = qEnvironmentVariableIsSet("CORVANE_SEED") ? quint32(qEnvironmentVariableIntValue("CORVANE_SEED")) : 1;
    std::mt19937 rng;
    auto pick = [&](qsizetype n) { return qsizetype(rng() % quint32(n)); };
    int found = 0;
    for (quint32 seed = first; seed < first + 10000; ++seed) {
        rng.seed(seed);
        const bool job = pick(8) == 0;
        QString text = job ? QString() : u"robocopy "_qs;
        for (qsizetype i = pick(40); i > 0; --i) {
            const qsizetype roll = pick(10);
            if (roll < 3) {
                text += switches.at(pick(switches.size()));
                if (pick(2))
                    text += u':' + pieces.at(pick(pieces.size()));
            } else {
                text += pieces.at(pick(pieces.size()));
            }
        }
        const CommandReading reading = ReadCommandOrJob(text, job);
        if (!reading.found)
            continue;
        ++found;
        const QString composed = BuildCommandLine(reading.values);
        const CommandReading again = ReadCommand(composed);
        const QString recomposed = BuildCommandLine(again.values);
        QVERIFY2(again.found && again.leftOut.isEmpty() && recomposed == composed,
                 qPrintable(u"seed %1\n text: %2\n composed: %3\n again: %4\n left out: %5"_qs.arg(seed).arg(
                     text, composed, recomposed, lines(again.leftOut).join(u" | "))));
    }
    QVERIFY2(found > 5000, qPrintable(QString::number(found))); // most texts hold a command
}

void TestCommand::fileText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("isText");
    QTest::addColumn<QString>("text");
    const QString job = u"/SD:C:\\\u00e9 \u4e2d\r\n"_qs;
    auto encoded = [&](QStringConverter::Encoding e) { return QByteArray(QStringEncoder(e).encode(job)); };
    QTest::newRow("as Save As writes it") << QByteArray("ROBOCOPY.EXE a b\r\n") << true << u"ROBOCOPY.EXE a b\r\n"_qs;
    QTest::newRow("UTF-8 with a mark") << "\xEF\xBB\xBF" + encoded(QStringConverter::Utf8) << true << job;
    QTest::newRow("UTF-16 LE with a mark") << "\xFF\xFE" + encoded(QStringConverter::Utf16LE) << true << job;
    QTest::newRow("UTF-16 BE with a mark") << "\xFE\xFF" + encoded(QStringConverter::Utf16BE) << true << job;
    QTest::newRow("UTF-16 LE without a mark") << encoded(QStringConverter::Utf16LE) << true << job;
    QTest::newRow("end-of-file mark ends the text") << QByteArray("a\r\n\x1A\x01\x02", 6) << true << u"a\r\n"_qs;
    QTest::newRow("empty") << QByteArray() << true << QString();
    QTest::newRow("a program") << QByteArray("MZ\x90\x00\x03\x00", 6) << false << QString();
    QTest::newRow("control characters") << QByteArray("robocopy a b\x01\x02") << false << QString();
    QTest::newRow("UTF-16 cut in half") << QByteArray("\xFF\xFE" "a\x00" "b", 5) << false << QString();
    QTest::newRow("broken UTF-8 after a mark") << QByteArray("\xEF\xBB\xBF" "a\xFF") << false << QString();
}

void TestCommand::fileText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(bool, isText);
    QFETCH(QString, text);
    const std::optional<QString> read = CommandFileText(bytes, CommandFileKind::Text, SystemCodePages());
    QCOMPARE(read.has_value(), isText);
    if (isText)
        QCOMPARE(*read, text);
}

// ---------------------------------------------------------------- listing

void TestCommand::runEffects_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("effects"); // letters: p purges, m moves, j job, l lists only
    QTest::addColumn<bool>("mayRemove");
    QTest::newRow("copy only") << u"ROBOCOPY.EXE a b /E /COPYALL"_s << u""_s << false;
    QTest::newRow("mirror") << u"ROBOCOPY.EXE a b /MIR"_s << u"p"_s << true;
    QTest::newRow("purge, lower case") << u"robocopy a b /purge"_s << u"p"_s << true;
    QTest::newRow("move files") << u"ROBOCOPY.EXE a b /Mov"_s << u"m"_s << true;
    QTest::newRow("move files and folders") << u"ROBOCOPY.EXE a b /MOVE"_s << u"m"_s << true;
    QTest::newRow("job file") << u"ROBOCOPY.EXE /job:nightly"_s << u"j"_s << true;
    QTest::newRow("quoted switch is the switch") << u"ROBOCOPY.EXE a b \"/MIR\""_s << u"p"_s << true;
    QTest::newRow("every kind") << u"ROBOCOPY.EXE a b /PURGE /MOVE /JOB:x"_s << u"pmj"_s << true;
    // The run itself only lists, or stops after reading its switches.
    QTest::newRow("already a listing") << u"ROBOCOPY.EXE a b /MIR /l"_s << u"pl"_s << false;
    QTest::newRow("quit") << u"ROBOCOPY.EXE a b /MOV /SAVE:j /QUIT"_s << u"ml"_s << false;
    // Only whole switches count; the program's own name is no argument.
    QTest::newRow("longer names") << u"ROBOCOPY.EXE a b /MIRROR /MOVES /PURGED /JOB"_s << u""_s << false;
    QTest::newRow("folder names") << u"ROBOCOPY.EXE C:\\MIR \"D:\\PURGE it\" /XD MOV"_s << u""_s << false;
    QTest::newRow("program word") << u"/MIR a b"_s << u""_s << false;
    QTest::newRow("empty") << QString() << u""_s << false;
}

void TestCommand::runEffects()
{
    QFETCH(QString, command);
    QFETCH(QString, effects);
    QFETCH(bool, mayRemove);
    const RunEffects e = ReadRunEffects(command);
    QString letters;
    if (e.purges)
        letters += u'p';
    if (e.moves)
        letters += u'm';
    if (e.job)
        letters += u'j';
    if (e.listsOnly)
        letters += u'l';
    QCOMPARE(letters, effects);
    QCOMPARE(e.mayRemove(), mayRemove);
}

void TestCommand::listingArguments_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("arguments"); // "-" for no listing
    const QString added = ListingSwitches();
    QCOMPARE(added, u"/L /R:0 /W:0 /NP /FP"_s);
    QTest::newRow("mirror") << u"ROBOCOPY.EXE C:\\Src D:\\Dst /MIR"_s << u"C:\\Src D:\\Dst /MIR "_s + added;
    QTest::newRow("retries give way") << u"ROBOCOPY.EXE a b /R:5 /MIR /W:30"_s << u"a b /MIR "_s + added;
    QTest::newRow("retries in any case") << u"ROBOCOPY.EXE a b /r:5 /w:1 /r /w"_s << u"a b "_s + added;
    QTest::newRow("every log") << u"ROBOCOPY.EXE a b /LOG:x.log /LOG+:y.log /UNILOG:z.log /UNILOG+:w.log /TEE /MOV"_s
                               << u"a b /MOV "_s + added;
    QTest::newRow("log with a quoted path")
        << u"ROBOCOPY.EXE \"C:\\My Src\" b /LOG+:\"C:\\Logs\\copy log.txt\" /PURGE"_s
        << u"\"C:\\My Src\" b /PURGE "_s + added;
    QTest::newRow("log switches without a file") << u"ROBOCOPY.EXE a b /LOG /unilog+ /MIR"_s << u"a b /MIR "_s + added;
    QTest::newRow("job kept, save and quit go") << u"ROBOCOPY.EXE /JOB:nightly /SAVE:copy /QUIT"_s
                                                << u"/JOB:nightly "_s + added;
    QTest::newRow("output switches give way")
        << u"ROBOCOPY.EXE a b /MIR /NJS /NJH /NFL /NDL /NC /NS /NP /V /TS /ETA /UNICODE /FP /L /BYTES /X"_s
        << u"a b /MIR /BYTES /X "_s + added;
    QTest::newRow("registry defaults, watching, run hours")
        << u"ROBOCOPY.EXE a b /MIR /REG /MON:5 /MOT:10 /RH:2200-0600 /PF /TBD"_s << u"a b /MIR /TBD "_s + added;
    QTest::newRow("switches that only begin alike stay")
        << u"ROBOCOPY.EXE a b /MIR /LOGX /NPX /RH /W8 /LEV:2 /MT:8 /XD /log/old /var/r"_s
        << u"a b /MIR /LOGX /NPX /W8 /LEV:2 /MT:8 /XD /log/old /var/r "_s + added;
    QTest::newRow("paths as written, quotes and backslashes")
        << u"ROBOCOPY.EXE \"C:\\My Source\\\\\" \"D:\\R & D\" *.doc /XF \"~*.tmp\" /MIR"_s
        << u"\"C:\\My Source\\\\\" \"D:\\R & D\" *.doc /XF \"~*.tmp\" /MIR "_s + added;
    QTest::newRow("a left-out switch takes its blanks along")
        << u"ROBOCOPY.EXE a  /R:1\t b\t/NP /MIR  "_s << u"a\t b /MIR "_s + added;
    QTest::newRow("a name that starts with a no-break space")
        << u"ROBOCOPY.EXE \u00a0a b /MIR"_s << u"\u00a0a b /MIR "_s + added;
    QTest::newRow("only the program") << u"ROBOCOPY.EXE"_s << added;
    QTest::newRow("nothing at all") << QString() << u"-"_s;
    // The listing's switches would fall inside the open quotes: a "listing"
    // without /L would do the run itself.
    QTest::newRow("quotes never closed") << u"ROBOCOPY.EXE \"C:\\a b /MIR"_s << u"-"_s;
    QTest::newRow("escaped quote leaves them open") << u"ROBOCOPY.EXE \"C:\\a\\\" /MIR"_s << u"-"_s;
}

void TestCommand::listingArguments()
{
    QFETCH(QString, command);
    QFETCH(QString, arguments);
    const std::optional<QString> made = ListingArguments(command);
    QCOMPARE(made.value_or(u"-"_s), arguments);
    if (!made)
        return;
    // Robocopy receives the words it would have received, less those left
    // out, and then the listing's own.
    const QStringList words = SplitWords(*made);
    QCOMPARE(words.mid(words.size() - 5), ListingSwitches().split(u' '));
    QVERIFY(words.count(u"/L"_s) == 1);
}

// Whatever the window composes, the listing keeps every word that decides
// what is copied and deleted, and adds its own once.
void TestCommand::listingOfComposedCommands()
{
    for (quint32 seed = 1; seed <= 300; ++seed) {
        const OptionState state = RandomOptions(seed).next();
        MapReader options;
        options.checks = state.checks;
        options.texts = state.texts;
        const QString command = BuildCommandLine(options);
        const std::optional<QString> made = ListingArguments(command);
        QVERIFY2(made, qPrintable(command));
        QStringList expected = SplitWords(command).mid(1);
        expected.removeIf([](const QString &w) {
            static const QStringList gone{u"/LOG"_s, u"/LOG+"_s, u"/UNILOG"_s, u"/UNILOG+"_s, u"/TEE"_s, u"/SAVE"_s,
                                          u"/QUIT"_s, u"/R"_s, u"/W"_s, u"/REG"_s, u"/MON"_s, u"/MOT"_s, u"/RH"_s,
                                          u"/PF"_s, u"/NJS"_s, u"/NJH"_s, u"/NFL"_s, u"/NDL"_s, u"/NC"_s, u"/NS"_s,
                                          u"/NP"_s, u"/V"_s, u"/TS"_s, u"/ETA"_s, u"/UNICODE"_s, u"/FP"_s, u"/L"_s};
            const QString name = w.section(u':', 0, 0).toUpper();
            return w.startsWith(u'/') && gone.contains(name);
        });
        expected += ListingSwitches().split(u' ');
        QCOMPARE(SplitWords(*made), expected);
    }
}

QTEST_APPLESS_MAIN(TestCommand)
#include "test_command.moc"
