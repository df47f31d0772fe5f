// The stand-in console: how it splits and looks up a command, what its
// screen shows, and its window running the recording Robocopy.
#include "console/ConsoleRules.h"
#include "console/ConsoleWindow.h"

#include "RecordingRobocopy.h"
#include "ScopedHook.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QGuiApplication>
#include <QHash>
#include <QKeyEvent>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

void makeExecutable(const QString &path, const QByteArray &content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    QVERIFY(f.setPermissions(f.permissions() | QFile::ExeOwner | QFile::ExeUser | QFile::ReadOwner));
}

} // namespace

class TestConsole : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void steps_data();
    void steps();
    void stepRuns();
    void isPause_data();
    void isPause();
    void findProgram_data();
    void findProgram();
    void programToRun_data();
    void programToRun();
    void screen_data();
    void screen();
    void usage_data();
    void usage();

    void consoleWindow_data();
    void consoleWindow();
    void pauseWaitsForKeysUp_data();
    void pauseWaitsForKeysUp();
    void endWaitsForKeysUp_data();
    void endWaitsForKeysUp();
    void takesKeyboard();

private:
    QTemporaryDir m_scratch;
    RecordingRobocopy m_robocopy{m_scratch.filePath(QStringLiteral("robocopy"))};
};

void TestConsole::init() { m_robocopy.clear(); }

// -------------------------------------------------------------- console rules

// How the console runs the commands of a line; how cmd.exe splits a line
// is the shared scanner's, tested with its table in the command tests.
void TestConsole::steps_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QStringList>("steps"); // the step, then "&", "&&", "||" or "|" before the next; "!" not run
    QTest::newRow("with pause") << "ROBOCOPY.EXE a b & PAUSE" << QStringList{"ROBOCOPY.EXE a b &", "PAUSE"};
    QTest::newRow("empty steps dropped, the last operator kept") << "a && & b &" << QStringList{"a &", "b"};
    QTest::newRow("caret makes & plain") << "x^&touch pwned" << QStringList{"x&touch pwned"};
    QTest::newRow("what follows a line break is not run") << "a & b\n& touch pwned" << QStringList{"a &", "b"};
    QTest::newRow("conditions") << "a && b || c" << QStringList{"a &&", "b ||", "c"};
    QTest::newRow("a pipe joins two steps, neither run") << "a | b & c" << QStringList{"a | !", "b & !", "c"};
    QTest::newRow("a redirected step is not run") << "a > x.txt & b 2>&1" << QStringList{"a & !", "b !"};
}

void TestConsole::steps()
{
    QFETCH(QString, command);
    QFETCH(QStringList, steps);
    static const char *const connectors[] = {"", " &", " &&", " ||", " |", " &"};
    QStringList seen;
    for (const console::Step &step : console::SplitSteps(command))
        seen << step.command + QLatin1StringView(connectors[int(step.after)])
                    + (step.piped || !step.redirections.isEmpty() ? QStringLiteral(" !") : QString());
    QCOMPARE(seen, steps);
}

void TestConsole::stepRuns()
{
    QVERIFY(console::StepRuns(CmdConnector::Then, 3));
    QVERIFY(console::StepRuns(CmdConnector::OnSuccess, 0));
    QVERIFY(!console::StepRuns(CmdConnector::OnSuccess, 1));
    QVERIFY(console::StepRuns(CmdConnector::OnFailure, 16));
    QVERIFY(!console::StepRuns(CmdConnector::OnFailure, 0));
}

void TestConsole::isPause_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("pause");
    QTest::newRow("upper") << "PAUSE" << true;
    QTest::newRow("lower") << "pause" << true;
    QTest::newRow("blanks around") << " Pause " << true;
    QTest::newRow("longer word") << "PAUSED" << false;
    QTest::newRow("with argument") << "PAUSE now" << false;
}

void TestConsole::isPause()
{
    QFETCH(QString, step);
    QFETCH(bool, pause);
    QCOMPARE(console::IsPause(step), pause);
}

void TestConsole::findProgram_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("found"); // relative to the scratch folder; empty: not found
    QTest::newRow("current folder first") << "first.exe" << "cur/first.exe";
    QTest::newRow("along the path in order") << "ROBOCOPY.EXE" << "p1/ROBOCOPY.EXE";
    QTest::newRow("later path folder") << "only2.exe" << "p2/only2.exe";
    QTest::newRow("ignoring case") << "LOWER.EXE" << "p1/lower.exe";
    QTest::newRow("exact name before other case") << "SAME.EXE" << "p1/SAME.EXE";
    QTest::newRow("earlier folder wins over exact case later") << "BOTH.EXE" << "p1/Both.exe";
    QTest::newRow("not executable is skipped") << "plain.txt" << "p2/plain.txt";
    QTest::newRow("a folder is no program") << "folder.exe" << "";
    QTest::newRow("with a folder part") << "sub\\tool.exe" << "cur/sub/tool.exe";
    QTest::newRow("with a folder part, other case") << "sub\\TOOL.EXE" << "cur/sub/tool.exe";
    QTest::newRow("missing") << "missing.exe" << "";
    QTest::newRow("empty name") << "" << "";
}

void TestConsole::findProgram()
{
#ifdef Q_OS_WIN
    QSKIP("corvane-cmd's look-up of POSIX programs; Windows runs cmd.exe");
#endif
    QFETCH(QString, name);
    QFETCH(QString, found);
    QTemporaryDir dir;
    const QDir root(dir.path());
    for (const char *folder : {"cur/sub", "p1/folder.exe", "p2"})
        QVERIFY(root.mkpath(QLatin1StringView(folder)));
    const char *programs[] = {"cur/first.exe", "p1/first.exe", "p1/ROBOCOPY.EXE", "p2/ROBOCOPY.EXE", "p2/only2.exe",
                              "p1/lower.exe", "p1/same.exe", "p1/SAME.EXE", "p1/Both.exe", "p2/BOTH.EXE",
                              "p2/plain.txt", "cur/sub/tool.exe"};
    for (const char *p : programs)
        makeExecutable(root.filePath(QLatin1StringView(p)), "#!/bin/sh\n");
    QFile plain(root.filePath(QStringLiteral("p1/plain.txt")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();

    const QString path = root.filePath(QStringLiteral("p1")) + u':' + root.filePath(QStringLiteral("p2"));
    const QString result = console::FindProgram(name, root.filePath(QStringLiteral("cur")), path);
    QCOMPARE(result, found.isEmpty() ? QString() : root.filePath(found));
}

// Robocopy where PATH has one, else the copy engine beside the program,
// and for no other name.
void TestConsole::programToRun_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("robocopyOnPath");
    QTest::addColumn<bool>("engineThere");
    QTest::addColumn<QString>("found"); // relative to the scratch folder; empty: nothing
    QTest::newRow("Robocopy on PATH wins") << "ROBOCOPY.EXE" << true << true << "path/ROBOCOPY.EXE";
    QTest::newRow("no Robocopy: the engine") << "ROBOCOPY.EXE" << false << true << "program/corvane-copy";
    QTest::newRow("any letter case") << "robocopy.exe" << false << true << "program/corvane-copy";
    QTest::newRow("without .exe") << "Robocopy" << false << true << "program/corvane-copy";
    QTest::newRow("no Robocopy, no engine") << "ROBOCOPY.EXE" << false << false << "";
    QTest::newRow("another program is not stood in for") << "XCOPY.EXE" << false << true << "";
    QTest::newRow("a longer name is another program") << "ROBOCOPY.EXE2" << false << true << "";
    QTest::newRow("a path to Robocopy is taken as it is") << "bin\\ROBOCOPY.EXE" << false << true << "";
}

void TestConsole::programToRun()
{
#ifdef Q_OS_WIN
    QSKIP("corvane-cmd's look-up of POSIX programs; Windows runs cmd.exe");
#endif
    QFETCH(QString, name);
    QFETCH(bool, robocopyOnPath);
    QFETCH(bool, engineThere);
    QFETCH(QString, found);
    QTemporaryDir dir;
    const QDir root(dir.path());
    for (const char *folder : {"cur", "path", "program"})
        QVERIFY(root.mkpath(QLatin1StringView(folder)));
    if (robocopyOnPath)
        makeExecutable(root.filePath(QStringLiteral("path/ROBOCOPY.EXE")), "#!/bin/sh\n");
    if (engineThere)
        makeExecutable(root.filePath(QStringLiteral("program/corvane-copy")), "#!/bin/sh\n");
    // A non-executable engine is no engine.
    QFile plain(root.filePath(QStringLiteral("cur/corvane-copy")));
    QVERIFY(plain.open(QIODevice::WriteOnly));
    plain.close();
    const QString result = console::ProgramToRun(name, root.filePath(QStringLiteral("cur")),
                                                 root.filePath(QStringLiteral("path")),
                                                 root.filePath(QStringLiteral("program")));
    QCOMPARE(result, found.isEmpty() ? QString() : root.filePath(found));
}

void TestConsole::screen_data()
{
    QTest::addColumn<QStringList>("writes");
    QTest::addColumn<QStringList>("finished");
    QTest::addColumn<QString>("current");
    QTest::newRow("plain text") << QStringList{"abc"} << QStringList{} << "abc";
    QTest::newRow("lines") << QStringList{"one\ntwo\nthr"} << QStringList{"one", "two"} << "thr";
    QTest::newRow("CR LF ends a line") << QStringList{"a\r\nb\r\n"} << QStringList{"a", "b"} << "";
    QTest::newRow("progress rewrites the line") << QStringList{"  10%\r  55%\r 100%\n"} << QStringList{" 100%"} << "";
    QTest::newRow("shorter text overwrites the start") << QStringList{"hello\rHE"} << QStringList{} << "HEllo";
    QTest::newRow("across writes") << QStringList{"12", "\r", "3"} << QStringList{} << "32";
    QTest::newRow("backspace") << QStringList{"ab\bc"} << QStringList{} << "ac";
    // A backspace at the start of a line has no column to go back to.
    QTest::newRow("backspace first") << QStringList{"\b\bab"} << QStringList{} << "ab";
    QTest::newRow("backspace after a line end") << QStringList{"x\n", "\bab"} << QStringList{"x"} << "ab";
    QTest::newRow("backspace after CR") << QStringList{"abc\r\bX"} << QStringList{} << "Xbc";
    QTest::newRow("empty lines") << QStringList{"\n\n"} << QStringList{"", ""} << "";
}

void TestConsole::screen()
{
    QFETCH(QStringList, writes);
    QFETCH(QStringList, finished);
    QFETCH(QString, current);
    console::Screen s;
    QStringList taken;
    for (const QString &w : writes) {
        s.write(w);
        taken += s.takeFinished();
    }
    QCOMPARE(taken, finished);
    QCOMPARE(s.current(), current);
    QVERIFY(s.takeFinished().isEmpty()); // what was taken is not given again
}

// Called by hand without the one argument it takes, the console says how to
// call it instead of ending silently; that needs no display.
void TestConsole::usage_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("none") << QStringList{};
    QTest::newRow("the command in words") << QStringList{"cmd.exe", "/c", "ROBOCOPY.EXE"};
}

void TestConsole::usage()
{
#ifdef Q_OS_WIN
    QSKIP("corvane-cmd stands in for cmd.exe off Windows only");
#else
    QFETCH(QStringList, arguments);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QLatin1StringView(name));
    QProcess console;
    console.setProcessEnvironment(environment);
    console.start(QStringLiteral(CORVANE_BINARY_DIR "/corvane-cmd"), arguments);
    QVERIFY(console.waitForFinished(30000));
    QCOMPARE(console.exitStatus(), QProcess::NormalExit);
    QCOMPARE(console.exitCode(), console::UsageStatus);
    const QString usage = QString::fromLocal8Bit(console.readAllStandardError());
    QVERIFY2(usage.startsWith(u"Usage: corvane-cmd \"cmd.exe /c COMMAND\"\n"), qPrintable(usage));
    QCOMPARE(usage, console::UsageText());
    QCOMPARE(console.readAllStandardOutput(), QByteArray());
#endif
}

// The console window itself: a key ends PAUSE, and closing it ends the
// command (a running step with it).
void TestConsole::consoleWindow_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<bool>("atPause");  // act once PAUSE waits, else once Robocopy runs
    QTest::addColumn<bool>("close");    // close the window, else press a key
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("codesRun");
    const QString paused = QStringLiteral("cmd.exe /c ROBOCOPY.EXE /TESTCODE:3 & PAUSE & ROBOCOPY.EXE /TESTCODE:5");
    QTest::newRow("a key ends PAUSE") << paused << true << false << 5 << QStringList{"/TESTCODE:3", "/TESTCODE:5"};
    QTest::newRow("closed at PAUSE") << paused << true << true << 3 << QStringList{"/TESTCODE:3"};
    QTest::newRow("&& and || follow the status")
        << QStringLiteral("cmd.exe /c ROBOCOPY.EXE /TESTCODE:3 && ROBOCOPY.EXE /TESTCODE:4 || ROBOCOPY.EXE /TESTCODE:0 "
                          "&& ROBOCOPY.EXE /TESTCODE:5 & PAUSE")
        << true << false << 5 << QStringList{"/TESTCODE:3", "/TESTCODE:0", "/TESTCODE:5"};
    QTest::newRow("a redirected step is not run")
        << QStringLiteral("cmd.exe /c ROBOCOPY.EXE /TESTCODE:2 > out.txt & ROBOCOPY.EXE /TESTCODE:4 & PAUSE") << true
        << false << 4 << QStringList{"/TESTCODE:4"};
    QTest::newRow("closed while a step runs")
        << QStringLiteral("cmd.exe /c ROBOCOPY.EXE /TESTCODE:1 /TESTWAIT:5 & ROBOCOPY.EXE /TESTCODE:2") << false << true
        << int(console::AbnormalEndStatus) << QStringList{"/TESTCODE:1"};
}

void TestConsole::consoleWindow()
{
#ifdef Q_OS_WIN
    QSKIP("Robocopy is stood in for by a shell script");
#else
    QFETCH(QString, command);
    QFETCH(bool, atPause);
    QFETCH(bool, close);
    QFETCH(int, status);
    QFETCH(QStringList, codesRun);
    // Robocopy is found along PATH; the current folder, searched first, is empty.
    const ScopedEnvironmentVariable path("PATH", m_robocopy.folder());
    QVERIFY(QDir().mkpath(m_scratch.filePath(QStringLiteral("empty"))));
    const ScopedCurrentFolder current(m_scratch.filePath(QStringLiteral("empty")));
    console::ConsoleWindow window(command);
    QSignalSpy finished(&window, &console::ConsoleWindow::finished);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.start();
    const QString prompt = QStringLiteral("Press any key to continue . . . ");
    if (atPause)
        QTRY_VERIFY_WITH_TIMEOUT(window.toPlainText().endsWith(prompt), 10000);
    else
        QTRY_VERIFY_WITH_TIMEOUT(!m_robocopy.runs().isEmpty(), 10000);

    if (close) {
        window.close();
    } else {
        QTest::keyClick(&window, Qt::Key_Shift); // a modifier alone is no key press
        QTest::qWait(200);
        QVERIFY(finished.isEmpty());
        QTest::keyClick(&window, Qt::Key_Space);
    }
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
    QCOMPARE(finished.first().first().toInt(), status);
    QVERIFY(!window.isVisible());
    QStringList args;
    for (const RecordedRun &r : m_robocopy.runs())
        args += r.args.filter(QStringLiteral("/TESTCODE"));
    QCOMPARE(args, codesRun);
    // A step the console cannot redirect is said so, and left undone.
    for (const console::Step &step : console::SplitSteps(StripInterpreter(command))) {
        if (step.redirections.isEmpty())
            continue;
        QVERIFY2(window.toPlainText().contains(console::RedirectionLine(step)), qPrintable(window.toPlainText()));
        QVERIFY(QDir::current().entryList(QDir::Files).isEmpty());
    }
    // A step that was running was ended with the window.
    if (!atPause)
        QVERIFY(!m_robocopy.runs().first().ended);
#endif
}

// PAUSE goes on once the keys pressed during it are up again, so that no
// key is still down when the window goes: a held key would repeat into the
// window below it, Corvane's, where it could click Execute again.
void TestConsole::pauseWaitsForKeysUp_data()
{
    // "+K" K goes down, "-K" K comes up, "+*K" "-*K" the same repeated while
    // K is held, "out" the window loses the keyboard.
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<bool>("goesOn");
    QTest::newRow("a key pressed and released") << QStringList{"+Space", "-Space"} << true;
    QTest::newRow("a key held") << QStringList{"+Space"} << false;
    QTest::newRow("a key held, repeating") << QStringList{"+Space", "-*Space", "+*Space", "-*Space", "+*Space"}
                                           << false;
    // X11 may hand out a repeat as a plain release and press.
    QTest::newRow("a key held, repeating unmarked") << QStringList{"+Space", "-Space", "+Space", "-Space", "+Space"}
                                                    << false;
    QTest::newRow("a key held, repeating, released")
        << QStringList{"+Space", "-*Space", "+*Space", "-Space"} << true;
    QTest::newRow("released, pressed before the pause") << QStringList{"-Space"} << false;
    QTest::newRow("two keys, one up") << QStringList{"+A", "+B", "-A"} << false;
    QTest::newRow("two keys, both up") << QStringList{"+A", "+B", "-A", "-B"} << true;
    QTest::newRow("a modifier alone") << QStringList{"+Shift", "-Shift"} << false;
    QTest::newRow("a key with a modifier held") << QStringList{"+Shift", "+A", "-A"} << true;
    QTest::newRow("a key held, the keyboard lost, another key")
        << QStringList{"+Space", "out", "+A", "-A"} << true;
}

void TestConsole::pauseWaitsForKeysUp()
{
#ifdef Q_OS_WIN
    QSKIP("Robocopy is stood in for by a shell script");
#else
    QFETCH(QStringList, events);
    QFETCH(bool, goesOn);
    const ScopedEnvironmentVariable path("PATH", m_robocopy.folder());
    console::ConsoleWindow window(QStringLiteral("cmd.exe /c PAUSE & ROBOCOPY.EXE /TESTCODE:5"));
    QSignalSpy finished(&window, &console::ConsoleWindow::finished);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.start();
    QTRY_VERIFY_WITH_TIMEOUT(window.toPlainText().endsWith(u"Press any key to continue . . . "), 10000);

    const QHash<QString, Qt::Key> keys{
        {"Space", Qt::Key_Space}, {"A", Qt::Key_A}, {"B", Qt::Key_B}, {"Shift", Qt::Key_Shift}};
    for (const QString &event : events) {
        if (event == u"out") {
            QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
            QCoreApplication::sendEvent(&window, &out);
            continue;
        }
        const bool press = event.startsWith(u'+');
        const bool repeated = event.at(1) == u'*';
        const Qt::Key key = keys.value(event.mid(repeated ? 2 : 1));
        QVERIFY2(key != 0, qPrintable(event));
        QKeyEvent e(press ? QEvent::KeyPress : QEvent::KeyRelease, key, Qt::NoModifier,
                    key == Qt::Key_Space ? QStringLiteral(" ") : QString(), repeated);
        QCoreApplication::sendEvent(&window, &e);
    }
    if (goesOn) {
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        QCOMPARE(finished.first().first().toInt(), 5);
        QCOMPARE(m_robocopy.runs().size(), 1);
    } else {
        QTest::qWait(200);
        QVERIFY(finished.isEmpty());
        QVERIFY(window.toPlainText().endsWith(u"Press any key to continue . . . "));
        window.close();
        QCOMPARE(finished.size(), 1);
        QVERIFY(m_robocopy.runs().isEmpty());
    }
#endif
}

// Nor does the window go at the end of the command while a key pressed in
// it is still down.
void TestConsole::endWaitsForKeysUp_data()
{
    QTest::addColumn<QString>("key"); // none; held, then released; held, then the keyboard lost
    QTest::newRow("no key") << "none";
    QTest::newRow("a key held, released") << "released";
    QTest::newRow("a key held, the keyboard lost") << "lost";
}

void TestConsole::endWaitsForKeysUp()
{
    QFETCH(QString, key);
    console::ConsoleWindow window(QStringLiteral("cmd.exe /c NOSUCHPROGRAM.EXE"));
    QSignalSpy finished(&window, &console::ConsoleWindow::finished);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    if (key != u"none")
        QTest::keyPress(&window, Qt::Key_Space);
    window.start();
    // The one step fails at once; the command has ended when its lines show.
    QTRY_VERIFY_WITH_TIMEOUT(window.toPlainText().contains(u"operable program or batch file."), 10000);
    if (key == u"none") {
        QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
    } else {
        QTest::qWait(100);
        QVERIFY(finished.isEmpty());
        QVERIFY(window.isVisible());
        if (key == u"released") {
            QTest::keyRelease(&window, Qt::Key_Space);
            QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 10000);
        } else {
            QFocusEvent out(QEvent::FocusOut, Qt::ActiveWindowFocusReason);
            QCoreApplication::sendEvent(&window, &out);
            QCOMPARE(finished.size(), 1);
        }
    }
    QCOMPARE(finished.first().first().toInt(), console::NotFoundStatus);
    QVERIFY(!window.isVisible());
}

// The window takes the keyboard from the window that has it, as a new
// console does on Windows: on a display without a window manager nothing
// else would give it. Run on a virtual X display (test_console_x11); the
// headless platform gives every new window the keyboard by itself.
void TestConsole::takesKeyboard()
{
    if (QGuiApplication::platformName() != u"xcb")
        QSKIP("needs an X display: test_console_x11 runs it");
    QWidget corvane;
    corvane.setWindowTitle(QStringLiteral("the window that has the keyboard"));
    corvane.resize(300, 200);
    corvane.show();
    corvane.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&corvane));

    const ScopedEnvironmentVariable path("PATH", m_robocopy.folder());
    console::ConsoleWindow window(QStringLiteral("cmd.exe /c PAUSE"));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.start();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    window.close();
}

QTEST_MAIN(TestConsole)
#include "test_console.moc"
