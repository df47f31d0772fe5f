#pragma once

// Batch and job files as administrators write them, with the command the
// window composes after opening each, what it leaves out (one line each, as
// the message shows them) and why it refuses a file. The reader's tests and
// the window's tests run through the same rows.
#include <QString>
#include <QStringList>
#include <QTest>

inline void addBatchFileRows()
{
    using namespace Qt::Literals::StringLiterals;
    QTest::addColumn<QString>("name");     // the file's name: .rcj for a job
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("command");  // empty: no command is taken
    QTest::addColumn<QStringList>("leftOut");
    QTest::addColumn<QString>("refusal");

    auto row = [](const char *title, const char *name, const QString &text, const QString &command,
                  const QStringList &leftOut = {}, const QString &refusal = {}) {
        QTest::newRow(title) << QString::fromLatin1(name) << text << command << leftOut << refusal;
    };

    // Quotes around variables stay: the value may hold a blank.
    row("variables in quotes", "deploy.cmd",
        uR"(@echo off
set TARGET=D:\Web Root
robocopy "%~dp0payload" "%TARGET%" /E /LOG:"%TEMP%\deploy.log"
)"_s,
        uR"(ROBOCOPY.EXE "%~dp0payload" "%TARGET%" /E /LOG:"%TEMP%\deploy.log")"_s);
    row("variables without quotes are quoted", "sync.bat", uR"(robocopy %SRC% %DEST%\%DATE:~-4% /MIR /R:%RETRIES%)"_s,
        uR"(ROBOCOPY.EXE "%SRC%" "%DEST%\%DATE:~-4%" /MIR /R:%RETRIES%)"_s);
    row("delayed variables and a job file", "night.cmd",
        uR"(setlocal EnableDelayedExpansion
robocopy !SRC! "!DST!\backup" /E /JOB:"%~dp0nightly.rcj" /SAVE:%~n0 /SD:%SRC% /DD:!DST!)"_s,
        uR"(ROBOCOPY.EXE "!SRC!" "!DST!\backup" /E /JOB:"%~dp0nightly.rcj" /SAVE:"%~n0" /SD:"%SRC%" /DD:"!DST!")"_s);

    // The command behind the usual prefixes.
    row("call", "docs.cmd", u"call robocopy build docs /mir\r\n"_s, u"ROBOCOPY.EXE build docs /MIR"_s);
    row("start /wait", "mirror.cmd", uR"(start /wait robocopy \\srv\share D:\mirror /MIR /MT:16)"_s,
        uR"(ROBOCOPY.EXE \\srv\share D:\mirror /MIR /MT:16)"_s);
    row("start with a title, cmd /c in quotes", "backup.cmd",
        uR"(start "Backup" /min /wait cmd /c "robocopy "C:\My Docs" E:\Backup /E /XA:H")"_s,
        uR"(ROBOCOPY.EXE "C:\My Docs" E:\Backup /E /XA:H)"_s);
    // A sync script's step with a time-out: the title after /B, the whole
    // command quoted for cmd /c, its log and "exit" inside.
    row("start /B \"\" cmd /c \"robocopy ... > log 2>&1 & exit\"", "sync.cmd",
        uR"(start /B "" cmd /c "robocopy "%SYNC_SRC%" "%SYNC_DST%" /MIR /LEV:10 /R:1 /W:2 /XJ /XJD /NFL /NDL /NJH /NJS /MT:2 /UNICODE > "%TEMP_LOG%" 2>&1 & exit")"_s,
        uR"(ROBOCOPY.EXE "%SYNC_SRC%" "%SYNC_DST%" /LEV:10 /MIR /XJ /XJD /R:1 /W:2 /NDL /NFL /NJH /NJS /MT:2)"_s,
        {u"/UNICODE (switch): it has no option in Corvane"_s,
         uR"(> "%TEMP_LOG%" (redirection): Corvane runs Robocopy without redirections)"_s,
         u"2>&1 (redirection): Corvane runs Robocopy without redirections"_s,
         u"exit (command): Corvane runs the Robocopy command alone"_s});
    row("start \"\" /wait cmd /c with the command in quotes", "bot.cmd",
        u"START \"\" /wait cmd /c \"mvn clean package -U\"\r\nSTART \"\" /wait cmd /c \"robocopy /e Template Bot\"\r\n"_s,
        u"ROBOCOPY.EXE Template Bot /E"_s);
    row("start with an empty title, cmd /k", "watch.cmd",
        uR"(start "" /D C:\Tools cmd /k robocopy C:\in D:\out /MON:5)"_s,
        uR"(ROBOCOPY.EXE C:\in D:\out /MON:5)"_s);
    row("if exist", "install.cmd",
        uR"(if exist "%~dp0Bin" robocopy "%~dp0Bin" "%ProgramFiles%\Tool\Bin" /E)"_s,
        uR"(ROBOCOPY.EXE "%~dp0Bin" "%ProgramFiles%\Tool\Bin" /E)"_s);
    row("if a==b", "seed.bat", uR"(IF %FIRSTTIME%==YES Robocopy C:\Seed D:\Data /E /COPYALL)"_s,
        uR"(ROBOCOPY.EXE C:\Seed D:\Data /E /COPYALL)"_s);
    row("if /i not a == b, errorlevel", "check.cmd",
        uR"(if /i not "%MODE%" == "dry" if not errorlevel 1 robocopy C:\a D:\b /L)"_s,
        uR"(ROBOCOPY.EXE C:\a D:\b /L)"_s);
    row("parentheses", "block.cmd", uR"((robocopy C:\a D:\b /MIR) >> "%~dp0sync.log")"_s,
        uR"(ROBOCOPY.EXE C:\a D:\b /MIR)"_s,
        {uR"(>> "%~dp0sync.log" (redirection): Corvane runs Robocopy without redirections)"_s});
    row("if and else in one line", "archive.cmd",
        uR"(if exist D:\Archive\ (echo Already there) else (robocopy C:\Data D:\Archive /E /XO))"_s,
        uR"(ROBOCOPY.EXE C:\Data D:\Archive /E /XO)"_s);
    row("a block over several lines", "block2.cmd",
        uR"(if "%1"=="" (
    echo Copying...
    robocopy C:\Data D:\Data /MIR /NP
) else (
    echo Skipped
))"_s,
        uR"(ROBOCOPY.EXE C:\Data D:\Data /MIR /NP)"_s);
    row("a for loop is refused", "loop.cmd", uR"(for %%d in (Docs Pics) do robocopy "C:\%%d" "E:\%%d" /E)"_s, {}, {},
        u"runs Robocopy in a for loop, whose variable Corvane cannot know"_s);
    row("a loop's variable over several lines", "users.cmd",
        uR"(for /d %%u in (C:\Users\*) do (
  robocopy "%%u\Desktop" "\\nas\home\%%~nxu" /E
))"_s,
        {}, {}, u"runs Robocopy in a for loop, whose variable Corvane cannot know"_s);
    row("the command after the loop's block", "after.cmd",
        uR"(for %%f in (*.log) do (
    echo %%f
)
robocopy C:\Logs \\nas\logs *.log /MOV)"_s,
        uR"(ROBOCOPY.EXE C:\Logs \\nas\logs *.log /MOV)"_s);
    row("PowerShell's call operator", "copy.ps1.txt", u"& robocopy @args\r\n"_s, {}, {},
        u"runs Robocopy from PowerShell; Corvane reads the commands of cmd.exe"_s);
    row("PowerShell's assignment", "copy2.txt", uR"($rc = robocopy C:\a D:\b /MIR)"_s, {}, {},
        u"runs Robocopy from PowerShell; Corvane reads the commands of cmd.exe"_s);

    // Folders wherever they stand.
    row("folders after the switches", "ntds.cmd", uR"(robocopy /B F:\Windows\NTDS .\ntds ntds.dit)"_s,
        uR"(ROBOCOPY.EXE F:\Windows\NTDS .\ntds ntds.dit /B)"_s);
    row("Microsoft's order", "migrate.cmd", uR"(robocopy /MT:32 /B /MIR \\old\share \\new\share)"_s,
        uR"(ROBOCOPY.EXE \\old\share \\new\share /B /MIR /MT:32)"_s);
    row("names between switches", "docs2.cmd", uR"(robocopy /XF *.tmp *.bak /E C:\src D:\dst *.docx /R:1 *.xlsx)"_s,
        uR"(ROBOCOPY.EXE C:\src D:\dst *.docx *.xlsx /E /XF *.tmp *.bak /R:1)"_s);
    // Include names stay names, in either form, whatever stands after them.
    row("a data loader's logs by /IF", "loader.bat", uR"(robocopy %LOG_DIR% %LOG_DIR%\old\%DTTM% /IF *.*)"_s,
        uR"(ROBOCOPY.EXE "%LOG_DIR%" "%LOG_DIR%\old\%DTTM%" /IF:*.*)"_s);
    row("/IF names before the folders", "if.cmd", uR"(robocopy /IF:*.c *.h /S C:\src D:\dst /IF *.md)"_s,
        uR"(ROBOCOPY.EXE C:\src D:\dst /S /IF:*.c *.h *.md)"_s);

    // What is left out says what it is.
    row("a comment and an unknown switch", "nightly.cmd", uR"(robocopy C:\Data E:\Data /MIR /NOFANCY :: re-sync)"_s,
        uR"(ROBOCOPY.EXE C:\Data E:\Data /MIR)"_s,
        {u"/NOFANCY (switch): Robocopy has no such switch"_s,
         u":: re-sync (comment): Robocopy would take these words as file names"_s});
    row("/TEE without a log file", "tee.cmd", uR"(robocopy C:\a D:\b /TEE /NP)"_s, uR"(ROBOCOPY.EXE C:\a D:\b /NP)"_s,
        {u"/TEE (switch): Corvane writes it only with a log file"_s});
    row("switches in forms Robocopy refuses", "forms.cmd",
        uR"(robocopy C:\a D:\b /E /IM /R:3 /W /COPY:DATQ /PURGE:x /RH:2200)"_s, uR"(ROBOCOPY.EXE C:\a D:\b /E /R:3)"_s,
        {u"/IM (switch): it has no option in Corvane"_s, u"/W (switch): it needs a value after a colon"_s,
         u"/COPY:DATQ (switch): Robocopy knows no letter Q here; the other letters were taken"_s,
         u"/PURGE:x (switch): it takes no value after a colon"_s,
         u"/RH:2200 (switch): it needs a start and an end time (hhmm-hhmm)"_s});
    row("redirections", "logged.cmd", uR"(robocopy C:\a D:\b /MIR > "%TEMP%\copy.txt" 2>&1 || exit /b 1)"_s,
        uR"(ROBOCOPY.EXE C:\a D:\b /MIR)"_s,
        {uR"(> "%TEMP%\copy.txt" (redirection): Corvane runs Robocopy without redirections)"_s,
         u"2>&1 (redirection): Corvane runs Robocopy without redirections"_s});

    row("letters Robocopy knows that no box stands for", "ea.cmd",
        uR"(robocopy C:\a D:\b /E /DCOPY:DATE /COPY:DATX /dcopy:dax)"_s, uR"(ROBOCOPY.EXE C:\a D:\b /E)"_s,
        {u"/DCOPY:DATE (switch): Robocopy knows E (extended attributes) here, but Corvane has no option for it;"
         " the other letters were taken"_s,
         u"/COPY:DATX (switch): Robocopy knows X (skip alternate data streams) here, but Corvane has no option for it;"
         " the other letters were taken"_s,
         u"/dcopy:dax (switch): Robocopy knows x (skip alternate data streams) here, but Corvane has no option for it;"
         " the other letters were taken"_s});

    // A backslash before a closing quote escapes it: the folder holds a
    // quote, and its place stays empty; what follows takes no folder's place.
    const QString cause = uR"(. The likely cause: a \ before the closing quote makes the quote part of the folder; end the folder without \, or double it (\\))"_s;
    row("a quote in the source", "root.cmd", uR"(robocopy "D:\" "E:\x" /E)"_s, u"ROBOCOPY.EXE"_s,
        {uR"("D:\" "E:\x" /E (word): a Windows command line cannot hold a folder with a double quotation mark ("); the source is left empty)"_s + cause});
    row("a quote in the destination", "root2.cmd", uR"(robocopy C:\Data "E:\Backup\" /MIR)"_s,
        uR"(ROBOCOPY.EXE C:\Data)"_s,
        {uR"("E:\Backup\" /MIR (word): a Windows command line cannot hold a folder with a double quotation mark ("); the destination is left empty)"_s + cause});
    // A publish script: "%devDir%\" runs on to the next quote, and the rest
    // of the line is one more word, which is no source.
    row("a publish script's folder ending in \\\"", "Publish.bat",
        uR"(if not "%pubDir%"=="" (
 robocopy "%devDir%\" "%pubDir%" /E /PURGE /R:1 /W:10 /NJH /COPY:D /DCOPY:D /XJ /XF .gitignore .npmignore Commit.bat desktop.ini "New commits.txt" Publish.bat Publish.default.bat /XD .git node_modules
))"_s,
        u"ROBOCOPY.EXE"_s,
        {uR"("%devDir%\" "%pubDir%" /E /PURGE /R:1 /W:10 /NJH /COPY:D /DCOPY:D /XJ /XF .gitignore .npmignore Commit.bat desktop.ini "New (word): a Windows command line cannot hold a folder with a double quotation mark ("); the source is left empty)"_s + cause,
         uR"(commits.txt" Publish.bat Publish.default.bat /XD .git node_modules (word): Corvane writes a destination only after a source)"_s});

    // Carets: the fields written unchanged keep them, the quoted ones take the value.
    row("a caret in an exclude list", "tom.cmd", uR"(robocopy C:\a D:\b /XF Tom^&Jerry.txt)"_s,
        uR"(ROBOCOPY.EXE C:\a D:\b /XF Tom^&Jerry.txt)"_s);
    row("carets in folders, lists and values", "rnd.cmd",
        uR"(robocopy C:\R^&D D:\R^&D *.doc^| /E /XD Q^&A "old & new" /MAX:5^>1)"_s,
        uR"(ROBOCOPY.EXE "C:\R&D" "D:\R&D" *.doc^| /E /XD Q^&A "old & new" /MAX:5^>1)"_s);
    row("continued lines", "long.cmd",
        u"robocopy C:\\src D:\\dst ^\r\n  /E ^\r\n  /XD .git ^\r\n      obj ^\r\n  /LOG+:C:\\logs\\a.log\r\n"_s,
        uR"(ROBOCOPY.EXE C:\src D:\dst /E /XD .git       obj /LOG+:C:\logs\a.log)"_s);

    // Job files: several switches on a line are split as a command is.
    row("job lines with several switches", "night.rcj",
        u":: Robocopy Job\r\n\t/SD:C:\\My Data\\\t:: Source Directory.\r\n\t/DD:D:\\Backup\\\r\n"
        "\t/R:3 /W:5\r\n\t/IF:*.txt /XF *.o\r\n\t\t*.obj\r\n\t\tTom&Jerry.txt\r\n\t/E /COPY:DAT\r\n"_s,
        uR"(ROBOCOPY.EXE "C:\My Data\\" D:\Backup\ /E /XF *.o *.obj "Tom&Jerry.txt" /R:3 /W:5 /IF:*.txt)"_s);
}
