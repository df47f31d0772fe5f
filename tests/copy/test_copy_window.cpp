// Execute really copies off Windows: the window composes the command, the
// stand-in console finds no ROBOCOPY.EXE on PATH and runs corvane-copy from
// beside the program, and the exit report reads its exit code. Before a run
// that deletes, the listing runs corvane-copy too, and the window asks with
// what it listed.
#include "command/ListingCommand.h"
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
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <filesystem>

using namespace Qt::Literals::StringLiterals;

namespace {

// What the asking dialog showed.
struct Asked
{
    QString message;
    QString paths;
    QString details;
};

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

} // namespace

class TestCopyWindow : public WindowTest
{
    Q_OBJECT

private slots:
    void listingProgram();
    void executeMirrors();
    void previewOfMirror();
    void engineListingRead_data();
    void engineListingRead();
    void cleanupTestCase();

private:
    // Answers the asking dialog with Run or Cancel, and keeps what it showed.
    PreviewDialogExec answer(bool run)
    {
        return [this, run](frmPreview &d) {
            QTimer::singleShot(0, &d, [this, run, &d] {
                m_asked.push_back({d.lblMessage()->text(), d.lblPaths()->text(), d.txtDetails()->toPlainText()});
                QTest::mouseClick(run ? d.cmdRun() : d.cmdCancel(), Qt::LeftButton);
            });
            return d.exec();
        };
    }

    QList<Asked> m_asked;
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
    const ScopedHook<PreviewDialogExec> run(SetPreviewDialogExec, answer(true));
    for (const Step &step : steps) {
        if (step.extra)
            QVERIFY(trees::write(dst + step.extra, "not in the source"));
        shown().clear();
        m_asked.clear();
        click(*w, "cmdExecute");
        // Only a run that deletes something asks first.
        QCOMPARE(m_asked.size(), step.extra ? 1 : 0);
        QVERIFY2(shown().size() == 1, qPrintable(describeShown()));
        QCOMPARE(shown().first().prompt, QString::fromLatin1(step.report));
        const trees::Description expected = trees::describe(src);
        QVERIFY2(trees::describe(dst) == expected, qPrintable(trees::difference(expected, trees::describe(dst))));
    }
}

// A mirror onto a destination that holds what the source does not: the
// listing (corvane-copy with /L) names the three extra files and the extra
// folder, with their count and size; Cancel leaves the destination as it
// was; Run deletes them and copies the rest.
void TestCopyWindow::previewOfMirror()
{
    m_asked.clear();
    const std::string src = m_dir.filePath(u"mirror source"_s).toStdString();
    const std::string dst = m_dir.filePath(u"mirror destination"_s).toStdString();
    QVERIFY(trees::write(src + "/same.txt", "in both", 0644, 1700000000));
    QVERIFY(trees::write(dst + "/same.txt", "in both", 0644, 1700000000));
    QVERIFY(trees::write(src + "/changed.txt", "the source's version", 0644, 1700000100));
    QVERIFY(trees::write(dst + "/changed.txt", "older", 0644, 1700000000));
    QVERIFY(trees::write(src + "/sub/new.bin", QByteArray(5000, 'n')));
    // The extras: 100 + 200 + 210 bytes, one with a blank, one with letters
    // beyond ASCII, and a folder with files and a folder of its own.
    QVERIFY(trees::write(dst + "/stale.log", QByteArray(100, 's')));
    QVERIFY(trees::write(dst + "/old notes.txt", QByteArray(200, 'o')));
    QVERIFY(trees::write(dst + "/sub/r\xC3\xA9sum\xC3\xA9.doc", QByteArray(210, 'r')));
    QVERIFY(trees::write(dst + "/retired/a.txt", "a"));
    QVERIFY(trees::write(dst + "/retired/deeper/b.txt", "b"));
    const QString dstText = QString::fromStdString(dst);
    const QStringList extras{dstText + u"/stale.log"_s, dstText + u"/old notes.txt"_s,
                             dstText + u"/sub/r\u00e9sum\u00e9.doc"_s, dstText + u"/retired/"_s};
    const QString message = u"This run will delete 3 files (510 bytes) and 1 folder (with everything in it) from "
                            u"the destination."_s;

    auto w = newWindow();
    QVERIFY(w->menuItem("mnuOptionsPreview")->isChecked()); // the preview is on by default
    QVERIFY(setTextOf(w->control("cboSource"), QString::fromStdString(src)));
    QVERIFY(setTextOf(w->control("cboDestination"), dstText));
    click(*w, "chkMirror");

    const trees::Description before = trees::describe(dst);
    {
        const ScopedHook<PreviewDialogExec> cancel(SetPreviewDialogExec, answer(false));
        click(*w, "cmdExecute");
    }
    QCOMPARE(m_asked.size(), 1);
    QCOMPARE(m_asked.first().message, message);
    QCOMPARE(sorted(m_asked.first().paths.split(u'\n')), sorted(extras));
    QCOMPARE(m_asked.first().details, u"Deleted from the destination (4):\n"_s + m_asked.first().paths);
    QVERIFY2(shown().isEmpty(), qPrintable(describeShown())); // nothing ran
    QVERIFY(trees::describe(dst) == before);

    m_asked.clear();
    {
        const ScopedHook<PreviewDialogExec> run(SetPreviewDialogExec, answer(true));
        click(*w, "cmdExecute");
    }
    QCOMPARE(m_asked.size(), 1);
    QCOMPARE(m_asked.first().message, message);
    QVERIFY2(shown().size() == 1, qPrintable(describeShown()));
    QCOMPARE(shown().first().prompt, u"Some Extra files or directories were detected.\r\n"_s);
    const trees::Description expected = trees::describe(src);
    QVERIFY2(trees::describe(dst) == expected, qPrintable(trees::difference(expected, trees::describe(dst))));
}

// What the preview reads from corvane-copy's own listing: the counts and
// sizes of its summary, the extra entries and the files a move takes, by
// their full paths, for what the run's switches say it may do.
void TestCopyWindow::engineListingRead_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QString>("dirs");   // the summary's rows, as read
    QTest::addColumn<QString>("files");
    QTest::addColumn<QString>("bytes");
    QTest::addColumn<QStringList>("extras"); // "F name" or "D name/", below the destination
    QTest::addColumn<QStringList>("copied"); // below the source
    QTest::addColumn<QString>("preview");    // the asking message, %1 the size it names
    QTest::addColumn<qint64>("size");

    // The trees: a.txt (12 bytes) and sub/b.bin (7000) to copy, same.txt
    // (5) alike on both sides; big extra.dat (3000), small.txt (20) and the
    // folder gone/ in the destination alone; the file m (2) in the source
    // where the destination has a folder m/, which a purge deletes as an extra.
    const QStringList extras{u"F big extra.dat"_s, u"F small.txt"_s, u"D gone/"_s, u"D m/"_s};
    const QStringList copied{u"a.txt"_s, u"sub/b.bin"_s, u"m"_s};
    const QString deletes = u"This run will delete 2 files (%1) and 2 folders (with everything in them) from the "
                            u"destination."_s;
    // Scaled as printed: 7017 bytes "6.9 k", 7012 "6.8 k", 3020 "2.9 k",
    // read back as 6.9 * 1024 and so on, rounded.
    QTest::newRow("mirror, sizes scaled")
        << u"/MIR"_s << u"2 1 1 0 0 2"_s << u"4 3 1 0 0 2"_s << u"7066 6963 5 0 0 2970"_s << extras << copied
        << deletes << qint64(2970);
    QTest::newRow("mirror, sizes in bytes")
        << u"/MIR /BYTES"_s << u"2 1 1 0 0 2"_s << u"4 3 1 0 0 2"_s << u"7019 7014 5 0 0 3020"_s << extras
        << copied << deletes << qint64(3020);
    QTest::newRow("mirror, a folder kept by /XD")
        << u"/MIR /XD gone /BYTES"_s << u"2 1 1 0 0 1"_s << u"4 3 1 0 0 2"_s << u"7019 7014 5 0 0 3020"_s
        << QStringList{u"F big extra.dat"_s, u"F small.txt"_s, u"D m/"_s} << copied
        << u"This run will delete 2 files (%1) and 1 folder (with everything in it) from the destination."_s
        << qint64(3020);
    QTest::newRow("move")
        << u"/MOVE /E /BYTES"_s << u"2 1 1 0 0 1"_s << u"4 2 1 1 0 2"_s << u"7019 7012 5 2 0 3020"_s
        << extras.mid(0, 3) << copied.mid(0, 2) << u"This run will move 2 files (%1) out of the source."_s
        << qint64(7012);
}

void TestCopyWindow::engineListingRead()
{
    QFETCH(QString, switches);
    QFETCH(QString, dirs);
    QFETCH(QString, files);
    QFETCH(QString, bytes);
    QFETCH(QStringList, extras);
    QFETCH(QStringList, copied);
    QFETCH(QString, preview);
    QFETCH(qint64, size);
    const QString root = m_dir.filePath(u"listing "_s + QString::fromLatin1(QTest::currentDataTag()));
    const std::string src = (root + u"/src"_s).toStdString();
    const std::string dst = (root + u"/dst"_s).toStdString();
    QVERIFY(trees::write(src + "/a.txt", "twelve bytes"));
    QVERIFY(trees::write(src + "/same.txt", "same!", 0644, 1700000000));
    QVERIFY(trees::write(dst + "/same.txt", "same!", 0644, 1700000000));
    QVERIFY(trees::write(src + "/sub/b.bin", QByteArray(7000, 'b')));
    QVERIFY(trees::write(dst + "/big extra.dat", QByteArray(3000, 'x')));
    QVERIFY(trees::write(dst + "/small.txt", QByteArray(20, 'y')));
    QVERIFY(trees::write(dst + "/gone/inside.txt", "z"));
    QVERIFY(trees::write(src + "/m", "mm") && trees::write(dst + "/m/inner.txt", "z"));
    const trees::Description srcBefore = trees::describe(src);
    const trees::Description dstBefore = trees::describe(dst);

    const QString command = u"ROBOCOPY.EXE \"%1\" \"%2\" %3"_s.arg(root + u"/src"_s, root + u"/dst"_s, switches);
    const std::optional<QString> arguments = ListingArguments(command);
    QVERIFY(arguments);
    const ListingOutcome outcome = RunListing(*arguments, nullptr);
    QCOMPARE(int(outcome.status), int(ListingOutcome::Status::Finished));
    QVERIFY2(outcome.reading.readable, qPrintable(outcome.output));
    const auto row = [](const SummaryRow &r) {
        QStringList values;
        for (qint64 v : r)
            values << QString::number(v);
        return values.join(u' ');
    };
    QCOMPARE(row(outcome.reading.dirs), dirs);
    QCOMPARE(row(outcome.reading.files), files);
    QCOMPARE(row(outcome.reading.bytes), bytes);
    QStringList extrasRead;
    for (const ListedEntry &e : outcome.reading.extras)
        extrasRead << (e.folder ? u"D "_s : u"F "_s) + e.path.mid(root.size() + 5);
    QCOMPARE(sorted(extrasRead), sorted(extras));
    QStringList copiedRead;
    for (const QString &path : outcome.reading.copiedFiles)
        copiedRead << path.mid(root.size() + 5);
    QCOMPARE(sorted(copiedRead), sorted(copied));
    QCOMPARE(PreviewTextOf(PreviewOf(ReadRunEffects(command), outcome.reading, outcome.exitCode)).message,
             preview.arg(SizeOf(size)));
    // A listing changes nothing.
    QVERIFY(trees::describe(src) == srcBefore);
    QVERIFY(trees::describe(dst) == dstBefore);
}

// QTemporaryDir cannot remove names that are not UTF-8; the file system can.
void TestCopyWindow::cleanupTestCase()
{
    std::error_code ec;
    std::filesystem::remove_all(m_dir.path().toStdString(), ec);
}

QTEST_MAIN(TestCopyWindow)
#include "test_copy_window.moc"
