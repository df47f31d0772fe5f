// The pure core of corvane-copy: what each name becomes, how a command line
// reads, and what the report prints, all without a file system.
#include "copy/Classify.h"
#include "copy/CopyOptions.h"
#include "copy/CopyTypes.h"
#include "copy/DestinationRules.h"
#include "copy/NameBytes.h"
#include "copy/Report.h"
#include "command/CommandBuilder.h"
#include "command/CommandReader.h"
#include "command/CommandWords.h"
#include "command/SwitchTable.h"

#include <QTest>

#include <algorithm>
#include <cstring>
#include <map>

using namespace copy;
using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int64_t Second = 1'000'000'000;
constexpr int64_t Day = 86'400 * Second;
// The run's clock in these tables: 2024-03-01 12:00 UTC.
constexpr int64_t Now = 1'709'294'400 * Second;

// One side of a name, written short:
//   "-"          missing
//   "f10@1000"   a file of 10 bytes modified at 1000 s (fractions allowed)
//   "d"          a folder;  "o" anything else (a fifo, a dangling link)
//   a leading "L" makes it a symbolic link; "#RH" gives known attributes;
//   "a500" an access time in seconds (else the modification time);
//   "@-3d" a time in days before the run's clock.
Entry entry(const QString &shorthand)
{
    Entry e;
    QString s = shorthand;
    if (s == u"-")
        return e;
    if (s.startsWith(u'L')) {
        e.isLink = true;
        s.remove(0, 1);
    }
    const QChar kind = s.at(0);
    e.kind = kind == u'f' ? EntryKind::File : kind == u'd' ? EntryKind::Directory : EntryKind::Other;
    s.remove(0, 1);
    const auto time = [](const QString &t) {
        if (t.endsWith(u'd'))
            return Now + int64_t(t.chopped(1).toDouble() * double(Day));
        return int64_t(t.toDouble() * double(Second));
    };
    const qsizetype at = s.indexOf(u'@');
    const qsizetype hash = s.indexOf(u'#');
    const qsizetype access = s.indexOf(u'a');
    const auto field = [&](qsizetype from) {
        qsizetype end = s.size();
        for (qsizetype other : {at, hash, access})
            if (other > from && other < end)
                end = other;
        return s.mid(from + 1, end - from - 1);
    };
    const qsizetype firstMark = std::min({at < 0 ? s.size() : at, hash < 0 ? s.size() : hash,
                                          access < 0 ? s.size() : access});
    e.size = s.left(firstMark).toULongLong();
    if (at >= 0)
        e.mtimeNs = time(field(at));
    e.atimeNs = access >= 0 ? time(field(access)) : e.mtimeNs;
    if (hash >= 0) {
        e.attributesKnown = true;
        for (QChar c : field(hash)) {
            const char letter = char(c.toLatin1());
            e.attributes |= letter == 'R' ? Attr::ReadOnly : letter == 'A' ? Attr::Archive
                          : letter == 'S' ? Attr::System : letter == 'H' ? Attr::Hidden
                          : letter == 'T' ? Attr::Temporary : uint16_t(0);
        }
    }
    return e;
}

// The options of a command line "/src/ /dst/ <switches>", read as the program reads them.
CopyOptions options(const QString &switches)
{
    std::vector<std::string> args{"/src/", "/dst/"};
    for (const QString &word : switches.split(u' ', Qt::SkipEmptyParts))
        args.push_back(word.toStdString());
    const ParsedCommand parsed = ParseArguments(args, "/home/u", {});
    if (!parsed.error.empty())
        qFatal("%s", parsed.error.c_str());
    return parsed.options;
}

RunClock runClock()
{
    RunClock clock;
    clock.nowNs = Now;
    return clock;
}

const char *className(FileClass c)
{
    static const char *const names[] = {"Lonely", "Same", "Tweaked", "Changed", "Newer", "Older", "Extra",
                                        "Mismatched"};
    return names[size_t(c)];
}

const char *dirClassName(DirClass c)
{
    static const char *const names[] = {"Lonely", "Existing", "Extra", "Mismatched", "Excluded"};
    return names[size_t(c)];
}

const char *actionName(Action a)
{
    static const char *const names[] = {"Skip", "Copy", "Report", "Purge"};
    return names[size_t(a)];
}

const char *dirActionName(DirAction a)
{
    static const char *const names[] = {"Enter", "Create", "Skip", "Report", "Purge"};
    return names[size_t(a)];
}

const char *tagName(Tag t)
{
    static const char *const names[] = {
        "",        "New File", "Newer",   "Older",   "Changed",  "Tweaked", "Same",    "New Dir",
        "*EXTRA File", "*EXTRA Dir", "*MISMATCH", "lonely", "newer", "older", "changed", "tweaked",
        "same",    "attrib",   "named",   "large",   "small",    "too old", "too new", "junction", "modified"};
    return names[size_t(t)];
}

// "Copy New File" and the like; "-" for a name that is neither shown nor counted.
QString summary(const FileDecision &d)
{
    if (!d.listed)
        return u"-"_s;
    QString s = QLatin1StringView(className(d.cls)) + u' ' + QLatin1StringView(actionName(d.action)) + u' '
        + QLatin1StringView(tagName(d.tag));
    if (d.deleteSource)
        s += u" +delete source"_s;
    if (d.fixTimes)
        s += u" +fix times"_s;
    return s.trimmed();
}

QString summary(const DirDecision &d)
{
    if (!d.listed)
        return u"-"_s;
    QString s = QLatin1StringView(dirClassName(d.cls)) + u' ' + QLatin1StringView(dirActionName(d.action));
    if (d.tag != Tag::None)
        s += u' ' + QLatin1StringView(tagName(d.tag));
    if (d.createOnDemand)
        s += u" +on demand"_s;
    if (d.deleteSource)
        s += u" +delete source"_s;
    return s.trimmed();
}

// What a destination's file system does, written short: "fold", "strip"
// (trailing dots and spaces dropped), "refuse-dot", "refuse-chars",
// "refuse-reserved", "refuse-bytes", "res=2" (seconds kept), "fat-years"
// (1980 to 2107, as exFAT), "no-R", "no-letters".
DeviceTraits traitsOf(const QString &shorthand)
{
    const QStringList w = shorthand.split(u' ', Qt::SkipEmptyParts);
    const auto refused = [&](const char16_t *word) { return w.contains(word) ? NameFate::Refused : NameFate::Kept; };
    DeviceTraits t;
    t.foldsCase = w.contains(u"fold"_s);
    t.trailingDotOrSpace = w.contains(u"strip"_s) ? NameFate::Altered : refused(u"refuse-dot");
    t.windowsCharacters = refused(u"refuse-chars");
    t.reservedNames = refused(u"refuse-reserved");
    t.nonUtf8 = refused(u"refuse-bytes");
    t.keepsReadOnly = !w.contains(u"no-R"_s);
    t.keepsDosLetters = !w.contains(u"no-letters"_s);
    for (const QString &word : w)
        if (word.startsWith(u"res="))
            t.timeResolutionNs = int64_t(word.mid(4).toDouble() * double(Second) + 0.5);
    if (w.contains(u"fat-years"_s))
        ApplyFormatLimits(t, VolumeFormat::ExFat);
    return t;
}

} // namespace

class TestCopyCore : public QObject
{
    Q_OBJECT

private slots:
    void exitCode_data();
    void exitCode();
    void fileDecision_data();
    void fileDecision();
    void dirDecision_data();
    void dirDecision();
    void namePatterns_data();
    void namePatterns();
    void ageCutoff();
    void destinationNames_data();
    void destinationNames();
    void destinationDecision_data();
    void destinationDecision();
    void destinationProbeReadings_data();
    void destinationProbeReadings();
    void displayName_data();
    void displayName();
    void reportHeader_data();
    void reportHeader();
    void reportLines_data();
    void reportLines();
    void reportSummary();
    void sizeText_data();
    void sizeText();
    void arguments_data();
    void arguments();
    void jobFiles_data();
    void jobFiles();
    void savedBeforeSave();
    void jobReadByWindow();
    void everySwitchOfTheWindow();
};

// Rows name the cells that hold one: "files.copied", "dirs.extras", ...
void TestCopyCore::exitCode_data()
{
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<bool>("serious");
    QTest::addColumn<int>("code");

    QTest::newRow("nothing to do") << QStringList() << false << 0;
    QTest::newRow("skipped only") << QStringList{"files.skipped", "dirs.skipped", "files.total"} << false << 0;
    QTest::newRow("copied") << QStringList{"files.copied"} << false << 1;
    // A folder made without a file copied is not "files copied".
    QTest::newRow("folder created only") << QStringList{"dirs.copied"} << false << 0;
    QTest::newRow("extra file") << QStringList{"files.extras"} << false << 2;
    QTest::newRow("extra folder") << QStringList{"dirs.extras"} << false << 2;
    QTest::newRow("copied and extra") << QStringList{"files.copied", "dirs.extras"} << false << 3;
    QTest::newRow("mismatched file") << QStringList{"files.mismatch"} << false << 4;
    QTest::newRow("mismatched folder") << QStringList{"dirs.mismatch"} << false << 4;
    QTest::newRow("failed file") << QStringList{"files.failed"} << false << 8;
    QTest::newRow("failed folder") << QStringList{"dirs.failed"} << false << 8;
    QTest::newRow("bytes alone set no bit") << QStringList{"bytes.copied", "bytes.extras", "bytes.failed"} << false
                                            << 0;
    QTest::newRow("all four") << QStringList{"files.copied", "files.extras", "files.mismatch", "files.failed"}
                              << false << 15;
    QTest::newRow("serious") << QStringList() << true << 16;
    QTest::newRow("serious after a copy") << QStringList{"files.copied"} << true << 17;
}

void TestCopyCore::exitCode()
{
    QFETCH(QStringList, cells);
    QFETCH(bool, serious);
    QFETCH(int, code);

    Totals totals;
    totals.serious = serious;
    for (const QString &cell : cells) {
        const QStringList parts = cell.split(u'.');
        Counts &row = parts[0] == u"dirs" ? totals.dirs : parts[0] == u"files" ? totals.files : totals.bytes;
        const QStringList columns{"total", "copied", "skipped", "mismatch", "failed", "extras"};
        QVERIFY(columns.contains(parts[1]));
        row[Column(columns.indexOf(parts[1]))] = 3;
    }
    QCOMPARE(ExitCode(totals), code);

    // Totals of workers add up to the same code.
    Totals half;
    half += totals;
    half += Totals{};
    QCOMPARE(ExitCode(half), code);
}

// The documented cases: class x switch -> action, tag, summary column and exit bits.
// Whatever became of an entry, the columns beside Total never add up past it.
template <typename Counts> static void checkAddsUp(const Counts &counts)
{
    QVERIFY2(counts[Column::Copied] + counts[Column::Skipped] + counts[Column::Mismatch] + counts[Column::Failed]
                 <= counts[Column::Total],
             "the columns add up past Total");
}

void TestCopyCore::fileDecision_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QString>("src");
    QTest::addColumn<QString>("dst");
    QTest::addColumn<QString>("decision");
    QTest::addColumn<QString>("column"); // where the file is counted; "" when nowhere
    QTest::addColumn<int>("exit");

    const auto row = [](const char *title, const char *switches, const char *src, const char *dst,
                        const char *decision, const char *column, int exit, const char *name = "a.txt") {
        QTest::newRow(title) << QString::fromUtf8(switches) << QByteArray(name) << QString::fromUtf8(src)
                             << QString::fromUtf8(dst) << QString::fromUtf8(decision)
                             << QString::fromUtf8(column) << exit;
    };
    // The classes and what each does by default.
    row("lonely", "", "f10@1000", "-", "Lonely Copy New File", "copied", 1);
    row("same", "", "f10@1000", "f10@1000", "Same Skip same", "skipped", 0);
    row("changed", "", "f10@1000", "f20@1000", "Changed Copy Changed", "copied", 1);
    row("newer", "", "f10@1005", "f10@1000", "Newer Copy Newer", "copied", 1);
    row("older", "", "f10@1000", "f10@1005", "Older Copy Older", "copied", 1);
    row("newer and larger is newer", "", "f99@1005", "f10@1000", "Newer Copy Newer", "copied", 1);
    row("extra", "", "-", "f10@1000", "Extra Report *EXTRA File", "extras", 2);
    row("mismatched", "", "f10@1000", "d", "Mismatched Report *MISMATCH", "mismatch", 4);
    // Without /IT attributes are not compared: a tweaked file is Same.
    row("tweaked is same", "", "f10@1000#RA", "f10@1000#A", "Same Skip same", "skipped", 0);
    row("tweaked /IT", "/IT", "f10@1000#RA", "f10@1000#A", "Tweaked Copy Tweaked", "copied", 1);
    row("tweaked /IT attributes unread", "/IT", "f10@1000", "f10@1000", "Same Skip same", "skipped", 0);
    row("same /IT", "/IT", "f10@1000#A", "f10@1000#A", "Same Skip same", "skipped", 0);
    row("same /IS", "/IS", "f10@1000", "f10@1000", "Same Copy Same", "copied", 1);
    row("tweaked /IS copies as same", "/IS", "f10@1000#R", "f10@1000", "Same Copy Same", "copied", 1);
    // The class exclusions.
    row("lonely /XL", "/XL", "f10@1000", "-", "Lonely Skip lonely", "skipped", 0);
    row("changed /XC", "/XC", "f10@1000", "f20@1000", "Changed Skip changed", "skipped", 0);
    row("newer /XN", "/XN", "f10@1005", "f10@1000", "Newer Skip newer", "skipped", 0);
    row("older /XO", "/XO", "f10@1000", "f10@1005", "Older Skip older", "skipped", 0);
    row("older /XN still copies", "/XN", "f10@1000", "f10@1005", "Older Copy Older", "copied", 1);
    row("extra /XX", "/XX", "-", "f10@1000", "-", "", 0);
    row("extra /XX /PURGE", "/XX /PURGE", "-", "f10@1000", "-", "", 0);
    // Purge.
    row("extra /PURGE", "/PURGE", "-", "f10@1000", "Extra Purge *EXTRA File", "extras", 2);
    row("extra /MIR", "/MIR", "-", "f10@1000", "Extra Purge *EXTRA File", "extras", 2);
    // Under a purge a file facing a folder is two names, as Robocopy lists
    // files and folders apart: the folder an extra, purged; the file lonely.
    row("mismatched /PURGE", "/PURGE /S", "f10@1000", "d", "Extra Purge *EXTRA Dir | Lonely Copy New File", "copied", 3);
    row("mismatched /PURGE /XL", "/PURGE /S /XL", "f10@1000", "d", "Extra Purge *EXTRA Dir | Lonely Skip lonely",
        "skipped", 2);
    row("mismatched /PURGE, folders not walked", "/PURGE", "f10@1000", "d", "Mismatched Report *MISMATCH", "mismatch", 4);
    // A destination folder /XD names is never purged, not even for a file of the source.
    row("mismatched /PURGE /XD", "/PURGE /S /XD A.TXT", "f10@1000", "d", "Mismatched Report *MISMATCH", "mismatch", 4);
    row("mismatched /MIR /XX", "/MIR /XX", "f10@1000", "d", "Mismatched Report *MISMATCH", "mismatch", 4);
    row("mismatched /MIR, a FIFO in the source", "/MIR", "o", "d", "Mismatched Report *MISMATCH", "mismatch", 4);
    // Time equality: exact by default, 2 s with /FFT, an hour off with /DST.
    row("a nanosecond apart", "", "f10@1000", "f10@1000.000000001", "Older Copy Older", "copied", 1);
    row("/FFT within 2 s", "/FFT", "f10@1000", "f10@1002", "Same Skip same", "skipped", 0);
    row("/FFT beyond 2 s", "/FFT", "f10@1000", "f10@1002.5", "Older Copy Older", "copied", 1);
    row("/FFT changed size", "/FFT", "f10@1001", "f20@1000", "Changed Copy Changed", "copied", 1);
    row("an hour apart", "", "f10@4600", "f10@1000", "Newer Copy Newer", "copied", 1);
    row("/DST an hour later", "/DST", "f10@4600", "f10@1000", "Same Skip same", "skipped", 0);
    row("/DST an hour earlier", "/DST", "f10@1000", "f10@4600", "Same Skip same", "skipped", 0);
    row("/DST an hour and a second", "/DST", "f10@4601", "f10@1000", "Newer Copy Newer", "copied", 1);
    row("/DST /FFT an hour and a second", "/DST /FFT", "f10@4601", "f10@1000", "Same Skip same", "skipped", 0);
    // File names: case-insensitive wildcards; extras only when selected, all of them with /X.
    row("not among the names", "*.doc", "f10@1000", "-", "-", "", 0);
    row("among the names", "*.doc *.TXT", "f10@1000", "-", "Lonely Copy New File", "copied", 1);
    row("extra not among the names", "*.doc /PURGE", "-", "f10@1000", "-", "", 0);
    row("extra not among the names /X", "*.doc /PURGE /X", "-", "f10@1000", "Extra Report *EXTRA File", "extras",
        2);
    // /XF by name and by path, on both sides.
    row("/XF wildcard", "/XF *.TX?", "f10@1000", "-", "Lonely Skip named", "skipped", 0);
    row("/XF keeps an extra", "/MIR /XF a.txt", "-", "f10@1000", "-", "", 0);
    row("/XF source path", "/XF /src/a.txt", "f10@1000", "-", "Lonely Skip named", "skipped", 0);
    row("/XF destination path keeps an extra", "/PURGE /XF /DST/A.TXT", "-", "f10@1000", "-", "", 0);
    row("/XF path elsewhere", "/XF /other/a.txt", "f10@1000", "-", "Lonely Copy New File", "copied", 1);
    // Size, age and access filters; mismatch and class come after them.
    row("/MAX", "/MAX:9", "f10@1000", "-", "Lonely Skip large", "skipped", 0);
    row("/MAX equal", "/MAX:10", "f10@1000", "-", "Lonely Copy New File", "copied", 1);
    row("/MIN", "/MIN:11", "f10@1000", "f10@1000", "Same Skip small", "skipped", 0);
    row("/MAXAGE days", "/MAXAGE:3", "f10@-4d", "-", "Lonely Skip too old", "skipped", 0);
    row("/MAXAGE days within", "/MAXAGE:3", "f10@-2d", "-", "Lonely Copy New File", "copied", 1);
    row("/MAXAGE:0 is no limit", "/MAXAGE:0", "f10@-40000d", "-", "Lonely Copy New File", "copied", 1);
    row("/MINAGE days", "/MINAGE:3", "f10@-2d", "-", "Lonely Skip too new", "skipped", 0);
    row("/MINAGE days beyond", "/MINAGE:3", "f10@-4d", "-", "Lonely Copy New File", "copied", 1);
    // 2024-02-01 00:00 UTC is 1706745600 s.
    row("/MAXAGE date", "/MAXAGE:20240201", "f10@1706745599", "-", "Lonely Skip too old", "skipped", 0);
    row("/MAXAGE date on the day", "/MAXAGE:20240201", "f10@1706745600", "-", "Lonely Copy New File", "copied", 1);
    row("/MINAGE date", "/MINAGE:20240201", "f10@1706745601", "-", "Lonely Skip too new", "skipped", 0);
    row("/MAXLAD", "/MAXLAD:3", "f10@-1da-5d", "-", "Lonely Skip too old", "skipped", 0);
    row("/MINLAD", "/MINLAD:3", "f10@-5da-1d", "-", "Lonely Skip too new", "skipped", 0);
    row("/MAXLAD looks at access only", "/MAXLAD:3", "f10@-5da-1d", "-", "Lonely Copy New File", "copied", 1);
    row("filtered mismatch", "/MAX:1", "f10@1000", "d", "Mismatched Skip large", "skipped", 0);
    // Attributes.
    row("/XA:H hidden", "/XA:SH", "f10@1000#HA", "-", "Lonely Skip attrib", "skipped", 0);
    row("/XA:H plain", "/XA:SH", "f10@1000#A", "-", "Lonely Copy New File", "copied", 1);
    row("/IA:R without", "/IA:RH", "f10@1000#A", "-", "Lonely Skip attrib", "skipped", 0);
    row("/IA:R with", "/IA:RH", "f10@1000#R", "-", "Lonely Copy New File", "copied", 1);
    row("/A without archive", "/A", "f10@1000#R", "-", "Lonely Skip attrib", "skipped", 0);
    row("/M with archive", "/M", "f10@1000#A", "-", "Lonely Copy New File", "copied", 1);
    // Links.
    row("file link followed", "", "Lf10@1000", "-", "Lonely Copy New File", "copied", 1);
    row("/XJ file link", "/XJ", "Lf10@1000", "-", "Lonely Skip junction", "skipped", 0);
    row("/XJF file link", "/XJF", "Lf10@1000", "-", "Lonely Skip junction", "skipped", 0);
    row("/XJD file link", "/XJD", "Lf10@1000", "-", "Lonely Copy New File", "copied", 1);
    row("/SL folder link as file", "/SL", "Ld5@1000", "-", "Lonely Copy New File", "copied", 1);
    row("/SL /XJD folder link", "/SL /XJD", "Ld5@1000", "-", "Lonely Skip junction", "skipped", 0);
    row("/XJF extra link kept", "/PURGE /XJF", "-", "Lf10@1000", "-", "", 0);
    row("extra link purged", "/PURGE", "-", "Lf10@1000", "Extra Purge *EXTRA File", "extras", 2);
    row("extra folder link purged as a link", "/PURGE", "-", "Ld", "Extra Purge *EXTRA File", "extras", 2);
    // Moves delete only what they copy; /TIMFIX fixes what the classes skip.
    row("/MOV lonely", "/MOV", "f10@1000", "-", "Lonely Copy New File +delete source", "copied", 1);
    row("/MOV same stays", "/MOV", "f10@1000", "f10@1000", "Same Skip same", "skipped", 0);
    row("/MOVE newer", "/MOVE", "f10@1005", "f10@1000", "Newer Copy Newer +delete source", "copied", 1);
    row("/TIMFIX same", "/TIMFIX", "f10@1000", "f10@1000", "Same Skip same +fix times", "skipped", 0);
    row("/TIMFIX older /XO", "/TIMFIX /XO", "f10@1000", "f10@1005", "Older Skip older +fix times", "skipped", 0);
    row("/TIMFIX filtered", "/TIMFIX /MAX:1", "f10@1000", "f10@1000", "Same Skip large", "skipped", 0);
    // Without data (/NOCOPY) a lonely file cannot be made; others get the other flags.
    row("/NOCOPY lonely", "/NOCOPY", "f10@1000", "-", "Lonely Skip lonely", "skipped", 0);
    row("/NOCOPY newer", "/NOCOPY", "f10@1005", "f10@1000", "Newer Copy Newer", "copied", 1);
    row("/CREATE lonely", "/CREATE", "f10@1000", "-", "Lonely Copy New File", "copied", 1);
    // Names are bytes.
    row("non-UTF-8 name", "", "f10@1000", "-", "Lonely Copy New File", "copied", 1, "caf\xE9.txt");
}

void TestCopyCore::fileDecision()
{
    QFETCH(QString, switches);
    QFETCH(QByteArray, name);
    QFETCH(QString, src);
    QFETCH(QString, dst);
    QFETCH(QString, decision);
    QFETCH(QString, column);
    QFETCH(int, exit);

    const CopyOptions o = options(switches);
    const Classifier classifier(o, runClock());
    const Entry s = entry(src);
    Entry d = entry(dst);
    QVERIFY(!classifier.decidesAsDirectory(s, d));
    Totals totals;
    QString extra; // the destination's entry, decided apart when the name is two
    if (classifier.splitsMismatch(s, d, name.toStdString(), "", 2)) {
        const DirDecision purged = classifier.dir(Entry{}, d, name.toStdString(), "", 2);
        CountDir(totals, purged);
        extra = summary(purged) + u" | "_s;
        d = Entry{};
    }
    const FileDecision decided = classifier.file(s, d, name.toStdString(), "");
    QCOMPARE(extra + summary(decided), decision);
    CountFile(totals, decided, s.kind == EntryKind::Missing ? d.size : s.size);
    QCOMPARE(ExitCode(totals), exit);
    const QStringList columns{"total", "copied", "skipped", "mismatch", "failed", "extras"};
    for (qsizetype c = 0; c < columns.size(); ++c) {
        const bool here = columns[c] == column;
        const bool total = c == 0 && !column.isEmpty() && column != u"extras";
        QCOMPARE(totals.files[Column(c)], uint64_t(here || total ? 1 : 0));
        QCOMPARE(totals.bytes[Column(c)], here || total ? (s.kind == EntryKind::Missing ? d.size : s.size) : uint64_t(0));
    }
    // A failure lands in FAILED instead, and sets bit 8.
    if (decided.action == Action::Copy) {
        Totals failed;
        CountFile(failed, decided, s.size, Outcome::Failed);
        QCOMPARE(failed.files[Column::Failed], uint64_t(1));
        QCOMPARE(failed.files[Column::Copied], uint64_t(0));
        QCOMPARE(ExitCode(failed), 8);
    }
    for (const Outcome outcome : {Outcome::AsDecided, Outcome::Failed}) {
        Totals counted;
        CountFile(counted, decided, 1, outcome);
        checkAddsUp(counted.files);
    }
}

void TestCopyCore::dirDecision_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("relDir");
    QTest::addColumn<int>("depth");
    QTest::addColumn<QString>("src");
    QTest::addColumn<QString>("dst");
    QTest::addColumn<QString>("decision");
    QTest::addColumn<QString>("column");
    QTest::addColumn<int>("exit");

    const auto row = [](const char *title, const char *switches, const char *src, const char *dst,
                        const char *decision, const char *column, int exit, const char *name = "sub",
                        const char *relDir = "", int depth = 2) {
        QTest::newRow(title) << QString::fromUtf8(switches) << QString::fromUtf8(name) << QString::fromUtf8(relDir)
                             << depth << QString::fromUtf8(src) << QString::fromUtf8(dst)
                             << QString::fromUtf8(decision) << QString::fromUtf8(column) << exit;
    };
    row("no /S: not walked", "", "d", "-", "-", "", 0);
    row("no /S: extra not seen", "/PURGE", "-", "d", "-", "", 0);
    row("lonely /E", "/E", "d", "-", "Lonely Create New Dir", "copied", 0);
    row("lonely /S on demand", "/S", "d", "-", "Lonely Create New Dir +on demand", "copied", 0);
    row("existing", "/S", "d", "d", "Existing Enter", "skipped", 0);
    row("lonely /XL", "/E /XL", "d", "-", "Lonely Skip lonely", "skipped", 0);
    row("extra", "/E", "-", "d", "Extra Report *EXTRA Dir", "extras", 2);
    row("extra /MIR", "/MIR", "-", "d", "Extra Purge *EXTRA Dir", "extras", 2);
    row("extra /XX /MIR", "/MIR /XX", "-", "d", "-", "", 0);
    row("mismatched", "/E", "d", "f10@1000", "Mismatched Report *MISMATCH", "mismatch", 4);
    row("mismatched /MIR", "/MIR", "d", "f10@1000", "Extra Purge *EXTRA File | Lonely Create New Dir", "copied", 2);
    row("mismatched /MIR /XL", "/MIR /XL", "d", "f10@1000", "Extra Purge *EXTRA File | Lonely Skip lonely", "skipped", 2);
    row("mismatched /MIR /XF", "/MIR /XF sub", "d", "f10@1000", "Mismatched Report *MISMATCH", "mismatch", 4);
    // A link in the destination is never entered: it is no folder there.
    row("destination link", "/E", "d", "Ld", "Mismatched Report *MISMATCH", "mismatch", 4);
    row("destination link /MIR", "/MIR", "d", "Ld", "Extra Purge *EXTRA File | Lonely Create New Dir", "copied", 2);
    row("source link followed", "/E", "Ld", "-", "Lonely Create New Dir", "copied", 0);
    row("source link /XJD", "/E /XJD", "Ld", "-", "Excluded Skip junction", "skipped", 0);
    row("source link /XJ", "/E /XJ", "Ld", "d", "Excluded Skip junction", "skipped", 0);
    // /XD by name (wildcards, any letter case, any depth) and by path on either side.
    row("/XD name", "/E /XD BIN", "d", "-", "Excluded Skip named", "skipped", 0, "bin", "a/b/", 4);
    row("/XD wildcard", "/E /XD *x64", "d", "-", "Excluded Skip named", "skipped", 0, "buildX64");
    row("/XD shields an extra", "/MIR /XD bin", "-", "d", "-", "", 0, "bin", "a/", 3);
    row("/XD source path", "/E /XD /src/a/bin", "d", "d", "Excluded Skip named", "skipped", 0, "bin", "a/", 3);
    row("/XD source path elsewhere", "/E /XD /src/bin", "d", "d", "Existing Enter", "skipped", 0, "bin", "a/", 3);
    row("/XD destination path shields", "/MIR /XD /dst/a/bin/", "-", "d", "-", "", 0, "bin", "a/", 3);
    // /LEV: the roots are level 1.
    row("/LEV:2 level 2", "/E /LEV:2", "d", "-", "Lonely Create New Dir", "copied", 0);
    row("/LEV:2 level 3", "/E /LEV:2", "d", "-", "-", "", 0, "sub", "a/", 3);
    row("/LEV:2 extra level 3", "/MIR /LEV:2", "-", "d", "-", "", 0, "sub", "a/", 3);
    row("/MOVE", "/E /MOVE", "d", "d", "Existing Enter +delete source", "skipped", 0);
    row("/MOV keeps folders", "/E /MOV", "d", "-", "Lonely Create New Dir", "copied", 0);
    // A purge stays out of the file system's own folders at the top only.
    row("/MIR top lost+found", "/MIR", "-", "d", "-", "", 0, "lost+found");
    row("/MIR deeper lost+found", "/MIR", "-", "d", "Extra Purge *EXTRA Dir", "extras", 2, "lost+found", "a/", 3);
    row("/MIR top System Volume Information", "/MIR", "d", "-", "Excluded Skip named", "skipped", 0,
        "System Volume Information");
    row("/E top lost+found copied", "/E", "d", "-", "Lonely Create New Dir", "copied", 0, "lost+found");
}

void TestCopyCore::dirDecision()
{
    QFETCH(QString, switches);
    QFETCH(QString, name);
    QFETCH(QString, relDir);
    QFETCH(int, depth);
    QFETCH(QString, src);
    QFETCH(QString, dst);
    QFETCH(QString, decision);
    QFETCH(QString, column);
    QFETCH(int, exit);

    const CopyOptions o = options(switches);
    const Classifier classifier(o, runClock());
    const Entry s = entry(src);
    Entry d = entry(dst);
    QVERIFY(classifier.decidesAsDirectory(s, d));
    Totals totals;
    Totals extraFile;
    QString extra; // the destination's entry, decided apart when the name is two
    if (classifier.splitsMismatch(s, d, name.toStdString(), relDir.toStdString(), uint32_t(depth))) {
        const FileDecision purged = classifier.file(Entry{}, d, name.toStdString(), relDir.toStdString());
        CountFile(extraFile, purged, d.size);
        extra = summary(purged) + u" | "_s;
        d = Entry{};
    }
    const DirDecision decided = classifier.dir(s, d, name.toStdString(), relDir.toStdString(), uint32_t(depth));
    QCOMPARE(extra + summary(decided), decision);
    CountDir(totals, decided);
    totals += extraFile;
    QCOMPARE(ExitCode(totals), exit);
    const QStringList columns{"total", "copied", "skipped", "mismatch", "failed", "extras"};
    for (qsizetype c = 0; c < columns.size(); ++c) {
        const bool here = columns[c] == column;
        const bool total = c == 0 && !column.isEmpty() && column != u"extras";
        QCOMPARE(totals.dirs[Column(c)], uint64_t(here || total ? 1 : 0));
    }
    QCOMPARE(totals.files, extraFile.files);
    // A folder /S made nothing in is skipped, not copied.
    if (decided.createOnDemand) {
        Totals empty;
        CountDir(empty, decided, Outcome::NotCreated);
        QCOMPARE(empty.dirs[Column::Skipped], uint64_t(1));
        QCOMPARE(empty.dirs[Column::Copied], uint64_t(0));
    }
    for (const Outcome outcome : {Outcome::AsDecided, Outcome::Failed, Outcome::NotCreated}) {
        Totals counted;
        CountDir(counted, decided, outcome);
        checkAddsUp(counted.dirs);
    }
}

void TestCopyCore::namePatterns_data()
{
    QTest::addColumn<QByteArray>("pattern");
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<bool>("matches");

    const auto row = [](const char *pattern, const char *name, bool matches) {
        QTest::addRow("%s ~ %s", pattern, name) << QByteArray(pattern) << QByteArray(name) << matches;
    };
    row("*.*", "README", true);
    row("*.*", ".hidden", true);
    row("*", "", true);
    row("*.txt", "A.TXT", true);
    row("*.txt", "a.txt.bak", false);
    row("*.txt", "txt", false);
    row("a?c", "abc", true);
    row("a?c", "ac", false);
    row("a?c", "abbc", false);
    row("a*b*c", "aXbYbc", true);
    row("a*b*c", "aXbYb", false);
    row("a**b", "ab", true);
    row("*a", "aaa", true);
    row("*ab", "aab", true);
    row("Thumbs.db", "THUMBS.DB", true);
    row("~*.tmp", "~$doc.TMP", true);
    // Letter case beyond ASCII, and characters of several bytes.
    row("\xC3\x84rger*", "\xC3\xA4RGER.txt", true);            // Ärger* ~ äRGER.txt
    row("*\xD0\xAF", "\xD1\x8F", true);                        // *Я ~ я
    row("?", "\xC3\xA9", true);                                // ? ~ é (two bytes, one character)
    row("??", "\xC3\xA9", false);
    // Bytes that are no UTF-8 are characters of their own, matched exactly.
    row("caf\xE9*", "caf\xE9.txt", true);
    row("caf\xE9*", "caf\xC9.txt", false);
    row("?", "\xFF", true);
    row("a?b", "a\xC3" "b", true);
}

void TestCopyCore::namePatterns()
{
    QFETCH(QByteArray, pattern);
    QFETCH(QByteArray, name);
    QFETCH(bool, matches);
    const NamePatterns patterns({pattern.toStdString()});
    QCOMPARE(patterns.matches(name.toStdString()), matches);
    // One matching pattern among others is enough.
    const NamePatterns several({"nothing-like-it", pattern.toStdString()});
    QCOMPARE(several.matches(name.toStdString()), matches);
}

void TestCopyCore::ageCutoff()
{
    RunClock clock = runClock();
    AgeLimit days;
    days.set = true;
    days.days = 7;
    QCOMPARE(AgeCutoffNs(days, clock), Now - 7 * Day);

    // A date is local midnight: an hour east of UTC it starts an hour earlier.
    AgeLimit date;
    date.set = true;
    date.isDate = true;
    date.date = 20240201;
    QCOMPARE(AgeCutoffNs(date, clock), int64_t(1'706'745'600) * Second);
    clock.utcOffsetSeconds = 3600;
    QCOMPARE(AgeCutoffNs(date, clock), int64_t(1'706'745'600 - 3600) * Second);
    date.date = 19700101;
    QCOMPARE(AgeCutoffNs(date, clock), int64_t(-3600) * Second);
    date.date = 20000301; // after a leap day
    clock.utcOffsetSeconds = 0;
    QCOMPARE(AgeCutoffNs(date, clock), int64_t(951'868'800) * Second);
    // The engine's own rules win where it gives them.
    clock.localMidnightNs = [](uint32_t yyyymmdd) { return int64_t(yyyymmdd); };
    QCOMPARE(AgeCutoffNs(date, clock), int64_t(20000301));
}

// How names pair up, and which are kept, where the destination folds case,
// drops trailing dots or refuses names: "src=dst", "src=-" (lonely), "-=dst"
// (extra), "src>winner" (a twin the destination takes for the winner's
// name: never copied); a source name ends in "!" when the destination
// refuses it, in "~" when it stores it otherwise.
void TestCopyCore::destinationNames_data()
{
    QTest::addColumn<QString>("traits");
    QTest::addColumn<QStringList>("src"); // each side sorted by bytes, as listings are; %E9 a byte
    QTest::addColumn<QStringList>("dst");
    QTest::addColumn<QString>("pairs");
    const auto row = [](const char *title, const char *traits, const QStringList &src, const QStringList &dst,
                        const QString &pairs) { QTest::newRow(title) << QString::fromUtf8(traits) << src << dst << pairs; };
    row("names as they are", "", {"Photos", "a:b", "dot.", "photos"}, {"dot", "photos"},
        "Photos=- a:b=- -=dot dot.=- photos=photos");
    row("folded: the first by bytes wins", "fold", {"Photos", "photos"}, {}, "Photos=- photos>Photos");
    row("folded: the destination's spelling wins", "fold", {"Photos", "photos"}, {"photos"},
        "Photos>photos photos=photos");
    row("folded: other letters are the same entry, not an extra", "fold", {"README", "b"}, {"B", "readme"},
        "README=readme b=B");
    row("folded: letters beyond ASCII", "fold", {u"ÄRGER"_s, u"Ärger"_s}, {u"ärger"_s}, u"ÄRGER=ärger Ärger>ÄRGER"_s);
    row("folded: both spellings there, each its own", "fold", {"A", "a"}, {"A", "a"}, "A=A a=a");
    row("folded: three spellings, one entry", "fold", {"REPORT", "Report", "report"}, {"Report"},
        "REPORT>Report Report=Report report>Report");
    row("dots dropped: the stored name stands for it", "strip", {"dot.", "x. ."}, {"dot"}, "dot.~=dot x. .~=-");
    row("dots dropped: a name there already wins", "strip", {"...", ".hidden", "dot", "dot."}, {},
        "...!=- .hidden=- dot=- dot.~>dot");
    row("dots dropped and folded", "fold strip", {"Notes.", "notes"}, {"NOTES"}, "Notes.~=NOTES notes>Notes.");
    row("dots refused", "refuse-dot", {"dot.", "space "}, {"dot"}, "-=dot dot.!=- space !=-");
    row("Windows' characters", "refuse-chars", {"a:b", "ok", "tab\tname"}, {}, "a:b!=- ok=- tab\tname!=-");
    row("device names", "refuse-reserved", {"COM0", "Com1.log", "con", "console.txt"}, {},
        "COM0=- Com1.log!=- con!=- console.txt=-");
    row("bytes that are no UTF-8", "refuse-bytes", {u"café"_s, u"caf%E9"_s}, {},
        u"café=- caf\uFFFD!=-"_s);
    row("refused over altered", "strip refuse-chars", {"a:b."}, {}, "a:b.!=-");
}

void TestCopyCore::destinationNames()
{
    QFETCH(QString, traits);
    QFETCH(QStringList, src);
    QFETCH(QStringList, dst);
    QFETCH(QString, pairs);
    // "%E9" stands for a byte that is no UTF-8.
    const auto bytes = [](const QStringList &names) {
        std::vector<std::string> out;
        for (const QString &n : names)
            out.push_back(QByteArray::fromPercentEncoding(n.toUtf8()).toStdString());
        return out;
    };
    const std::vector<std::string> s = bytes(src), d = bytes(dst);
    QVERIFY(std::is_sorted(s.begin(), s.end()) && std::is_sorted(d.begin(), d.end()));
    const DeviceTraits t = traitsOf(traits);
    const std::vector<NamePair> found = PairNames(
        s.size(), [&](uint32_t i) { return std::string_view(s[i]); }, d.size(),
        [&](uint32_t j) { return std::string_view(d[j]); }, t);
    QStringList shown;
    size_t srcSeen = 0, dstSeen = 0;
    for (const NamePair &p : found) {
        QString left = u"-"_s;
        if (p.src != kNoName) {
            const NameFate fate = FateOfName(s[p.src], t);
            left = QString::fromUtf8(s[p.src]) + (fate == NameFate::Refused ? u"!"_s : fate == NameFate::Altered ? u"~"_s : QString());
            QCOMPARE(NameFateMessage(s[p.src], t).empty(), fate == NameFate::Kept);
        }
        const QString right = p.dst == kNoName ? u"-"_s : QString::fromStdString(d[p.dst]);
        shown << (p.twin != kNoName ? left + u'>' + QString::fromStdString(s[p.twin]) : left + u'=' + right);
        QVERIFY(p.twin == kNoName || p.dst == kNoName);
        srcSeen += p.src != kNoName;
        dstSeen += p.dst != kNoName;
    }
    QCOMPARE(shown.join(u' '), pairs);
    // Every name of each side once: nothing dropped, nothing doubled.
    QCOMPARE(srcSeen, s.size());
    QCOMPARE(dstSeen, d.size());
}

// Times and attributes compared within what the destination keeps.
// 1975-06-01 is 170812800 s, 1980-01-01 315532800 s, 2107-12-31 23:59:59
// 4354819199 s, 2150-01-01 5680281600 s, 2072-01-01 3218918400 s.
void TestCopyCore::destinationDecision_data()
{
    QTest::addColumn<QString>("traits");
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QString>("src");
    QTest::addColumn<QString>("dst");
    QTest::addColumn<QString>("decision");
    const auto row = [](const char *title, const char *traits, const char *switches, const char *src,
                        const char *dst, const char *decision) {
        QTest::newRow(title) << QString::fromUtf8(traits) << QString::fromUtf8(switches) << QString::fromUtf8(src)
                             << QString::fromUtf8(dst) << QString::fromUtf8(decision);
    };
    row("unknown device: a nanosecond counts", "", "", "f10@1000.000000001", "f10@1000", "Newer Copy Newer");
    row("whole seconds: the fraction dropped", "res=1", "", "f10@1000.9", "f10@1000", "Same Skip same");
    row("whole seconds: a second apart", "res=1", "", "f10@1001", "f10@1000", "Newer Copy Newer");
    row("2 s: rounded up", "res=2", "", "f10@1000.5", "f10@1002", "Same Skip same");
    row("10 ms: beyond", "res=0.01", "", "f10@1000.011", "f10@1000", "Newer Copy Newer");
    row("100 ns: beyond", "res=0.0000001", "", "f10@1000.0000001", "f10@1000", "Newer Copy Newer");
    row("before 1980: the clamped date", "fat-years", "", "f10@170812800", "f10@315532800", "Same Skip same");
    row("before 1980: clamped in local time", "fat-years", "", "f10@170812800", "f10@315550800", "Same Skip same");
    row("before 1980: kept in memory", "fat-years", "", "f10@170812800", "f10@170812800", "Same Skip same");
    row("before 1980: another date", "fat-years", "", "f10@170812800", "f10@631152000", "Older Copy Older");
    row("before 1980: another size", "fat-years", "", "f10@170812800", "f11@315532800", "Changed Copy Changed");
    row("before 1980 where it is kept", "", "", "f10@170812800", "f10@315532800", "Older Copy Older");
    row("after 2107: wrapped", "fat-years", "", "f10@5680281600", "f10@3218918400", "Same Skip same");
    row("/IT: R where it is kept", "", "/IT", "f10@1000#RA", "f10@1000#A", "Tweaked Copy Tweaked");
    row("/IT: R where it is dropped", "no-R", "/IT", "f10@1000#RA", "f10@1000#A", "Same Skip same");
    row("/IT: H where letters are lost", "no-letters", "/IT", "f10@1000#HA", "f10@1000#A", "Same Skip same");
    row("/IT: R where letters are lost", "no-letters", "/IT", "f10@1000#RA", "f10@1000#A", "Tweaked Copy Tweaked");
}

void TestCopyCore::destinationDecision()
{
    QFETCH(QString, traits);
    QFETCH(QString, switches);
    QFETCH(QString, src);
    QFETCH(QString, dst);
    QFETCH(QString, decision);
    const CopyOptions o = options(switches); // the classifier keeps a reference
    const Classifier classifier(o, runClock());
    const DeviceTraits t = traitsOf(traits);
    QCOMPARE(summary(classifier.file(entry(src), entry(dst), "a.txt", "", &t)), decision);
}

// What a probe's readings mean: the resolution from the time kept for
// 1600000001.123456789 s (or from the times of entries already there),
// and a volume's format from its first sector.
void TestCopyCore::destinationProbeReadings_data()
{
    QTest::addColumn<qint64>("kept");
    QTest::addColumn<qint64>("resolution");
    QTest::newRow("kept exactly") << qint64(1'600'000'001'123'456'789) << qint64(1);
    QTest::newRow("NTFS: 100 ns") << qint64(1'600'000'001'123'456'700) << qint64(100);
    QTest::newRow("exFAT: 10 ms") << qint64(1'600'000'001'120'000'000) << qint64(10'000'000);
    QTest::newRow("exfat-fuse: seconds") << qint64(1'600'000'001'000'000'000) << qint64(Second);
    QTest::newRow("FAT: 2 s up") << qint64(1'600'000'002'000'000'000) << qint64(2 * Second);
    QTest::newRow("not a rounding") << qint64(315'532'801'000'000'000) << qint64(1);
}

void TestCopyCore::destinationProbeReadings()
{
    QFETCH(qint64, kept);
    QFETCH(qint64, resolution);
    QCOMPARE(ResolutionFromProbe(1'600'000'001'123'456'789, kept), resolution);
    if (resolution > 1) {
        const std::vector<int64_t> four{kept, kept + 6 * Second, kept - 2 * Second, kept + 14 * Second};
        QCOMPARE(ResolutionFromEntries(four), resolution);
        QCOMPARE(ResolutionFromEntries({four.begin(), four.end() - 1}), int64_t(1)); // too few to tell
        QCOMPARE(ResolutionFromEntries({kept, kept + 1, kept + 2 * Second, kept + 4 * Second}), int64_t(1));
    }
    const auto sector = [](size_t at, const char *text, bool signature) {
        std::string s(512, '\0');
        s.replace(at, std::strlen(text), text);
        return signature ? s.replace(510, 2, "\x55\xAA") : s;
    };
    QCOMPARE(FormatOfBootSector(sector(3, "EXFAT   ", true)), VolumeFormat::ExFat);
    QCOMPARE(FormatOfBootSector(sector(82, "FAT32   ", true)), VolumeFormat::Fat);
    QCOMPARE(FormatOfBootSector(sector(54, "FAT16   ", false)), VolumeFormat::Unknown);
    QCOMPARE(FormatOfBootSector(sector(3, "EXFAT   ", true).substr(0, 100)), VolumeFormat::Unknown);
    DeviceTraits t;
    t.timeResolutionNs = resolution;
    ApplyFormatLimits(t, VolumeFormat::Fat);
    QCOMPARE(t.timeResolutionNs, std::max<int64_t>(resolution, 2 * Second)); // the coarser of the two
    QVERIFY(!t.keepsTime(315'532'799 * Second) && t.keepsTime(315'532'800 * Second));
    QVERIFY(t.keepsTime(4'354'819'199 * Second) && !t.keepsTime(4'354'819'200 * Second));
    QCOMPARE(KeptTimeNs(0, t), 315'532'800 * Second);
}

void TestCopyCore::displayName_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("shown");
    QTest::newRow("plain") << QByteArray("a b.txt") << QByteArray("a b.txt");
    QTest::newRow("UTF-8") << QByteArray("caf\xC3\xA9") << QByteArray("caf\xC3\xA9");
    QTest::newRow("Latin-1 byte") << QByteArray("caf\xE9") << QByteArray("caf\\xE9");
    QTest::newRow("backslash") << QByteArray("a\\xE9") << QByteArray("a\\\\xE9");
    QTest::newRow("line break") << QByteArray("a\nb\r") << QByteArray("a\\x0Ab\\x0D");
    QTest::newRow("tab") << QByteArray("a\tb") << QByteArray("a\\x09b");
    QTest::newRow("C1 control") << QByteArray("a\xC2\x85") << QByteArray("a\\u0085");
    QTest::newRow("cut sequence") << QByteArray("\xE2\x82") << QByteArray("\\xE2\\x82");
    QTest::newRow("overlong slash") << QByteArray("\xC0\xAF") << QByteArray("\\xC0\\xAF");
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QByteArray("\\xED\\xA0\\x80");
    QTest::newRow("four bytes") << QByteArray("\xF0\x9F\x98\x80") << QByteArray("\xF0\x9F\x98\x80");
}

void TestCopyCore::displayName()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, shown);
    QCOMPARE(QByteArray::fromStdString(DisplayName(name.toStdString())), shown);

    // Decoding and encoding again gives the very bytes.
    std::string again;
    const std::string bytes = name.toStdString();
    for (size_t at = 0; at < bytes.size();) {
        char32_t c = 0;
        at += DecodeAt(bytes, at, c);
        AppendCodePoint(again, c);
    }
    QCOMPARE(QByteArray::fromStdString(again), name);
}

// 2018-03-08 14:34:58 UTC, the start of Microsoft's sample run.
constexpr int64_t SampleStart = int64_t(1'520'519'698) * Second;

void TestCopyCore::reportHeader_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray rule79(79, '-');
    const QByteArray rule78(78, '-');
    const QByteArray top = rule79 + "\n   corvane-copy     ::     Robust File Copy, compatible with Robocopy\n" + rule79
        + "\n\n  Started : Thursday, March 8, 2018 2:34:58 PM\n";
    const QByteArray folders = "   Source : /src/\n     Dest : /dst/\n\n";
    // Microsoft's sample: the defaults are printed though none was typed.
    QTest::newRow("sample") << u"/MT"_s
                            << top + folders + "    Files : *.*\n\n  Options : *.* /DCOPY:DA /COPY:DAT /MT:8 /R:1000000 /W:30\n\n"
            + rule78 + "\n\n";
    // Options in their canonical order whatever the order typed.
    QTest::newRow("canonical order") << u"/W:5 /XA:H /Z /L /NDL /FFT /MIR"_s
                                     << top + folders
            + "    Files : *.*\n\n  Options : *.* /FFT /NDL /L /S /E /DCOPY:DA /COPY:DAT /PURGE /MIR /Z /XA:H"
              " /R:1000000 /W:5\n\n"
            + rule78 + "\n\n";
    // Several names and exclusions, one per line under the first.
    QTest::newRow("names and exclusions") << u"*.doc *.xls /XF ~*.tmp thumbs.db /XD bin /LOG:/tmp/a.log"_s
                                          << top + " Log File : /tmp/a.log\n" + folders
            + "    Files : *.doc\n            *.xls\n\nExc Files : ~*.tmp\n            thumbs.db\n\n"
              " Exc Dirs : bin\n\n  Options : *.doc *.xls /DCOPY:DA /COPY:DAT /R:1000000 /W:30\n\n"
            + rule78 + "\n\n";
    QTest::newRow("no header") << u"/NJH"_s << QByteArray();
}

void TestCopyCore::reportHeader()
{
    QFETCH(QString, switches);
    QFETCH(QByteArray, expected);
    const CopyOptions o = options(switches);
    const Report report(o, 0);
    QCOMPARE(QByteArray::fromStdString(report.header(SampleStart)), expected);
}

// One event under some display switches, and the exact text it gives.
void TestCopyCore::reportLines_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QString>("event");
    QTest::addColumn<QByteArray>("expected");

    // Events, written short: kind, tag, size and name; progress as per mille.
    const auto row = [](const char *title, const char *switches, const char *event, const QByteArray &expected) {
        QTest::newRow(title) << QString::fromUtf8(switches) << QString::fromUtf8(event) << expected;
    };
    // Folder lines: tag, count, full path (the samples' layout).
    row("existing folder", "", "dir,none,6,/src/somefolder/", "\t                   6\t/src/somefolder/\n");
    row("new folder", "", "dir,newdir,2,/src/somefolder/", "\t  New Dir          2\t/src/somefolder/\n");
    row("extra folder", "", "dir,extradir,-1,/dst/sample/", "\t*EXTRA Dir        -1\t/dst/sample/\n");
    row("mismatched folder", "", "dir,mismatch,0,/src/x/", "\t*MISMATCH          0\t/src/x/\n");
    row("skipped folder hidden", "", "dir,named,0,/src/bin/", "");
    row("skipped folder /V", "/V", "dir,named,0,/src/bin/", "\t     named         0\t/src/bin/\n");
    row("folder /NDL", "/NDL", "dir,newdir,2,/src/a/", "");
    row("folder /NC", "/NC", "dir,newdir,2,/src/a/", "\t                   2\t/src/a/\n");
    row("new folder /MT", "/MT:4", "dir,newdir,2,/src/a/", "");
    row("extra folder /MT", "/MT:4", "dir,extradir,-1,/dst/a/", "\t*EXTRA Dir        -1\t/dst/a/\n");
    // File lines: tag, size right-aligned, name; the line waits for its percentages.
    row("new file /NP", "/NP", "file,newfile,476693,/src/,INV.PDF", "\t    New File\t\t  476693\tINV.PDF\n");
    row("new file progress", "", "file,newfile,7477,/src/,newfile123", "\t    New File\t\t    7477\tnewfile123");
    row("new file /L", "/L", "file,newfile,7477,/src/,newfile123", "\t    New File\t\t    7477\tnewfile123\n");
    row("newer megabytes", "/NP", "file,newer,1258291,/src/,newfile122", "\t    Newer\t\t   1.2 m\tnewfile122\n");
    row("/BYTES", "/NP /BYTES", "file,newer,1258291,/src/,n", "\t    Newer\t\t 1258291\tn\n");
    row("/NS", "/NP /NS", "file,newer,1258291,/src/,n", "\t    Newer\t\t\tn\n");
    row("/NC", "/NP /NC", "file,newer,12,/src/,n", "\t  \t\t      12\tn\n");
    row("/FP", "/NP /FP", "file,newer,12,/src/a/,n", "\t    Newer\t\t      12\t/src/a/n\n");
    row("/TS", "/NP /TS", "file,newer,12,/src/,n", "\t    Newer\t\t      12 2014/01/31 10:33:00\tn\n");
    row("/TS /NS", "/NP /TS /NS", "file,newer,12,/src/,n", "\t    Newer\t\t2014/01/31 10:33:00\tn\n");
    row("/NFL", "/NFL", "file,newfile,12,/src/,n", "");
    row("extra file full path", "", "file,extrafile,78,/dst/a/,x.txt", "\t  *EXTRA File\t\t      78\t/dst/a/x.txt\n");
    row("mismatched file", "", "file,mismatch,78,/src/,x", "\t  *MISMATCH\t\t      78\tx\n");
    row("same hidden", "", "file,same,78,/src/,x", "");
    row("same /V", "/V", "file,same,78,/src/,x", "\t        same\t\t      78\tx\n");
    row("too old /V", "/V", "file,tooold,78,/src/,x", "\t     too old\t\t      78\tx\n");
    row("copied same /IS", "/NP", "file,samecopy,78,/src/,x", "\t    Same\t\t      78\tx\n");
    row("unreadable name", "/NP", "file,newfile,1,/src/caf%C3%A9/,a%09b%FF", "\t    New File\t\t       1\ta\\x09b\\xFF\n");
    // The /MT form: written when done, "100%" first, the full path.
    row("/MT", "/MT:8", "file,newfile,206,/src/d/,article-metadata.md",
        "100%\t    New File\t\t     206\t/src/d/article-metadata.md\n");
    row("/MT /NP", "/MT:8 /NP", "file,newfile,206,/src/d/,a.md", "\t    New File\t\t     206\t/src/d/a.md\n");
    row("/ETA", "/NP /ETA", "file,newfile,206,/src/,a.md", "\t    New File\t\t     206\ta.md\t10:33 -> 10:35\n");
    // Errors start in column 1 with the time, the number and what was done.
    row("error retried", "", "error,13,waiting,/src/,a.txt",
        "2014/01/31 10:33:00 ERROR 13 (0x0000000D) Copying File /src/a.txt\nPermission denied\n"
        "Waiting 30 seconds... Retrying...\n");
    row("error given up", "", "error,28,limit,/dst/,a.txt",
        "2014/01/31 10:33:00 ERROR 28 (0x0000001C) Copying File /dst/a.txt\nNo space left on device\n"
        "ERROR: RETRY LIMIT EXCEEDED.\n\n");
    row("note", "", "note,/COPY:O could not set the owner", "     NOTE : /COPY:O could not set the owner\n");
}

Event makeEvent(const QString &shorthand)
{
    const QStringList f = shorthand.split(u',');
    Event e;
    e.mtimeNs = int64_t(1'391'164'380) * Second; // 2014-01-31 10:33:00 UTC
    e.timeNs = e.mtimeNs;
    const std::map<QString, Tag> tags{{u"none"_s, Tag::None},         {u"newdir"_s, Tag::NewDir},
                                      {u"extradir"_s, Tag::ExtraDir},  {u"mismatch"_s, Tag::Mismatch},
                                      {u"named"_s, Tag::Named},        {u"newfile"_s, Tag::NewFile},
                                      {u"newer"_s, Tag::Newer},        {u"extrafile"_s, Tag::ExtraFile},
                                      {u"same"_s, Tag::SameSkipped},   {u"samecopy"_s, Tag::Same},
                                      {u"tooold"_s, Tag::TooOld}};
    const auto bytes = [](const QString &s) { return QByteArray::fromPercentEncoding(s.toLatin1()).toStdString(); };
    if (f[0] == u"dir") {
        e.kind = EventKind::Dir;
        e.tag = tags.at(f[1]);
        e.count = f[2].toLongLong();
        e.dir = bytes(f[3]);
    } else if (f[0] == u"file") {
        e.kind = EventKind::File;
        e.tag = tags.at(f[1]);
        e.size = f[2].toULongLong();
        e.dir = bytes(f[3]);
        e.name = bytes(f[4]);
        e.etaNs = e.timeNs + 2 * 60 * Second;
    } else if (f[0] == u"error") {
        e.kind = EventKind::Error;
        e.error = f[1].toInt();
        e.message = e.error == 13 ? "Permission denied" : "No space left on device";
        e.retry = f[2] == u"waiting" ? RetryState::Waiting : RetryState::LimitExceeded;
        e.waitSeconds = 30;
        e.dir = bytes(f[3]);
        e.name = bytes(f[4]);
    } else {
        e.kind = EventKind::Note;
        e.message = f[1].toStdString();
    }
    return e;
}

void TestCopyCore::reportLines()
{
    QFETCH(QString, switches);
    QFETCH(QString, event);
    QFETCH(QByteArray, expected);
    const CopyOptions o = options(switches);
    Report report(o, 0);
    QCOMPARE(QByteArray::fromStdString(report.format(makeEvent(event))), expected);
}

// Microsoft's sample summary, and a copy's line with its percentages.
void TestCopyCore::reportSummary()
{
    const CopyOptions o = options(u"/MT"_s);
    Report report(o, 0);
    Totals totals;
    totals.dirs.value = {1, 1, 1, 0, 0, 0};
    totals.files.value = {17, 17, 0, 0, 0, 0};
    totals.bytes.value = {3993, 3993, 0, 0, 0, 0};
    totals.totalNs = 5 * Second + 100'000'000;
    totals.copiedNs = 710'400'000; // 5620.7 bytes a second
    const QByteArray expected = "\n" + QByteArray(78, '-') + "\n\n"
        "               Total    Copied   Skipped  Mismatch    FAILED    Extras\n"
        "    Dirs :         1         1         1         0         0         0\n"
        "   Files :        17        17         0         0         0         0\n"
        "   Bytes :     3.9 k     3.9 k         0         0         0         0\n"
        "   Times :   0:00:05   0:00:00                       0:00:00   0:00:00\n"
        "\n"
        "   Speed :                5620 Bytes/sec.\n"
        "   Speed :               0.321 MegaBytes/min.\n"
        "   Ended : Thursday, March 8, 2018 2:34:59 PM\n\n";
    QCOMPARE(QByteArray::fromStdString(report.summary(totals, SampleStart + Second)), expected);

    // /BYTES in the summary too; hours run on past a day; nothing copied, no speed.
    CopyOptions bytes = options(u"/BYTES"_s);
    Report raw(bytes, 3600);
    totals.copiedNs = 0;
    totals.totalNs = 30 * 3600 * Second;
    const std::string text = raw.summary(totals, SampleStart);
    QVERIFY2(text.find("   Bytes :      3993      3993") != std::string::npos, text.c_str());
    QVERIFY2(text.find("   Times :  30:00:00   0:00:00") != std::string::npos, text.c_str());
    QVERIFY2(text.find("   Speed :                   0 Bytes/sec.\n") != std::string::npos, text.c_str());
    QVERIFY2(text.find("   Ended : Thursday, March 8, 2018 3:34:58 PM") != std::string::npos, text.c_str());
    QCOMPARE(Report(options(u"/NJS"_s), 0).summary(totals, SampleStart), std::string());

    // Without /MT a copy's line stays open for its percentages; the last closes it,
    // and an error first ends the line.
    const CopyOptions plain = options(QString());
    Report lines(plain, 0);
    Event start = makeEvent(u"file,newer,1258291,/src/,newfile122"_s);
    std::string out = lines.format(start);
    for (uint32_t permille : {0u, 190u, 195u, 390u, 1000u}) {
        Event progress;
        progress.kind = EventKind::Progress;
        progress.permille = permille;
        out += lines.format(progress);
    }
    out += lines.format(makeEvent(u"file,newer,7477,/src/,newfile123"_s));
    out += lines.format(makeEvent(u"error,13,waiting,/src/,newfile123"_s));
    out += lines.closeLine();
    QCOMPARE(QByteArray::fromStdString(out),
             QByteArray("\t    Newer\t\t   1.2 m\tnewfile122\r  0%\r 19%\r 39%\r100%\n"
                        "\t    Newer\t\t    7477\tnewfile123\n"
                        "2014/01/31 10:33:00 ERROR 13 (0x0000000D) Copying File /src/newfile123\nPermission denied\n"
                        "Waiting 30 seconds... Retrying...\n"));
}

void TestCopyCore::sizeText_data()
{
    QTest::addColumn<quint64>("bytes");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("summary");
    QTest::newRow("zero") << quint64(0) << u"0"_s << u"0"_s;
    QTest::newRow("1023") << quint64(1023) << u"1023"_s << u"1023"_s;
    QTest::newRow("1024") << quint64(1024) << u"1024"_s << u"1.0 k"_s;
    QTest::newRow("3993") << quint64(3993) << u"3993"_s << u"3.9 k"_s;
    QTest::newRow("below a mebibyte") << quint64(1048575) << u"1048575"_s << u"1024.0 k"_s;
    QTest::newRow("a mebibyte") << quint64(1048576) << u"1.0 m"_s << u"1.0 m"_s;
    QTest::newRow("44 m") << quint64(46137344) << u"44.0 m"_s << u"44.0 m"_s;
    QTest::newRow("gibibytes") << quint64(910'000'000'000) << u"847.5 g"_s << u"847.5 g"_s;
    QTest::newRow("tebibytes") << quint64(1) * 1024 * 1024 * 1024 * 1024 * 3 << u"3.0 t"_s << u"3.0 t"_s;
}

void TestCopyCore::sizeText()
{
    QFETCH(quint64, bytes);
    QFETCH(QString, file);
    QFETCH(QString, summary);
    QCOMPARE(QString::fromStdString(FileSizeText(bytes, false)), file);
    QCOMPARE(QString::fromStdString(SummarySizeText(bytes, false)), summary);
    QCOMPARE(QString::fromStdString(FileSizeText(bytes, true)), QString::number(bytes));
}

// What a reading of the arguments comes to, in one line.
QString describe(const ParsedCommand &parsed)
{
    if (parsed.usage)
        return parsed.error == UsageText() ? u"usage"_s : u"usage without its text"_s;
    if (!parsed.error.empty()) {
        const QString first = QString::fromStdString(parsed.error).section(u'\n', 0, 0);
        return u"error: "_s + first;
    }
    const CopyOptions &o = parsed.options;
    const auto join = [](const std::vector<std::string> &list) {
        QStringList out;
        for (const std::string &s : list)
            out << QString::fromStdString(DisplayName(s));
        return out.join(u'|');
    };
    QString text = QString::fromStdString(DisplayName(o.source)) + u" -> "_s
        + QString::fromStdString(DisplayName(o.destination)) + u" : "_s + QString::fromStdString(OptionsText(o));
    if (!o.excludeFiles.empty())
        text += u" xf="_s + join(o.excludeFiles);
    if (!o.excludeDirs.empty())
        text += u" xd="_s + join(o.excludeDirs);
    if (!o.logFile.empty())
        text += u" log="_s + QString::fromStdString(DisplayName(o.logFile)) + (o.logAppend ? u"+"_s : QString())
            + (o.logUnicode ? u" unicode"_s : QString());
    if (!o.withoutEffect.empty())
        text += u" note="_s + join(o.withoutEffect);
    if (!o.notes.empty())
        text += u" notes="_s + join(o.notes);
    return text;
}

void TestCopyCore::arguments_data()
{
    QTest::addColumn<QByteArray>("args"); // separated by blanks; %20 for a blank inside a word
    QTest::addColumn<QString>("expected");

    const auto row = [](const char *args, const char *expected) {
        QTest::newRow(args) << QByteArray(args) << QString::fromUtf8(expected);
    };
    const char *const defaults = "/DCOPY:DA /COPY:DAT /R:1000000 /W:30";
    Q_UNUSED(defaults);
    row("src dst", "/home/u/src -> /home/u/dst : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
    // Folders and names may stand after switches; switches in any letter case.
    row("/mir /Xo src dst *.TXT", "/home/u/src -> /home/u/dst : *.TXT /S /E /DCOPY:DA /COPY:DAT /PURGE /MIR /XO"
                                  " /R:1000000 /W:30");
    row("src /E dst *.c /NP *.h", "/home/u/src -> /home/u/dst : *.c *.h /NP /S /E /DCOPY:DA /COPY:DAT"
                                  " /R:1000000 /W:30");
    // Paths: '\\' read as '/', relative ones against the working folder, dots by their text.
    row("sub\\a\\..\\b \\\\srv\\share\\", "/home/u/sub/b -> /srv/share : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
    row("/data/ /backup/x/./y", "/data -> /backup/x/y : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
    row("caf%E9 dst", "/home/u/caf\\xE9 -> /home/u/dst : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
    row("a%20b dst /LOG+:my%20log.txt /UNILOG:/tmp/u.log",
        "/home/u/a b -> /home/u/dst : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30 log=/tmp/u.log unicode");
    row("a dst /LOG+:my%20log.txt", "/home/u/a -> /home/u/dst : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30"
                                    " log=/home/u/my log.txt+");
    // Lists take the names up to the next switch, paths among them as paths.
    row("s d /XF *.tmp thumbs.db /XD .git sub\\bin /XF more",
        "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30 xf=*.tmp|thumbs.db|more"
        " xd=.git|/home/u/sub/bin");
    row("s d /XD /opt/cache/ x", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30"
                                 " xd=/opt/cache|x");
    row("s d /IF *.c *.h /E", "/home/u/s -> /home/u/d : *.c *.h /S /E /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
    row("s d /IF:*.c", "/home/u/s -> /home/u/d : *.c /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
    row("s d /IF:*.c *.h /E", "/home/u/s -> /home/u/d : *.c *.h /S /E /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
    row("/IF:*.c s d", "error: ERROR : No Source Directory Specified."); // names up to the next switch
    row("/SD:/a/ /DD:/b/", "/a -> /b : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
    // Copy letters and their shorthands; the defaults always shown.
    row("s d /COPYALL", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DATSOU /R:1000000 /W:30");
    row("s d /SEC /DCOPY:T", "/home/u/s -> /home/u/d : *.* /DCOPY:T /COPY:DATS /R:1000000 /W:30");
    row("s d /COPY:dat /NODCOPY", "/home/u/s -> /home/u/d : *.* /NODCOPY /COPY:DAT /R:1000000 /W:30");
    row("s d /NOCOPY /PURGE", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /NOCOPY /PURGE /R:1000000 /W:30");
    row("s d /COPY:DATX /DCOPY:DAE", "/home/u/s -> /home/u/d : *.* /DCOPY:DAE /COPY:DATX /R:1000000 /W:30");
    row("s d /COPY:DQ", "error: ERROR : Invalid Parameter #3 : \"/COPY:DQ\"");
    // Values.
    row("s d /MT", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DAT /MT:8 /R:1000000 /W:30");
    row("s d /MT:128 /R:3 /W:0", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DAT /MT:128 /R:3 /W:0");
    row("s d /MT:129", "error: ERROR : Invalid Parameter #3 : \"/MT:129\"");
    row("s d /MT:0", "error: ERROR : Invalid Parameter #3 : \"/MT:0\"");
    row("s d /MT:4 /IPG:10", "error: ERROR : /MT cannot be used with /IPG or /EFSRAW.");
    row("s d /R:many", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30"
                       " notes=/R:many is no number; the default 1000000 is used.");
    row("s d /LEV:3 /MAX:1000 /MIN:10", "/home/u/s -> /home/u/d : *.* /LEV:3 /DCOPY:DA /COPY:DAT /MAX:1000 /MIN:10"
                                        " /R:1000000 /W:30");
    row("s d /LEV:x", "error: ERROR : Invalid Parameter #3 : \"/LEV:x\"");
    row("s d /MAXAGE:7 /MINAGE:20240131", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DAT /MAXAGE:7"
                                          " /MINAGE:20240131 /R:1000000 /W:30");
    row("s d /MAXLAD:20230229", "error: ERROR : Invalid Parameter #3 : \"/MAXLAD:20230229\"");
    row("s d /MINLAD:2000", "error: ERROR : Invalid Parameter #3 : \"/MINLAD:2000\"");
    row("s d /RH:2200-0600 /PF", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DAT /RH:2200-0600 /PF"
                                 " /R:1000000 /W:30");
    row("s d /RH:2400-0600", "error: ERROR : Invalid Parameter #3 : \"/RH:2400-0600\"");
    row("s d /A+:RH /A-:a /IA:RS /XA:HO", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DAT /A+:RH /A-:A /IA:RS"
                                          " /XA:HO /R:1000000 /W:30");
    row("s d /M /MOVE /ZB", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DAT /MOVE /ZB /M /R:1000000 /W:30"
                            " note=/ZB (backup mode)");
    // Switches accepted with a NOTE, mapped ones, and what Robocopy refuses.
    row("s d /B /EFSRAW /FAT /256 /REG /TBD /IM /UNICODE",
        "/home/u/s -> /home/u/d : *.* /UNICODE /DCOPY:DA /COPY:DAT /FAT /256 /EFSRAW /B /IM /R:1000000"
        " /W:30 /REG /TBD note=/B|/IM|/UNICODE|/EFSRAW|/FAT|/256|/REG|/TBD");
    // /SECFIX fixes what /COPY: carries of security; S when it carries none.
    row("s d /SECFIX", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DATS /SECFIX /R:1000000 /W:30");
    row("s d /SECFIX /COPY:DATO", "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DATO /SECFIX /R:1000000 /W:30");
    // A move deletes the sources it copied: never after empty copies.
    row("s d /MOV /CREATE", "error: ERROR : /CREATE cannot be used with /MOV: it makes empty copies, and the move"
                            " would then delete the sources whose data was never copied.");
    row("s d /CREATE /MOVE", "error: ERROR : /CREATE cannot be used with /MOVE: it makes empty copies, and the move"
                             " would then delete the sources whose data was never copied.");
    row("s d /SJ /SL /NOCLONE /COMPRESS /SPARSE /LFSM:10M",
        "/home/u/s -> /home/u/d : *.* /DCOPY:DA /COPY:DAT /NOCLONE /SL /SJ /SPARSE /R:1000000 /W:30"
        " note=/COMPRESS|/LFSM:10M");
    row("s d /FOO", "error: ERROR : Invalid Parameter #3 : \"/FOO\"");
    row("/FOO s d", "error: ERROR : Invalid Parameter #1 : \"/FOO\"");
    row("s d /PURGE:yes", "error: ERROR : Invalid Parameter #3 : \"/PURGE:yes\"");
    row("s d /R", "error: ERROR : Invalid Parameter #3 : \"/R\"");
    row("s d /XF:x", "error: ERROR : Invalid Parameter #3 : \"/XF:x\"");
    row("/data /backup/", "error: ERROR : Invalid Parameter #1 : \"/data\"");
    row("/backupdir /x/ /MIR", "/backupdir -> /x : *.* /S /E /DCOPY:DA /COPY:DAT /PURGE /MIR /R:1000000 /W:30");
    row("s d /S /E /COPY:DAT /MT:4 /NP /V /TS /FP /BYTES /NS /NC /NFL /NDL /ETA /X /L /NJH /NJS /TEE /LOG:l",
        "/home/u/s -> /home/u/d : *.* /X /V /TS /FP /BYTES /NS /NC /NFL /NDL /L /NP /ETA /TEE /NJH /NJS /S /E"
        " /DCOPY:DA /COPY:DAT /MT:4 /R:1000000 /W:30 log=/home/u/l");
    // The first word Robocopy refuses is the one named, wherever it stands.
    row("s d /LEV:x /FOO", "error: ERROR : Invalid Parameter #3 : \"/LEV:x\"");
    row("s d /FOO /LEV:x", "error: ERROR : Invalid Parameter #3 : \"/FOO\"");
    row("s d /R:3 /TEE:x /COPY:DQ", "error: ERROR : Invalid Parameter #4 : \"/TEE:x\"");
    // What only the window cannot hold, Robocopy and the engine take: /TEE
    // without a log file, a double quotation mark or a line break in a path
    // or a name (Linux allows both), file names of /IF without folders.
    row("s d /TEE", "/home/u/s -> /home/u/d : *.* /TEE /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
    row("say%22cheese%22 d /LOG:a%22b.log", "/home/u/say\"cheese\" -> /home/u/d : *.* /DCOPY:DA /COPY:DAT"
                                          " /R:1000000 /W:30 log=/home/u/a\"b.log");
    row("s d%22 x%22.c line%0Abreak.txt /XD %22q%22 /XF a%0Db",
        "/home/u/s -> /home/u/d\" : x\".c line\\x0Abreak.txt /DCOPY:DA /COPY:DAT /R:1000000 /W:30 xf=a\\x0Db"
        " xd=\"q\"");
    row("/SD:/a/ /DD:/b/ /IF *.c *.h", "/a -> /b : *.c *.h /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
    row("/SD:/a%22/ /DD:/b/", "/a\" -> /b : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
    // Names keep their bytes, in switches' values too, and their order.
    row("caf%E9 d%FF /XD caf%E9 /XF %FE.tmp /LOG:caf%E9.log /IF:caf%E9.c",
        "/home/u/caf\\xE9 -> /home/u/d\\xFF : caf\\xE9.c /DCOPY:DA /COPY:DAT /R:1000000 /W:30 xf=\\xFE.tmp"
        " xd=caf\\xE9 log=/home/u/caf\\xE9.log");
    row("/SD:/a/ /DD:/b/ x.c /IF y.c z.c /E w.c", "/a -> /b : x.c y.c z.c w.c /S /E /DCOPY:DA /COPY:DAT"
                                                 " /R:1000000 /W:30");
    // Switches add up; a later /COPY: takes the place of an earlier one.
    row("s d /A+:R /A+:h /S /E /S /COPY:DATSO /COPY:DT", "/home/u/s -> /home/u/d : *.* /S /E /DCOPY:DA /COPY:DT"
                                                       " /A+:RH /R:1000000 /W:30");
    // What the run needs.
    row("", "usage");
    row("/?", "usage");
    row("src", "error: ERROR : No Destination Directory Specified.");
    row("/NOSD d", "error: ERROR : No Source Directory Specified.");
    row("/NOSD /NODD /SAVE:x /QUIT", " ->  : *.* /DCOPY:DA /COPY:DAT /R:1000000 /W:30");
}

void TestCopyCore::arguments()
{
    QFETCH(QByteArray, args);
    QFETCH(QString, expected);
    std::vector<std::string> words;
    for (const QByteArray &word : args.split(' '))
        if (!word.isEmpty())
            words.push_back(QByteArray::fromPercentEncoding(word).toStdString());
    // /data names an existing folder in one row.
    const auto isFolder = [](const std::string &path) { return path == "/backupdir"; };
    QCOMPARE(describe(ParseArguments(words, "/home/u", {}, isFolder)), expected);
}

// Job files: several merge in their order, the command line over them; a
// template without folders takes the command line's.
void TestCopyCore::jobFiles_data()
{
    QTest::addColumn<QStringList>("jobs"); // "name=text"
    QTest::addColumn<QString>("args");
    QTest::addColumn<QString>("expected");

    const QString a = u"a.RCJ=\t/SD:/data/src/\t:: Source Directory.\n\t/DD:/data/dst/\n\t/IF\n\t\t*.doc\n"
                      "\t\t\"a b.txt\"\n\t/XD\n\t\tbin\n\t/S\n\t/R:5\t\t:: retries\n\t/COPY:DATS\n"_s;
    const QString b = u"b.RCJ=::\n:: template\n::\n\t/NOSD\n\t/NODD\n\t/E\n\t/W:7\n\t/XF\n\t\t*.tmp\n"_s;
    QTest::newRow("one job") << QStringList{a} << u"/JOB:a"_s
                             << u"/data/src -> /data/dst : *.doc a b.txt /S /DCOPY:DA /COPY:DATS /R:5 /W:30 xd=bin"_s;
    QTest::newRow("command line over the job")
        << QStringList{a} << u"/JOB:a.RCJ /R:9 /XD obj /COPY:DAT x.c"_s
        << u"/data/src -> /data/dst : x.c /S /DCOPY:DA /COPY:DAT /R:9 /W:30 xd=obj"_s;
    QTest::newRow("two jobs merge") << QStringList{a, b} << u"/JOB:a /JOB:b /NP"_s
                                    << u"/data/src -> /data/dst : *.doc a b.txt /NP /S /E /DCOPY:DA /COPY:DATS /R:5"
                                       " /W:7 xf=*.tmp xd=bin"_s;
    QTest::newRow("template takes the folders") << QStringList{b} << u"/JOB:b s d *.c"_s
                                                << u"/home/u/s -> /home/u/d : *.c /S /E /DCOPY:DA /COPY:DAT"
                                                   " /R:1000000 /W:7 xf=*.tmp"_s;
    QTest::newRow("folders as names when the job has them") << QStringList{a} << u"/JOB:a x.c y.c"_s
        << u"/data/src -> /data/dst : x.c y.c /S /DCOPY:DA /COPY:DATS /R:5 /W:30 xd=bin"_s;
    QTest::newRow("missing job") << QStringList() << u"/JOB:nothere s d"_s
                                 << u"error: ERROR : Cannot read job file /home/u/nothere.RCJ : No such file"_s;
    // A template's names stand without folders: the window cannot hold
    // them, the engine takes them. Two switches on a line, /TEE without a log.
    QTest::newRow("template names the files")
        << QStringList{u"t.RCJ=\t/NOSD\n\t/NODD\n\t/IF\n\t\t*.c\n\t\t\"a b.h\"\n\t/S /NP\n\t/TEE\n"_s}
        << u"/JOB:t s d"_s << u"/home/u/s -> /home/u/d : *.c a b.h /NP /TEE /S /DCOPY:DA /COPY:DAT /R:1000000 /W:30"_s;
    // /IF:name and the names below it; letters Robocopy knows that the
    // window has no box for, as on the command line.
    QTest::newRow("/IF: and its names, /DCOPY:E in a job")
        << QStringList{u"e.RCJ=\t/NOSD\n\t/NODD\n\t/IF:*.log\n\t\t*.md\n\t/DCOPY:DAE\n\t/COPY:DATX\n"_s}
        << u"/JOB:e s d"_s << u"/home/u/s -> /home/u/d : *.log *.md /DCOPY:DAE /COPY:DATX /R:1000000 /W:30"_s;
    QTest::newRow("unknown switch in a job") << QStringList{u"c.RCJ=\t/S\n\t/BOGUS\n"_s} << u"s d /NP /JOB:c"_s
                                             << u"error: ERROR : Invalid Parameter #4 : \"/BOGUS\""_s;
}

void TestCopyCore::jobFiles()
{
    QFETCH(QStringList, jobs);
    QFETCH(QString, args);
    QFETCH(QString, expected);
    std::map<std::string, std::string> files;
    for (const QString &job : jobs)
        files["/home/u/" + job.section(u'=', 0, 0).toStdString()] = job.section(u'=', 1).toStdString();
    const JobFileReader read = [&](const std::string &path, std::string &contents, std::string &error) {
        const auto it = files.find(path);
        if (it == files.end()) {
            error = "No such file";
            return false;
        }
        contents = it->second;
        return true;
    };
    std::vector<std::string> words;
    for (const QString &word : args.split(u' ', Qt::SkipEmptyParts))
        words.push_back(word.toStdString());
    QCOMPARE(describe(ParseArguments(words, "/home/u", read)), expected);
}

// /SAVE: keeps the switches before it and the lists named before it; the
// folders and file names count wherever they stand. The run has them all.
void TestCopyCore::savedBeforeSave()
{
    const std::vector<std::string> args{"s", "d", "*.c", "/XF", "a.tmp", "/SAVE:/jobs/j", "e.c", "/XD", "b", "/IF",
                                        "c.c", "/R:3", "/TEE", "/LOG:l"};
    const ParsedCommand parsed = ParseArguments(args, "/home/u", {});
    QVERIFY2(parsed.error.empty(), parsed.error.c_str());
    QCOMPARE(describe(parsed), u"/home/u/s -> /home/u/d : *.c e.c c.c /TEE /DCOPY:DA /COPY:DAT /R:3 /W:30 xf=a.tmp"
                               u" xd=b log=/home/u/l"_s);
    QCOMPARE(describe(ParsedCommand{parsed.saved, {}, false, {}, 0}),
             u"/home/u/s -> /home/u/d : *.c e.c /DCOPY:DA /COPY:DAT /R:1000000 /W:30 xf=a.tmp"_s);
}

// /SAVE: writes what the command line said before it, in the layout
// Robocopy uses; File > Open Command File reads it back into the same
// window, and /JOB: reads it back into the same run.
void TestCopyCore::jobReadByWindow()
{
    const QString command = uR"("/data/my files/" D:\Backup\ *.doc *.xls /E /ZB /SEC /DCOPY:DAT /MIR /A-:A /XA:HS /XF ~*.tmp thumbs.db /XD bin "obj x" /R:3 /W:10 /LEV:4 /XO /MAXAGE:20240101 /RH:2200-0600 /TEE /LOG+:/logs/copy.txt /NP /V)"_s;
    std::vector<std::string> args;
    for (const QString &word : SplitWords(command))
        args.push_back(word.toStdString());
    args.push_back("/SAVE:/jobs/nightly");
    args.push_back("/MT:16"); // after /SAVE: not saved
    args.push_back("/QUIT");
    const ParsedCommand parsed = ParseArguments(args, "/home/u", {});
    QVERIFY2(parsed.error.empty(), parsed.error.c_str());
    QCOMPARE(parsed.options.saveJob, std::string("/jobs/nightly.RCJ"));
    QCOMPARE(parsed.options.threads, 16u);
    QCOMPARE(parsed.saved.threads, 0u);

    const std::string job = JobFileText(parsed.saved, parsed.options.saveJob, "root", SampleStart, 0);
    // The documented layout, as far as the published file shows it.
    const std::string head = "::\n:: Robocopy Job /jobs/nightly.RCJ\n::\n"
                             ":: Created by root on Thursday, March 8, 2018 at 2:34:58 PM\n::\n\n"
                             "::\n:: Source Directory :\n::\n\t/SD:/data/my files/\t:: Source Directory.\n\n"
                             "::\n:: Destination Directory :\n::\n\t/DD:/home/u/D:/Backup/\t:: Destination Directory.\n\n"
                             "::\n:: Include These Files :\n::\n\t/IF\t\t:: Include Files matching these names\n"
                             "\t\t*.doc\n\t\t*.xls\n\n";
    QCOMPARE(QByteArray::fromStdString(job.substr(0, head.size())), QByteArray::fromStdString(head));
    QVERIFY2(job.find("\t/R:3\t\t:: number of Retries") != std::string::npos, job.c_str());
    QVERIFY2(job.find("\t/DCOPY:DAT\t:: what to COPY for directories") != std::string::npos, job.c_str());
    QVERIFY(job.find("/MT") == std::string::npos);
    QVERIFY(job.find("/SAVE") == std::string::npos);

    // The window reads it into the state the command gives (but for /MT,
    // which a job does not keep, the folders the job names in full, and the
    // file names, which it keeps as the names of /IF).
    const CommandReading fromJob = ReadJob(QString::fromStdString(job));
    QVERIFY(fromJob.found);
    QCOMPARE(LeftOutLines(fromJob.leftOut), QStringList());
    const QString windowCommand = u"ROBOCOPY.EXE \"/data/my files/\" /home/u/D:/Backup/"_s
        + command.mid(command.indexOf(u" /E")) + u" /IF *.doc *.xls"_s;
    QCOMPARE(BuildCommandLine(fromJob.values), BuildCommandLine(ReadCommand(windowCommand).values));

    // And the engine reads it into the same run.
    const JobFileReader read = [&](const std::string &path, std::string &contents, std::string &) {
        contents = job;
        return path == "/jobs/nightly.RCJ";
    };
    const ParsedCommand again = ParseArguments({"/JOB:/jobs/nightly"}, "/", read);
    QVERIFY2(again.error.empty(), again.error.c_str());
    CopyOptions expected = parsed.options;
    expected.threads = 0;
    expected.saveJob.clear();
    expected.quit = false;
    expected.jobs = {"/jobs/nightly.RCJ"};
    QCOMPARE(describe(again), describe(ParsedCommand{expected, {}, false, {}, 0}));
    QCOMPARE(again.options.fileNames, expected.fileNames);
    QCOMPARE(again.options.maxAge, expected.maxAge);
    QCOMPARE(again.options.runHours, expected.runHours);
}

// Every switch the window can emit reaches the engine: each control of the
// switch table, turned on or off (a text filled or emptied) on a plain and
// on a busy window, changes the engine's reading whenever it changes the
// command, and never into an Invalid Parameter.
void TestCopyCore::everySwitchOfTheWindow()
{
    struct Window : OptionReader
    {
        QHash<QString, qint16> checks;
        QHash<QString, QString> texts;
        qint16 checkValue(QLatin1StringView name) const override { return checks.value(name); }
        QString text(QLatin1StringView name) const override { return texts.value(name); }
    };
    // A value each text of the table takes.
    const QHash<QString, QString> samples{
        {u"txtLevels"_s, u"3"_s},          {u"txtChangeCount"_s, u"5"_s},      {u"txtDelayMinutes"_s, u"2"_s},
        {u"txtAllowedStart"_s, u"2200"_s}, {u"txtAllowedEnd"_s, u"0600"_s},    {u"txtDelayPer64k"_s, u"10"_s},
        {u"txtExcludeFiles"_s, u"*.tmp"_s}, {u"txtExcludeFolders"_s, u"bin"_s}, {u"txtMaxBytes"_s, u"1000"_s},
        {u"txtMinBytes"_s, u"10"_s},       {u"txtMaxAge"_s, u"7"_s},           {u"txtMinAge"_s, u"20240101"_s},
        {u"txtMaxLAD"_s, u"30"_s},         {u"txtMinLAD"_s, u"1"_s},           {u"txtRetryCount"_s, u"3"_s},
        {u"txtRetryWait"_s, u"5"_s},       {u"txtLogFile"_s, u"/logs/a.log"_s}, {u"txtJobRead"_s, u"/jobs/a"_s},
        {u"txtJobWrite"_s, u"/jobs/b"_s},  {u"txtJobIncludeFiles"_s, u"*.c"_s}, {u"txtJobExplicitSource"_s, u"/s2"_s},
        {u"txtJobExplicitDest"_s, u"/d2"_s}, {u"txtThreadsCount"_s, u"4"_s}};
    Window plain;
    plain.texts = {{u"cboSource"_s, u"/src/"_s}, {u"cboDestination"_s, u"/dst/"_s}};
    for (const char *box : {"chkData", "chkAttributes", "chkTimestamps", "chkFolderData", "chkFolderAttributes"})
        plain.checks[QString::fromLatin1(box)] = 1;
    // Busy: the companions some switches need (a log file, a start hour, /S).
    Window busy = plain;
    busy.texts[u"txtLogFile"_s] = samples[u"txtLogFile"_s];
    busy.texts[u"txtAllowedStart"_s] = samples[u"txtAllowedStart"_s];
    for (const char *box : {"chkSubdirectories", "chkMoveFiles", "chkRestartable", "chkSourceArchiveOnly"})
        busy.checks[QString::fromLatin1(box)] = 1;

    const JobFileReader readJob = [](const std::string &, std::string &contents, std::string &) {
        contents = "\t/XO\n";
        return true;
    };
    const auto reading = [&](const Window &w) {
        std::vector<std::string> args;
        for (const QString &word : SplitWords(BuildCommandLine(w)).mid(1))
            args.push_back(word.toStdString());
        const ParsedCommand parsed = ParseArguments(args, "/", readJob);
        const CopyOptions &o = parsed.options;
        QString jobs;
        for (const std::string &j : o.jobs)
            jobs += QString::fromStdString(j) + u' ';
        return describe(parsed) + u" jobs="_s + jobs + u" save="_s + QString::fromStdString(o.saveJob)
            + (o.quit ? u" quit"_s : QString());
    };
    int changes = 0;
    for (const SwitchSpec &row : switchTable()) {
        QStringList controls;
        for (const QLatin1StringView c : row.controls)
            if (!c.isEmpty())
                controls << QString(c);
        for (const SwitchLetter &l : row.letters)
            controls << QString(l.box);
        for (const QString &control : controls) {
            for (const Window *base : {&plain, &busy}) {
                Window w = *base;
                if (control.startsWith(u"chk"))
                    w.checks[control] = qint16(1 - w.checks.value(control));
                else
                    w.texts[control] = w.texts.value(control).isEmpty() ? samples.value(control) : QString();
                if (BuildCommandLine(w) == BuildCommandLine(*base))
                    continue;
                ++changes;
                const QString before = reading(*base), after = reading(w);
                QVERIFY2(after != before, qPrintable(control + u": "_s + BuildCommandLine(w)));
                QVERIFY2(!after.contains(u"Invalid Parameter"_s), qPrintable(BuildCommandLine(w) + u"\n"_s + after));
            }
        }
    }
    QVERIFY(changes > 120); // every row, most of them twice
}

QTEST_APPLESS_MAIN(TestCopyCore)
#include "test_copy_core.moc"
