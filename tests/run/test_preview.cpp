// The listing before a run that deletes or moves: reading Robocopy's
// listings, what the user is told, and the whole way through the window with
// a Robocopy that prints a listing.

#include "command/CommandWords.h"
#include "command/ListingCommand.h"
#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"
#include "run/Listing.h"
#include "run/ListingRun.h"
#include "run/basShell.h"
#include "run/frmPreview.h"

#include "RecordingRobocopy.h"
#include "ScopedHook.h"
#include "WindowTest.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace {

const QString kDashes = QString(79, u'-');

// A listing as Robocopy prints it for "C:\Src D:\Dst /MIR" with /L /NP /FP:
// the header, one line per folder and file (tabs as Robocopy writes them),
// the summary table. Two extra files and an extra folder in the
// destination; two new files in the source.
QString englishListing()
{
    return u"\n"_s + kDashes + u"\n"
        u"   ROBOCOPY     ::     Robust File Copy for Windows                              \n"_s
        + kDashes + u"\n\n"
        u"  Started : Thursday, March 8, 2018 2:34:58 PM\n"
        u"   Source : C:\\Src\\\n"
        u"     Dest : D:\\Dst\\\n\n"
        u"    Files : *.*\n\n"
        u"  Options : *.* /FP /L /S /E /DCOPY:DA /COPY:DAT /PURGE /MIR /NP /R:0 /W:0 \n\n"_s
        + kDashes.left(78) + u"\n\n"
        u"\t                   2\tC:\\Src\\\n"
        u"\t    *EXTRA Dir        -1\tD:\\Dst\\old\\\n"
        u"\t      *EXTRA File \t\t    1024\tD:\\Dst\\stale.txt\n"
        u"\t      *EXTRA File \t\t   3.0 k\tD:\\Dst\\notes 2019.txt\n"
        u"\t    New File  \t\t  476693\tC:\\Src\\report.pdf\n"
        u"\t  New Dir          1\tC:\\Src\\sub\\\n"
        u"\t    New File  \t\t  44.0 m\tC:\\Src\\sub\\video 1.mp4\n\n"_s
        + kDashes.left(78) + u"\n\n"
        u"               Total    Copied   Skipped  Mismatch    FAILED    Extras\n"
        u"    Dirs :         2         1         1         0         0         1\n"
        u"   Files :         3         2         1         0         0         2\n"
        u"   Bytes :    44.5 m    44.5 m     1.0 k         0         0     4.0 k\n"
        u"   Times :   0:00:00   0:00:00                       0:00:00   0:00:00\n"
        u"   Ended : Thursday, March 8, 2018 2:34:59 PM\n\n"_s;
}

// The same in another language: other labels, headings and tags, a decimal
// comma; only "*EXTRA" and the layout are the same.
QString otherLanguageListing()
{
    return kDashes + u"\n"
        u"   ROBOCOPY     ::     Robustes Dateikopieren f\u00fcr Windows\n"_s
        + kDashes + u"\n\n"
        u"  Gestartet : Donnerstag, 8. M\u00e4rz 2018 14:34:58\n"
        u"     Quelle : C:\\Quelle\\\n"
        u"       Ziel : D:\\Ziel\\\n\n"
        u"  Optionen : *.* /FP /L /S /E /COPY:DAT /MOVE /NP /R:0 /W:0\n\n"_s
        + kDashes + u"\n\n"
        u"\t                   1\tC:\\Quelle\\\n"
        u"\t    *EXTRA Verz.        -1\tD:\\Ziel\\alt\\\n"
        u"\t      *EXTRA Datei \t\t    12\tD:\\Ziel\\\u00fcbrig.txt\n"
        u"\t    Neue Datei  \t\t  1,5 k\tC:\\Quelle\\Bericht M\u00fcller.pdf\n\n"_s
        + kDashes + u"\n\n"
        u"            Insgesamt   Kopiert \u00dcbersprungen  Keine \u00dcbereinst.  FEHLER   Extras\n"
        u"Verzeich. :         1         0         1         0         0         1\n"
        u"  Dateien :         2         1         1         0         0         1\n"
        u"    Bytes :     1,5 k     1,5 k       100         0         0        12\n"
        u"   Zeiten :   0:00:00   0:00:00                       0:00:00   0:00:00\n"_s;
}

// From our own engine on Linux: forward slashes, no Windows drive.
QString linuxListing()
{
    return kDashes + u"\n   ROBOCOPY     ::     Robust File Copy\n"_s + kDashes
        + u"\n  Options : *.* /FP /L /S /E /PURGE /MIR /NP /R:0 /W:0\n"_s + kDashes
        + u"\n\t                   2\t/home/u/src/\n"
          u"\t*EXTRA File\t\t      12\t/home/u/dst/a.txt\n"
          u"\t*EXTRA File\t\t      30\t/home/u/dst/b c.txt\n"
          u"\t*EXTRA File\t\t       0\t/home/u/dst/empty\n"
          u"\t*EXTRA Dir\t      -1\t/home/u/dst/old/\n"_s
        + kDashes
        + u"\n               Total    Copied   Skipped  Mismatch    FAILED    Extras\n"
          u"    Dirs :         1         0         1         0         0         1\n"
          u"   Files :         0         0         0         0         0         3\n"
          u"   Bytes :         0         0         0         0         0        42\n"_s;
}

// From our engine, /MIR /L /FP /NP where a source file faces a destination
// folder and a source folder a destination file: the destination's entry of
// the other kind is an extra (it goes), the source's is new.
QString linuxMismatchListing()
{
    return kDashes + u"\n   corvane-copy     ::     Robust File Copy, compatible with Robocopy\n"_s + kDashes
        + u"\n  Options : *.* /FP /L /NP /S /E /DCOPY:DA /COPY:DAT /PURGE /MIR /R:0 /W:0\n"_s + kDashes
        + u"\n\t                   1\t/home/u/src/\n"
          u"\t  *EXTRA File\t\t       7\t/home/u/dst/notes\n"
          u"\t*EXTRA Dir        -1\t/home/u/dst/report/\n"
          u"\t    New File\t\t       3\t/home/u/src/report\n"
          u"\t  New Dir          1\t/home/u/src/notes/\n"
          u"\t    New File\t\t       2\t/home/u/src/notes/n.txt\n\n"_s
        + kDashes.left(78)
        + u"\n\n               Total    Copied   Skipped  Mismatch    FAILED    Extras\n"
          u"    Dirs :         2         1         1         0         0         1\n"
          u"   Files :         2         2         0         0         0         1\n"
          u"   Bytes :         5         5         0         0         0         7\n"_s;
}

// The summary table alone: nothing listed, the header left out (/NJH in a job).
QString bareSummary(const QString &extras)
{
    return u"\n"_s + kDashes
        + u"\n\n               Total    Copied   Skipped  Mismatch    FAILED    Extras\n"
          u"    Dirs :         1         0         1         0         0         0\n"
          u"   Files :         4         0         4         0         0         %1\n"
          u"   Bytes :     2.0 k         0     2.0 k         0         0         0\n"_s.arg(extras);
}

QString rowText(const SummaryRow &row)
{
    QStringList values;
    for (qint64 v : row)
        values << QString::number(v);
    return values.join(u' ');
}

QStringList entriesOf(const QList<ListedEntry> &entries)
{
    QStringList out;
    for (const ListedEntry &e : entries)
        out << (e.folder ? u"D "_s : u"F "_s) + e.path;
    return out;
}

// What the asking dialog showed, and how it stood when it opened.
struct SeenPreview
{
    QString message;
    QString paths;          // empty when the label is hidden
    QString details;
    QString detailsButton;  // empty when hidden
    bool cancelIsDefault = false;
    bool cancelHasFocus = false;
    bool runIsDefault = false;
    QString runText;
    QString cancelText;
    QString title;
};

enum class Answer { Escape, Enter, TabThenEnter, Run, ShowDetailsThenRun, CloseBox };

} // namespace

class TestPreview : public WindowTest
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    // Reading listings, and what the user is told
    void readListing_data();
    void readListing();
    void readListingLineByLine();
    void previewOf_data();
    void previewOf();
    void previewTexts();
    void failureTexts_data();
    void failureTexts();
    void sizes_data();
    void sizes();

    // Through the window with a Robocopy that prints a listing
    void asksBeforeMirror();
    void runAfterAsking();
    void enterAndCloseBoxCancel_data();
    void enterAndCloseBoxCancel();
    void showDetails();
    void lettersOfTheCodePage();
    void optionOffListsNothing();
    void nothingToRemoveRunsAtOnce();
    void onlyDeletingCommandsAreListed_data();
    void onlyDeletingCommandsAreListed();
    void failedListing_data();
    void failedListing();
    void cancelWhileListing();
    void closeWhileListing();
    void longListingStaysBounded();

private:
    void setCommand(frmCorvane &w, const QString &switches);
    // Answers the asking dialog as a user would, and keeps what it showed.
    PreviewDialogExec answer(Answer a);
    QList<RecordedRun> runs() const { return m_robocopy.runs(); }
    // A run that ends with the listing's own switches.
    static bool isListing(const RecordedRun &r)
    {
        const QStringList added = ListingSwitches().split(u' ');
        return r.args.size() >= added.size() && r.args.mid(r.args.size() - added.size()) == added;
    }

    QTemporaryDir m_scratch;
    RecordingRobocopy m_robocopy{m_scratch.filePath(u"robocopy"_s)};
    const QString m_emptyDir = m_scratch.filePath(u"empty"_s);
    std::optional<ScopedEnvironmentVariable> m_path;
    std::optional<ScopedCurrentFolder> m_current;
    QList<SeenPreview> m_seen;
    // A test that does not expect the asking dialog finds it in m_seen,
    // answered with Cancel, instead of hanging on it.
    std::optional<ScopedHook<PreviewDialogExec>> m_answer;
#ifndef Q_OS_WIN
    const ScopedHook<QString> m_console{SetConsoleProgram, QStringLiteral(CORVANE_BINARY_DIR "/corvane-cmd")};
#endif
};

void TestPreview::init()
{
    WindowTest::init();
    m_robocopy.clear();
    m_seen.clear();
    QVERIFY(QDir().mkpath(m_emptyDir));
    // The console and the listing search the current folder first: an empty one.
    m_current.emplace(m_emptyDir);
    m_path.emplace("PATH", m_robocopy.folder());
    m_answer.emplace(SetPreviewDialogExec, answer(Answer::Escape));
}

void TestPreview::cleanup()
{
    m_answer.reset();
    m_path.reset();
    m_current.reset();
    WindowTest::cleanup();
}

void TestPreview::setCommand(frmCorvane &w, const QString &switches)
{
    QVERIFY(setTextOf(w.control("cboSource"), u"C:\\Src"_s));
    QVERIFY(setTextOf(w.control("cboDestination"), u"D:\\Dst"_s));
    QWidget *box = w.control("txtCommandLine");
    QVERIFY(setTextOf(box, textOf(box) + switches));
}

PreviewDialogExec TestPreview::answer(Answer a)
{
    return [this, a](frmPreview &d) {
        QTimer::singleShot(0, &d, [this, a, &d] {
            SeenPreview seen;
            seen.message = d.lblMessage()->text();
            seen.paths = d.lblPaths()->isVisible() ? d.lblPaths()->text() : QString();
            seen.details = d.txtDetails()->toPlainText();
            seen.detailsButton = d.cmdDetails()->isVisible() ? d.cmdDetails()->text() : QString();
            seen.cancelIsDefault = d.cmdCancel()->isDefault();
            seen.cancelHasFocus = d.focusWidget() == d.cmdCancel();
            seen.runIsDefault = d.cmdRun()->isDefault();
            seen.runText = d.cmdRun()->text();
            seen.cancelText = d.cmdCancel()->text();
            seen.title = d.windowTitle();
            m_seen << seen;
            switch (a) {
            case Answer::Escape:
                QTest::keyClick(&d, Qt::Key_Escape);
                break;
            case Answer::Enter:
                QTest::keyClick(d.focusWidget() ? d.focusWidget() : &d, Qt::Key_Return);
                break;
            case Answer::TabThenEnter:
                // From Cancel to Show Details, which is no default of its own.
                QTest::keyClick(d.focusWidget(), Qt::Key_Tab);
                QTest::keyClick(d.focusWidget(), Qt::Key_Return);
                break;
            case Answer::Run:
                QTest::mouseClick(d.cmdRun(), Qt::LeftButton);
                break;
            case Answer::ShowDetailsThenRun:
                QTest::mouseClick(d.cmdDetails(), Qt::LeftButton);
                QTest::mouseClick(d.cmdRun(), Qt::LeftButton);
                break;
            case Answer::CloseBox:
                d.close();
                break;
            }
        });
        return d.exec();
    };
}

// ---------------------------------------------------------------- reading

void TestPreview::readListing_data()
{
    QTest::addColumn<QString>("listing");
    QTest::addColumn<bool>("readable");
    QTest::addColumn<QString>("dirs");
    QTest::addColumn<QString>("files");
    QTest::addColumn<QString>("bytes");
    QTest::addColumn<QStringList>("extras");
    QTest::addColumn<QStringList>("copied");
    QTest::addColumn<QString>("header"); // h found, p purges, m moves

    const QString english = englishListing();
    const QStringList englishExtras{u"D D:\\Dst\\old\\"_s, u"F D:\\Dst\\stale.txt"_s, u"F D:\\Dst\\notes 2019.txt"_s};
    const QStringList englishCopied{u"C:\\Src\\report.pdf"_s, u"C:\\Src\\sub\\video 1.mp4"_s};
    const QString mb445 = QString::number(qRound64(44.5 * 1024 * 1024));
    QTest::newRow("English, as documented")
        << english << true << u"2 1 1 0 0 1"_s << u"3 2 1 0 0 2"_s << mb445 + u' ' + mb445 + u" 1024 0 0 4096"_s
        << englishExtras << englishCopied << u"hp"_s;
    QString crlf = english;
    crlf.replace(u"\n"_s, u"\r\n"_s);
    QTest::newRow("CR LF line ends") << crlf << true << u"2 1 1 0 0 1"_s << u"3 2 1 0 0 2"_s
                                     << mb445 + u' ' + mb445 + u" 1024 0 0 4096"_s << englishExtras << englishCopied
                                     << u"hp"_s;
    QTest::newRow("progress before the header") << u"  10%\r  55%\r 100%\n"_s + english << true
                                                << u"2 1 1 0 0 1"_s << u"3 2 1 0 0 2"_s
                                                << mb445 + u' ' + mb445 + u" 1024 0 0 4096"_s << englishExtras
                                                << englishCopied << u"hp"_s;
    QTest::newRow("summary in other words")
        << otherLanguageListing() << true << u"1 0 1 0 0 1"_s << u"2 1 1 0 0 1"_s << u"1536 1536 100 0 0 12"_s
        << QStringList{u"D D:\\Ziel\\alt\\"_s, u"F D:\\Ziel\\\u00fcbrig.txt"_s}
        << QStringList{u"C:\\Quelle\\Bericht M\u00fcller.pdf"_s} << u"hm"_s;
    QTest::newRow("Linux paths") << linuxListing() << true << u"1 0 1 0 0 1"_s << u"0 0 0 0 0 3"_s
                                 << u"0 0 0 0 0 42"_s
                                 << QStringList{u"F /home/u/dst/a.txt"_s, u"F /home/u/dst/b c.txt"_s,
                                                u"F /home/u/dst/empty"_s, u"D /home/u/dst/old/"_s}
                                 << QStringList{} << u"hp"_s;
    QTest::newRow("Linux, entries of the other kind replaced") << linuxMismatchListing() << true << u"2 1 1 0 0 1"_s
                                                              << u"2 2 0 0 0 1"_s << u"5 5 0 0 0 7"_s
                                                              << QStringList{u"F /home/u/dst/notes"_s,
                                                                             u"D /home/u/dst/report/"_s}
                                                              << QStringList{u"/home/u/src/report"_s,
                                                                             u"/home/u/src/notes/n.txt"_s}
                                                              << u"hp"_s;
    QTest::newRow("empty") << QString() << false << u"0 0 0 0 0 0"_s << u"0 0 0 0 0 0"_s << u"0 0 0 0 0 0"_s
                           << QStringList{} << QStringList{} << u""_s;
    const qsizetype table = english.indexOf(u"               Total"_s);
    QTest::newRow("cut short before the summary")
        << english.left(english.indexOf(u"\t    New File"_s)) << false << u"0 0 0 0 0 0"_s << u"0 0 0 0 0 0"_s
        << u"0 0 0 0 0 0"_s << englishExtras << QStringList{} << u"hp"_s;
    QTest::newRow("cut short inside the summary")
        << english.left(english.indexOf(u"   Bytes"_s, table)) << false << u"0 0 0 0 0 0"_s << u"0 0 0 0 0 0"_s
        << u"0 0 0 0 0 0"_s << englishExtras << englishCopied << u"hp"_s;
    QTest::newRow("cut short inside the bytes row")
        << english.left(english.indexOf(u"     1.0 k"_s, table)) << false << u"0 0 0 0 0 0"_s << u"0 0 0 0 0 0"_s
        << u"0 0 0 0 0 0"_s << englishExtras << englishCopied << u"hp"_s;
    QString shortHeader = english;
    shortHeader.remove(shortHeader.indexOf(kDashes.left(78)), 79);
    QTest::newRow("a header without its last dashes")
        << shortHeader << true << u"2 1 1 0 0 1"_s << u"3 2 1 0 0 2"_s
        << mb445 + u' ' + mb445 + u" 1024 0 0 4096"_s << englishExtras << englishCopied << u"p"_s;
    QTest::newRow("no header, nothing listed") << bareSummary(u"0"_s) << true << u"1 0 1 0 0 0"_s
                                               << u"4 0 4 0 0 0"_s << u"2048 0 2048 0 0 0"_s << QStringList{}
                                               << QStringList{} << u""_s;
    QTest::newRow("no header, entries")
        << u"\t*EXTRA File\t\t 5\tD:\\x.txt\n"_s + bareSummary(u"1"_s) << true << u"1 0 1 0 0 0"_s
        << u"4 0 4 0 0 1"_s << u"2048 0 2048 0 0 0"_s << QStringList{u"F D:\\x.txt"_s} << QStringList{} << u""_s;
    // Errors start in the first column; their messages too. A mismatch
    // names nothing the run deletes as extra.
    QString errors = english;
    errors.insert(errors.indexOf(u"\t    New File"_s),
                  u"2018/03/08 14:34:58 ERROR 5 (0x00000005) Scanning Destination Directory D:\\Dst\\locked\\\n"
                  u"Access is denied.\n\n"
                  u"\t    *MISMATCH \t\t      12\tC:\\Src\\clash\n"_s);
    QTest::newRow("errors and a mismatch") << errors << true << u"2 1 1 0 0 1"_s << u"3 2 1 0 0 2"_s
                                           << mb445 + u' ' + mb445 + u" 1024 0 0 4096"_s << englishExtras
                                           << englishCopied << u"hp"_s;
    // The rows must stand together, whole, each with six numbers.
    QString seven = bareSummary(u"0"_s);
    seven.replace(u"   Files :         4"_s, u"   Files :    9    4"_s);
    QTest::newRow("a row of seven") << seven << false << u"0 0 0 0 0 0"_s << u"0 0 0 0 0 0"_s << u"0 0 0 0 0 0"_s
                                    << QStringList{} << QStringList{} << u""_s;
    QString apart = bareSummary(u"0"_s);
    apart.replace(u"   Files :"_s, u"\n   Files :"_s);
    QTest::newRow("rows apart") << apart << false << u"0 0 0 0 0 0"_s << u"0 0 0 0 0 0"_s << u"0 0 0 0 0 0"_s
                                << QStringList{} << QStringList{} << u""_s;
    QString raw = bareSummary(u"0"_s);
    raw.replace(u"     2.0 k         0     2.0 k"_s, u"      2048         0      2048"_s);
    QTest::newRow("bytes as bytes") << raw << true << u"1 0 1 0 0 0"_s << u"4 0 4 0 0 0"_s
                                    << u"2048 0 2048 0 0 0"_s << QStringList{} << QStringList{} << u""_s;
    QString big = bareSummary(u"0"_s);
    big.replace(u"     2.0 k         0     2.0 k"_s, u"   1.500 t         0   848.175 g"_s);
    QTest::newRow("large scales")
        << big << true << u"1 0 1 0 0 0"_s << u"4 0 4 0 0 0"_s
        << QString::number(qRound64(1.5 * 1099511627776.0)) + u" 0 "_s
               + QString::number(qRound64(848.175 * 1073741824.0)) + u" 0 0 0"_s
        << QStringList{} << QStringList{} << u""_s;
}

void TestPreview::readListing()
{
    QFETCH(QString, listing);
    QFETCH(bool, readable);
    QFETCH(QString, dirs);
    QFETCH(QString, files);
    QFETCH(QString, bytes);
    QFETCH(QStringList, extras);
    QFETCH(QStringList, copied);
    QFETCH(QString, header);
    const ListingReading r = ReadListing(listing);
    QCOMPARE(r.readable, readable);
    QCOMPARE(rowText(r.dirs), dirs);
    QCOMPARE(rowText(r.files), files);
    QCOMPARE(rowText(r.bytes), bytes);
    QCOMPARE(entriesOf(r.extras), extras);
    QCOMPARE(r.extraLines, extras.size());
    QCOMPARE(r.copiedFiles, copied);
    QCOMPARE(r.copiedLines, copied.size());
    QString seen;
    if (r.headerFound)
        seen += u'h';
    if (r.headerPurges)
        seen += u'p';
    if (r.headerMoves)
        seen += u'm';
    QCOMPARE(seen, header);
}

// Output arrives in pieces; read line by line it reads as a whole, and what
// is kept of a huge listing stays bounded while every entry is counted.
void TestPreview::readListingLineByLine()
{
    const QString english = englishListing();
    ListingReader reader;
    for (QStringView line : QStringView(english).split(u'\n'))
        reader.addLine(line);
    const ListingReading whole = ReadListing(english);
    QCOMPARE(reader.reading().readable, whole.readable);
    QCOMPARE(reader.reading().extras, whole.extras);

    ListingReader huge;
    const qsizetype n = MaxListedPaths + 25;
    for (qsizetype i = 0; i < n; ++i)
        huge.addLine(u"\t*EXTRA File\t\t 1\tD:\\Dst\\f%1.txt"_s.arg(i));
    for (qsizetype i = 0; i < n; ++i)
        huge.addLine(u"\t  New File\t\t 1\tC:\\Src\\g%1.txt"_s.arg(i));
    QCOMPARE(huge.reading().extraLines, n);
    QCOMPARE(huge.reading().extras.size(), MaxListedPaths);
    QCOMPARE(huge.reading().extras.last().path, u"D:\\Dst\\f%1.txt"_s.arg(MaxListedPaths - 1));
    QCOMPARE(huge.reading().copiedLines, n);
    QCOMPARE(huge.reading().copiedFiles.size(), MaxListedPaths);
}

void TestPreview::previewOf_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("listing");
    QTest::addColumn<int>("exitCode");
    // deleted files, folders, bytes, lines; moved files, bytes, lines; removes nothing
    QTest::addColumn<QString>("expected");
    const QString english = englishListing();
    const QString moved = QString::number(qRound64(44.5 * 1024 * 1024));
    QTest::newRow("mirror deletes the extras") << u"R a b /MIR"_s << english << 3 << u"2 1 4096 3 | 0 0 0 | no"_s;
    QTest::newRow("move only: extras stay, copies leave the source")
        << u"R a b /MOV"_s << english << 3 << u"0 0 0 0 | 2 "_s + moved + u" 2 | no"_s;
    QTest::newRow("move and purge") << u"R a b /MOVE /PURGE"_s << english << 3
                                    << u"2 1 4096 3 | 2 "_s + moved + u" 2 | no"_s;
    // A destination entry that one of the other kind replaces is among what goes.
    QTest::newRow("mirror replaces entries of the other kind")
        << u"R a b /MIR"_s << linuxMismatchListing() << 3 << u"1 1 7 2 | 0 0 0 | no"_s;
    QTest::newRow("mirror of a tree in step") << u"R a b /MIR"_s << bareSummary(u"0"_s) << 0
                                              << u"0 0 0 0 | 0 0 0 | yes"_s;
    QTest::newRow("in step but errors met") << u"R a b /MIR"_s << bareSummary(u"0"_s) << 8
                                            << u"0 0 0 0 | 0 0 0 | no"_s;
    QTest::newRow("an extra line the summary does not count")
        << u"R a b /MIR"_s << u"\t*EXTRA File\t\t 5\tD:\\x.txt\n"_s + bareSummary(u"0"_s) << 2
        << u"0 0 0 1 | 0 0 0 | no"_s;
    // A job's own switches show in the header only.
    QTest::newRow("job that mirrors") << u"R /JOB:j"_s << english << 3 << u"2 1 4096 3 | 0 0 0 | no"_s;
    QTest::newRow("job that moves") << u"R /JOB:j"_s << otherLanguageListing() << 3 << u"0 0 0 0 | 1 1536 1 | no"_s;
    QString plain = english;
    plain.replace(u"/PURGE /MIR "_s, QString());
    QTest::newRow("job that only copies") << u"R /JOB:j"_s << plain << 3 << u"0 0 0 0 | 0 0 0 | yes"_s;
    QTest::newRow("job without a header: may do both")
        << u"R /JOB:j"_s << u"\t*EXTRA File\t\t 5\tD:\\x.txt\n"_s + bareSummary(u"1"_s) << 2
        << u"1 0 0 1 | 0 0 0 | no"_s;
}

void TestPreview::previewOf()
{
    QFETCH(QString, command);
    QFETCH(QString, listing);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);
    const ListingReading reading = ReadListing(listing);
    const Preview p = PreviewOf(ReadRunEffects(command), reading, exitCode);
    const QString got = u"%1 %2 %3 %4 | %5 %6 %7 | %8"_s.arg(p.deletedFiles)
                            .arg(p.deletedFolders)
                            .arg(p.deletedBytes)
                            .arg(p.deletedLines)
                            .arg(p.movedFiles)
                            .arg(p.movedBytes)
                            .arg(p.movedLines)
                            .arg(p.removesNothing() ? u"yes"_s : u"no"_s);
    QCOMPARE(got, expected);
    QCOMPARE(p.deleted.size(), p.deletedLines);
    QCOMPARE(p.moved.size(), p.movedLines);
}

void TestPreview::previewTexts()
{
    const ScopedCLocale c;
    const Preview mirror = PreviewOf(ReadRunEffects(u"R a b /MIR"_s), ReadListing(englishListing()), 3);
    PreviewText t = PreviewTextOf(mirror);
    QCOMPARE(t.message,
             u"This run will delete 2 files (4.0 kB) and 1 folder (with everything in it) from the destination."_s);
    QCOMPARE(t.firstPaths, (QStringList{u"D:\\Dst\\old\\"_s, u"D:\\Dst\\stale.txt"_s, u"D:\\Dst\\notes 2019.txt"_s}));
    QCOMPARE(t.details, u"Deleted from the destination (3):\nD:\\Dst\\old\\\nD:\\Dst\\stale.txt\nD:\\Dst\\notes 2019.txt"_s);

    const Preview both = PreviewOf(ReadRunEffects(u"R a b /MOVE /PURGE"_s), ReadListing(englishListing()), 11);
    t = PreviewTextOf(both);
    QCOMPARE(t.message, u"This run will delete 2 files (4.0 kB) and 1 folder (with everything in it) from the "
                        "destination, and move 2 files (44.5 MB) out of the source.\n\nSome entries could not be "
                        "listed, so the run may delete or move more than this."_s);
    QCOMPARE(t.firstPaths.size(), 5);
    QCOMPARE(t.firstPaths.at(3), u"C:\\Src\\report.pdf"_s);
    QVERIFY(t.details.endsWith(u"\n\nMoved out of the source (2):\nC:\\Src\\report.pdf\nC:\\Src\\sub\\video 1.mp4"_s));

    // Many: the first ones at once, the rest counted; folders in the plural.
    ListingReader many;
    for (int i = 0; i < 12; ++i)
        many.addLine(u"\t*EXTRA File\t\t 1\tD:\\f%1"_s.arg(i));
    many.addLine(u"\t*EXTRA Dir\t -1\tD:\\d1\\"_s);
    many.addLine(u"\t*EXTRA Dir\t -1\tD:\\d2\\"_s);
    ListingReading r = many.reading();
    r.readable = true;
    r.files[Extras] = 1;
    r.dirs[Extras] = 2;
    r.bytes[Extras] = 1;
    t = PreviewTextOf(PreviewOf(ReadRunEffects(u"R a b /PURGE"_s), r, 2));
    QCOMPARE(t.message, u"This run will delete 1 file (1 byte) and 2 folders (with everything in them) from the "
                        "destination."_s);
    QCOMPARE(t.firstPaths.size(), FirstPathsShown + 1);
    QCOMPARE(t.firstPaths.first(), u"D:\\f0"_s);
    QCOMPARE(t.firstPaths.last(), u"... and 6 more"_s);
    QCOMPARE(t.details.count(u'\n'), 14);
}

void TestPreview::failureTexts_data()
{
    QTest::addColumn<int>("failure");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("reason");
    QTest::newRow("cannot make") << int(ListingFailure::CannotMake) << 0 << QString()
                                 << u"a quotation mark in the command is never closed, so /L could not be added to it"_s;
    QTest::newRow("not found") << int(ListingFailure::NotFound) << 0 << QString() << u"Robocopy was not found"_s;
    QTest::newRow("cannot start") << int(ListingFailure::CannotStart) << 0 << u"Permission denied"_s
                                  << u"Robocopy could not be started"_s;
    QTest::newRow("ended abnormally") << int(ListingFailure::EndedAbnormally) << 9 << u"half a line"_s
                                      << u"the listing ended abnormally"_s;
    QTest::newRow("serious error") << int(ListingFailure::SeriousError) << 16
                                   << u"ERROR : Invalid Parameter #3 : \"/BOGUS\"\n"_s
                                   << u"Robocopy ended with exit code 16, a serious error"_s;
    QTest::newRow("unreadable") << int(ListingFailure::Unreadable) << 0 << u"  10%\n"_s
                                << u"Robocopy's output holds no summary to read"_s;
}

void TestPreview::failureTexts()
{
    QFETCH(int, failure);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, reason);
    const PreviewText t = FailureTextOf(ListingFailure(failure), exitCode, output);
    QString expected = u"This command can delete or move files, but what it would delete or move could not be listed: "_s
        + reason + u'.';
    if (!output.isEmpty())
        expected += u"\n\nRobocopy's output is under Show Details."_s;
    QCOMPARE(t.message, expected);
    QCOMPARE(t.details, output);
    QVERIFY(t.firstPaths.isEmpty());
}

void TestPreview::sizes_data()
{
    QTest::addColumn<qint64>("bytes");
    QTest::addColumn<QString>("size");
    QTest::newRow("none") << qint64(0) << u"0 bytes"_s;
    QTest::newRow("one") << qint64(1) << u"1 byte"_s;
    QTest::newRow("below a kilobyte") << qint64(1023) << u"1023 bytes"_s;
    QTest::newRow("a kilobyte") << qint64(1024) << u"1.0 kB"_s;
    QTest::newRow("robocopy's 3.9 k") << qint64(3994) << u"3.9 kB"_s;
    QTest::newRow("gigabytes") << qint64(5) * 1024 * 1024 * 1024 << u"5.0 GB"_s;
}

void TestPreview::sizes()
{
    QFETCH(qint64, bytes);
    QFETCH(QString, size);
    const ScopedCLocale c;
    QCOMPARE(SizeOf(bytes), size);
    QCOMPARE(CountOf(1, u"file"_s, u"files"_s), u"1 file"_s);
    QCOMPARE(CountOf(0, u"file"_s, u"files"_s), u"0 files"_s);
}

// ---------------------------------------------------------------- the window

// Execute on a mirror: the listing runs with the listing's switches, the
// dialog shows its counts and paths, and Escape leaves everything as it was.
void TestPreview::asksBeforeMirror()
{
    m_robocopy.setListing(englishListing());
    auto w = newWindow();
    w->Form_Load();
    QVERIFY(setCheckValueOf(w->control("chkMirror"), 1));
    QVERIFY(setTextOf(w->control("txtRetryCount"), u"3"_s));
    QVERIFY(setTextOf(w->control("txtLogFile"), u"run.log"_s));
    setCommand(*w, u" /TESTCODE:3"_s);
    const QString commandLine = w->text("txtCommandLine");
    QVERIFY(commandLine.contains(u" /MIR"_s));
    const QString iniBefore = QString::fromUtf8([&] {
        QFile f(settingsFolder() + u"/Settings.ini"_s);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }());

    click(*w, "cmdExecute");

    QCOMPARE(m_seen.size(), 1);
    const SeenPreview &seen = m_seen.first();
    QCOMPARE(seen.message,
             u"This run will delete %1 (%2) and 1 folder (with everything in it) from the destination."_s.arg(
                 CountOf(2, u"file"_s, u"files"_s), SizeOf(4096)));
    QCOMPARE(seen.paths, u"D:\\Dst\\old\\\nD:\\Dst\\stale.txt\nD:\\Dst\\notes 2019.txt"_s);
    QCOMPARE(seen.detailsButton, u"Show Details"_s);
    QCOMPARE(seen.runText, u"Run"_s);
    QCOMPARE(seen.cancelText, u"Cancel"_s);
    QCOMPARE(seen.title, u"Corvane"_s);
    QVERIFY(seen.cancelIsDefault);
    QVERIFY(!seen.runIsDefault);

    // One run: the listing, with the command's own words less its log and
    // retries, and the listing's switches.
    const QList<RecordedRun> recorded = runs();
    QCOMPARE(recorded.size(), 1);
    QStringList expected = SplitWords(commandLine).mid(1);
    expected.removeAll(u"/R:3"_s);
    expected.removeAll(u"/LOG:run.log"_s);
    expected += ListingSwitches().split(u' ');
    QCOMPARE(recorded.first().args, expected);
    QVERIFY(recorded.first().ended);
    // Nothing ran, nothing was reported or remembered, nothing stored.
    QVERIFY2(shown().isEmpty(), qPrintable(describeShown()));
    QCOMPARE(w->control<QComboBox>("cboSource")->count(), 0);
    QCOMPARE(w->control<QComboBox>("cboDestination")->count(), 0);
    QCOMPARE(w->text("txtCommandLine"), commandLine);
    QFile ini(settingsFolder() + u"/Settings.ini"_s);
    QVERIFY(ini.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(ini.readAll()), iniBefore);
}

// Run starts the command of the box, exactly, once, as Execute always did.
void TestPreview::runAfterAsking()
{
    m_robocopy.setListing(englishListing());
    const ScopedHook<PreviewDialogExec> run(SetPreviewDialogExec, answer(Answer::ShowDetailsThenRun));
    auto w = newWindow();
    setCommand(*w, u" /MIR /R:3 /NP /LOG:run.log /TESTCODE:3"_s);
    const QString commandLine = w->text("txtCommandLine");
    click(*w, "cmdExecute");

    QCOMPARE(m_seen.size(), 1);
    const QList<RecordedRun> recorded = runs();
    QCOMPARE(recorded.size(), 2);
    QVERIFY(isListing(recorded.at(0)));
    QCOMPARE(recorded.at(1).args, SplitWords(commandLine).mid(1));
    QVERIFY(recorded.at(1).ended);
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().prompt, u"Some Extra files or directories were detected.\r\n"_s);
    QCOMPARE(listOf(w->control<QComboBox>("cboSource")), QStringList{u"C:\\Src"_s});
    QCOMPARE(listOf(w->control<QComboBox>("cboDestination")), QStringList{u"D:\\Dst"_s});
}

void TestPreview::enterAndCloseBoxCancel_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("Enter") << int(Answer::Enter);
    QTest::newRow("Enter on Show Details") << int(Answer::TabThenEnter);
    QTest::newRow("close box") << int(Answer::CloseBox);
}

void TestPreview::enterAndCloseBoxCancel()
{
    QFETCH(int, answer);
    m_robocopy.setListing(englishListing());
    const ScopedHook<PreviewDialogExec> key(SetPreviewDialogExec, this->answer(Answer(answer)));
    auto w = newWindow();
    setCommand(*w, u" /PURGE"_s);
    click(*w, "cmdExecute");
    QCOMPARE(m_seen.size(), 1);
    QVERIFY(m_seen.first().cancelHasFocus);
    QCOMPARE(runs().size(), 1); // the listing alone
    QVERIFY(shown().isEmpty());
}

// The details hold every path; the button says what it will do next; the
// dialog grows to show them and the paths are not cut.
void TestPreview::showDetails()
{
    PreviewText text = PreviewTextOf(PreviewOf(ReadRunEffects(u"R a b /MIR"_s), ReadListing(linuxListing()), 2));
    text.firstPaths << u"/a/very/long/path/"_s.repeated(20) + u"end.txt"_s;
    frmPreview d(text, nullptr);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QVERIFY(!d.txtDetails()->isVisible());
    const QSize closed = d.size();
    // A long path is cut in its middle, and the dialog stays a readable width.
    QVERIFY(d.lblPaths()->text().contains(u"\u2026"_s));
    QVERIFY(d.lblPaths()->text().endsWith(u"end.txt"_s));
    QVERIFY(d.width() < d.fontMetrics().averageCharWidth() * 120);
    QTest::mouseClick(d.cmdDetails(), Qt::LeftButton);
    QVERIFY(d.txtDetails()->isVisible());
    QCOMPARE(d.cmdDetails()->text(), u"Hide Details"_s);
    QCOMPARE(d.txtDetails()->toPlainText(), text.details);
    QVERIFY(d.txtDetails()->toPlainText().contains(u"/home/u/dst/b c.txt"_s));
    QVERIFY(d.height() > closed.height());
    QTest::mouseClick(d.cmdDetails(), Qt::LeftButton);
    QVERIFY(!d.txtDetails()->isVisible());
    QCOMPARE(d.cmdDetails()->text(), u"Show Details"_s);
    QCOMPARE(d.size(), closed);
    // Escape is Cancel.
    QTest::keyClick(&d, Qt::Key_Escape);
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QVERIFY(!d.isVisible());
}

// Paths come through as Robocopy prints them: in the OEM code page on
// Windows, in the system's encoding elsewhere.
void TestPreview::lettersOfTheCodePage()
{
    QString listing = englishListing();
    listing.replace(u"stale.txt"_s, u"M\u00fcller & S\u00f6hne \u00e9t\u00e9.txt"_s);
    m_robocopy.setListing(listing);
    auto w = newWindow();
    setCommand(*w, u" /MIR"_s);
    click(*w, "cmdExecute");
    QCOMPARE(m_seen.size(), 1);
    QVERIFY2(m_seen.first().paths.contains(u"D:\\Dst\\M\u00fcller & S\u00f6hne \u00e9t\u00e9.txt\n"_s),
             qPrintable(m_seen.first().paths));
}

// Options > Preview Runs That Delete unchecked: Execute runs at once.
void TestPreview::optionOffListsNothing()
{
    m_robocopy.setListing(englishListing());
    auto w = newWindow();
    QVERIFY(w->menuItem("mnuOptionsPreview")->isChecked());
    trigger(*w, "mnuOptionsPreview");
    QVERIFY(!w->menuItem("mnuOptionsPreview")->isChecked());
    setCommand(*w, u" /MIR /TESTCODE:1"_s);
    click(*w, "cmdExecute");
    QVERIFY(m_seen.isEmpty());
    const QList<RecordedRun> recorded = runs();
    QCOMPARE(recorded.size(), 1);
    QVERIFY(!isListing(recorded.first()));
    QCOMPARE(shown().size(), 1);
}

// A listing that shows nothing to delete or move: the run starts at once.
void TestPreview::nothingToRemoveRunsAtOnce()
{
    m_robocopy.setListing(bareSummary(u"0"_s));
    auto w = newWindow();
    setCommand(*w, u" /MIR /TESTCODE:0"_s);
    click(*w, "cmdExecute");
    QVERIFY(m_seen.isEmpty());
    const QList<RecordedRun> recorded = runs();
    QCOMPARE(recorded.size(), 2);
    QVERIFY(isListing(recorded.at(0)));
    QVERIFY(!isListing(recorded.at(1)));
    QCOMPARE(shown().size(), 1);
    QCOMPARE(shown().first().prompt, u"Completed with no errors"_s);
}

void TestPreview::onlyDeletingCommandsAreListed_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<bool>("listed");
    QTest::newRow("copy") << u" /E /TESTCODE:1"_s << false;
    QTest::newRow("already a listing") << u" /MIR /L /TESTCODE:1"_s << false;
    QTest::newRow("move, lower case") << u" /mov /TESTCODE:1"_s << true;
    QTest::newRow("move files and folders") << u" /MOVE /TESTCODE:1"_s << true;
    QTest::newRow("job") << u" /JOB:nightly /TESTCODE:1"_s << true;
    QTest::newRow("quoted mirror") << u" \"/MIR\" /TESTCODE:1"_s << true;
    QTest::newRow("mirror only in a folder's name") << u" /XD C:\\MIR /TESTCODE:1"_s << false;
}

void TestPreview::onlyDeletingCommandsAreListed()
{
    QFETCH(QString, switches);
    QFETCH(bool, listed);
    m_robocopy.setListing(englishListing());
    auto w = newWindow();
    setCommand(*w, switches);
    click(*w, "cmdExecute");
    // Listed and asked (and cancelled), or run at once and reported.
    const QList<RecordedRun> recorded = runs();
    QCOMPARE(recorded.size(), 1);
    QCOMPARE(isListing(recorded.first()), listed);
    QCOMPARE(m_seen.size(), listed ? 1 : 0);
    QCOMPARE(shown().size(), listed ? 0 : 1);
}

void TestPreview::failedListing_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<bool>("withListing"); // the fake prints a listing for /L
    QTest::addColumn<bool>("robocopyOnPath");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("details");
    QTest::newRow("serious error") << u" /MIR /TESTLISTCODE:16 /TESTCODE:1"_s << true << true
                                   << u"Robocopy ended with exit code 16, a serious error"_s << u"ROBOCOPY"_s;
    QTest::newRow("nothing to read") << u" /MIR /TESTCODE:1"_s << false << true
                                     << u"Robocopy's output holds no summary to read"_s << u"100%"_s;
    QTest::newRow("no Robocopy") << u" /MIR /TESTCODE:1"_s << false << false << u"Robocopy was not found"_s
                                 << QString();
    QTest::newRow("quotes never closed") << u" /MIR /TESTCODE:1 \"C:\\open"_s << true << true
                                         << u"a quotation mark in the command is never closed"_s << QString();
}

// A listing that fails says why, shows what Robocopy printed, and offers the
// same choice: Cancel runs nothing, Run runs the command.
void TestPreview::failedListing()
{
    QFETCH(QString, switches);
    QFETCH(bool, withListing);
    QFETCH(bool, robocopyOnPath);
    QFETCH(QString, reason);
    QFETCH(QString, details);
    for (const bool run : {false, true}) {
        m_robocopy.clear();
        m_seen.clear();
        shown().clear();
        if (withListing)
            m_robocopy.setListing(englishListing().left(englishListing().indexOf(u"    Dirs"_s)));
        const ScopedHook<PreviewDialogExec> choice(SetPreviewDialogExec, answer(run ? Answer::Run : Answer::Escape));
        std::optional<ScopedEnvironmentVariable> noRobocopy;
        if (!robocopyOnPath)
            noRobocopy.emplace("PATH", m_emptyDir);
#ifndef Q_OS_WIN
        // Nor the copy engine that stands in for it beside the console.
        std::optional<ScopedHook<QString>> noEngine;
        if (!robocopyOnPath)
            noEngine.emplace(SetConsoleProgram, m_emptyDir + u"/corvane-cmd"_s);
#endif
        auto w = newWindow();
        setCommand(*w, switches);
        click(*w, "cmdExecute");

        QCOMPARE(m_seen.size(), 1);
        QVERIFY2(m_seen.first().message.contains(reason), qPrintable(m_seen.first().message));
        QVERIFY(m_seen.first().cancelIsDefault);
        QVERIFY2(m_seen.first().details.contains(details), qPrintable(m_seen.first().details));
        QCOMPARE(m_seen.first().detailsButton.isEmpty(), m_seen.first().details.isEmpty());
        const QList<RecordedRun> recorded = runs();
        const qsizetype listings = std::count_if(recorded.begin(), recorded.end(), isListing);
        QCOMPARE(listings, robocopyOnPath && !reason.startsWith(u"a quotation"_s) ? 1 : 0);
        QCOMPARE(recorded.size() - listings, run && robocopyOnPath ? 1 : 0);
        // The run itself reports as ever: without Robocopy, a serious error.
        QCOMPARE(shown().size(), run ? 1 : 0);
    }
}

// While it lists, the dialog says so and the window goes on serving its
// events; Cancel ends the listing at once and nothing runs.
void TestPreview::cancelWhileListing()
{
    m_robocopy.setListing(englishListing());
    auto w = newWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    setCommand(*w, u" /MIR /TESTWAIT:5 /TESTCODE:1"_s);

    int ticks = 0;
    QString label;
    bool modal = false;
    bool cancelled = false;
    QElapsedTimer sinceClick;
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        ++ticks;
        for (QWidget *top : QApplication::topLevelWidgets()) {
            auto *dialog = qobject_cast<QDialog *>(top);
            if (!dialog || dialog->objectName() != u"frmListing"_s || !dialog->isVisible() || cancelled
                || runs().isEmpty())
                continue;
            label = dialog->findChild<QLabel *>(u"lblListing"_s)->text();
            modal = dialog->windowModality() == Qt::WindowModal && dialog->parentWidget() == w.get();
            cancelled = true;
            QTest::mouseClick(dialog->findChild<QPushButton *>(u"cmdCancel"_s), Qt::LeftButton);
        }
    });
    poll.start();
    sinceClick.start();
    click(*w, "cmdExecute");
    poll.stop();

    QVERIFY(cancelled);
    QCOMPARE(label, u"Listing what this run will change..."_s);
    QVERIFY(modal);
    QVERIFY2(ticks >= ListingDialogDelayMs / 20 / 2, qPrintable(QString::number(ticks))); // the window went on
    QVERIFY2(sinceClick.elapsed() < 4500, qPrintable(QString::number(sinceClick.elapsed())));
    QVERIFY(m_seen.isEmpty());
    QVERIFY(shown().isEmpty());
    const QList<RecordedRun> recorded = runs();
    QCOMPARE(recorded.size(), 1);
    QVERIFY(isListing(recorded.first()));
    QVERIFY(!recorded.first().ended); // ended before it had finished
    QCOMPARE(w->control<QComboBox>("cboSource")->count(), 0);
}

// The window closed while it lists: the listing ends, nothing runs, nothing
// touches the window.
void TestPreview::closeWhileListing()
{
    m_robocopy.setListing(englishListing());
    auto w = newWindow();
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    setCommand(*w, u" /MIR /TESTWAIT:5 /TESTCODE:1"_s);
    QTimer poll;
    poll.setInterval(20);
    connect(&poll, &QTimer::timeout, this, [&] {
        if (runs().isEmpty())
            return;
        poll.stop();
        w->close();
    });
    poll.start();
    QElapsedTimer timer;
    timer.start();
    click(*w, "cmdExecute");
    poll.stop();
    QVERIFY(timer.elapsed() < 4500);
    QVERIFY(m_seen.isEmpty());
    QVERIFY(shown().isEmpty());
    QCOMPARE(runs().size(), 1);
    QVERIFY(!runs().first().ended);
}

// A listing of many entries: every one counted, the dialog's texts bounded.
void TestPreview::longListingStaysBounded()
{
    const int n = 30000;
    QString listing = englishListing();
    QString many;
    for (int i = 0; i < n; ++i)
        many += u"\t      *EXTRA File \t\t       1\tD:\\Dst\\many\\file %1.txt\n"_s.arg(i);
    listing.insert(listing.indexOf(u"\t    New File"_s), many);
    listing.replace(u"   Files :         3         2         1         0         0         2"_s,
                    u"   Files :         3         2         1         0         0     %1"_s.arg(n + 2));
    m_robocopy.setListing(listing);
    auto w = newWindow();
    setCommand(*w, u" /MIR"_s);
    click(*w, "cmdExecute");
    QCOMPARE(m_seen.size(), 1);
    QVERIFY2(m_seen.first().message.contains(CountOf(n + 2, u"file"_s, u"files"_s)), qPrintable(m_seen.first().message));
    QCOMPARE(m_seen.first().paths.count(u'\n'), FirstPathsShown);
    QVERIFY(m_seen.first().paths.endsWith(u"... and %1 more"_s.arg(QLocale().toString(n + 3 - FirstPathsShown))));
    QVERIFY(m_seen.first().details.endsWith(
        u"... and %1 more, not kept here"_s.arg(QLocale().toString(n + 3 - MaxListedPaths))));
}

QTEST_MAIN(TestPreview)
#include "test_preview.moc"
