// Execute really copies off Windows: the window composes the command, the
// stand-in console finds no ROBOCOPY.EXE on PATH and runs corvane-copy from
// beside the program, and the exit report reads its exit code.
#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"
#include "run/ListingRun.h"
#include "run/basShell.h"
#include "run/frmPreview.h"

#include "ScopedHook.h"
#include "Trees.h"
#include "WindowTest.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <filesystem>

class TestCopyWindow : public WindowTest
{
    Q_OBJECT

private slots:
    void listingProgram();
    void executeMirrors();
    void cleanupTestCase();

private:
    QTemporaryDir m_dir;
    // No Robocopy anywhere along PATH, and none in the current folder.
    const ScopedEnvironmentVariable m_path{"PATH", m_dir.filePath(QStringLiteral("empty"))};
    const ScopedCurrentFolder m_current{(QDir().mkpath(m_dir.filePath(QStringLiteral("empty"))),
                                         m_dir.filePath(QStringLiteral("empty")))};
    const ScopedHook<QString> m_console{SetConsoleProgram, QStringLiteral(CORVANE_BINARY_DIR "/corvane-cmd")};
};

// The listing before a run that deletes runs what the console would: a
// ROBOCOPY.EXE along PATH (in any letter case), else corvane-copy from the
// console's own folder, else nothing.
void TestCopyWindow::listingProgram()
{
    const auto canonical = [](const QString &path) { return QFileInfo(path).canonicalFilePath(); };
    QCOMPARE(canonical(ListingProgram()), canonical(QStringLiteral(CORVANE_BINARY_DIR "/corvane-copy")));
    const QString bin = m_dir.filePath(QStringLiteral("bin"));
    QVERIFY(trees::write(bin.toStdString() + "/RoboCopy.exe", "#!/bin/sh\n", 0755));
    {
        const ScopedEnvironmentVariable path("PATH", bin);
        QCOMPARE(ListingProgram(), bin + QStringLiteral("/RoboCopy.exe"));
    }
    const ScopedHook<QString> console(SetConsoleProgram, m_dir.filePath(QStringLiteral("empty/corvane-cmd")));
    QCOMPARE(ListingProgram(), QString());
}

void TestCopyWindow::executeMirrors()
{
    QVERIFY(QFileInfo(QStringLiteral(CORVANE_BINARY_DIR "/corvane-copy")).isExecutable());
    // Folder names with a blank and an ampersand go through the command's quoting.
    const std::string src = m_dir.filePath(QStringLiteral("the source")).toStdString();
    const std::string dst = m_dir.filePath(QStringLiteral("R & D copy")).toStdString();
    std::mt19937 random{5};
    trees::makeRandom(src, random, 40, 2);

    auto w = newWindow();
    QVERIFY(setTextOf(w->control("cboSource"), QString::fromStdString(src)));
    QVERIFY(setTextOf(w->control("cboDestination"), QString::fromStdString(dst)));
    click(*w, "chkMirror");
    QVERIFY(commandOf(*w).contains(QStringLiteral(" /MIR")));

    struct Step
    {
        const char *extra;  // written into the destination before the run
        const char *report; // the exit report
    };
    const Step steps[] = {
        {nullptr, "One or more files copied successfully.\r\n"},
        {nullptr, "Completed with no errors"},
        {"/extra-file", "Some Extra files or directories were detected.\r\n"},
    };
    // Run, whatever the asking before a mirror says.
    const ScopedHook<PreviewDialogExec> run(SetPreviewDialogExec, [](frmPreview &d) {
        QTimer::singleShot(0, &d, &QDialog::accept);
        return d.exec();
    });
    for (const Step &step : steps) {
        if (step.extra)
            QVERIFY(trees::write(dst + step.extra, "not in the source"));
        shown().clear();
        click(*w, "cmdExecute");
        QVERIFY2(shown().size() == 1, qPrintable(describeShown()));
        QCOMPARE(shown().first().prompt, QString::fromLatin1(step.report));
        const trees::Description expected = trees::describe(src);
        QVERIFY2(trees::describe(dst) == expected, qPrintable(trees::difference(expected, trees::describe(dst))));
    }
}

// QTemporaryDir cannot remove names that are not UTF-8; the file system can.
void TestCopyWindow::cleanupTestCase()
{
    std::error_code ec;
    std::filesystem::remove_all(m_dir.path().toStdString(), ec);
}

QTEST_MAIN(TestCopyWindow)
#include "test_copy_window.moc"
