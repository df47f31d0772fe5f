// The settings store on its own: choice of back end, value forms, the INI
// file's format, lossless values, atomic writes and damaged files.
#include "settings/CSettings.h"
#include "settings/IniFile.h"

#include "Scratch.h"
#include "ScopedHook.h"
#include "SettingsTestSupport.h"

#include <QApplication>
#include <QProcess>
#include <QScopeGuard>

#include <cstdlib>
#include <cstring>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"
#include "tools/basTools.h"

#include <QAction>
#include <QMessageBox>

#include <csignal>
#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace {

const QString kAbsent = QStringLiteral("<absent>");

enum class Backend { Ini, User };

// What a store tells of its failures.
struct Reports
{
    QList<SettingsError> failures;

    SettingsFailureReport to()
    {
        return [this](const SettingsError &e) { failures.append(e); };
    }
    QString describe() const
    {
        QStringList out;
        for (const SettingsError &e : failures)
            out << QStringLiteral("%1 %2: %3").arg(e.operation).arg(e.number).arg(e.description);
        return out.join(u'\n');
    }
};

// A store in the wanted mode, in a fresh scratch folder. In per-user mode
// the INI file is never touched.
std::unique_ptr<CSettings> makeStore(const Scratch &s, Backend backend, SettingsFailureReport report = {})
{
    if (backend == Backend::User)
        s.setUserValue(QStringLiteral("SaveToINI"), QStringLiteral("0"));
    return std::make_unique<CSettings>(s.location(), std::move(report));
}

// A file that does not exist.
const QByteArray kNoFile("<no file>");

// Text as a UTF-16 file holds it, byte-order mark first.
QByteArray utf16(const QString &text, bool littleEndian)
{
    QByteArray out;
    for (QChar c : QChar(0xFEFF) + text) {
        const char16_t u = c.unicode();
        out += char(littleEndian ? u & 0xff : u >> 8);
        out += char(littleEndian ? u >> 8 : u & 0xff);
    }
    return out;
}

QString userFlag(const Scratch &s)
{
    return s.userHas(QStringLiteral("SaveToINI")) ? s.userValue(QStringLiteral("SaveToINI")) : kAbsent;
}

} // namespace

Q_DECLARE_METATYPE(Backend)

class TestStore : public QObject
{
    Q_OBJECT

private slots:
    void creation_data();
    void creation();
    void setter_data();
    void setter();
    void releaseStoresFlag_data();
    void releaseStoresFlag();

    void valueForms_data();
    void valueForms();
    void defaults_data();
    void defaults();
    void losslessRoundTrip_data();
    void losslessRoundTrip();
    void plainValuesStayClassic_data();
    void plainValuesStayClassic();

    void readingForeignFiles_data();
    void readingForeignFiles();
    void writeKeepsOtherLines();
    void fileFormKept_data();
    void fileFormKept();
    void deleteKeyAndSection();
    void deleteInUserStore();

    void singleWriteGoesThrough();
    void batchWritesOnce();
    void batchTellsOfRefusedFile();
    void crashBeforeRenameKeepsOldFile();
    void startDuringWriteLeavesNewFile();
    void replacementKeepsPermissions();
    void writeFailureKeepsOldFile_data();
    void writeFailureKeepsOldFile();
    void writeNeverOutgrowsReader();

    void unreadableIniFile();
    void oversizedIniFileIsReported();
    void brokenUserStore();

    // Settings.ini and the Windows profile functions
    void profileFunctionsReadOurFile_data();
    void profileFunctionsReadOurFile();
    void storeReadsProfileWrites_data();
    void storeReadsProfileWrites();
};

// ---- Choosing the back end

void TestStore::creation_data()
{
    QTest::addColumn<QString>("storedFlag"); // per-user "SaveToINI" before creation
    QTest::addColumn<bool>("iniBlocked");
    QTest::addColumn<bool>("expectIni");
    QTest::addColumn<QString>("expectFlag"); // per-user "SaveToINI" after creation

    QTest::newRow("first start, writable folder") << kAbsent << false << true << kAbsent;
    QTest::newRow("first start, file cannot be written") << kAbsent << true << false << QStringLiteral("0");
    QTest::newRow("flag 0 keeps the per-user store") << QStringLiteral("0") << false << false << QStringLiteral("0");
    QTest::newRow("flag False") << QStringLiteral("False") << false << false << QStringLiteral("0");
    QTest::newRow("flag -1") << QStringLiteral("-1") << false << true << kAbsent;
    QTest::newRow("flag True") << QStringLiteral("True") << false << true << kAbsent;
    QTest::newRow("flag any non-zero number") << QStringLiteral("7") << false << true << kAbsent;
    QTest::newRow("flag 0.0 is zero") << QStringLiteral("0.0") << false << false << QStringLiteral("0");
    QTest::newRow("flag no Boolean: INI file") << QStringLiteral("maybe") << false << true << kAbsent;
    QTest::newRow("flag -1, file cannot be written") << QStringLiteral("-1") << true << false << QStringLiteral("0");
}

void TestStore::creation()
{
    QFETCH(QString, storedFlag);
    QFETCH(bool, iniBlocked);
    QFETCH(bool, expectIni);
    QFETCH(QString, expectFlag);

    Scratch s;
    if (storedFlag != kAbsent)
        s.setUserValue(QStringLiteral("SaveToINI"), storedFlag);
    if (iniBlocked)
        s.blockIni();
    else if (!expectIni)
        s.writeIni("[Settings]\r\nchkMirror=1\r\n");
    const QByteArray before = s.ini();

    Reports reports;
    CSettings store(s.location(), reports.to());
    QCOMPARE(store.SaveToINI(), expectIni);
    QCOMPARE(userFlag(s), expectFlag);
    QVERIFY2(reports.failures.isEmpty(), qPrintable(reports.describe()));
    if (expectIni)
        QCOMPARE(s.ini(), QByteArray("[Settings]\r\nSaveToINI=-1\r\n"));
    else if (!iniBlocked)
        QCOMPARE(s.ini(), before); // in per-user mode the INI file is not even probed
    else
        QVERIFY(!s.iniExists());
}

void TestStore::setter_data()
{
    QTest::addColumn<Backend>("start");
    QTest::addColumn<bool>("value");
    QTest::addColumn<bool>("blockAfterCreation");
    QTest::addColumn<bool>("expectIni");
    QTest::addColumn<QString>("expectFlag");

    QTest::newRow("INI -> per-user") << Backend::Ini << false << false << false << QStringLiteral("0");
    QTest::newRow("per-user -> INI, writable") << Backend::User << true << false << true << kAbsent;
    QTest::newRow("per-user -> INI, not writable") << Backend::User << true << true << false << QStringLiteral("0");
    QTest::newRow("INI -> INI, no per-user flag") << Backend::Ini << true << false << true << kAbsent;
    QTest::newRow("INI -> INI, file gone unwritable") << Backend::Ini << true << true << false << QStringLiteral("0");
}

void TestStore::setter()
{
    QFETCH(Backend, start);
    QFETCH(bool, value);
    QFETCH(bool, blockAfterCreation);
    QFETCH(bool, expectIni);
    QFETCH(QString, expectFlag);

    Scratch s;
    Reports reports;
    auto store = makeStore(s, start, reports.to());
    if (blockAfterCreation) {
        QFile::remove(s.iniPath());
        s.blockIni();
    }
    const QByteArray before = s.ini();
    store->setSaveToINI(value);
    QCOMPARE(store->SaveToINI(), expectIni);
    QCOMPARE(userFlag(s), expectFlag);
    QVERIFY2(reports.failures.isEmpty(), qPrintable(reports.describe()));
    if (expectIni)
        QCOMPARE(s.iniLine("SaveToINI"), QByteArray("SaveToINI=-1"));
    else
        QCOMPARE(s.ini(), before); // leaving the INI file deletes nothing from it
}

void TestStore::releaseStoresFlag_data()
{
    QTest::addColumn<Backend>("backend");
    QTest::newRow("INI") << Backend::Ini;
    QTest::newRow("per-user") << Backend::User;
}

void TestStore::releaseStoresFlag()
{
    QFETCH(Backend, backend);
    Scratch s;
    auto store = makeStore(s, backend);
    store->DeleteSetting(QStringLiteral("SaveToINI"));
    QVERIFY(s.iniLine("SaveToINI").isEmpty());
    QCOMPARE(userFlag(s), kAbsent);
    store.reset();
    if (backend == Backend::Ini) {
        QCOMPARE(s.iniLine("SaveToINI"), QByteArray("SaveToINI=-1"));
        QCOMPARE(userFlag(s), kAbsent);
    } else {
        QCOMPARE(userFlag(s), QStringLiteral("0"));
        QVERIFY(s.iniLine("SaveToINI").isEmpty());
    }
}

// ---- Values

void TestStore::valueForms_data()
{
    QTest::addColumn<Backend>("backend");
    QTest::addColumn<int>("kind"); // 0 Boolean, 1 int, 2 16-bit int, 3 text
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("stored");

    for (Backend b : {Backend::Ini, Backend::User}) {
        const char *tag = b == Backend::Ini ? "INI" : "per-user";
        QTest::addRow("%s: True", tag) << b << 0 << QStringLiteral("1") << QStringLiteral("-1");
        QTest::addRow("%s: False", tag) << b << 0 << QStringLiteral("0") << QStringLiteral("0");
        QTest::addRow("%s: integer 1", tag) << b << 1 << QStringLiteral("1") << QStringLiteral("1");
        QTest::addRow("%s: negative integer", tag) << b << 1 << QStringLiteral("-32768") << QStringLiteral("-32768");
        QTest::addRow("%s: check state 2", tag) << b << 2 << QStringLiteral("2") << QStringLiteral("2");
        QTest::addRow("%s: text", tag) << b << 3 << QStringLiteral("C:\\Data") << QStringLiteral("C:\\Data");
        QTest::addRow("%s: text -1 stays text", tag) << b << 3 << QStringLiteral("-1") << QStringLiteral("-1");
    }
}

void TestStore::valueForms()
{
    QFETCH(Backend, backend);
    QFETCH(int, kind);
    QFETCH(QString, input);
    QFETCH(QString, stored);

    Scratch s;
    auto store = makeStore(s, backend);
    const QString key = QStringLiteral("value");
    switch (kind) {
    case 0: store->SaveSetting(key, input == u"1"); break;
    case 1: store->SaveSetting(key, input.toInt()); break;
    case 2: store->SaveSetting(key, qint16(input.toShort())); break;
    default: store->SaveSetting(key, input); break;
    }
    QCOMPARE(store->GetSetting(key, QStringLiteral("default")), stored);
    if (backend == Backend::Ini)
        QCOMPARE(s.iniLine("value"), "value=" + stored.toLocal8Bit());
    else
        QCOMPARE(s.userValue(key), stored);
}

void TestStore::defaults_data()
{
    QTest::addColumn<Backend>("backend");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expect");
    for (Backend b : {Backend::Ini, Backend::User}) {
        const char *tag = b == Backend::Ini ? "INI" : "per-user";
        QTest::addRow("%s: default 1", tag) << b << 0 << QStringLiteral("1");
        QTest::addRow("%s: default empty", tag) << b << 1 << QString();
        QTest::addRow("%s: default True", tag) << b << 2 << QStringLiteral("-1");
        QTest::addRow("%s: default text", tag) << b << 3 << QStringLiteral(" x ");
    }
}

void TestStore::defaults()
{
    QFETCH(Backend, backend);
    QFETCH(int, kind);
    QFETCH(QString, expect);
    Scratch s;
    auto store = makeStore(s, backend);
    store->SaveSetting(QStringLiteral("other"), QStringLiteral("stored")); // the section exists
    const QString key = QStringLiteral("notStored");
    switch (kind) {
    case 0: QCOMPARE(store->GetSetting(key, 1), expect); break;
    case 1: QCOMPARE(store->GetSetting(key, QString()), expect); break;
    case 2: QCOMPARE(store->GetSetting(key, true), expect); break;
    default: QCOMPARE(store->GetSetting(key, QStringLiteral(" x ")), expect); break;
    }
}

void TestStore::losslessRoundTrip_data()
{
    QTest::addColumn<Backend>("backend");
    QTest::addColumn<QString>("value");

    QString longValue;
    for (int i = 0; longValue.size() < 100000; ++i)
        longValue += QStringLiteral("\"%1\" = ; [x] # \\ ü\r\n").arg(i);
    longValue.truncate(100000);

    const QList<std::pair<const char *, QString>> values = {
        {"empty", QString()},
        {"one blank", QStringLiteral(" ")},
        {"only blanks", QStringLiteral("   ")},
        {"only tabs", QStringLiteral("\t\t")},
        {"leading blanks", QStringLiteral("  lead")},
        {"trailing blanks", QStringLiteral("trail  ")},
        {"blanks both ends", QStringLiteral(" \tboth\t ")},
        {"enclosed in quotes", QStringLiteral("\"quoted\"")},
        {"two quotes", QStringLiteral("\"\"")},
        {"four quotes", QStringLiteral("\"\"\"\"")},
        {"one quote", QStringLiteral("\"")},
        {"opening quote only", QStringLiteral("\"open")},
        {"closing quote only", QStringLiteral("close\"")},
        {"quotes and blanks", QStringLiteral(" \"x\" ")},
        {"apostrophes", QStringLiteral("'single'")},
        {"equals signs", QStringLiteral("a=b=c")},
        {"equals first", QStringLiteral("=x")},
        {"semicolon first", QStringLiteral(";not a comment")},
        {"bracket first", QStringLiteral("[not a section]")},
        {"hash first", QStringLiteral("#not a comment")},
        {"CR LF", QStringLiteral("one\r\ntwo")},
        {"LF", QStringLiteral("one\ntwo\n")},
        {"CR alone", QStringLiteral("\r")},
        {"line break and quotes", QStringLiteral("\"a\nb\"")},
        {"line break and blanks", QStringLiteral("  a\nb  ")},
        {"backslashes", QStringLiteral("C:\\Temp\\")},
        {"escape-like text", QStringLiteral("\\n\\r\\x41\\u0041\\")},
        {"escape mark", QStringLiteral("@Escaped(x)")},
        {"escape mark unclosed", QStringLiteral("@Escaped(")},
        {"escape mark with escapes", QStringLiteral("@Escaped(\\n\n)")},
        {"at sign", QStringLiteral("@String(x)")},
        {"control characters", QStringLiteral("a\x01\x1f\x7f" "b")},
        {"NUL inside", QString::fromUtf16(u"a\0b", 3)},
        {"non-ASCII letters", QStringLiteral("Grüße, Ωmega, 日本語")},
        {"lone surrogate", QString(QChar(0xD800)) + QStringLiteral("x")},
        {"100,000 characters", longValue},
    };
    for (Backend b : {Backend::Ini, Backend::User})
        for (const auto &[name, value] : values)
            QTest::addRow("%s: %s", b == Backend::Ini ? "INI" : "per-user", name) << b << value;
}

void TestStore::losslessRoundTrip()
{
    QFETCH(Backend, backend);
    QFETCH(QString, value);

    Scratch s;
    auto store = makeStore(s, backend);
    store->SaveSetting(QStringLiteral("before"), QStringLiteral("b"));
    store->SaveSetting(QStringLiteral("value"), value);
    store->SaveSetting(QStringLiteral("after"), QStringLiteral("a"));
    QCOMPARE(store->GetSetting(QStringLiteral("value"), QStringLiteral("default")), value);

    // A store of the next run reads it from disk.
    store.reset();
    CSettings next(s.location());
    QCOMPARE(next.SaveToINI(), backend == Backend::Ini);
    QCOMPARE(next.GetSetting(QStringLiteral("value"), QStringLiteral("default")), value);
    QCOMPARE(next.GetSetting(QStringLiteral("before"), QString()), QStringLiteral("b"));
    QCOMPARE(next.GetSetting(QStringLiteral("after"), QString()), QStringLiteral("a"));
    if (backend == Backend::Ini) // one line per value, whatever it holds
        QCOMPARE(s.ini().count('\n'), 5);
}

void TestStore::plainValuesStayClassic_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("line");

    QTest::newRow("word") << QStringLiteral("value") << QByteArray("k=value");
    QTest::newRow("path") << QStringLiteral("C:\\Program Files\\x y") << QByteArray("k=C:\\Program Files\\x y");
    QTest::newRow("inner quotes") << QStringLiteral("a \"b\" c") << QByteArray("k=a \"b\" c");
    QTest::newRow("one quote") << QStringLiteral("\"") << QByteArray("k=\"");
    QTest::newRow("equals") << QStringLiteral("a=b") << QByteArray("k=a=b");
    QTest::newRow("semicolon") << QStringLiteral(";x") << QByteArray("k=;x");
    QTest::newRow("at sign") << QStringLiteral("@x") << QByteArray("k=@x");
    QTest::newRow("empty") << QString() << QByteArray("k=");
    QTest::newRow("non-ASCII") << QStringLiteral("Grüße") << QStringLiteral("k=Grüße").toLocal8Bit();
    // Classic double quoting: what Windows' own reader gives back unchanged.
    QTest::newRow("enclosed in quotes") << QStringLiteral("\"q\"") << QByteArray("k=\"\"q\"\"");
    QTest::newRow("enclosed in single quotes") << QStringLiteral("'C:\\a b\\'") << QByteArray("k=\"'C:\\a b\\'\"");
    QTest::newRow("one single quote") << QStringLiteral("'") << QByteArray("k='");
    QTest::newRow("leading blank") << QStringLiteral(" x") << QByteArray("k=\" x\"");
    QTest::newRow("only blanks") << QStringLiteral("  ") << QByteArray("k=\"  \"");
    // Only what no profile line can carry takes the escaped form.
    QTest::newRow("line break") << QStringLiteral("a\\b\nc") << QByteArray("k=@Escaped(a\\\\b\\nc)");
    QTest::newRow("escape mark") << QStringLiteral("@Escaped(") << QByteArray("k=@Escaped(@Escaped()");
    QTest::newRow("lone surrogate") << QString(QChar(0xDC01)) << QByteArray("k=@Escaped(\\udc01)");
}

void TestStore::plainValuesStayClassic()
{
    QFETCH(QString, value);
    QFETCH(QByteArray, line);
    Scratch s;
    CSettings store(s.location());
    store.SaveSetting(QStringLiteral("k"), value);
    QCOMPARE(s.ini(), "[Settings]\r\nSaveToINI=-1\r\n" + line + "\r\n");
}

// ---- The INI format

void TestStore::readingForeignFiles_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("expect"); // value of "key", or <absent>

    const QByteArray mb4(4 * 1024 * 1024, 'z');
    QTest::newRow("plain") << QByteArray("[Settings]\r\nkey=v\r\n") << QStringLiteral("v");
    QTest::newRow("no final line end") << QByteArray("[Settings]\r\nkey=v") << QStringLiteral("v");
    QTest::newRow("LF only") << QByteArray("[Settings]\nother=x\nkey=v\n") << QStringLiteral("v");
    QTest::newRow("other letter case") << QByteArray("[sETTINGS]\r\nKEY=v\r\n") << QStringLiteral("v");
    QTest::newRow("blanks around everything")
        << QByteArray("  [ Settings ]  \r\n\t key \t=\t  v w  \t\r\n") << QStringLiteral("v w");
    QTest::newRow("quotes removed once") << QByteArray("[Settings]\r\nkey= \"\"v\"\" \r\n") << QStringLiteral("\"v\"");
    QTest::newRow("single quotes removed once") << QByteArray("[Settings]\r\nkey= '' v '' \r\n") << QStringLiteral("' v '");
    QTest::newRow("mixed quotes kept") << QByteArray("[Settings]\r\nkey=\"v'\r\n") << QStringLiteral("\"v'");
    QTest::newRow("lone quote kept") << QByteArray("[Settings]\r\nkey=\"\r\n") << QStringLiteral("\"");
    QTest::newRow("first of duplicate keys") << QByteArray("[Settings]\r\nkey=1\r\nKey=2\r\n") << QStringLiteral("1");
    QTest::newRow("first of duplicate sections")
        << QByteArray("[Settings]\r\nkey=1\r\n[Settings]\r\nkey=2\r\n") << QStringLiteral("1");
    QTest::newRow("other section") << QByteArray("[Other]\r\nkey=1\r\n[Settings]\r\nx=1\r\n") << kAbsent;
    QTest::newRow("no section header") << QByteArray("key=v\r\n") << kAbsent;
    QTest::newRow("comment line") << QByteArray("[Settings]\r\n;key=v\r\n") << kAbsent;
    QTest::newRow("line without equals") << QByteArray("[Settings]\r\nkey\r\n") << kAbsent;
    QTest::newRow("empty value") << QByteArray("[Settings]\r\nkey=\r\n") << QString();
    QTest::newRow("header without bracket") << QByteArray("[Settings\r\nkey=v\r\n") << QStringLiteral("v");
    QTest::newRow("NUL bytes before") << bytes("\0\0\xff\r\n[Settings]\r\nkey=v\r\n") << QStringLiteral("v");
    QTest::newRow("NUL byte in value") << bytes("[Settings]\r\nkey=a\0b\r\n") << QString::fromUtf16(u"a\0b", 3);
    QTest::newRow("UTF-8 byte-order mark")
        << QByteArray("\xEF\xBB\xBF[Settings]\r\nkey=Gr\xC3\xBC\xC3\x9F" "e\r\n") << QStringLiteral("Grüße");
    QTest::newRow("unknown escapes kept") << QByteArray("[Settings]\r\nkey=@Escaped(\\q\\x4)\r\n")
                                          << QStringLiteral("\\q\\x4");
    QTest::newRow("megabytes of other key") << "[Settings]\r\nother=" + mb4 + "\r\nkey=v\r\n" << QStringLiteral("v");
    QTest::newRow("megabytes of value") << "[Settings]\r\nkey=" + mb4 + "\r\n" << QString::fromLatin1(mb4);
    QTest::newRow("megabytes without line end") << "[Settings]\r\nkey=v\r\n" + mb4 << QStringLiteral("v");
}

void TestStore::readingForeignFiles()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, expect);

    Scratch s;
    s.writeIni(file);
    Reports reports;
    CSettings store(s.location(), reports.to());
    QVERIFY(store.SaveToINI());
    const QString got = store.GetSetting(QStringLiteral("key"), kAbsent);
    QCOMPARE(got.size(), expect.size());
    QCOMPARE(got, expect);
    QVERIFY2(reports.failures.isEmpty(), qPrintable(reports.describe()));
    // The probe write kept every line it did not own.
    const QByteArray after = s.ini();
    QVERIFY(after.contains("SaveToINI=-1" + lineEndOf(file)));
    QCOMPARE(after.startsWith("\xEF\xBB\xBF"), file.startsWith("\xEF\xBB\xBF"));
    for (QByteArray line : file.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        QVERIFY2(after.contains(line), line.left(60).constData());
    }
}

void TestStore::writeKeepsOtherLines()
{
    Scratch s;
    s.writeIni("; written by hand\r\n"
               "[Other]\r\n"
               "alpha=other section\r\n"
               "\r\n"
               "[settings]\r\n"
               "  Alpha = \"one\" \r\n"
               "; note\r\n"
               "beta=two\r\n"
               "\r\n"
               "\r\n"
               "[Last]\r\n"
               "x=y");
    CSettings store(s.location());
    QCOMPARE(store.GetSetting(QStringLiteral("ALPHA"), QString()), QStringLiteral("one"));
    store.SaveSetting(QStringLiteral("alpha"), QStringLiteral("1"));
    store.SaveSetting(QStringLiteral("Gamma"), QStringLiteral("three"));
    QCOMPARE(s.ini(), QByteArray("; written by hand\r\n"
                                 "[Other]\r\n"
                                 "alpha=other section\r\n"
                                 "\r\n"
                                 "[settings]\r\n"
                                 "  Alpha = 1\r\n"
                                 "; note\r\n"
                                 "beta=two\r\n"
                                 "SaveToINI=-1\r\n"
                                 "Gamma=three\r\n"
                                 "\r\n"
                                 "\r\n"
                                 "[Last]\r\n"
                                 "x=y"));
    QCOMPARE(store.GetSetting(QStringLiteral("gamma"), QString()), QStringLiteral("three"));
}

void TestStore::fileFormKept_data()
{
    QTest::addColumn<QByteArray>("before"); // kNoFile: no file yet
    QTest::addColumn<QString>("readBack");  // "key" as read before the write
    QTest::addColumn<QString>("written");   // then stored under "key"
    QTest::addColumn<QByteArray>("after");

    const QString none = kAbsent;
    const QString w = QStringLiteral("w");
    QTest::newRow("new file") << kNoFile << none << w << QByteArray("[Settings]\r\nSaveToINI=-1\r\nkey=w\r\n");
    QTest::newRow("empty file") << QByteArray() << none << w << QByteArray("[Settings]\r\nSaveToINI=-1\r\nkey=w\r\n");
    QTest::newRow("CR LF") << QByteArray("[Settings]\r\nkey=v\r\n") << QStringLiteral("v") << w
                           << QByteArray("[Settings]\r\nkey=w\r\nSaveToINI=-1\r\n");
    QTest::newRow("LF, section added") << QByteArray("[Other]\nx=1\n") << none << w
                                       << QByteArray("[Other]\nx=1\n[Settings]\nSaveToINI=-1\nkey=w\n");
    QTest::newRow("no final line end") << QByteArray("[Settings]\nkey=v") << QStringLiteral("v") << w
                                       << QByteArray("[Settings]\nkey=w\nSaveToINI=-1\n");
    QTest::newRow("mixed: new lines take the first line's end")
        << QByteArray("[Settings]\na=1\r\nkey=v\r\n") << QStringLiteral("v") << w
        << QByteArray("[Settings]\na=1\r\nkey=w\r\nSaveToINI=-1\n");
    QTest::newRow("UTF-8 mark, LF") << QByteArray("\xEF\xBB\xBF[Settings]\nkey=v\n") << QStringLiteral("v") << w
                                    << QByteArray("\xEF\xBB\xBF[Settings]\nkey=w\nSaveToINI=-1\n");
    // An editor added its mark to a file that had one: the header is still found.
    QTest::newRow("two UTF-8 marks") << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[Settings]\r\nkey=v\r\n")
                                     << QStringLiteral("v") << w
                                     << QByteArray("\xEF\xBB\xBF\xEF\xBB\xBF[Settings]\r\nkey=w\r\nSaveToINI=-1\r\n");
    // Windows reads and writes a file with a UTF-16 byte-order mark as UTF-16.
    const QString unicode = QStringLiteral("Grüße, Ωmega, 日本 \U0001F600");
    for (bool little : {true, false}) {
        const char *order = little ? "LE" : "BE";
        QTest::addRow("UTF-16 %s", order) << utf16(u"[Settings]\r\nkey="_s + unicode + u"\r\n"_s, little) << unicode
                                          << w << utf16(u"[Settings]\r\nkey=w\r\nSaveToINI=-1\r\n"_s, little);
        QTest::addRow("UTF-16 %s, mark only", order)
            << utf16(QString(), little) << none << unicode
            << utf16(u"[Settings]\r\nSaveToINI=-1\r\nkey="_s + unicode + u"\r\n"_s, little);
    }
    QTest::newRow("UTF-16 LE, unpaired surrogate and odd last byte kept")
        << utf16(u"[Settings]\nx="_s + QChar(0xDC00) + u"\nkey=v\n"_s, true) + 'Z' << QStringLiteral("v") << w
        << utf16(u"[Settings]\nx="_s + QChar(0xDC00) + u"\nkey=w\nSaveToINI=-1\n"_s, true) + 'Z';
}

void TestStore::fileFormKept()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, readBack);
    QFETCH(QString, written);
    QFETCH(QByteArray, after);

    Scratch s;
    if (before != kNoFile)
        s.writeIni(before);
    CSettings store(s.location());
    QCOMPARE(store.GetSetting(QStringLiteral("key"), kAbsent), readBack);
    store.SaveSetting(QStringLiteral("key"), written);
    QCOMPARE(s.ini(), after);
    QCOMPARE(store.GetSetting(QStringLiteral("KEY"), kAbsent), written);
}

void TestStore::deleteKeyAndSection()
{
    Scratch s;
    s.writeIni(";c\r\n[Settings]\r\nA=1\r\nb=2\r\na=3\r\n[Other]\r\nb=9\r\n");
    CSettings store(s.location());
    store.DeleteSetting(QStringLiteral("a")); // every line of the key, whatever its case
    QCOMPARE(store.GetSetting(QStringLiteral("a"), kAbsent), kAbsent);
    QCOMPARE(s.ini(), QByteArray(";c\r\n[Settings]\r\nb=2\r\nSaveToINI=-1\r\n[Other]\r\nb=9\r\n"));
    store.DeleteSetting(QStringLiteral("missing"));
    store.DeleteSetting();
    QCOMPARE(s.ini(), QByteArray(";c\r\n[Other]\r\nb=9\r\n"));
    QCOMPARE(store.GetSetting(QStringLiteral("SaveToINI"), kAbsent), kAbsent);
}

void TestStore::deleteInUserStore()
{
    Scratch s;
    auto store = makeStore(s, Backend::User);
    store->SaveSetting(QStringLiteral("a"), 1);
    store->SaveSetting(QStringLiteral("b"), 2);
    store->DeleteSetting(QStringLiteral("a"));
    store->DeleteSetting(QStringLiteral("never stored")); // its absence is no error
    QVERIFY(!s.userHas(QStringLiteral("a")));
    QCOMPARE(s.userValue(QStringLiteral("b")), QStringLiteral("2"));
    store->DeleteSetting();
    QVERIFY(!s.userHas(QStringLiteral("b")));
    QVERIFY(!s.userHas(QStringLiteral("SaveToINI")));
}

// ---- Writing

namespace {
struct CommitCounter
{
    int commits = 0;
    const ScopedHook<std::function<void()>> hook{setIniCommitHook, [this] { ++commits; }};
};
} // namespace

void TestStore::singleWriteGoesThrough()
{
    Scratch s;
    CSettings store(s.location());
    CommitCounter counter;
    store.SaveSetting(QStringLiteral("k"), QStringLiteral("v"));
    QCOMPARE(counter.commits, 1);
    QCOMPARE(s.iniLine("k"), QByteArray("k=v"));
    store.SaveSetting(QStringLiteral("k"), QStringLiteral("v")); // nothing to change
    QCOMPARE(counter.commits, 1);
    {
        CSettings again(s.location()); // its probe finds the flag stored: a check, not a rewrite
        QVERIFY(again.SaveToINI());
    }
    QCOMPARE(counter.commits, 1);
}

void TestStore::batchWritesOnce()
{
    Scratch s;
    CSettings store(s.location());
    CommitCounter counter;
    {
        CSettings::Batch batch(store);
        for (int i = 0; i < 200; ++i)
            store.SaveSetting(QStringLiteral("k%1").arg(i), i);
        QCOMPARE(store.GetSetting(QStringLiteral("k199"), QString()), QStringLiteral("199"));
        QCOMPARE(counter.commits, 0);
        QVERIFY(s.iniLine("k0").isEmpty());
        QVERIFY(batch.commit());
    }
    QCOMPARE(counter.commits, 1);
    QCOMPARE(s.iniLine("k199"), QByteArray("k199=199"));
    {
        CSettings::Batch batch(store); // an unchanged save leaves the file alone
        for (int i = 0; i < 200; ++i)
            store.SaveSetting(QStringLiteral("k%1").arg(i), i);
    }
    QCOMPARE(counter.commits, 1);
    {
        CSettings::Batch batch(store); // a probe inside a batch still reaches the file
        store.SaveSetting(QStringLiteral("k0"), QStringLiteral("changed"));
        store.setSaveToINI(true);
        QCOMPARE(counter.commits, 2);
        QCOMPARE(s.iniLine("k0"), QByteArray("k0=changed"));
    }
    QCOMPARE(counter.commits, 2);
}

// A batch says whether the INI file took it, so that a save can go elsewhere.
void TestStore::batchTellsOfRefusedFile()
{
    Scratch s;
    CSettings store(s.location());
    QVERIFY(store.SaveToINI());
    store.SaveSetting(QStringLiteral("k"), QStringLiteral("v"));
    {
        CSettings::Batch outer(store);
        {
            CSettings::Batch inner(store);
            store.SaveSetting(QStringLiteral("k"), QStringLiteral("w"));
            QVERIFY(inner.commit()); // an inner batch writes nothing yet
        }
        QCOMPARE(s.iniLine("k"), QByteArray("k=v"));
        QVERIFY(outer.commit());
    }
    QCOMPARE(s.iniLine("k"), QByteArray("k=w"));
    {
        CSettings::Batch batch(store); // nothing new for the file
        store.SaveSetting(QStringLiteral("k"), QStringLiteral("w"));
        QVERIFY(batch.commit());
    }

    // The file's place can no longer be written, nor read.
    QVERIFY(QFile::remove(s.iniPath()));
    s.blockIni();
    for (const QString &value : {QStringLiteral("x"), QStringLiteral("w")}) {
        CSettings::Batch batch(store);
        store.SaveSetting(QStringLiteral("k"), value);
        QVERIFY2(!batch.commit(), qPrintable(value));
    }
    QVERIFY(store.SaveToINI()); // the store itself does not move; its owner decides
}

void TestStore::crashBeforeRenameKeepsOldFile()
{
    Scratch s;
    const QByteArray old = "; kept\r\n[Settings]\r\nSaveToINI=-1\r\ntxtLogFile=old.log\r\n";
    s.writeIni(old);
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--crash-during-write"), s.iniPath(), s.userPath()});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 3); // it died inside the write, as intended
    QCOMPARE(s.ini(), old);

    const auto besideIni = [&s] {
        QStringList names = QDir(s.dir.path()).entryList(QDir::Files);
        names.removeOne(QStringLiteral("Settings.ini"));
        return names;
    };
    const QStringList left = besideIni();
    QCOMPARE(left.size(), 1); // its new file, complete but never renamed
    QVERIFY2(left[0].startsWith(u"Settings.ini.corvane-"), qPrintable(left[0]));
    // Beside it now: the user's own file, and one that a writer at work holds.
    const QStringList kept = {QStringLiteral("Settings.ini.backup"), QStringLiteral("Settings.ini.corvane-Held01")};
    for (const QString &name : kept) {
        QFile f(s.dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
    }
    QFile held(s.dir.filePath(kept[1]));
    QVERIFY(held.open(QIODevice::ReadWrite));
#ifndef Q_OS_WIN
    QCOMPARE(::flock(held.handle(), LOCK_EX | LOCK_NB), 0); // as a writer holds its new file
#endif

    // The next start removes what the killed writer left, and only that.
    CSettings store(s.location());
    QCOMPARE(besideIni(), kept);
    QCOMPARE(store.GetSetting(QStringLiteral("txtLogFile"), QString()), QStringLiteral("old.log"));
    store.SaveSetting(QStringLiteral("txtLogFile"), QStringLiteral("new.log"));
    QCOMPARE(s.iniLine("txtLogFile"), QByteArray("txtLogFile=new.log"));
}

// A second Corvane that starts while a save is being written finds the new
// file held by its writer, not abandoned, and leaves it alone.
void TestStore::startDuringWriteLeavesNewFile()
{
    Scratch s;
    CSettings store(s.location());
    int starts = 0;
    const ScopedHook<std::function<void()>> hook{setIniCommitHook, [&] {
        if (starts++ > 0)
            return;
        CSettings second(s.location()); // removes what killed writers left
        QVERIFY(second.SaveToINI());
    }};
    store.SaveSetting(QStringLiteral("txtLogFile"), QStringLiteral("new.log"));
    QCOMPARE(starts, 1);
    QCOMPARE(s.iniLine("txtLogFile"), QByteArray("txtLogFile=new.log"));
    QCOMPARE(QDir(s.dir.path()).entryList({u"Settings.ini*"_s}, QDir::Files | QDir::Hidden),
             QStringList{QStringLiteral("Settings.ini")});
}

// The new file that takes the old one's place takes its permissions too: a
// file others may read stays readable after a save.
void TestStore::replacementKeepsPermissions()
{
#ifdef Q_OS_WIN
    QSKIP("POSIX permission bits");
#else
    Scratch s;
    s.writeIni("[Settings]\r\nSaveToINI=-1\r\n");
    using P = QFileDevice;
    const auto chosen = P::ReadOwner | P::WriteOwner | P::ReadUser | P::WriteUser | P::ReadGroup | P::ReadOther;
    QVERIFY(QFile::setPermissions(s.iniPath(), chosen));
    CSettings store(s.location());
    store.SaveSetting(QStringLiteral("k"), QStringLiteral("v"));
    QCOMPARE(s.iniLine("k"), QByteArray("k=v"));
    QCOMPARE(QFile::permissions(s.iniPath()), chosen);
#endif
}

void TestStore::writeFailureKeepsOldFile_data()
{
    QTest::addColumn<QString>("scenario"); // probe: the store's creation; write: one value; delete: one key; form: whole-form save
    QTest::addColumn<bool>("flagStored");  // the file already holds SaveToINI=-1
    QTest::addColumn<QString>("access");   // open; closed folder: no new file there; closed: nor the file
    QTest::addColumn<int>("limit");        // largest file the child may write: 0 none, -1 the old file's size
    QTest::addColumn<QString>("mode");     // the back end in use afterwards
    QTest::addColumn<QByteArray>("after"); // the file afterwards; empty: as it was

    const QString open = QStringLiteral("open"), closedFolder = QStringLiteral("closed folder");
    const QString ini = QStringLiteral("ini"), perUser = QStringLiteral("per-user");
    const QByteArray none;
    QTest::newRow("failed probe") << u"probe"_s << false << open << -1 << perUser << none;
    QTest::newRow("failed single write") << u"write"_s << true << open << -1 << ini << none;
    // The probe finds its value stored and writes nothing: even a limit
    // below the file's size leaves the store with the INI file. The save
    // that the file cannot take then goes to the per-user store.
    QTest::newRow("failed whole-form save") << u"form"_s << true << open << 16 << perUser << none;
    QTest::newRow("closed folder: probe and write in place")
        << u"write"_s << false << closedFolder << 0 << ini
        << "; by hand\r\n[Settings]\r\ntxtExcludeFiles=" + QByteArray(5000, 'x') + "\r\nchkMirror=1\r\nSaveToINI=-1\r\n";
    // The file gets shorter: nothing of its old end is left behind.
    QTest::newRow("closed folder: shorter file written in place")
        << u"delete"_s << true << closedFolder << 0 << ini
        << QByteArray("; by hand\r\n[Settings]\r\ntxtExcludeFiles=old\r\nSaveToINI=-1\r\n");
    QTest::newRow("closed folder: failed write in place undone") << u"write"_s << true << closedFolder << -1 << ini
                                                                 << none;
    QTest::newRow("closed folder, read-only file") << u"probe"_s << true << u"closed"_s << 0 << perUser << none;
}

void TestStore::writeFailureKeepsOldFile()
{
#ifdef Q_OS_WIN
    QSKIP("File-size limits and a change of user are POSIX matters");
#else
    QFETCH(QString, scenario);
    QFETCH(bool, flagStored);
    QFETCH(QString, access);
    QFETCH(int, limit);
    QFETCH(QString, mode);
    QFETCH(QByteArray, after);

    Scratch s;
    const QString program = s.dir.filePath(QStringLiteral("program"));
    const QString users = s.dir.filePath(QStringLiteral("user"));
    const QString ini = program + QStringLiteral("/Settings.ini");
    QVERIFY(QDir().mkpath(program) && QDir().mkpath(users));
    // The child's long value replaces the short one near the start, so a cut write shows.
    const QByteArray old = QByteArray("; by hand\r\n[Settings]\r\ntxtExcludeFiles=old\r\nchkMirror=1\r\n") +
                           (flagStored ? "SaveToINI=-1\r\n" : "");
    {
        QFile f(ini);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(old), old.size());
    }
    // The child may run as another user (tests run as root, for whom
    // permissions do not hold): it reaches the folders and the per-user
    // store, and writes the file unless that is closed too.
    using P = QFileDevice;
    const auto readable = P::ReadOwner | P::ReadGroup | P::ReadOther;
    const auto traversable = readable | P::ExeOwner | P::ExeGroup | P::ExeOther;
    const auto writable = P::WriteOwner | P::WriteGroup | P::WriteOther;
    QVERIFY(QFile::setPermissions(s.dir.path(), traversable | P::WriteOwner));
    QVERIFY(QFile::setPermissions(users, traversable | writable));
    QVERIFY(QFile::setPermissions(ini, access == u"closed" ? readable : readable | writable));
    QVERIFY(QFile::setPermissions(program, access == u"open" ? traversable | P::WriteOwner : traversable));
    const auto reopen = qScopeGuard([&] { QFile::setPermissions(program, traversable | P::WriteOwner); });

    QProcess child;
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--write-child"), scenario, QString::number(limit < 0 ? old.size() : limit),
                 access == u"open" ? u"0"_s : u"1"_s, ini, users + QStringLiteral("/Corvane.conf")});
    QVERIFY(child.waitForFinished(60000));
    if (child.exitCode() == kNoOtherUser)
        QSKIP("There is no user 'nobody' to write as");
    QVERIFY2(child.exitCode() == 0, child.readAllStandardError().constData());
    QCOMPARE(QString::fromLatin1(child.readAllStandardOutput().trimmed()), mode);
    QFile f(ini);
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), after.isEmpty() ? old : after);
    QCOMPARE(QDir(program).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Settings.ini")});
#endif
}

void TestStore::writeNeverOutgrowsReader()
{
    // A file of LF lines just under the size the reader takes.
    Scratch s;
    Reports reports;
    QByteArray file = "[Settings]\nkey=v\n";
    const QByteArray filler = "filler=" + QByteArray(80, 'f') + '\n';
    while (file.size() + filler.size() < kMaxIniFileSize - 64)
        file += filler;
    s.writeIni(file);

    auto store = std::make_unique<CSettings>(s.location(), reports.to());
    QVERIFY(store->SaveToINI());
    store->SaveSetting(QStringLiteral("key"), QStringLiteral("w"));
    const QByteArray kept = s.ini();
    QCOMPARE(kept.size(), file.size() + qsizetype(sizeof "SaveToINI=-1\n") - 1); // LF stays LF
    // A write the reader would refuse is refused itself.
    store->SaveSetting(QStringLiteral("big"), QString(100, u'b'));
    QVERIFY(s.ini() == kept);
    store.reset();

    CSettings next(s.location(), reports.to());
    QVERIFY(next.SaveToINI());
    QCOMPARE(next.GetSetting(QStringLiteral("key"), kAbsent), QStringLiteral("w"));
    QCOMPARE(next.GetSetting(QStringLiteral("big"), kAbsent), kAbsent);
    QVERIFY2(reports.failures.isEmpty(), qPrintable(reports.describe()));
}

// ---- Damaged stores

void TestStore::unreadableIniFile()
{
    Scratch s;
    Reports reports;
    CSettings store(s.location(), reports.to());
    store.SaveSetting(QStringLiteral("k"), QStringLiteral("v"));
    QVERIFY(QFile::remove(s.iniPath()));
    s.blockIni();
    QCOMPARE(store.GetSetting(QStringLiteral("k"), QStringLiteral("default")), QStringLiteral("default"));
    store.SaveSetting(QStringLiteral("k"), QStringLiteral("w")); // refused, quietly
    store.DeleteSetting();
    QVERIFY(QFileInfo(s.iniPath()).isDir());
    QVERIFY2(reports.failures.isEmpty(), qPrintable(reports.describe()));
}

void TestStore::oversizedIniFileIsReported()
{
    Scratch s;
    Reports reports;
    auto store = std::make_unique<CSettings>(s.location(), reports.to());
    store->SaveSetting(QStringLiteral("k"), QStringLiteral("v"));
    {
        QFile f(s.iniPath());
        QVERIFY(f.resize(kMaxIniFileSize + 1)); // sparse: costs no disk
    }
    QCOMPARE(store->GetSetting(QStringLiteral("k"), QStringLiteral("default")), QString());
    QCOMPARE(reports.failures.size(), 1);
    QCOMPARE(reports.failures[0].backend, SettingsError::Backend::IniFile);
    QCOMPARE(reports.failures[0].operation, QStringLiteral("INIGetSetting"));
    QCOMPARE(reports.failures[0].number, 7);
    QVERIFY(!reports.failures[0].description.isEmpty());

    store->SaveSetting(QStringLiteral("k"), QStringLiteral("w"));
    QCOMPARE(reports.failures.size(), 2);
    QCOMPARE(reports.failures[1].operation, QStringLiteral("INIWriteSetting"));
    QCOMPARE(QFileInfo(s.iniPath()).size(), kMaxIniFileSize + 1);

    {
        CSettings::Batch batch(*store); // one report for a whole walk
        for (int i = 0; i < 50; ++i)
            store->GetSetting(QStringLiteral("k%1").arg(i), QString());
    }
    QCOMPARE(reports.failures.size(), 3);

    // The next creation cannot probe the file and falls back.
    store.reset();
    reports.failures.clear();
    CSettings next(s.location(), reports.to());
    QVERIFY(!next.SaveToINI());
    QCOMPARE(reports.failures.size(), 1);
    QCOMPARE(reports.failures[0].operation, QStringLiteral("INIWriteSetting"));
}

void TestStore::brokenUserStore()
{
#ifdef Q_OS_WIN
    QSKIP("breaks the per-user store's file; on Windows the store is the registry");
#endif
    // A folder where the per-user store's file should be: unreadable and unwritable.
    Scratch s;
    s.blockIni();
    QVERIFY(QDir().mkpath(s.userPath()));
    Reports reports;
    auto store = std::make_unique<CSettings>(s.location(), reports.to());
    QVERIFY(!store->SaveToINI());
    QVERIFY2(reports.failures.isEmpty(), qPrintable(reports.describe())); // the switch goes on quietly
    QCOMPARE(store->GetSetting(QStringLiteral("k"), QStringLiteral("default")), QStringLiteral("default"));
    store->SaveSetting(QStringLiteral("k"), 1);
    QCOMPARE(reports.failures.size(), 1);
    QCOMPARE(reports.failures[0].backend, SettingsError::Backend::UserStore);
    QCOMPARE(reports.failures[0].number, 75);
    QVERIFY(reports.failures[0].description.contains(s.userPath()));
    store->DeleteSetting(QStringLiteral("k"));
    QCOMPARE(reports.failures.size(), 2);
    {
        CSettings::Batch batch(*store);
        store->SaveSetting(QStringLiteral("k"), 1); // held until the batch ends
        QCOMPARE(reports.failures.size(), 2);
        QVERIFY(batch.commit()); // no INI file refused it: the per-user store reports for itself
        QCOMPARE(reports.failures.size(), 3);
    }
    {
        CSettings::Batch abandoned(*store);
        store->SaveSetting(QStringLiteral("k"), 1); // ended without a commit: nobody asked
    }
    store.reset(); // the release step cannot store its flag, and says nothing
    QCOMPARE(reports.failures.size(), 3);

    // A garbage file as the per-user store reads as empty.
    Scratch g;
    g.blockIni();
    QVERIFY(QDir().mkpath(QFileInfo(g.userPath()).path()));
    {
        QFile f(g.userPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes("\0\xff[[\r\n=\n@ByteArray(\x01\n"));
    }
    CSettings garbage(g.location());
    QVERIFY(!garbage.SaveToINI());
    QCOMPARE(garbage.GetSetting(QStringLiteral("k"), QStringLiteral("d")), QStringLiteral("d"));
}

// ---- Settings.ini and the Windows profile functions
//
// Other programs (and scripts) read and write Settings.ini with the profile
// functions, in both their 8-bit and wide forms. Rows hold values whose text
// passes both ways unchanged, or as the profile functions themselves read it.

void TestStore::profileFunctionsReadOurFile_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("profileRead"); // what a profile read of the plain line gives
    QTest::newRow("plain") << u"C:\\Source"_s << u"C:\\Source"_s;
    QTest::newRow("blanks inside") << u"C:\\My Files\\"_s << u"C:\\My Files\\"_s;
    QTest::newRow("blanks at both ends") << u"  padded  "_s << u"padded"_s;
    QTest::newRow("enclosed in quotes") << u"\"quoted\""_s << u"quoted"_s;
    QTest::newRow("one quote") << u"\""_s << u"\""_s;
    QTest::newRow("semicolon and equals sign") << u"a;b=c"_s << u"a;b=c"_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("letters of the code page") << u"Müller Café"_s << u"Müller Café"_s;
    QTest::newRow("255 characters") << QString(255, u'x') << QString(255, u'x');
}

void TestStore::profileFunctionsReadOurFile()
{
#ifndef Q_OS_WIN
    QSKIP("the profile functions are Windows'");
#else
    QFETCH(QString, value);
    Scratch s;
    {
        CSettings store(s.location());
        QVERIFY(store.SaveToINI());
        store.SaveSetting(u"txtLogFile"_s, value);
    }
    // Our values come back exactly: blanks and quotes are protected.
    char ansi[4096] = {};
    const DWORD na = GetPrivateProfileStringA("Settings", "txtLogFile", "<absent>", ansi, sizeof ansi,
                                              QFile::encodeName(s.iniPath()).constData());
    QCOMPARE(QString::fromLocal8Bit(ansi, na), value);
    wchar_t wide[4096] = {};
    const DWORD nw = GetPrivateProfileStringW(L"Settings", L"txtLogFile", L"<absent>", wide, 4096,
                                              reinterpret_cast<const wchar_t *>(s.iniPath().utf16()));
    QCOMPARE(QString::fromWCharArray(wide, int(nw)), value);
#endif
}

void TestStore::storeReadsProfileWrites_data() { profileFunctionsReadOurFile_data(); }

void TestStore::storeReadsProfileWrites()
{
#ifndef Q_OS_WIN
    QSKIP("the profile functions are Windows'");
#else
    QFETCH(QString, value);
    QFETCH(QString, profileRead);
    for (const bool wide : {false, true}) {
        Scratch s;
        const bool written = wide
            ? WritePrivateProfileStringW(L"Settings", L"txtLogFile", reinterpret_cast<const wchar_t *>(value.utf16()),
                                         reinterpret_cast<const wchar_t *>(s.iniPath().utf16()))
            : WritePrivateProfileStringA("Settings", "txtLogFile", value.toLocal8Bit().constData(),
                                         QFile::encodeName(s.iniPath()).constData());
        QVERIFY(written);
        WritePrivateProfileStringW(nullptr, nullptr, nullptr, reinterpret_cast<const wchar_t *>(s.iniPath().utf16()));
        CSettings store(s.location());
        QVERIFY(store.SaveToINI());
        QCOMPARE(store.GetSetting(u"txtLogFile"_s, u"<absent>"_s), profileRead);
    }
#endif
}

// ---- The child processes of writeFailureKeepsOldFile and crashBeforeRenameKeepsOldFile

namespace {

int crashDuringWrite(const char *iniPath, const char *userPath)
{
    CSettings store(SettingsLocation{QString::fromLocal8Bit(iniPath), QString::fromLocal8Bit(userPath)});
    // The new file is complete on disk but has not replaced the old one yet.
    setIniCommitHook([] { std::_Exit(3); });
    store.SaveSetting(QStringLiteral("txtLogFile"), QString(200000, u'n'));
    return 0; // not reached
}

#ifndef Q_OS_WIN
// "--write-child SCENARIO LIMIT AS_NOBODY INI USER": creates the store
// (probe), saves one long value as well (write), deletes one key (delete) or
// builds the window and saves it whole (form), with files limited to LIMIT
// bytes (0: no limit) and, when AS_NOBODY is 1 and we are root, as the user
// nobody. Prints the back end in use at the end.
int writeChild(int argc, char **argv)
{
    if (std::strcmp(argv[4], "1") == 0 && ::geteuid() == 0) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
            return kNoOtherUser;
    }
    QApplication app(argc, argv);
    const ScopedHook<MsgBoxExec> toStandardError(SetMsgBoxExec, [](QMessageBox &box) {
        std::fprintf(stderr, "%s\n", qPrintable(box.text()));
        return int(QMessageBox::Ok);
    });
    if (const long limit = std::atol(argv[3]); limit > 0) {
        std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of ending the process
        const rlimit size{rlim_t(limit), rlim_t(limit)};
        if (::setrlimit(RLIMIT_FSIZE, &size) != 0)
            return 2;
    }
    const SettingsLocation location{QString::fromLocal8Bit(argv[5]), QString::fromLocal8Bit(argv[6])};
    const QString scenario = QString::fromLatin1(argv[2]);
    const QString longText(5000, u'x');
    bool ini = false;
    if (scenario == u"form") {
        frmCorvane window(location);
        window.Form_Load();
        setTextOf(window.control("txtExcludeFiles"), longText);
        window.menuItem("mnuFileSave")->trigger();
        ini = window.settings()->SaveToINI();
    } else {
        CSettings store(location, [](const SettingsError &e) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(e.operation), qPrintable(e.description));
        });
        if (scenario == u"write")
            store.SaveSetting(QStringLiteral("txtExcludeFiles"), longText);
        else if (scenario == u"delete")
            store.DeleteSetting(QStringLiteral("chkMirror"));
        ini = store.SaveToINI();
    }
    std::printf("%s\n", ini ? "ini" : "per-user");
    return 0;
}
#endif

} // namespace

// Run with "--crash-during-write INI USER" the program is instead the child
// that one test kills in the middle of a write, and with "--write-child ..."
// the child whose writes fail.
int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--crash-during-write") == 0) {
        QCoreApplication app(argc, argv);
        return crashDuringWrite(argv[2], argv[3]);
    }
#ifndef Q_OS_WIN
    if (argc == 7 && std::strcmp(argv[1], "--write-child") == 0)
        return writeChild(argc, argv);
#endif
    QApplication app(argc, argv);
    TestStore t;
    return QTest::qExec(&t, argc, argv);
}

#include "test_store.moc"
