// A saved command does what Execute does: the command is run with Execute,
// saved with Save As through the real dialog, the file run by cmd.exe (on
// Windows, or under Wine), and the recording Robocopy must receive the very
// same arguments both times; then the file opens as the same command.

#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"
#include "run/basShell.h"

#include "FileDialogs.h"
#include "RecordingRobocopy.h"
#include "ScopedHook.h"
#include "WindowTest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

QString madeFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        qFatal("cannot make %s", qPrintable(path));
    return path;
}

#ifdef Q_OS_WIN
// Whether this system's cmd.exe sets the console's code page with chcp, and
// so reads the rest of a batch file in it: Windows does; Wine 8 has no chcp.
bool consoleKnowsChcp()
{
    QProcess chcp;
    chcp.start(u"cmd.exe"_s, {u"/c"_s, u"chcp"_s});
    return chcp.waitForFinished(30000) && chcp.exitStatus() == QProcess::NormalExit && chcp.exitCode() == 0
        && chcp.readAllStandardOutput().contains(':');
}
#endif

} // namespace

class TestSavedCommand : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void runsAsExecute_data();
    void runsAsExecute();

private:
    QTemporaryDir m_scratch;
    RecordingRobocopy m_robocopy{m_scratch.filePath(u"robocopy"_s)};
    std::optional<ScopedEnvironmentVariable> m_path;
    QList<ShownDialog> m_dialogs;
    // The console searches the current folder first: it is an empty one.
    const ScopedCurrentFolder m_current{madeFolder(m_scratch.filePath(u"empty"_s))};
#ifndef Q_OS_WIN
    const ScopedHook<QString> m_console{SetConsoleProgram, QStringLiteral(CORVANE_BINARY_DIR "/corvane-cmd")};
    // Where Qt's file dialog keeps its state: the scratch folder, not the user's.
    const ScopedSettingsPath m_qtSettings{m_scratch.filePath(u"qt-settings"_s)};
#endif
};

void TestSavedCommand::init()
{
    WindowTest::init();
    m_dialogs.clear();
    m_robocopy.clear();
    m_path.emplace("PATH", QDir::toNativeSeparators(m_robocopy.folder()));
}

void TestSavedCommand::cleanup()
{
    m_path.reset();
    WindowTest::cleanup();
}

void TestSavedCommand::runsAsExecute_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("typed"); // in the save dialog, with its first entry chosen
    QTest::addColumn<QString>("written");
    QTest::newRow("\u00dc, in the OEM code page") << u"C:\\\u00dcn\u00efc\u00f6d\u00e9 src\\"_s << u"D:\\\u00dc"_s
                                                  << u"job"_s << u"job.CMD"_s;
    QTest::newRow("\u03a9, beyond the ANSI code page") << u"C:\\a"_s << u"D:\\\u03a9mega"_s << u"job.bat"_s
                                                       << u"job.bat"_s;
    QTest::newRow("\u6570\u636e, beyond both") << u"C:\\\u6570\u636e\\"_s << u"D:\\\u5907\u4efd \u6570\u636e"_s
                                               << u"job"_s << u"job.CMD"_s;
    QTest::newRow("50%") << u"C:\\Sales 50% off\\"_s << u"D:\\50%\\20%"_s << u"job.cmd"_s << u"job.cmd"_s;
    QTest::newRow("a variable stays one") << u"%SystemRoot%\\src"_s << u"D:\\%USERNAME% 100%"_s << u"job"_s
                                          << u"job.CMD"_s;
    QTest::newRow("^") << u"C:\\a^b"_s << u"D:\\x ^ y^"_s << u"job"_s << u"job.CMD"_s;
    QTest::newRow("!") << u"C:\\Hello!"_s << u"D:\\x! y!"_s << u"job.BAT"_s << u"job.BAT"_s;
    QTest::newRow("&") << u"C:\\R & D"_s << u"D:\\A&B"_s << u"job"_s << u"job.CMD"_s;
    QTest::newRow("all at once") << u"C:\\\u00dc \u03a9 50% ^ ! &\\"_s << u"D:\\\u00dc\u03a950%^!&"_s << u"job"_s
                                 << u"job.CMD"_s;
    QTest::newRow("all at once, and \u6570\u636e") << u"C:\\\u00dc \u03a9 \u6570\u636e 50% ^ ! &\\"_s
                                                << u"D:\\\u00dc\u03a9\u6570\u636e50%^!&"_s << u"job"_s << u"job.CMD"_s;
}

void TestSavedCommand::runsAsExecute()
{
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, typed);
    QFETCH(QString, written);
#ifndef Q_OS_WIN
    if (!QFileInfo(ConsoleProgram()).isExecutable())
        QFAIL("corvane-cmd was not built beside the program");
#endif
    auto w = newWindow();
    QVERIFY(setTextOf(w->control("cboSource"), source));
    QVERIFY(setTextOf(w->control("cboDestination"), destination));
    QVERIFY(setCheckValueOf(w->control("chkMirror"), 1));
    const QString command = w->text("txtCommandLine");
    // The listing before a mirror has tests of its own: here Execute runs at once.
    w->menuItem("mnuOptionsPreview")->setChecked(false);

    trigger(*w, "mnuFileExecute");
    QCOMPARE(m_robocopy.runs().size(), 1);
    const QStringList executed = m_robocopy.runs().first().args;
    QVERIFY2(executed.contains(u"/MIR"_s), qPrintable(executed.join(u'|')));

    QTemporaryDir folder;
    SaveDialogAnswer answer(m_dialogs, folder.path(), typed, 1);
    trigger(*w, "mnuFileSaveAs");
    answer.collect();
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files), QStringList{written});
    const QString path = QDir::toNativeSeparators(folder.filePath(written));

    // It opens as the very command it holds.
    auto other = newWindow();
    other->OpenCommandFile(path);
    QCOMPARE(other->text("txtCommandLine"), command);
    QCOMPARE(shown().size(), 1); // the exit report alone

#ifdef Q_OS_WIN
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray chcp = "@chcp 65001 >nul\r\n";
    if (file.readAll().startsWith(chcp) && !consoleKnowsChcp())
        QSKIP("this cmd.exe has no chcp and reads batch files in the OEM code page alone (Wine 8)");
    // Run later, as an administrator would: cmd.exe runs the file by itself.
    const int result = RunAndWait(u"cmd.exe /c \""_s + path + u'"');
    QCOMPARE(result, 0);
    const QList<RecordedRun> runs = m_robocopy.runs();
    QCOMPARE(runs.size(), 2);
    QCOMPARE(runs.last().args, executed);
#endif
}

QTEST_MAIN(TestSavedCommand)
#include "test_saved_command.moc"
