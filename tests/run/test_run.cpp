// Running the command and its exit report, clipboard and file export, the
// manual and the About window.

#include "command/CmdScanner.h"
#include "command/CommandWords.h"
#include "console/ConsoleRules.h"
#include "main_window/Catalogue.h"
#include "main_window/Controls.h"
#include "main_window/RecentFolders.h"
#include "main_window/frmCorvane.h"
#include "run/ExecuteChecks.h"
#include "run/ExitReport.h"
#include "run/VersionInfo.h"
#include "run/basCommonDialog.h"
#include "run/basShell.h"
#include "run/frmHelp.h"
#include "tools/basTools.h"

#include "BatchFiles.h"
#include "FileDialogs.h"
#include "RandomOptions.h"
#include "RecordingRobocopy.h"
#include "ScopedHook.h"
#include "WindowTest.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <memory>
#include <vector>

#ifdef Q_OS_LINUX
#include <csignal>
#include <unistd.h>
#endif
#ifdef Q_OS_WIN
#include "run/basShell_win.h"

#include <windows.h>

#include <shellapi.h>
#endif

namespace {

const QString kCopied = QStringLiteral("One or more files copied successfully.\r\n");
const QString kExtra = QStringLiteral("Some Extra files or directories were detected.\r\n");
const QString kMismatched = QStringLiteral("Some Mismatched files or directories were detected.\r\n");
const QString kNotCopied = QStringLiteral("Some files or directories could not be copied.\r\n");
const QString kSerious = QStringLiteral("Serious error. Robocopy did not copy any files.\r\n");
const QString kNoErrors = QStringLiteral("Completed with no errors");
const QString kConflict = QStringLiteral("Multithreading cannot be used with EFS Raw or Delay Per 64 K options.");

// Qt's file dialog stores its state in the user's settings when it closes.
// Off Windows the test moves that store into its scratch folder; on Windows it
// is the registry, which a test may touch only where the whole registry is a
// scratch one (the Wine prefix of the Windows stage says so).
#ifdef Q_OS_WIN
#define SKIP_REAL_FILE_DIALOG() \
    do { \
        if (!qEnvironmentVariableIsSet("CORVANE_SCRATCH_REGISTRY")) \
            QSKIP("Qt's file dialog would store its state in the user's registry"); \
    } while (0)
#else
#define SKIP_REAL_FILE_DIALOG() \
    do { \
    } while (0)
#endif

// The exit code of a console that found no program of the name given.
#ifdef Q_OS_WIN
constexpr int kNotFound = 9009; // cmd.exe
#else
constexpr int kNotFound = 127; // corvane-cmd, as a POSIX shell
#endif

QString madeFolder(const QString &path)
{
    if (!QDir().mkpath(path))
        qFatal("cannot make %s", qPrintable(path));
    return path;
}

#ifdef Q_OS_WIN
bool underWine() { return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr; }

// For the test's length the shell's handlers of .doc and .txt files and of
// web addresses are a recording program. Only under Wine, whose prefix is a
// scratch one (and whose shell reads HKEY_CLASSES_ROOT alone): elsewhere
// these are the user's own associations.
class RecordingShellHandlers
{
public:
    explicit RecordingShellHandlers(const QString &recorder)
    {
        const std::wstring command = L"\"" + QDir::toNativeSeparators(recorder).toStdWString() + L"\" \"%1\"";
        wchar_t previous[1024] = {};
        DWORD size = sizeof previous;
        if (RegGetValueW(HKEY_CLASSES_ROOT, kWebCommand, nullptr, RRF_RT_REG_SZ, nullptr, previous, &size) == ERROR_SUCCESS)
            m_webCommand = previous;
        set(L".doc", L"CorvaneTest.Document");
        set(L".txt", L"CorvaneTest.Document");
        set(L"CorvaneTest.Document\\shell\\open\\command", command);
        set(kWebCommand, command);
    }
    ~RecordingShellHandlers()
    {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L".doc");
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L".txt");
        RegDeleteTreeW(HKEY_CLASSES_ROOT, L"CorvaneTest.Document");
        if (m_webCommand.empty())
            RegDeleteTreeW(HKEY_CLASSES_ROOT, L"https");
        else
            set(kWebCommand, m_webCommand);
    }
    RecordingShellHandlers(const RecordingShellHandlers &) = delete;
    RecordingShellHandlers &operator=(const RecordingShellHandlers &) = delete;

private:
    static constexpr const wchar_t *kWebCommand = L"https\\shell\\open\\command";
    static void set(const wchar_t *key, const std::wstring &value)
    {
        QCOMPARE(RegSetKeyValueW(HKEY_CLASSES_ROOT, key, nullptr, REG_SZ, value.c_str(),
                                 DWORD((value.size() + 1) * sizeof(wchar_t))),
                 LSTATUS(ERROR_SUCCESS));
    }
    std::wstring m_webCommand;
};
#endif

#ifdef Q_OS_WIN
// A text of an executable's version resource, in its first language.
QString versionString(const std::wstring &path, const wchar_t *field)
{
    DWORD ignored = 0;
    std::vector<char> data(GetFileVersionInfoSizeW(path.c_str(), &ignored));
    if (data.empty() || !GetFileVersionInfoW(path.c_str(), 0, DWORD(data.size()), data.data()))
        return QString();
    struct Translation { WORD language; WORD codePage; } *translation = nullptr;
    UINT length = 0;
    if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<LPVOID *>(&translation), &length)
        || length < sizeof(Translation))
        return QString();
    const std::wstring key = QStringLiteral("\\StringFileInfo\\%1%2\\")
                                 .arg(translation->language, 4, 16, QChar(u'0'))
                                 .arg(translation->codePage, 4, 16, QChar(u'0'))
                                 .toStdWString() + field;
    LPVOID value = nullptr;
    if (!VerQueryValueW(data.data(), key.c_str(), &value, &length) || !value)
        return QString();
    return QString::fromWCharArray(static_cast<const wchar_t *>(value));
}

// The sizes of the first icon of an executable, as its resources hold them.
QList<int> iconSizes(const std::wstring &path)
{
    QList<int> sizes;
    const HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module)
        return sizes;
    HRSRC found = nullptr;
    EnumResourceNamesW(module, RT_GROUP_ICON, [](HMODULE m, LPCWSTR type, LPWSTR name, LONG_PTR context) -> BOOL {
        *reinterpret_cast<HRSRC *>(context) = FindResourceW(m, name, type);
        return FALSE; // the first one
    }, reinterpret_cast<LONG_PTR>(&found));
    if (HGLOBAL loaded = found ? LoadResource(module, found) : nullptr) {
        // A directory: reserved, type, count, then 14 bytes an image.
        const auto *group = static_cast<const BYTE *>(LockResource(loaded));
        const int count = group ? group[4] | (group[5] << 8) : 0;
        for (int i = 0; i < count; ++i) {
            const BYTE width = group[6 + 14 * i];
            sizes << (width == 0 ? 256 : int(width));
        }
    }
    FreeLibrary(module);
    std::sort(sizes.begin(), sizes.end());
    return sizes;
}
#endif

} // namespace

class TestRun : public WindowTest
{
    Q_OBJECT

public slots:
    void captureUrl(const QUrl &url) { m_urls << url; }

private slots:
    void init();
    void cleanup();

    // Exit report and the rules around a run
    void exitReport_data();
    void exitReport();
    void conflict_data();
    void conflict();
    void processCommand_data();
    void processCommand();
    void recentList_data();
    void recentList();
    void recentListKeepsTypedText();

    // Export
    void extension_data();
    void extension();
    void filterConversion_data();
    void filterConversion();
    void saveFile_data();
    void saveFile();
    void saveOverwritesWhole();
    void saveCancelled();
    void saveFailure();
    void copyToClipboard();
    void messageBoxStyles_data();
    void messageBoxStyles();
    void yesNoBox();

    // Opening a command
    void openFile_data();
    void openFile();
    void openBatchFile_data();
    void openBatchFile();
    void openManyLeftOut();
    void applyCommandText();
    void roundTripThroughWindow();

    // Help and About
    void versionLine_data();
    void versionLine();
    void aboutWindow();
    void aboutOnlyOnce();
    void aboutCentredOnOwner_data();
    void aboutCentredOnOwner();
    void manualFromProgramFolder();
    void manualMissing();
    void manualAndLinkThroughTheShell();
    void versionResource();

    // Real processes through corvane-cmd
    void runAndWait_data();
    void runAndWait();
    void executeReports_data();
    void executeReports();
    void executeArguments_data();
    void executeArguments();
    void executeConflict_data();
    void executeConflict();
    void executeMissingRobocopy();
    void executeCannotStart();
    void executeTooLong_data();
    void executeTooLong();
    void executeEndedBySignal_data();
    void executeEndedBySignal();
    void executeNested();
    void executeWithPause();
    void closeDuringRun();

private:
    void setCommand(frmCorvane *w, const QString &source, const QString &destination, const QString &extra);
    // Save As through the dialog, answered as SaveDialogAnswer does.
    void saveAs(frmCorvane &w, const QString &folder, const QString &typed, int filterIndex);
    FileDialogExec answerOpenDialog(const QString &path);
    QList<RecordedRun> recordedRuns() const { return m_robocopy.runs(); }

    QTemporaryDir m_scratch;
    RecordingRobocopy m_robocopy{m_scratch.filePath(QStringLiteral("robocopy"))};
    const QString m_emptyDir = m_scratch.filePath(QStringLiteral("empty")); // a PATH without Robocopy
    std::optional<ScopedEnvironmentVariable> m_path; // Robocopy's folder, for one test
    QList<QUrl> m_urls;
    QList<ShownDialog> m_dialogs;

    // The console searches the current folder first: it is an empty one.
    const ScopedCurrentFolder m_current{madeFolder(m_emptyDir)};
#ifndef Q_OS_WIN
    const ScopedHook<QString> m_console{SetConsoleProgram, QStringLiteral(CORVANE_BINARY_DIR "/corvane-cmd")};
    // Where Qt's file dialog keeps its state: the scratch folder, not the user's.
    const ScopedSettingsPath m_qtSettings{m_scratch.filePath(QStringLiteral("qt-settings"))};
#endif
    const ScopedUrlHandler m_fileUrls{QStringLiteral("file"), this, "captureUrl"};
    const ScopedUrlHandler m_httpUrls{QStringLiteral("http"), this, "captureUrl"};
    const ScopedUrlHandler m_httpsUrls{QStringLiteral("https"), this, "captureUrl"};
    // No test may reach the save dialog unless it answers it.
    const ScopedHook<FileDialogExec> m_noSaveDialog{SetFileDialogExec, [](QFileDialog &) -> int {
                                                        qFatal("the save dialog was reached unanswered");
                                                    }};
};

void TestRun::init()
{
    WindowTest::init();
    m_urls.clear();
    m_dialogs.clear();
    m_robocopy.clear();
    m_path.emplace("PATH", m_robocopy.folder());
}

void TestRun::cleanup()
{
    m_path.reset();
    WindowTest::cleanup();
}

void TestRun::setCommand(frmCorvane *w, const QString &source, const QString &destination, const QString &extra)
{
    QVERIFY(setTextOf(w->control("cboSource"), source));
    QVERIFY(setTextOf(w->control("cboDestination"), destination));
    // A hand edit of the command box lasts until the next rebuild.
    QWidget *box = w->control("txtCommandLine");
    QVERIFY(setTextOf(box, textOf(box) + extra));
}

void TestRun::saveAs(frmCorvane &w, const QString &folder, const QString &typed, int filterIndex)
{
    SaveDialogAnswer answer(m_dialogs, folder, typed, filterIndex);
    trigger(w, "mnuFileSaveAs");
    answer.collect();
}

// Picks the file as if the user had chosen it in the open dialog.
FileDialogExec TestRun::answerOpenDialog(const QString &path)
{
    return [this, path](QFileDialog &dialog) {
        m_dialogs.append({dialog.windowTitle(), dialog.nameFilters(),
                          !dialog.testOption(QFileDialog::DontConfirmOverwrite),
                          dialog.acceptMode() == QFileDialog::AcceptOpen
                              && dialog.fileMode() == QFileDialog::ExistingFile});
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.selectFile(path);
        return int(QDialog::Accepted);
    };
}

// ---------------------------------------------------------------- exit report

void TestRun::exitReport_data()
{
    QTest::addColumn<int>("result");
    QTest::addColumn<QString>("report");
    QTest::newRow("0 nothing to do") << 0 << kNoErrors;
    QTest::newRow("1 copied") << 1 << kCopied;
    QTest::newRow("2 extra") << 2 << kExtra;
    QTest::newRow("3 copied and extra: the higher bit") << 3 << kExtra;
    QTest::newRow("4 mismatched") << 4 << kMismatched;
    QTest::newRow("6 extra and mismatched") << 6 << kMismatched;
    QTest::newRow("8 not copied") << 8 << kNotCopied;
    QTest::newRow("15 every lower bit") << 15 << kNotCopied;
    QTest::newRow("16 serious") << 16 << kSerious;
    QTest::newRow("24 serious and not copied") << 24 << kSerious;
    QTest::newRow("32 bits above 16 play no part") << 32 << kNoErrors;
    QTest::newRow("33 bit above 16 with 1") << 33 << kCopied;
    QTest::newRow("-1 cannot start") << int(RunCannotStart) << kSerious;
    QTest::newRow("-2 status unreadable") << int(RunStatusUnreadable) << kSerious;
    QTest::newRow("-4 console ended by a signal") << int(RunEndedAbnormally) << kSerious;
    QTest::newRow("255 console closed during a step") << int(console::AbnormalEndStatus) << kSerious;
    QTest::newRow("127 console found no Robocopy") << 127 << kSerious;
    QTest::newRow("9009 cmd.exe found no Robocopy") << 9009 << kSerious;
}

void TestRun::exitReport()
{
    QFETCH(int, result);
    QFETCH(QString, report);
    QCOMPARE(ExitReport(result), report);
}

void TestRun::conflict_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("efsRaw");
    QTest::addColumn<QString>("delay");
    QTest::addColumn<bool>("conflict");
    QTest::newRow("threads and EFS raw") << 1 << 1 << QString() << true;
    QTest::newRow("threads and a delay") << 1 << 0 << QStringLiteral("100") << true;
    QTest::newRow("threads and a blank delay") << 1 << 0 << QStringLiteral(" ") << true;
    QTest::newRow("threads alone") << 1 << 0 << QString() << false;
    QTest::newRow("no threads, EFS raw and delay") << 0 << 1 << QStringLiteral("100") << false;
    QTest::newRow("grayed threads are not checked") << 2 << 1 << QStringLiteral("1") << false;
    QTest::newRow("grayed EFS raw is not checked") << 1 << 2 << QString() << false;
}

void TestRun::conflict()
{
    QFETCH(int, threads);
    QFETCH(int, efsRaw);
    QFETCH(QString, delay);
    QFETCH(bool, conflict);
    QCOMPARE(MultithreadingConflict(qint16(threads), qint16(efsRaw), delay), conflict);
}

void TestRun::processCommand_data()
{
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<bool>("autoClose");
    QTest::addColumn<QString>("expected");
    QTest::newRow("auto-close") << QStringLiteral("ROBOCOPY.EXE a b") << true << QStringLiteral("cmd.exe /c ROBOCOPY.EXE a b");
    QTest::newRow("stay open") << QStringLiteral("ROBOCOPY.EXE a b") << false
                               << QStringLiteral("cmd.exe /c ROBOCOPY.EXE a b & PAUSE");
    QTest::newRow("hand edit kept as typed") << QStringLiteral("  robocopy x  ") << true
                                             << QStringLiteral("cmd.exe /c   robocopy x  ");
    QTest::newRow("empty command") << QString() << false << QStringLiteral("cmd.exe /c  & PAUSE");
}

void TestRun::processCommand()
{
    QFETCH(QString, commandLine);
    QFETCH(bool, autoClose);
    QFETCH(QString, expected);
    QCOMPARE(ProcessCommand(commandLine, autoClose), expected);
}

void TestRun::recentList_data()
{
    QTest::addColumn<QStringList>("remembered");
    QTest::addColumn<QStringList>("list");
    QStringList eleven;
    for (int i = 1; i <= 11; ++i)
        eleven << QStringLiteral("C:\\F%1").arg(i);
    QTest::newRow("same text twice") << QStringList{"C:\\A", "C:\\A"} << QStringList{"C:\\A"};
    QTest::newRow("case differs: two entries") << QStringList{"C:\\A", "c:\\a"} << QStringList{"C:\\A", "c:\\a"};
    QTest::newRow("oldest first") << QStringList{"B", "A", "C"} << QStringList{"B", "A", "C"};
    QTest::newRow("ten kept") << eleven.mid(0, 10) << eleven.mid(0, 10);
    QTest::newRow("eleventh drops the oldest") << eleven << eleven.mid(1);
    QTest::newRow("a present entry is not moved")
        << (eleven.mid(0, 10) + QStringList{"C:\\F1", "C:\\F11"}) << eleven.mid(1);
    QTest::newRow("empty texts are not remembered") << QStringList{"", "C:\\A", ""} << QStringList{"C:\\A"};
    QTest::newRow("blank is a text") << QStringList{" "} << QStringList{" "};
}

void TestRun::recentList()
{
    QFETCH(QStringList, remembered);
    QFETCH(QStringList, list);
    QComboBox combo;
    combo.setEditable(true);
    for (const QString &text : remembered) {
        combo.setEditText(text);
        RememberFolder(&combo, text);
    }
    QCOMPARE(listOf(&combo), list);
}

void TestRun::recentListKeepsTypedText()
{
    QComboBox combo;
    combo.setEditable(true);
    int edits = 0;
    connect(&combo, &QComboBox::editTextChanged, &combo, [&edits] { ++edits; });

    // The first entry of an empty list, and the removal of the current entry,
    // would otherwise copy an entry into the edit field.
    combo.setEditText(QStringLiteral("C:\\First"));
    edits = 0;
    RememberFolder(&combo, QStringLiteral("C:\\First"));
    QCOMPARE(combo.currentText(), QStringLiteral("C:\\First"));
    for (int i = 2; i <= 10; ++i)
        RememberFolder(&combo, QStringLiteral("C:\\F%1").arg(i));
    QCOMPARE(combo.count(), 10);
    combo.setCurrentIndex(0);
    combo.setEditText(QStringLiteral("C:\\Typed"));
    edits = 0;
    RememberFolder(&combo, QStringLiteral("C:\\Typed"));
    QCOMPARE(combo.count(), 10);
    QCOMPARE(combo.itemText(0), QStringLiteral("C:\\F2"));
    QCOMPARE(combo.currentText(), QStringLiteral("C:\\Typed"));
    QCOMPARE(edits, 0); // no change handler ran: the command stays as it was
}

// --------------------------------------------------------------------- export

void TestRun::extension_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("filterIndex");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("saved");
    const QString filter = QStringLiteral("Batch Files (*.CMD)|*.BAT;*.CMD|Text Files (*.TXT)|*.TXT|All Files|*.*");
    QTest::newRow("bare, batch entry") << "C:\\Out\\job" << 1 << "" << "C:\\Out\\job.CMD";
    QTest::newRow("bare, text entry") << "C:\\Out\\job" << 2 << "" << "C:\\Out\\job.TXT";
    QTest::newRow("bare, all files") << "C:\\Out\\job" << 3 << "" << "C:\\Out\\job";
    QTest::newRow("BAT kept with batch entry") << "C:\\Out\\job.BAT" << 1 << "BAT" << "C:\\Out\\job.BAT";
    QTest::newRow("txt kept with batch entry") << "C:\\Out\\job.txt" << 1 << "txt" << "C:\\Out\\job.txt";
    QTest::newRow("LOG kept with text entry") << "C:\\Out\\job.LOG" << 2 << "LOG" << "C:\\Out\\job.LOG";
    QTest::newRow("dot in a folder does not count") << "C:\\My.Dir\\job" << 1 << "" << "C:\\My.Dir\\job.CMD";
    QTest::newRow("dot in a slash folder does not count") << "/tmp/my.dir/job" << 2 << "" << "/tmp/my.dir/job.TXT";
    QTest::newRow("leading dot only: no extension") << "C:\\Out\\.job" << 1 << "" << "C:\\Out\\.job.CMD";
    QTest::newRow("dot at the second character") << "C:\\Out\\a.b" << 1 << "b" << "C:\\Out\\a.b";
    QTest::newRow("last dot counts") << "C:\\Out\\a.b.c" << 1 << "c" << "C:\\Out\\a.b.c";
    QTest::newRow("trailing dot: empty extension") << "C:\\Out\\job." << 2 << "" << "C:\\Out\\job..TXT";
    QTest::newRow("no entry chosen") << "C:\\Out\\job" << 0 << "" << "C:\\Out\\job";
}

void TestRun::extension()
{
    QFETCH(QString, path);
    QFETCH(int, filterIndex);
    QFETCH(QString, extension);
    QFETCH(QString, saved);
    const QString nul = NulFilter(QStringLiteral("Batch Files (*.CMD)|*.BAT;*.CMD|Text Files (*.TXT)|*.TXT|All Files|*.*"));
    QCOMPARE(GetExtension(path), extension);
    QCOMPARE(ApplyFilterExtension(path, nul, filterIndex), saved);
}

void TestRun::filterConversion_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QStringList>("nulParts");
    QTest::addColumn<QStringList>("extensions");
    QTest::newRow("the program's filter")
        << "Batch Files (*.CMD)|*.BAT;*.CMD|Text Files (*.TXT)|*.TXT|All Files|*.*"
        << QStringList{"Batch Files (*.CMD)", "*.BAT;*.CMD", "Text Files (*.TXT)", "*.TXT", "All Files", "*.*", "", ""}
        << QStringList{"CMD", "TXT", "*"};
    QTest::newRow("ends with one bar") << "Logs|*.LOG|" << QStringList{"Logs", "*.LOG", "", ""}
                                       << QStringList{"LOG"};
    QTest::newRow("ends with two bars") << "Logs|*.LOG||" << QStringList{"Logs", "*.LOG", "", ""}
                                        << QStringList{"LOG"};
}

void TestRun::filterConversion()
{
    QFETCH(QString, filter);
    QFETCH(QStringList, nulParts);
    QFETCH(QStringList, extensions);
    const QString nul = NulFilter(filter);
    QCOMPARE(nul.split(QChar(0)), nulParts);
    for (int i = 0; i < extensions.size(); ++i)
        QCOMPARE(FilterExtension(nul, i + 1), extensions.at(i));
    QCOMPARE(FilterExtension(nul, int(extensions.size()) + 1), QString());
    QCOMPARE(StripAtNul(QStringLiteral("C:\\a.CMD") + QChar(0) + QStringLiteral("junk")), QStringLiteral("C:\\a.CMD"));
    QCOMPARE(StripAtNul(QStringLiteral("plain")), QStringLiteral("plain"));

    // The dialog gets one name filter per entry whose last parentheses hold
    // the patterns; "*.*" means every file.
    const QStringList qt = QtNameFilters(nul);
    QCOMPARE(qt.size(), extensions.size());
    for (int i = 0; i < qt.size(); ++i) {
        QVERIFY2(qt.at(i).startsWith(nulParts.at(2 * i) + QStringLiteral(" (")), qPrintable(qt.at(i)));
        const QString patterns = qt.at(i).section(u'(', -1).chopped(1);
        for (const QString &p : nulParts.at(2 * i + 1).split(u';')) {
            const QString expected = p == u"*.*" ? QStringLiteral("*") : p;
            QVERIFY2(patterns.split(u' ').contains(expected), qPrintable(qt.at(i)));
#ifndef Q_OS_WIN
            QVERIFY2(patterns.split(u' ').contains(expected.toLower()), qPrintable(qt.at(i)));
#endif
        }
    }
}

void TestRun::saveFile_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("filterIndex");
    QTest::addColumn<QString>("commandLine");
    QTest::addColumn<QString>("written");
    // The file's bytes where the system's code pages are UTF-8 (Linux), and
    // where they are those of Western Windows (OEM 437, ANSI 1252).
    QTest::addColumn<QByteArray>("utf8Bytes");
    QTest::addColumn<QByteArray>("westernBytes");
    auto row = [](const char *name, const char *typed, int filterIndex, const QString &command, const char *written,
                  const QByteArray &utf8, const QByteArray &western = QByteArray()) {
        QTest::newRow(name) << QString::fromUtf8(typed) << filterIndex << command << QString::fromUtf8(written) << utf8
                            << (western.isNull() ? utf8 : western);
    };
    const QByteArray chcp = "@chcp 65001 >nul\r\n";
    row("batch", "job", 1, u"ROBOCOPY.EXE C:\\a D:\\b *.* /MIR"_qs, "job.CMD", "ROBOCOPY.EXE C:\\a D:\\b *.* /MIR\r\n");
    row("text", "job", 2, u"ROBOCOPY.EXE \"C:\\My Files\" D:\\b"_qs, "job.TXT", "ROBOCOPY.EXE \"C:\\My Files\" D:\\b\r\n");
    row("all files", "job", 3, u"ROBOCOPY.EXE x y"_qs, "job", "ROBOCOPY.EXE x y\r\n");
    row("typed extension", "job.bat", 2, u"ROBOCOPY.EXE x y"_qs, "job.bat", "ROBOCOPY.EXE x y\r\n");
    row("typed .cmd with the batch entry", "e4.cmd", 1, u"ROBOCOPY.EXE x y"_qs, "e4.cmd", "ROBOCOPY.EXE x y\r\n");
    row("typed .txt with the batch entry", "e5.txt", 1, u"ROBOCOPY.EXE x y"_qs, "e5.txt", "ROBOCOPY.EXE x y\r\n");
    row("empty command line", "empty", 1, QString(), "empty.CMD", "\r\n");
    row("no-break space kept", "nbsp", 1, u"ROBOCOPY.EXE C:\\A\u00a0B D:\\b"_qs, "nbsp.CMD",
        "ROBOCOPY.EXE C:\\A\xC2\xA0" "B D:\\b\r\n", "ROBOCOPY.EXE C:\\A\xFF" "B D:\\b\r\n");
    // A batch file would run each further line as a command of its own.
    row("hand edit on several lines: one line", "lines", 1, u"ROBOCOPY.EXE C:\\a D:\\b\n/MIR\r\n/R:3\n"_qs, "lines.CMD",
        "ROBOCOPY.EXE C:\\a D:\\b /MIR /R:3 \r\n");
    // cmd.exe reads a batch file in the OEM code page, editors a text in the ANSI one.
    row("letters of the code pages, batch", "job", 1, u"ROBOCOPY.EXE C:\\M\u00fcller D:\\Caf\u00e9"_qs, "job.CMD",
        "ROBOCOPY.EXE C:\\M\xC3\xBCller D:\\Caf\xC3\xA9\r\n", "ROBOCOPY.EXE C:\\M\x81ller D:\\Caf\x82\r\n");
    row("letters of the code pages, text", "job", 2, u"ROBOCOPY.EXE C:\\M\u00fcller D:\\Caf\u00e9"_qs, "job.TXT",
        "ROBOCOPY.EXE C:\\M\xC3\xBCller D:\\Caf\xC3\xA9\r\n", "ROBOCOPY.EXE C:\\M\xFCller D:\\Caf\xE9\r\n");
    row("beyond the OEM code page: UTF-8 after chcp", "job", 1, u"ROBOCOPY.EXE C:\\\u6570\u636e D:\\b"_qs, "job.CMD",
        u"ROBOCOPY.EXE C:\\\u6570\u636e D:\\b\r\n"_qs.toUtf8(), chcp + u"ROBOCOPY.EXE C:\\\u6570\u636e D:\\b\r\n"_qs.toUtf8());
    row("beyond the ANSI code page: UTF-8 with a mark", "job", 2, u"ROBOCOPY.EXE C:\\a D:\\\u03a9mega"_qs, "job.TXT",
        u"ROBOCOPY.EXE C:\\a D:\\\u03a9mega\r\n"_qs.toUtf8(), "\xEF\xBB\xBFROBOCOPY.EXE C:\\a D:\\\xCE\xA9mega\r\n");
    row("percent doubled in a batch", "job", 1, u"ROBOCOPY.EXE \"C:\\Sales 50% off\" D:\\b"_qs, "job.CMD",
        "ROBOCOPY.EXE \"C:\\Sales 50%% off\" D:\\b\r\n");
    row("percent as typed in a text", "job", 2, u"ROBOCOPY.EXE \"C:\\Sales 50% off\" D:\\b"_qs, "job.TXT",
        "ROBOCOPY.EXE \"C:\\Sales 50% off\" D:\\b\r\n");
}

void TestRun::saveFile()
{
    QFETCH(QString, typed);
    QFETCH(int, filterIndex);
    QFETCH(QString, commandLine);
    QFETCH(QString, written);
    QFETCH(QByteArray, utf8Bytes);
    QFETCH(QByteArray, westernBytes);
    SKIP_REAL_FILE_DIALOG();
#ifdef Q_OS_WIN
    const bool western = GetOEMCP() == 437 && GetACP() == 1252;
    if (!western && westernBytes != utf8Bytes)
        QSKIP("this row's bytes are those of the code pages 437 and 1252");
    const QByteArray expected = westernBytes;
#else
    const QByteArray expected = utf8Bytes;
#endif
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto w = newWindow();
    // Typed into the box as it stands, without a rebuild after it.
    w->control<QPlainTextEdit>("txtCommandLine")->setPlainText(commandLine);
    saveAs(*w, dir.path(), typed, filterIndex);

    QCOMPARE(m_dialogs.size(), 1);
    QCOMPARE(m_dialogs.first().title, QStringLiteral("Save Command Line"));
    QCOMPARE(m_dialogs.first().nameFilters.size(), 3);
    QVERIFY(!m_dialogs.first().confirmsOverwrite);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{written});
    QFile f(dir.filePath(written));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), expected);
    QVERIFY(shown().isEmpty()); // no message confirms a save
}

void TestRun::saveOverwritesWhole()
{
    SKIP_REAL_FILE_DIALOG();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("old.CMD"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(500, 'x'));
    }
    auto w = newWindow();
    w->control<QPlainTextEdit>("txtCommandLine")->setPlainText(QStringLiteral("ROBOCOPY.EXE a b"));
    saveAs(*w, dir.path(), QStringLiteral("old.CMD"), 1);
    QFile f(path);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), QByteArray("ROBOCOPY.EXE a b\r\n"));
    QCOMPARE(m_dialogs.size(), 1);
    QVERIFY(!m_dialogs.first().confirmsOverwrite); // replaced without a question
    QVERIFY(shown().isEmpty());
}

void TestRun::saveCancelled()
{
    SKIP_REAL_FILE_DIALOG();
    QTemporaryDir dir;
    auto w = newWindow();
    const QString before = w->text("txtCommandLine");
    // A cancelled dialog may still hold a name: nothing is written.
    saveAs(*w, dir.path(), QStringLiteral("job"), 0);
    QCOMPARE(m_dialogs.size(), 1);
    QVERIFY(QDir(dir.path()).entryList(QDir::Files).isEmpty());
    QVERIFY(shown().isEmpty());
    QCOMPARE(w->text("txtCommandLine"), before);
}

void TestRun::saveFailure()
{
    SKIP_REAL_FILE_DIALOG();
    QTemporaryDir dir;
    // A folder stands where the file should be written.
    QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("job.CMD")));
    auto w = newWindow();
    saveAs(*w, dir.path(), QStringLiteral("job"), 1);
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().style, int(vbCritical));
    QCOMPARE(shown().first().title, QStringLiteral("Corvane"));
    static const QRegularExpression form(QStringLiteral(R"(^Error: \S.* \d+$)"));
    QVERIFY2(form.match(shown().first().prompt).hasMatch(), qPrintable(shown().first().prompt));
}

void TestRun::copyToClipboard()
{
    auto w = newWindow();
    QVERIFY(setTextOf(w->control("cboSource"), QStringLiteral("C:\\My Source")));
    auto *box = w->control<QPlainTextEdit>("txtCommandLine");
    const QString composed = box->toPlainText();
    QCOMPARE(composed, QStringLiteral("ROBOCOPY.EXE \"C:\\My Source\""));
    // The box as it stands, hand edits included; pasted into a console, each
    // line would run on its own, so the copy is one line like the run.
    box->setPlainText(composed + QStringLiteral(" /EDITED\u00a0X\n/R:1"));
    QGuiApplication::clipboard()->setText(QStringLiteral("something else"));
    click(*w, "cmdCopy");
    QCOMPARE(QGuiApplication::clipboard()->text(), composed + QStringLiteral(" /EDITED\u00a0X /R:1"));
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().prompt, QStringLiteral("Command text copied to clipboard"));
    QCOMPARE(shown().first().style, int(vbInformation));
    QCOMPARE(shown().first().title, QStringLiteral("Corvane"));
}

void TestRun::messageBoxStyles_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<int>("icon");
    QTest::newRow("0 no icon") << int(vbOKOnly) << int(QMessageBox::NoIcon);
    QTest::newRow("16 stop") << int(vbCritical) << int(QMessageBox::Critical);
    QTest::newRow("48 exclamation") << int(vbExclamation) << int(QMessageBox::Warning);
    QTest::newRow("64 information") << int(vbInformation) << int(QMessageBox::Information);
}

// The real message box, as the user sees it.
void TestRun::messageBoxStyles()
{
    QFETCH(int, style);
    QFETCH(int, icon);
    const ScopedHook<MsgBoxExec> realBoxes(SetMsgBoxExec, {});
    QStringList seen; // icon, whether one is drawn, title, text, buttons
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return; // not shown yet
        answer.stop();
        seen << QString::number(box->icon()) << QString::number(!box->iconPixmap().isNull()) << box->windowTitle()
             << box->text() << QString::number(box->standardButtons());
        QTest::keyClick(box, Qt::Key_Return);
    });
    answer.start(10);
    MsgBox(QStringLiteral("Shown as it is"), style);
    QCOMPARE(seen, (QStringList{QString::number(icon), QString::number(icon != QMessageBox::NoIcon),
                                QStringLiteral("Corvane"), QStringLiteral("Shown as it is"),
                                QString::number(QMessageBox::Ok)}));
}

// The real Yes/No box: both buttons, Yes the default, Escape and the close box No.
void TestRun::yesNoBox()
{
    const ScopedHook<MsgBoxExec> realBoxes(SetMsgBoxExec, {});
    for (const auto &[key, expected] : {std::pair{Qt::Key_Return, int(vbYes)}, std::pair{Qt::Key_Escape, int(vbNo)}}) {
        QStringList seen;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&, key = key] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            answer.stop();
            seen << QString::number(box->icon()) << QString::number(box->standardButtons());
            QTest::keyClick(box, key);
        });
        answer.start(10);
        QCOMPARE(MsgBox(QStringLiteral("Open it?"), vbInformation | vbYesNo), expected);
        QCOMPARE(seen, (QStringList{QString::number(QMessageBox::Information),
                                    QString::number(QMessageBox::Yes | QMessageBox::No)}));
    }
}

// ------------------------------------------------------------ opening a command

void TestRun::openFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes"); // a null array: no such file
    QTest::addColumn<QString>("command");  // empty: the window as it was
    QTest::addColumn<int>("style");        // of the one message, or -1 for none
    QTest::addColumn<QString>("message");  // how it starts; %1 the quoted path

    QTest::newRow("as Save As writes it")
        << "job.CMD" << QByteArray("ROBOCOPY.EXE \"C:\\My Files\" D:\\b *.doc /S /MIR /R:3\r\n")
        << "ROBOCOPY.EXE \"C:\\My Files\" D:\\b *.doc /S /MIR /R:3" << -1 << "";
    QTest::newRow("a UTF-16 job file")
        << "night.rcj"
        << "\xFF\xFE" + QStringEncoder(QStringConverter::Utf16LE).encode(u":: job\r\n\t/SD:C:\\\u00e9 t\\\r\n\t/DD:D:\\x\r\n\t/IF\r\n\t\t*.c\r\n\t/MIR\r\n")
        << "ROBOCOPY.EXE \"C:\\\u00e9 t\\\\\" D:\\x /MIR /IF:*.c" << -1 << "";
    QTest::newRow("switches without an option") << "x.bat" << QByteArray("robocopy a b /IM /MIR /LFSM:5M")
                                                << "ROBOCOPY.EXE a b /MIR" << int(vbExclamation)
                                                << "Corvane left out these parts of the command:\n\n"
                                                   "/IM (switch): it has no option in Corvane\n"
                                                   "/LFSM:5M (switch): it has no option in Corvane";
    QTest::newRow("no command") << "notes.txt" << QByteArray("echo hello\r\n") << "" << int(vbExclamation)
                                << "%1 holds no Robocopy command. The options are unchanged.";
    QTest::newRow("a program") << "robocopy.exe" << QByteArray("MZ\x90\x00robocopy a b /MIR", 21) << ""
                               << int(vbCritical) << "%1 is not a text file.";
    QTest::newRow("no such file") << "gone.cmd" << QByteArray() << "" << int(vbCritical) << "Cannot open %1: ";
}

void TestRun::openFile()
{
    SKIP_REAL_FILE_DIALOG();
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, command);
    QFETCH(int, style);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    if (!bytes.isNull()) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(bytes), bytes.size());
    }
    const ScopedHook<FileDialogExec> answer(SetFileDialogExec, answerOpenDialog(path));
    auto w = newWindow();
    w->Form_Load();
    auto *source = w->control<QComboBox>("cboSource");
    addListItem(source, QStringLiteral("C:\\recent"));
    QVERIFY(setTextOf(source, QStringLiteral("C:\\before")));
    QVERIFY(setCheckValueOf(w->control("chkPurge"), 1));
    const QString before = w->text("txtCommandLine");
    // The window's settings folder, file by file with its bytes.
    const QDir store(settingsFolder());
    auto storeBytes = [&store] {
        QStringList files;
        for (const QFileInfo &fi : store.entryInfoList(QDir::Files)) {
            QFile f(fi.filePath());
            files << fi.fileName() + u'=' + QString::fromLatin1((f.open(QIODevice::ReadOnly) ? f.readAll() : "?").toHex());
        }
        return files;
    };
    const QStringList storeBefore = storeBytes();

    trigger(*w, "mnuFileOpen");

    QCOMPARE(m_dialogs.size(), 1);
    QCOMPARE(m_dialogs.first().title, QStringLiteral("Open Command File"));
    QVERIFY(m_dialogs.first().opensExistingFile);
    QCOMPARE(m_dialogs.first().nameFilters.size(), 2);
    QCOMPARE(w->text("txtCommandLine"), command.isEmpty() ? before : command);
    QCOMPARE(shown().size(), style < 0 ? 0 : 1);
    if (style >= 0) {
        QCOMPARE(shown().first().style, style);
        QVERIFY2(shown().first().prompt.startsWith(message.replace(u"%1"_qs, u'"' + QDir::toNativeSeparators(path) + u'"')),
                 qPrintable(shown().first().prompt));
    }
    // The recent list stays; nothing is written.
    QCOMPARE(listOf(source), QStringList{QStringLiteral("C:\\recent")});
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), bytes.isNull() ? QStringList() : QStringList{name});
    QCOMPARE(storeBytes(), storeBefore);
}

void TestRun::openBatchFile_data() { addBatchFileRows(); }

// What "corvane FILE" does with the batch and job files administrators
// write: the real window opens the file, composes the command, and says in
// one message what it left out and why, or why it took nothing.
void TestRun::openBatchFile()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, command);
    QFETCH(QStringList, leftOut);
    QFETCH(QString, refusal);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.write(text.toLatin1()) == text.size());
    f.close();
    auto w = newWindow();
    w->Form_Load();
    QVERIFY(setTextOf(w->control("cboSource"), QStringLiteral("C:\\before")));
    const QString before = w->text("txtCommandLine");

    w->OpenCommandFile(path);

    QCOMPARE(w->text("txtCommandLine"), command.isEmpty() ? before : command);
    const QString where = u'"' + QDir::toNativeSeparators(path) + u'"';
    QString message;
    if (!refusal.isEmpty())
        message = where + u' ' + refusal + QStringLiteral(". The options are unchanged.");
    else if (command.isEmpty())
        message = where + QStringLiteral(" holds no Robocopy command. The options are unchanged.");
    else if (!leftOut.isEmpty())
        message = QStringLiteral("Corvane left out these parts of the command:\n\n") + leftOut.join(u'\n');
    QCOMPARE(shown().size(), message.isEmpty() ? 0 : 1);
    if (!message.isEmpty()) {
        QCOMPARE(shown().first().prompt, message);
        QCOMPARE(shown().first().style, int(vbExclamation));
    }
}

// A message box stays readable: twenty lines, and the rest counted.
void TestRun::openManyLeftOut()
{
    QString text = QStringLiteral("robocopy C:\\a D:\\b");
    for (int i = 1; i <= 25; ++i)
        text += QStringLiteral(" /NO%1").arg(i);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("many.cmd"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QVERIFY(f.write(text.toLatin1()) == text.size());
    f.close();
    auto w = newWindow();
    w->OpenCommandFile(path);
    QCOMPARE(w->text("txtCommandLine"), QStringLiteral("ROBOCOPY.EXE C:\\a D:\\b"));
    QCOMPARE(shown().size(), 1);
    const QStringList lines = shown().first().prompt.split(u'\n');
    QCOMPARE(lines.size(), 2 + 20 + 1);
    QCOMPARE(lines.at(2), QStringLiteral("/NO1 (switch): Robocopy has no such switch"));
    QCOMPARE(lines.at(21), QStringLiteral("/NO20 (switch): Robocopy has no such switch"));
    QCOMPARE(lines.last(), QStringLiteral("and 5 more"));
}

// A command typed into the command box sets the whole window, interlocks included.
void TestRun::applyCommandText()
{
    auto w = newWindow();
    for (const ControlSpec &entry : controlCatalogue())
        if (entry.kind == ControlKind::CheckBox)
            QVERIFY(setCheckValueOf(w->control(QLatin1StringView(entry.name)), 2));
    QVERIFY(setTextOf(w->control("txtLogFile"), QStringLiteral("old.log")));
    auto *box = w->control<QPlainTextEdit>("txtCommandLine");
    box->setPlainText(QStringLiteral("not a command"));
    trigger(*w, "mnuFileApplyCommand");
    QCOMPARE(box->toPlainText(), QStringLiteral("not a command"));
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().prompt, QStringLiteral("The command text holds no Robocopy command. The options are unchanged."));

    box->setPlainText(QStringLiteral("robocopy src dst /e /mov /lev:2 /z /b"));
    trigger(*w, "mnuFileApplyCommand");
    QCOMPARE(box->toPlainText(), QStringLiteral("ROBOCOPY.EXE src dst /E /LEV:2 /Z /B /MOV"));
    QCOMPARE(shown().size(), 1);
    QSet<QString> checked;
    for (const ControlSpec &entry : controlCatalogue())
        if (entry.kind == ControlKind::CheckBox && checkValueOf(w->control(QLatin1StringView(entry.name))) == 1)
            checked << QString::fromLatin1(entry.name);
    QCOMPARE(checked, (QSet<QString>{u"chkSubdirectories"_qs, u"chkEmpty"_qs, u"chkRestartable"_qs, u"chkMoveFiles"_qs,
                                     u"chkData"_qs, u"chkAttributes"_qs, u"chkTimestamps"_qs, u"chkFolderData"_qs,
                                     u"chkFolderAttributes"_qs}));
    QCOMPARE(w->text("txtLogFile"), QString());
    // The masters' dependents follow.
    for (const ControlName name :
         {ControlName("chkEmpty"), ControlName("txtLevels"), ControlName("lblLevels"), ControlName("chkMoveFolders")})
        QVERIFY2(w->control(name)->isEnabled(), QLatin1StringView(name).data());
    for (const ControlName name :
         {ControlName("chkLogAppend"), ControlName("chkSourceArchiveReset"), ControlName("txtThreadsCount")})
        QVERIFY2(!w->control(name)->isEnabled(), QLatin1StringView(name).data());
}

// Random window states saved with Save As and opened in another window
// come back there, and compose the very same command.
void TestRun::roundTripThroughWindow()
{
    SKIP_REAL_FILE_DIALOG();
    QTemporaryDir dir;
    // Save As answered through the hook's dialog off Windows, through the
    // system's own on Windows (each a real dialog there, so fewer rounds).
    QString path;
    const ScopedHook<FileDialogExec> answer(SetFileDialogExec, [&](QFileDialog &dialog) {
        dialog.setOption(QFileDialog::DontUseNativeDialog);
        dialog.selectFile(path);
        return int(QDialog::Accepted);
    });
#ifdef Q_OS_WIN
    const quint32 rounds = 24;
#else
    const quint32 rounds = 300;
#endif
    auto from = newWindow();
    auto to = newWindow();
    for (quint32 seed = 1; seed <= rounds; ++seed) {
        const OptionState state = RandomOptions(seed).next();
        for (const ControlSpec &entry : controlCatalogue()) {
            const QString name = QString::fromLatin1(entry.name);
            QWidget *c = from->control(QLatin1StringView(entry.name));
            if (entry.kind == ControlKind::CheckBox)
                setCheckValueOf(c, state.checks.value(name));
            else if ((entry.kind == ControlKind::TextBox || entry.kind == ControlKind::ComboBox) && name != u"txtCommandLine")
                setTextOf(c, state.texts.value(name));
        }
        // Every letter, whatever the code pages hold; batch and text files in turn.
        const QString name = seed % 2 ? u"job.CMD"_qs : u"job.TXT"_qs;
        path = dir.filePath(name);
        const QString command = from->text("txtCommandLine");
#ifdef Q_OS_WIN
        saveAs(*from, dir.path(), name, 1);
#else
        trigger(*from, "mnuFileSaveAs");
#endif
        trigger(*to, "mnuFileOpen");
        QVERIFY2(shown().isEmpty(), qPrintable(u"seed %1: %2"_qs.arg(seed).arg(shown().value(0).prompt)));
        // File names where a folder is empty stand in that folder's place,
        // and are opened as that folder: Robocopy receives the same words.
        const QString opened = to->text("txtCommandLine");
        const bool namesForFolder = !state.texts.value(QStringLiteral("txtFilenames")).isEmpty()
                                 && (state.texts.value(QStringLiteral("cboSource")).isEmpty()
                                     || state.texts.value(QStringLiteral("cboDestination")).isEmpty());
        auto words = [](const QString &cmd) { return SplitWords(ScanCmdLine(cmd).commands.first().text); };
        QVERIFY2((opened == command || namesForFolder) && words(opened) == words(command),
                 qPrintable(u"seed %1, %2\n saved: %3\n opened: %4"_qs.arg(seed).arg(name, command, opened)));
        // Every control as it was, as far as the command carries it.
        const QStringList differences = StateDifferences(state, StateOf(*to));
        QVERIFY2(differences.isEmpty(), qPrintable(u"seed %1, %2: %3"_qs.arg(seed).arg(command, differences.join(u"; "))));
    }
}

// ------------------------------------------------------------- help and about

void TestRun::versionLine_data()
{
    QTest::addColumn<int>("major");
    QTest::addColumn<int>("minor");
    QTest::addColumn<int>("revision");
    QTest::addColumn<QString>("comments");
    QTest::addColumn<QString>("line");
    QTest::newRow("numbers without leading zeros") << 3 << 0 << 42 << "by us" << "Corvane version 3.0.42 by us";
    QTest::newRow("empty credit keeps the blank") << 2 << 10 << 7 << "" << "Corvane version 2.10.7 ";
    QTest::newRow("percent signs stay") << 1 << 2 << 3 << "100% %1" << "Corvane version 1.2.3 100% %1";
}

void TestRun::versionLine()
{
    QFETCH(int, major);
    QFETCH(int, minor);
    QFETCH(int, revision);
    QFETCH(QString, comments);
    QFETCH(QString, line);
    QCOMPARE(VersionLine({QStringLiteral("Corvane"), major, minor, revision, comments, QString()}), line);
}

void TestRun::aboutWindow()
{
    auto w = newWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    trigger(*w, "mnuHelpAbout");
    frmHelp *help = frmHelp::Current();
    QVERIFY(help);
    QVERIFY(QTest::qWaitForWindowExposed(help));
    QVERIFY(help->isWindow());
    QVERIFY(!help->isModal());
    QCOMPARE(help->objectName(), QStringLiteral("frmHelp"));
    QCOMPARE(help->windowTitle(), QStringLiteral("Help"));
    QCOMPARE(help->size(), QSize(438, 315)); // 6570 x 4725 twips
    QVERIFY(!(help->windowFlags() & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(help->windowFlags() & Qt::WindowMaximizeButtonHint));

    // The version line: numbers and credit line from the version information.
    const ProgramVersion version = ReadProgramVersion();
    QVERIFY(!version.comments.isEmpty());
    QVERIFY(!version.productName.isEmpty());
    QCOMPARE(help->lblVersion()->text(), QStringLiteral("Corvane version %1.%2.%3 ")
                                             .arg(CORVANE_VERSION_MAJOR)
                                             .arg(CORVANE_VERSION_MINOR)
                                             .arg(CORVANE_VERSION_PATCH)
                                             + version.comments);
    QCOMPARE(help->lblVersion()->geometry(), QRect(8, 8, 257, 17));
    QCOMPARE(help->lblWebsite()->text(), LinkCaption(version.productName));
    QCOMPARE(help->lblWebsite()->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    // At its place, or moved left just enough for a longer address.
    QCOMPARE(help->lblWebsite()->y(), 8);
    QVERIFY(help->lblWebsite()->x() <= 376);
    QVERIFY(help->lblWebsite()->x() == 376 || help->lblWebsite()->geometry().right() == 438 - 8 - 1);
    QVERIFY(help->lblWebsite()->x() > help->lblVersion()->geometry().right());

    struct Expected { const char *name; QRect rect; const char *text; };
    const Expected paragraphs[] = {
        {"Label1", QRect(8, 32, 427, 65),
         "Corvane is a graphical user interface for the Microsoft RoboCopy (robust copy) command-line tool for copying, moving, and synchronizing files. As options are selected, the corresponding RoboCopy command line will be shown. Hover the mouse over the various options to view brief help in tooltips, or open the RoboCopy documentation from the Help menu (requires MS Word)."},
        {"Label4", QRect(8, 104, 425, 89),
         "Click the Execute button to run RoboCopy with the specified commands, or simply copy the command line to execute it from another program or batch file. RoboCopy runs in a command window that closes upon completion, then the result will be displayed. The RoboCopy window can be set to stay open through the Options menu to allow the messages to be seen. Or, enter a log file name to create a log of all messages. Go to the File menu to save the current command line to a text or CMD file."},
        {"Label2", QRect(8, 192, 425, 41),
         "One or more files or folders may be dragged from Windows Explorer and dropped on the various path and filename fields. When the source files are set, the source path is automatically set to the path of the first source file if the source was blank."},
        {"Label3", QRect(8, 240, 425, 73),
         "By default, all options selected will be saved when Corvane is closed. This can be disabled through the Options menu. The settings can be manually saved, loaded, or cleared through the File menu. By default, settings are saved to settings.ini in the RoboCopy folder, but they will be saved to the registry if writing to the INI file fails or the option is changed in the Options menu."},
    };
    for (const Expected &e : paragraphs) {
        auto *label = help->findChild<QLabel *>(QLatin1StringView(e.name));
        QVERIFY2(label, e.name);
        QCOMPARE(label->text(), QString::fromUtf8(e.text));
        QCOMPARE(label->geometry(), e.rect);
        // Every word of the paragraph is visible: none is clipped at the bottom.
        const QRect need = QFontMetrics(label->font()).boundingRect(
            QRect(0, 0, label->width(), 10000), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, label->text());
        QVERIFY2(need.height() <= label->height(), e.name);
    }
    // The version line and the address fit the window.
    QVERIFY(QFontMetrics(help->lblVersion()->font()).horizontalAdvance(help->lblVersion()->text())
            <= help->lblVersion()->width());
    QVERIFY(help->lblWebsite()->geometry().right() < help->width());

#ifndef Q_OS_WIN // there the shell opens it: manualAndLinkThroughTheShell
    // A click on the link opens the README installed with the program, or
    // the web address a packager set.
    QTest::mouseClick(help->lblWebsite(), Qt::LeftButton);
    QCOMPARE(m_urls.size(), 1);
    const QString target = LinkTarget(version.productName, QCoreApplication::applicationDirPath());
    QCOMPARE(m_urls.first(), IsWebAddress(target) ? QUrl::fromUserInput(target) : QUrl::fromLocalFile(target));
#endif

    // Closing the main window's way: every other window goes.
    UnloadOtherForms(QStringLiteral("frmCorvane"));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!frmHelp::Current());
}

void TestRun::aboutOnlyOnce()
{
    auto w = newWindow();
    auto countHelp = [] {
        int n = 0;
        for (QWidget *tl : QApplication::topLevelWidgets())
            if (tl->objectName() == u"frmHelp" && tl->isVisible())
                ++n;
        return n;
    };
    trigger(*w, "mnuHelpAbout");
    QPointer<frmHelp> first = frmHelp::Current();
    QVERIFY(first);
    trigger(*w, "mnuHelpAbout");
    QCOMPARE(frmHelp::Current(), first.data());
    QCOMPARE(countHelp(), 1);

    // Closed, it is gone; the next About makes a fresh one.
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(!first);
    QCOMPARE(countHelp(), 0);
    trigger(*w, "mnuHelpAbout");
    QVERIFY(frmHelp::Current());
    QCOMPARE(countHelp(), 1);
    frmHelp::Current()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestRun::aboutCentredOnOwner_data()
{
    QTest::addColumn<QPoint>("ownerOffset"); // from the top left of the screen's free area
    QTest::addColumn<QString>("placed");     // "centred", or the corner it is kept at
    QTest::newRow("centred on its owner") << QPoint(40, 30) << "centred";
    QTest::newRow("owner off the top left") << QPoint(-500, -400) << "top left";
    QTest::newRow("owner off the bottom right") << QPoint(10000, 10000) << "bottom right";
}

void TestRun::aboutCentredOnOwner()
{
    QFETCH(QPoint, ownerOffset);
    QFETCH(QString, placed);
    const QRect room = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget owner;
    owner.resize(600, 440);
    owner.move(room.topLeft() + ownerOffset);
    owner.show();
    // An owner wholly off the screen is never exposed on some platforms; the
    // wait still gives its frame time to settle.
    const bool ownerExposed = QTest::qWaitForWindowExposed(&owner);
    QVERIFY(ownerExposed || !room.intersects(owner.frameGeometry()));
    frmHelp *help = frmHelp::ShowShared(&owner);
    QVERIFY(QTest::qWaitForWindowExposed(help));
    const QRect frame = help->frameGeometry();
    if (placed == u"centred") {
        // A pixel of rounding on each axis (Wine reports frames a pixel off).
        QVERIFY2((frame.center() - owner.frameGeometry().center()).manhattanLength() <= 2,
                 qPrintable(QStringLiteral("%1,%2").arg(frame.x()).arg(frame.y())));
    } else {
        // Kept on the screen, in its corner (to the same pixel of rounding).
        QVERIFY(room.contains(frame));
        const QPoint gap = placed == u"top left" ? frame.topLeft() - room.topLeft()
                                                 : room.bottomRight() - frame.bottomRight();
        QVERIFY2(gap.x() <= 2 && gap.y() <= 2, qPrintable(QStringLiteral("%1,%2").arg(gap.x()).arg(gap.y())));
    }
    help->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestRun::manualFromProgramFolder()
{
#ifdef Q_OS_WIN
    QSKIP("the Windows shell opens the manual: manualAndLinkThroughTheShell");
#endif
    const QString manual = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("robocopy.doc"));
    auto w = newWindow();
    // Whatever the current folder, the manual is the one beside the program.
    {
        QFile doc(manual);
        QVERIFY(doc.open(QIODevice::WriteOnly));
    }
    QTemporaryDir elsewhere;
    {
        const ScopedCurrentFolder current(elsewhere.path());
        trigger(*w, "mnuHelpRoboCopy");
    }
    QVERIFY(QFile::remove(manual));
    QCOMPARE(m_urls.size(), 1);
    QCOMPARE(m_urls.first(), QUrl::fromLocalFile(manual));
    QVERIFY(shown().isEmpty()); // the handler's own failures are its to tell
}

// No manual beside the program: the command says so and offers Microsoft's
// online reference, which opens only on Yes.
void TestRun::manualMissing()
{
#ifdef Q_OS_WIN
    QSKIP("the Windows shell opens the address: manualAndLinkThroughTheShell");
#endif
    const QString manual = QDir::toNativeSeparators(QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("robocopy.doc")));
    QVERIFY(!QFile::exists(manual));
    auto w = newWindow();
    trigger(*w, "mnuHelpRoboCopy");
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().style, int(vbInformation | vbYesNo));
    QCOMPARE(shown().first().title, QStringLiteral("Corvane"));
    QCOMPARE(shown().first().prompt, QStringLiteral("The RoboCopy manual, robocopy.doc, was not found beside Corvane:\n\n")
                                         + manual
                                         + QStringLiteral("\n\nOpen Microsoft's online Robocopy documentation instead?"));
    QVERIFY(m_urls.isEmpty()); // No: nothing opens

    boxes().yesNoReply = vbYes;
    trigger(*w, "mnuHelpRoboCopy");
    QCOMPARE(shown().size(), 2);
    QCOMPARE(m_urls, QList<QUrl>{QUrl(QStringLiteral(
                         "https://learn.microsoft.com/windows-server/administration/windows-commands/robocopy"))});
}

void TestRun::manualAndLinkThroughTheShell()
{
#ifndef Q_OS_WIN
    QSKIP("the Windows shell's part; elsewhere the desktop's handler is asked");
#else
    if (!underWine())
        QSKIP("would start this machine's own programs for .doc files and web addresses");
    RecordingShellHandlers handlers(m_robocopy.folder() + QStringLiteral("/ROBOCOPY.EXE"));
    const QString manual = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/robocopy.doc"));
    auto w = newWindow();

    // Missing, the shell finds nothing to open; the command says so and,
    // on Yes, has the shell open Microsoft's online reference.
    QFile::remove(manual);
    QCOMPARE(ShellOpen(manual, QString(), QString(), QString(), 1), int(SE_ERR_FNF));
    trigger(*w, "mnuHelpRoboCopy");
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().style, int(vbInformation | vbYesNo));
    QVERIFY2(shown().first().prompt.contains(manual), qPrintable(shown().first().prompt));
    boxes().yesNoReply = vbYes;
    trigger(*w, "mnuHelpRoboCopy");
    QTRY_VERIFY_WITH_TIMEOUT(recordedRuns().size() == 1 && recordedRuns().first().ended, 20000);
    QCOMPARE(recordedRuns().first().args,
             QStringList{u"https://learn.microsoft.com/windows-server/administration/windows-commands/robocopy"_qs});
    boxes().yesNoReply = vbNo;
    shown().clear();
    m_robocopy.clear();

    // Present, the program for .doc files gets the one beside the program,
    // whatever the current folder.
    {
        QFile doc(manual);
        QVERIFY(doc.open(QIODevice::WriteOnly));
    }
    QTemporaryDir elsewhere;
    {
        const ScopedCurrentFolder current(elsewhere.path());
        trigger(*w, "mnuHelpRoboCopy");
    }
    QTRY_VERIFY_WITH_TIMEOUT(recordedRuns().size() == 1 && recordedRuns().first().ended, 20000);
    QCOMPARE(recordedRuns().first().args, QStringList{manual});
    QVERIFY(QFile::remove(manual));

    // The About window's link: the README beside the program goes to the
    // program for text files, whatever the current folder.
    const QString readme = LinkTarget(ReadProgramVersion().productName, QCoreApplication::applicationDirPath());
    {
        QFile text(readme);
        QVERIFY(text.open(QIODevice::WriteOnly));
    }
    trigger(*w, "mnuHelpAbout");
    QVERIFY(frmHelp::Current());
    {
        const ScopedCurrentFolder current(elsewhere.path());
        QTest::mouseClick(frmHelp::Current()->lblWebsite(), Qt::LeftButton);
    }
    QTRY_VERIFY_WITH_TIMEOUT(recordedRuns().size() == 2 && recordedRuns().last().ended, 20000);
    QCOMPARE(recordedRuns().last().args, QStringList{readme});
    QVERIFY(QFile::remove(readme));
    frmHelp::Current()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(shown().isEmpty());
#endif
}

void TestRun::versionResource()
{
#ifndef Q_OS_WIN
    QSKIP("a Windows executable's resource");
#else
    // The test program carries the same resource as corvane.exe; both are read
    // back as Explorer's properties show them.
    const ProgramVersion own = ReadProgramVersion();
    QVERIFY(!own.comments.isEmpty());
    QVERIFY(!own.productName.isEmpty());
    const QString programs[] = {QCoreApplication::applicationFilePath(), QStringLiteral(CORVANE_BINARY_DIR "/corvane.exe")};
    for (const QString &exe : programs) {
        const std::wstring path = QDir::toNativeSeparators(exe).toStdWString();
        win32::VersionResource v;
        QVERIFY2(win32::ReadVersion(path, v), qPrintable(exe));
        QCOMPARE(QString::fromStdWString(v.description), QStringLiteral("Corvane"));
        QCOMPARE(v.major, CORVANE_VERSION_MAJOR);
        QCOMPARE(v.minor, CORVANE_VERSION_MINOR);
        QCOMPARE(v.revision, CORVANE_VERSION_PATCH);
        QCOMPARE(QString::fromStdWString(v.comments), own.comments);
        QCOMPARE(QString::fromStdWString(v.productName), own.productName);
        // The maker and the copyright, as Explorer's Details tab shows them.
        QCOMPARE(versionString(path, L"CompanyName"), QStringLiteral(CORVANE_COMPANY));
        QCOMPARE(versionString(path, L"LegalCopyright"), QStringLiteral(CORVANE_COPYRIGHT));
        // And the program's icon, for Explorer and the task bar, at every
        // size its views ask for.
        QVERIFY2(ExtractIconExW(path.c_str(), -1, nullptr, nullptr, 0) > 0, qPrintable(exe));
        QCOMPARE(iconSizes(path), (QList<int>{16, 20, 24, 32, 40, 48, 64, 96, 128, 256}));
    }
#endif
}

// ---------------------------------------------------------- real processes

#ifdef Q_OS_WIN
#define SKIP_WITHOUT_CONSOLE() // cmd.exe is always there
#else
#define SKIP_WITHOUT_CONSOLE() \
    do { \
        if (!QFileInfo(ConsoleProgram()).isExecutable()) \
            QFAIL("corvane-cmd was not built beside the program"); \
    } while (0)
#endif

void TestRun::runAndWait_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("codesRun"); // /TESTCODE of each Robocopy run, in order
    QTest::newRow("exit code 0") << "cmd.exe /c ROBOCOPY.EXE /TESTCODE:0" << 0 << QStringList{"/TESTCODE:0"};
    QTest::newRow("exit code 3") << "cmd.exe /c ROBOCOPY.EXE /TESTCODE:3" << 3 << QStringList{"/TESTCODE:3"};
    QTest::newRow("exit code 255") << "cmd.exe /c ROBOCOPY.EXE /TESTCODE:255" << 255 << QStringList{"/TESTCODE:255"};
    QTest::newRow("found ignoring case") << "cmd.exe /c robocopy.exe /TESTCODE:7" << 7 << QStringList{"/TESTCODE:7"};
    QTest::newRow("steps in order, last one counts")
        << "cmd.exe /c ROBOCOPY.EXE /TESTCODE:1 & ROBOCOPY.EXE /TESTCODE:2" << 2
        << QStringList{"/TESTCODE:1", "/TESTCODE:2"};
    QTest::newRow("missing step last") << "cmd.exe /c ROBOCOPY.EXE /TESTCODE:1 & NOSUCH.EXE" << kNotFound
                                            << QStringList{"/TESTCODE:1"};
    QTest::newRow("missing step first, then Robocopy")
        << "cmd.exe /c NOSUCH.EXE & ROBOCOPY.EXE /TESTCODE:4" << 4 << QStringList{"/TESTCODE:4"};
    QTest::newRow("quoted ampersand stays in the argument")
        << "cmd.exe /c ROBOCOPY.EXE \"R & D\" /TESTCODE:5" << 5 << QStringList{"R & D", "/TESTCODE:5"};
    QTest::newRow("escaped ampersand stays in the argument")
        << "cmd.exe /c ROBOCOPY.EXE /TESTCODE:6 x^&ROBOCOPY.EXE" << 6 << QStringList{"/TESTCODE:6", "x&ROBOCOPY.EXE"};
    // The text after "cmd.exe /c " may be 8191 characters long.
    const QString head = QStringLiteral("ROBOCOPY.EXE /TESTCODE:5 ");
    const QString fill(MaxCommandLength - head.size(), u'x');
    QTest::newRow("at the length limit") << "cmd.exe /c " + head + fill << 5 << QStringList{"/TESTCODE:5", fill};
#ifndef Q_OS_WIN
    // The stand-in console does as cmd.exe on Windows; Wine's cmd.exe, which
    // stands in for it in the Windows stage, runs on past both.
    QTest::newRow("a line break ends the command")
        << "cmd.exe /c ROBOCOPY.EXE /TESTCODE:2\nROBOCOPY.EXE /TESTCODE:7" << 2 << QStringList{"/TESTCODE:2"};
    QTest::newRow("one over the limit: nothing runs") << "cmd.exe /c " + head + fill + u'x'
                                                      << int(console::TooLongStatus) << QStringList{};
#endif
}

void TestRun::runAndWait()
{
    SKIP_WITHOUT_CONSOLE();
    QFETCH(QString, command);
    QFETCH(int, result);
    QFETCH(QStringList, codesRun);
    int polls = 0;
    QCOMPARE(RunAndWait(command, [&polls] { ++polls; return true; }), result);
    QVERIFY(polls >= 1);
    QStringList args;
    for (const RecordedRun &r : recordedRuns()) {
        QVERIFY(r.ended);
        args += r.args;
    }
    QCOMPARE(args, codesRun);
}

void TestRun::executeReports_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("report");
    QTest::newRow("0") << 0 << kNoErrors;
    QTest::newRow("1") << 1 << kCopied;
    QTest::newRow("3") << 3 << kExtra;
    QTest::newRow("6") << 6 << kMismatched;
    QTest::newRow("8") << 8 << kNotCopied;
    QTest::newRow("16") << 16 << kSerious;
    QTest::newRow("24") << 24 << kSerious;
}

void TestRun::executeReports()
{
    SKIP_WITHOUT_CONSOLE();
    QFETCH(int, code);
    QFETCH(QString, report);
    auto w = newWindow();
    setCommand(w.get(), QStringLiteral("C:\\Src"), QStringLiteral("D:\\Dst"), QStringLiteral(" /TESTCODE:%1").arg(code));
    click(*w, "cmdExecute");
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().prompt, report);
    QCOMPARE(shown().first().style, int(vbOKOnly));
    QCOMPARE(shown().first().title, QStringLiteral("Corvane"));
    QCOMPARE(recordedRuns().size(), 1);
    QCOMPARE(listOf(w->control<QComboBox>("cboSource")), QStringList{"C:\\Src"});
    QCOMPARE(listOf(w->control<QComboBox>("cboDestination")), QStringList{"D:\\Dst"});
}

void TestRun::executeArguments_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("destination");
    QTest::addColumn<QString>("extra"); // typed after the composed command
    const QString code = QStringLiteral(" /TESTCODE:1");
    QTest::newRow("blanks, trailing backslash") << QStringLiteral("C:\\My Source") << QStringLiteral("D:\\Dest Dir\\") << code;
    QTest::newRow("two trailing backslashes") << QStringLiteral("C:\\My Source\\\\") << QStringLiteral("D:\\Dest") << code;
    QTest::newRow("ampersands") << QStringLiteral("C:\\R & D") << QStringLiteral("D:\\A&B\\") << code;
    QTest::newRow("letters of the code page") << QStringLiteral("C:\\Müller & Söhne") << QStringLiteral("D:\\Café\\Résumé") << code;
    QTest::newRow("letters beyond the code page") << QStringLiteral("C:\\Данные") << QStringLiteral("D:\\日本語 κείμενο\\") << code;
    // A no-break space is part of the name, and a line break typed into the
    // command box is one blank: the switch after it still counts.
    QTest::newRow("no-break space, switch on a line of its own")
        << QStringLiteral("C:\\My Source\u00a0A") << QStringLiteral("D:\\Dest Dir\\") << QStringLiteral("\n/TESTCODE:1");
}

void TestRun::executeArguments()
{
    SKIP_WITHOUT_CONSOLE();
    QFETCH(QString, source);
    QFETCH(QString, destination);
    QFETCH(QString, extra);
    auto w = newWindow();
    QVERIFY(setTextOf(w->control("txtFilenames"), QStringLiteral("*.doc")));
    setCommand(w.get(), source, destination, extra);
    const QString commandLine = w->text("txtCommandLine");
    // File > Execute behaves like the button.
    trigger(*w, "mnuFileExecute");
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().prompt, kCopied);
    const QList<RecordedRun> runs = recordedRuns();
    QCOMPARE(runs.size(), 1);
    // Each path arrives as one argument, as typed, the trailing backslash kept.
    const QStringList args = runs.first().args;
    QVERIFY2(args.size() >= 4, qPrintable(args.join(u'|')));
    QCOMPARE(args.at(0), source);
    QCOMPARE(args.at(1), destination);
    QVERIFY2(args.contains(QStringLiteral("*.doc")), qPrintable(commandLine));
    QCOMPARE(args.last(), QStringLiteral("/TESTCODE:1"));

    // The same folders again: the lists keep one entry each.
    click(*w, "cmdExecute");
    QCOMPARE(listOf(w->control<QComboBox>("cboSource")), QStringList{source});
    QCOMPARE(listOf(w->control<QComboBox>("cboDestination")), QStringList{destination});
}

void TestRun::executeConflict_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("efsRaw");
    QTest::addColumn<QString>("delay");
    QTest::addColumn<bool>("conflict");
    QTest::newRow("threads and EFS raw") << 1 << 1 << QString() << true;
    QTest::newRow("threads and blank delay") << 1 << 0 << QStringLiteral(" ") << true;
    QTest::newRow("no threads") << 0 << 1 << QStringLiteral("5") << false;
}

void TestRun::executeConflict()
{
    SKIP_WITHOUT_CONSOLE();
    QFETCH(int, threads);
    QFETCH(int, efsRaw);
    QFETCH(QString, delay);
    QFETCH(bool, conflict);
    auto w = newWindow();
    QVERIFY(setCheckValueOf(w->control("chkThreadsEnable"), qint16(threads)));
    QVERIFY(setCheckValueOf(w->control("chkEfsRaw"), qint16(efsRaw)));
    QVERIFY(setTextOf(w->control("txtDelayPer64k"), delay));
    setCommand(w.get(), QStringLiteral("C:\\S"), QStringLiteral("D:\\D"), QStringLiteral(" /TESTCODE:0"));
    click(*w, "cmdExecute");
    QCOMPARE(shown().size(), 1);
    if (conflict) {
        QCOMPARE(shown().first().prompt, kConflict);
        QCOMPARE(shown().first().style, int(vbExclamation));
        QCOMPARE(shown().first().title, QStringLiteral("Corvane"));
        QVERIFY(recordedRuns().isEmpty());
        QCOMPARE(w->control<QComboBox>("cboSource")->count(), 0);
        QCOMPARE(w->control<QComboBox>("cboDestination")->count(), 0);
    } else {
        QCOMPARE(shown().first().prompt, kNoErrors);
        QCOMPARE(recordedRuns().size(), 1);
        QCOMPARE(w->control<QComboBox>("cboSource")->count(), 1);
    }
}

void TestRun::executeMissingRobocopy()
{
    SKIP_WITHOUT_CONSOLE();
    const ScopedEnvironmentVariable noRobocopy("PATH", m_emptyDir);
    auto w = newWindow();
    setCommand(w.get(), QStringLiteral("C:\\S"), QString(), QString());
    click(*w, "cmdExecute");
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().prompt, kSerious); // 127 has bit 16
    QVERIFY(recordedRuns().isEmpty());
    // Remembered all the same, but an empty destination is not.
    QCOMPARE(listOf(w->control<QComboBox>("cboSource")), QStringList{"C:\\S"});
    QCOMPARE(w->control<QComboBox>("cboDestination")->count(), 0);
}

void TestRun::executeCannotStart()
{
#ifdef Q_OS_WIN
    // Execute always names cmd.exe, which Windows finds in its own folder;
    // an interpreter that is nowhere is what cannot start.
    QCOMPARE(RunAndWait(QStringLiteral("no-such-console.exe /c ROBOCOPY.EXE")), int(RunCannotStart));
#else
    const ScopedHook<QString> missing(SetConsoleProgram, m_emptyDir + QStringLiteral("/corvane-cmd"));
    QCOMPARE(RunAndWait(QStringLiteral("cmd.exe /c ROBOCOPY.EXE")), int(RunCannotStart));
    auto w = newWindow();
    setCommand(w.get(), QStringLiteral("C:\\S"), QStringLiteral("D:\\D"), QString());
    click(*w, "cmdExecute");
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().prompt, kSerious);
    QCOMPARE(listOf(w->control<QComboBox>("cboSource")), QStringList{"C:\\S"});
    QCOMPARE(listOf(w->control<QComboBox>("cboDestination")), QStringList{"D:\\D"});
#endif
}

void TestRun::executeTooLong_data()
{
    QTest::addColumn<int>("length"); // of the command line
    QTest::addColumn<bool>("autoClose");
    QTest::addColumn<bool>("refused");
    const int limit = int(MaxCommandLength);
    QTest::newRow("at the limit") << limit << true << false;
    QTest::newRow("one over") << limit + 1 << true << true;
    QTest::newRow("at the limit with PAUSE") << limit - 8 << false << false;
    QTest::newRow("PAUSE makes it one over") << limit - 7 << false << true;
}

void TestRun::executeTooLong()
{
    SKIP_WITHOUT_CONSOLE();
    QFETCH(int, length);
    QFETCH(bool, autoClose);
    QFETCH(bool, refused);
    auto w = newWindow();
    w->menuItem("mnuOptionsAutoClose")->setChecked(autoClose);
    setCommand(w.get(), QStringLiteral("C:\\S"), QStringLiteral("D:\\D"), QStringLiteral(" /TESTCODE:0 "));
    auto *box = w->control<QPlainTextEdit>("txtCommandLine");
    box->setPlainText(box->toPlainText().leftJustified(length, u'x'));
    QCOMPARE(TooLongToRunMessage(box->toPlainText(), autoClose).isEmpty(), !refused);
    if (!autoClose)
        return; // a console that started would wait for a key

    click(*w, "cmdExecute");
    QCOMPARE(shown().size(), 1);
    if (!refused) {
        QCOMPARE(shown().first().prompt, kNoErrors);
        QCOMPARE(recordedRuns().size(), 1);
        return;
    }
    // Nothing starts and nothing is remembered; the message names the limit
    // and the length of what cmd.exe would have been given.
    QCOMPARE(shown().first().style, int(vbCritical));
    QCOMPARE(shown().first().title, QStringLiteral("Corvane"));
    QVERIFY2(shown().first().prompt.contains(QString::number(MaxCommandLength))
                 && shown().first().prompt.contains(QString::number(MaxCommandLength + 1)),
             qPrintable(shown().first().prompt));
    QVERIFY(recordedRuns().isEmpty());
    QCOMPARE(w->control<QComboBox>("cboSource")->count(), 0);
    QCOMPARE(w->control<QComboBox>("cboDestination")->count(), 0);
}

void TestRun::executeNested()
{
    SKIP_WITHOUT_CONSOLE();
    auto w = newWindow();
    auto *source = w->control("cboSource");
    setCommand(w.get(), QStringLiteral("C:\\Outer"), QStringLiteral("D:\\Target"), QStringLiteral(" /TESTCODE:1 /TESTWAIT:2"));

    // Once the first Robocopy runs, a second Execute starts inside its wait;
    // after it the source is edited, and the first run remembers that text.
    bool innerDone = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (recordedRuns().isEmpty())
            return;
        poll.stop();
        setCommand(w.get(), QStringLiteral("C:\\Inner"), QStringLiteral("D:\\Target"), QStringLiteral(" /TESTCODE:2"));
        click(*w, "cmdExecute");
        innerDone = true;
        setTextOf(source, QStringLiteral("C:\\Later"));
    });
    poll.start();
    click(*w, "cmdExecute");

    QVERIFY(innerDone);
    QCOMPARE(shown().size(), 2);
    QCOMPARE(shown().at(0).prompt, kExtra);  // the inner run reports first
    QCOMPARE(shown().at(1).prompt, kCopied); // then the outer one
    const QList<RecordedRun> runs = recordedRuns();
    QCOMPARE(runs.size(), 2);
    QVERIFY(runs.at(0).args.contains(QStringLiteral("/TESTCODE:1")));
    QVERIFY(runs.at(1).args.contains(QStringLiteral("/TESTCODE:2")));
    QCOMPARE(listOf(qobject_cast<QComboBox *>(source)), (QStringList{"C:\\Inner", "C:\\Later"}));
    QCOMPARE(listOf(w->control<QComboBox>("cboDestination")), QStringList{"D:\\Target"});
}

#ifdef Q_OS_LINUX
namespace {
// Process ids of the running children of parent with the given name.
QList<int> childProcesses(const QByteArray &name, int parent)
{
    QList<int> pids;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &entry : entries) {
        bool ok = false;
        const int pid = entry.toInt(&ok);
        if (!ok)
            continue;
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('('), close = line.lastIndexOf(')');
        if (open < 0 || close < open)
            continue;
        const QList<QByteArray> rest = line.mid(close + 2).split(' ');
        if (line.mid(open + 1, close - open - 1) == name && rest.size() > 1 && rest.at(0) != "Z"
            && rest.at(1).toInt() == parent)
            pids << pid;
    }
    return pids;
}

// The running corvane-cmd children of this test.
QList<int> consoleChildren() { return childProcesses("corvane-cmd", int(getpid())); }
} // namespace
#endif

void TestRun::executeWithPause()
{
#if defined(Q_OS_WIN)
    QSKIP("PAUSE would wait for a key on this test's own console");
#elif !defined(Q_OS_LINUX)
    QSKIP("finds the console through /proc");
#else
    SKIP_WITHOUT_CONSOLE();
    auto w = newWindow();
    w->menuItem("mnuOptionsAutoClose")->setChecked(false);
    setCommand(w.get(), QStringLiteral("C:\\S"), QStringLiteral("D:\\D"), QStringLiteral(" /TESTCODE:1"));

    // Robocopy ends, yet the console stays and waits for a key; closing it
    // (here by the request to end that a window close also makes) ends the run.
    QElapsedTimer sinceEnd;
    bool waitedForKey = false;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        const QList<RecordedRun> runs = recordedRuns();
        if (runs.isEmpty() || !runs.first().ended)
            return;
        if (!sinceEnd.isValid())
            sinceEnd.start();
        if (sinceEnd.elapsed() < 500)
            return;
        const QList<int> children = consoleChildren();
        waitedForKey = children.size() == 1;
        poll.stop();
        for (int pid : children)
            ::kill(pid, SIGTERM);
    });
    poll.start();
    click(*w, "cmdExecute");
    poll.stop();

    QVERIFY(waitedForKey);
    QVERIFY(shown().isEmpty()); // no report without Auto-Close
    QCOMPARE(listOf(w->control<QComboBox>("cboSource")), QStringList{"C:\\S"});
    QCOMPARE(listOf(w->control<QComboBox>("cboDestination")), QStringList{"D:\\D"});
#endif
}

void TestRun::closeDuringRun()
{
    SKIP_WITHOUT_CONSOLE();
    auto w = newWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    // Robocopy runs long enough that the wait surely ends first.
    setCommand(w.get(), QStringLiteral("C:\\S"), QStringLiteral("D:\\D"), QStringLiteral(" /TESTCODE:1 /TESTWAIT:4"));

    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (recordedRuns().isEmpty())
            return;
        poll.stop();
        w->close();
    });
    poll.start();
    click(*w, "cmdExecute");
    poll.stop();

    // The wait ended while Robocopy still ran; nothing touched the window.
    QCOMPARE(recordedRuns().size(), 1);
    QVERIFY(!recordedRuns().first().ended);
    QVERIFY(shown().isEmpty());
    QCOMPARE(w->control<QComboBox>("cboSource")->count(), 0);
    QCOMPARE(w->control<QComboBox>("cboDestination")->count(), 0);
    // The console was left running and finishes by itself.
    QTRY_VERIFY_WITH_TIMEOUT(recordedRuns().first().ended, 20000);
#ifdef Q_OS_LINUX
    QTRY_VERIFY_WITH_TIMEOUT(consoleChildren().isEmpty(), 20000); // and was collected, no zombie left
#endif
}

void TestRun::executeEndedBySignal_data()
{
    QTest::addColumn<bool>("killConsole"); // else Robocopy is killed
    QTest::newRow("console killed") << true;
    QTest::newRow("Robocopy killed") << false;
}

// Whatever ends by a signal never finished: the report must not read a
// shell's 128 + signal as Robocopy's bits.
void TestRun::executeEndedBySignal()
{
#ifndef Q_OS_LINUX
    QSKIP("finds the processes through /proc");
#else
    SKIP_WITHOUT_CONSOLE();
    QFETCH(bool, killConsole);
    auto w = newWindow();
    setCommand(w.get(), QStringLiteral("C:\\S"), QStringLiteral("D:\\D"), QStringLiteral(" /TESTCODE:1 /TESTWAIT:3"));
    int killed = 0;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        const QList<int> consoles = consoleChildren();
        if (recordedRuns().isEmpty() || consoles.size() != 1)
            return;
        const QList<int> targets = killConsole ? consoles : childProcesses("ROBOCOPY.EXE", consoles.first());
        for (int pid : targets)
            killed += ::kill(pid, SIGKILL) == 0;
        if (killed)
            poll.stop();
    });
    poll.start();
    click(*w, "cmdExecute");
    poll.stop();

    QCOMPARE(killed, 1);
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().prompt, kSerious);
    QCOMPARE(listOf(w->control<QComboBox>("cboSource")), QStringList{"C:\\S"});
    // A Robocopy left without its console finishes by itself.
    QTRY_VERIFY_WITH_TIMEOUT(killConsole ? recordedRuns().first().ended : consoleChildren().isEmpty(), 20000);
#endif
}

QTEST_MAIN(TestRun)
#include "test_run.moc"
