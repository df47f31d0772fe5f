// Saved command files: the code pages, the percent signs of a batch file,
// the bytes Save As writes and the text Open reads. Real code pages by
// number, converted by the system: iconv here, Windows itself under Wine.
#include "command/CodePage.h"
#include "command/CommandFileText.h"

#include <QTest>

#include <random>

using namespace Qt::Literals::StringLiterals;

Q_DECLARE_METATYPE(CommandFileKind)

namespace {

constexpr CodePages kWestern{437, 1252};
constexpr CodePages kUtf8Only{kUtf8CodePage, kUtf8CodePage};

QByteArray bytesOf(const char *text) { return QByteArray(text); }

} // namespace

class TestCommandFile : public QObject
{
    Q_OBJECT

private slots:
    void codePages_data();
    void codePages();
    void strictAndLenientDecoding();
    void percents_data();
    void percents();
    void handWrittenPercents_data();
    void handWrittenPercents();
    void chcpLine_data();
    void chcpLine();
    void kindOf_data();
    void kindOf();
    void fileBytes_data();
    void fileBytes();
    void fileText_data();
    void fileText();
    void noSaveChangesACharacter();
};

void TestCommandFile::codePages_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("codePage");
    QTest::addColumn<QByteArray>("bytes"); // null: the text does not fit

    QTest::newRow("ASCII in 437") << u"C:\\a b"_s << 437u << bytesOf("C:\\a b");
    QTest::newRow("\u00dc in 437") << u"C:\\\u00dcn"_s << 437u << bytesOf("C:\\\x9An");
    QTest::newRow("\u03a9 in 437") << u"D:\\\u03a9mega"_s << 437u << bytesOf("D:\\\xEAmega");
    QTest::newRow("\u00dc in 1252") << u"C:\\\u00dcn"_s << 1252u << bytesOf("C:\\\xDCn");
    QTest::newRow("\u20ac in 1252") << u"\u20ac"_s << 1252u << bytesOf("\x80");
    QTest::newRow("\u00e9 in 850") << u"\u00e9"_s << 850u << bytesOf("\x82");
    QTest::newRow("\u0416 in 866") << u"\u0416"_s << 866u << bytesOf("\x86");
    QTest::newRow("\u0416 in 1251") << u"\u0416"_s << 1251u << bytesOf("\xC6");
    QTest::newRow("\u6570\u636e in 936") << u"\u6570\u636e"_s << 936u << bytesOf("\xCA\xFD\xBE\xDD");
    QTest::newRow("\u6570\u636e in 932") << u"\u6570\u636e"_s << 932u << bytesOf("\x90\x94\x90\x98");
    QTest::newRow("emoji in UTF-8") << u"\U0001F600"_s << kUtf8CodePage << bytesOf("\xF0\x9F\x98\x80");
    // Windows would write a look-alike: another folder, or a path separator.
    QTest::newRow("\u03a9 not in 1252 (no O)") << u"D:\\\u03a9mega"_s << 1252u << QByteArray();
    QTest::newRow("\u0101 not in 1252 (no a)") << u"\u0101"_s << 1252u << QByteArray();
    QTest::newRow("division slash not in 1252 (no /)") << u"a\u2215b"_s << 1252u << QByteArray();
    QTest::newRow("\u20ac not in 850") << u"\u20ac"_s << 850u << QByteArray();
    QTest::newRow("\u6570\u636e not in 437") << u"\u6570\u636e"_s << 437u << QByteArray();
    QTest::newRow("emoji not in 936") << u"\U0001F600"_s << 936u << QByteArray();
    QTest::newRow("unknown code page") << u"a"_s << 4u << QByteArray();
}

void TestCommandFile::codePages()
{
    QFETCH(QString, text);
    QFETCH(uint, codePage);
    QFETCH(QByteArray, bytes);
    const std::optional<QByteArray> encoded = EncodeCodePage(text, codePage);
    QCOMPARE(encoded.has_value(), !bytes.isNull());
    if (bytes.isNull())
        return;
    QCOMPARE(*encoded, bytes);
    QCOMPARE(DecodeCodePage(bytes, codePage), std::optional<QString>(text));
}

void TestCommandFile::strictAndLenientDecoding()
{
    // Broken UTF-8 and a Shift-JIS lead byte without its second half.
    QCOMPARE(DecodeCodePage("a\xC3(", kUtf8CodePage), std::nullopt);
    QCOMPARE(DecodeCodePageLeniently("a\xC3(", kUtf8CodePage), std::optional<QString>(u"a\ufffd("_s));
    QCOMPARE(DecodeCodePage("a\x81", 932), std::nullopt);
    const std::optional<QString> lenient = DecodeCodePageLeniently("a\x81", 932);
    QVERIFY(lenient && lenient->startsWith(u'a') && lenient->size() == 2);
    // Every byte is a letter of a single-byte code page.
    QByteArray all;
    for (int b = 1; b < 256; ++b)
        all += char(b);
    for (quint32 page : {437u, 850u, 866u})
        QCOMPARE(DecodeCodePage(all, page).value_or(QString()).size(), all.size());
    QCOMPARE(DecodeCodePage("a", 4), std::nullopt);
    QCOMPARE(DecodeCodePageLeniently("a", 4), std::nullopt);
}

void TestCommandFile::percents_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("escaped");
    auto row = [](const char *name, const QString &command, const QString &escaped) {
        QTest::newRow(name) << command << escaped;
    };
    row("none", u"ROBOCOPY.EXE C:\\a D:\\b /MIR"_s, u"ROBOCOPY.EXE C:\\a D:\\b /MIR"_s);
    row("a lone percent sign", u"ROBOCOPY.EXE \"C:\\Sales 50% off\" D:\\b"_s,
        u"ROBOCOPY.EXE \"C:\\Sales 50%% off\" D:\\b"_s);
    row("two with a blank between", u"\"C:\\50% a\" \"D:\\60% b\""_s, u"\"C:\\50%% a\" \"D:\\60%% b\""_s);
    row("a variable stays", u"ROBOCOPY.EXE %USERPROFILE%\\Docs D:\\b"_s, u"ROBOCOPY.EXE %USERPROFILE%\\Docs D:\\b"_s);
    row("variables with substitutions", u"%DATE:~-4% %CD:\\=/%"_s, u"%DATE:~-4% %CD:\\=/%"_s);
    row("adjacent variables", u"%A%%B%"_s, u"%A%%B%"_s);
    row("a path between two is no variable", u"D:\\50%\\20%"_s, u"D:\\50%%\\20%%"_s);
    row("a quote between two", u"\"a%\" \"%b\""_s, u"\"a%%\" \"%%b\""_s);
    row("arguments of a batch file are no variables", u"C:\\%1\\x %~dp0y %* %~$PATH:1%"_s,
        u"C:\\%%1\\x %%~dp0y %%* %%~$PATH:1%%"_s);
    row("lone, then a variable", u"50% %TEMP%"_s, u"50%% %TEMP%"_s);
    row("a variable, then lone", u"%TEMP%\\50%"_s, u"%TEMP%\\50%%"_s);
    row("already doubled", u"a%%b"_s, u"a%%%%b"_s);
    row("three in a row", u"%%%"_s, u"%%%%%%"_s);
    row("at the end", u"x%"_s, u"x%%"_s);
    row("a variable inside a quoted folder", u"\"%ProgramFiles(x86)%\\App\""_s, u"\"%ProgramFiles(x86)%\\App\""_s);
    row("non-ASCII beside", u"C:\\\u6570\u636e 50%"_s, u"C:\\\u6570\u636e 50%%"_s);
}

void TestCommandFile::percents()
{
    QFETCH(QString, command);
    QFETCH(QString, escaped);
    QCOMPARE(EscapeBatchPercents(command), escaped);
    QCOMPARE(UnescapeBatchPercents(escaped), command); // what cmd.exe makes of it
}

void TestCommandFile::handWrittenPercents_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("read");
    QTest::newRow("doubled") << u"robocopy \"C:\\50%% off\" D:\\b"_s << u"robocopy \"C:\\50% off\" D:\\b"_s;
    QTest::newRow("arguments stay") << u"robocopy %~dp0src %1 %*"_s << u"robocopy %~dp0src %1 %*"_s;
    QTest::newRow("a variable stays") << u"robocopy %SRC%%%x"_s << u"robocopy %SRC%%x"_s;
    QTest::newRow("a loop's variable") << u"for %%f in (a b) do robocopy %%f D:\\b"_s
                                       << u"for %f in (a b) do robocopy %f D:\\b"_s;
    QTest::newRow("no variable across lines") << u"a %b\r\nc%% d"_s << u"a %b\r\nc% d"_s;
    QTest::newRow("a lone one stays") << u"50% off"_s << u"50% off"_s;
}

void TestCommandFile::handWrittenPercents()
{
    QFETCH(QString, line);
    QFETCH(QString, read);
    QCOMPARE(UnescapeBatchPercents(line), read);
}

void TestCommandFile::chcpLine_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<uint>("page"); // 0: no chcp line
    QTest::newRow("as Save As writes it") << u"@chcp 65001 >nul\r\n"_s << 65001u;
    QTest::newRow("plain") << u"chcp 850"_s << 850u;
    QTest::newRow("letter case, .com, blanks") << u"  @ CHCP.COM\t1252 > NUL "_s << 1252u;
    QTest::newRow("no blank before the redirection") << u"chcp 65001>nul"_s << 65001u;
    QTest::newRow("both outputs") << u"chcp 437 1>nul 2>nul"_s << 437u;
    QTest::newRow("no number") << u"chcp"_s << 0u;
    QTest::newRow("no blank before the number") << u"chcp65001"_s << 0u;
    QTest::newRow("a word") << u"chcp utf8"_s << 0u;
    QTest::newRow("another command after it") << u"chcp 65001 & robocopy a b"_s << 0u;
    QTest::newRow("output to a file") << u"chcp 65001 > cp.txt"_s << 0u;
    QTest::newRow("said, not run") << u"echo chcp 65001"_s << 0u;
    QTest::newRow("a comment") << u"rem chcp 65001"_s << 0u;
    QTest::newRow("code page 0") << u"chcp 0"_s << 0u;
}

void TestCommandFile::chcpLine()
{
    QFETCH(QString, line);
    QFETCH(uint, page);
    QCOMPARE(ChcpLine(line).value_or(0), page);
}

void TestCommandFile::kindOf_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<CommandFileKind>("kind");
    QTest::newRow("CMD") << u"C:\\Out\\job.CMD"_s << CommandFileKind::Batch;
    QTest::newRow("bat") << u"/tmp/job.bat"_s << CommandFileKind::Batch;
    QTest::newRow("Cmd") << u"job.Cmd"_s << CommandFileKind::Batch;
    QTest::newRow("TXT") << u"C:\\Out\\job.TXT"_s << CommandFileKind::Text;
    QTest::newRow("bare") << u"C:\\Out\\job"_s << CommandFileKind::Text;
    QTest::newRow("LOG") << u"C:\\Out\\job.LOG"_s << CommandFileKind::Text;
    QTest::newRow("a job file") << u"C:\\Out\\job.RCJ"_s << CommandFileKind::Text;
    QTest::newRow("cmd before the last dot") << u"C:\\Out\\job.cmd.txt"_s << CommandFileKind::Text;
    QTest::newRow("a folder named .cmd") << u"C:\\Out.cmd\\job"_s << CommandFileKind::Text;
}

void TestCommandFile::kindOf()
{
    QFETCH(QString, path);
    QFETCH(CommandFileKind, kind);
    QCOMPARE(CommandFileKindOf(path), kind);
}

void TestCommandFile::fileBytes_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<CommandFileKind>("kind");
    QTest::addColumn<uint>("oem");
    QTest::addColumn<uint>("ansi");
    QTest::addColumn<QByteArray>("bytes");
    const auto batch = CommandFileKind::Batch;
    const auto text = CommandFileKind::Text;
    const QByteArray chcp = "@chcp 65001 >nul\r\n";
    const QByteArray mark = "\xEF\xBB\xBF";

    QTest::newRow("ASCII, batch") << u"ROBOCOPY.EXE C:\\a D:\\b /MIR"_s << batch << 437u << 1252u
                                  << bytesOf("ROBOCOPY.EXE C:\\a D:\\b /MIR\r\n");
    QTest::newRow("ASCII, text") << u"ROBOCOPY.EXE C:\\a D:\\b"_s << text << 437u << 1252u
                                 << bytesOf("ROBOCOPY.EXE C:\\a D:\\b\r\n");
    QTest::newRow("empty, batch") << QString() << batch << 437u << 1252u << bytesOf("\r\n");
    QTest::newRow("empty, text") << QString() << text << 437u << 1252u << bytesOf("\r\n");
    QTest::newRow("\u00dc: batch in the OEM code page")
        << u"ROBOCOPY.EXE \"C:\\\u00dcn src\" D:\\b"_s << batch << 437u << 1252u
        << bytesOf("ROBOCOPY.EXE \"C:\\\x9An src\" D:\\b\r\n");
    QTest::newRow("\u00dc: text in the ANSI code page")
        << u"ROBOCOPY.EXE \"C:\\\u00dcn src\" D:\\b"_s << text << 437u << 1252u
        << bytesOf("ROBOCOPY.EXE \"C:\\\xDCn src\" D:\\b\r\n");
    QTest::newRow("\u03a9: batch, the OEM code page has it") << u"ROBOCOPY.EXE C:\\a D:\\\u03a9mega /MIR"_s << batch
                                                          << 437u << 1252u
                                                          << bytesOf("ROBOCOPY.EXE C:\\a D:\\\xEAmega /MIR\r\n");
    QTest::newRow("\u03a9: text, the ANSI one has not")
        << u"ROBOCOPY.EXE C:\\a D:\\\u03a9mega /MIR"_s << text << 437u << 1252u
        << mark + u"ROBOCOPY.EXE C:\\a D:\\\u03a9mega /MIR\r\n"_s.toUtf8();
    QTest::newRow("\u6570\u636e: batch in UTF-8 after chcp")
        << u"ROBOCOPY.EXE C:\\\u6570\u636e D:\\b"_s << batch << 437u << 1252u
        << chcp + u"ROBOCOPY.EXE C:\\\u6570\u636e D:\\b\r\n"_s.toUtf8();
    QTest::newRow("\u6570\u636e: batch in a Chinese OEM code page")
        << u"ROBOCOPY.EXE C:\\\u6570\u636e D:\\b"_s << batch << 936u << 936u
        << bytesOf("ROBOCOPY.EXE C:\\\xCA\xFD\xBE\xDD D:\\b\r\n");
    QTest::newRow("percent doubled in a batch") << u"ROBOCOPY.EXE \"C:\\Sales 50% off\" D:\\b"_s << batch << 437u
                                                << 1252u << bytesOf("ROBOCOPY.EXE \"C:\\Sales 50%% off\" D:\\b\r\n");
    QTest::newRow("percent kept in a text") << u"ROBOCOPY.EXE \"C:\\Sales 50% off\" D:\\b"_s << text << 437u << 1252u
                                            << bytesOf("ROBOCOPY.EXE \"C:\\Sales 50% off\" D:\\b\r\n");
    QTest::newRow("percent and UTF-8 together") << u"ROBOCOPY.EXE C:\\\u6570\u636e\\50% D:\\b"_s << batch << 437u
                                                << 1252u << chcp + u"ROBOCOPY.EXE C:\\\u6570\u636e\\50%% D:\\b\r\n"_s.toUtf8();
    QTest::newRow("the OEM code page is UTF-8: no chcp") << u"ROBOCOPY.EXE C:\\\u6570\u636e D:\\b"_s << batch
                                                         << kUtf8CodePage << kUtf8CodePage
                                                         << u"ROBOCOPY.EXE C:\\\u6570\u636e D:\\b\r\n"_s.toUtf8();
    QTest::newRow("the ANSI code page is UTF-8: no mark") << u"ROBOCOPY.EXE C:\\\u03a9 D:\\b"_s << text
                                                          << kUtf8CodePage << kUtf8CodePage
                                                          << u"ROBOCOPY.EXE C:\\\u03a9 D:\\b\r\n"_s.toUtf8();
    // In 1252 these two letters are the bytes of UTF-8's "\u00fc", which the reader tries first.
    QTest::newRow("ANSI bytes that read as other UTF-8") << u"ROBOCOPY.EXE C:\\\u00c3\u00bc D:\\b"_s << text << 437u
                                                         << 1252u << mark + u"ROBOCOPY.EXE C:\\\u00c3\u00bc D:\\b\r\n"_s.toUtf8();
    QTest::newRow("OEM bytes that read as other UTF-8") << u"ROBOCOPY.EXE C:\\\u251c\u255d D:\\b"_s << batch << 437u
                                                        << 1252u << chcp + u"ROBOCOPY.EXE C:\\\u251c\u255d D:\\b\r\n"_s.toUtf8();
}

void TestCommandFile::fileBytes()
{
    QFETCH(QString, command);
    QFETCH(CommandFileKind, kind);
    QFETCH(uint, oem);
    QFETCH(uint, ansi);
    QFETCH(QByteArray, bytes);
    QCOMPARE(CommandFileBytes(command, kind, {oem, ansi}), bytes);
    // And it opens as it was.
    QCOMPARE(CommandFileText(bytes, kind, {oem, ansi}), std::optional<QString>(command + u"\r\n"_s));
}

void TestCommandFile::fileText_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<CommandFileKind>("kind");
    QTest::addColumn<uint>("oem");
    QTest::addColumn<uint>("ansi");
    QTest::addColumn<QString>("text");
    const auto batch = CommandFileKind::Batch;
    const auto text = CommandFileKind::Text;

    QTest::newRow("a batch file in the OEM code page") << bytesOf("robocopy C:\\\x9A D:\\b") << batch << 437u << 1252u
                                                        << u"robocopy C:\\\u00dc D:\\b"_s;
    QTest::newRow("a text file in the ANSI code page") << bytesOf("robocopy C:\\\xDC D:\\b") << text << 437u << 1252u
                                                        << u"robocopy C:\\\u00dc D:\\b"_s;
    QTest::newRow("one byte, two letters by kind") << bytesOf("C:\\\x9A") << text << 437u << 1252u << u"C:\\\u0161"_s;
    QTest::newRow("Notepad's UTF-8 without a mark") << bytesOf("/SD:C:\\J\xC3\xB6" "b src\\\r\n") << text << 437u << 1252u
                                                    << u"/SD:C:\\J\u00f6b src\\\r\n"_s;
    QTest::newRow("UTF-8 without a mark in a batch") << bytesOf("robocopy C:\\J\xC3\xB6" "b D:\\b") << batch << 437u
                                                     << 1252u << u"robocopy C:\\J\u00f6b D:\\b"_s;
    QTest::newRow("after chcp 65001, UTF-8; the line is left out")
        << u"@chcp 65001 >nul\r\nROBOCOPY.EXE C:\\\u6570\u636e D:\\b\r\n"_s.toUtf8() << batch << 437u << 1252u
        << u"ROBOCOPY.EXE C:\\\u6570\u636e D:\\b\r\n"_s;
    QTest::newRow("before chcp the OEM code page, after it the one named")
        << bytesOf("rem \x9A\r\nchcp 1252 > nul\r\nrobocopy C:\\\xDC D:\\b\r\n") << batch << 437u << 1252u
        << u"rem \u00dc\r\nrobocopy C:\\\u00dc D:\\b\r\n"_s;
    QTest::newRow("chcp to an unknown code page: as if without") << bytesOf("chcp 4\r\nrobocopy C:\\\x9A D:\\b") << batch
                                                                  << 437u << 1252u << u"robocopy C:\\\u00dc D:\\b"_s;
    QTest::newRow("a batch file's percent signs") << bytesOf("robocopy \"C:\\50%% off\" %TEMP% D:\\b") << batch
                                                  << 437u << 1252u << u"robocopy \"C:\\50% off\" %TEMP% D:\\b"_s;
    QTest::newRow("a text file's percent signs") << bytesOf("robocopy \"C:\\50%% off\" D:\\b") << text << 437u << 1252u
                                                 << u"robocopy \"C:\\50%% off\" D:\\b"_s;
    QTest::newRow("UTF-8 with a mark, percent signs of a batch")
        << bytesOf("\xEF\xBB\xBFrobocopy C:\\\xCE\xA9\\50%% D:\\b") << batch << 437u << 1252u
        << u"robocopy C:\\\u03a9\\50% D:\\b"_s;
    QTest::newRow("a Chinese batch file") << bytesOf("robocopy C:\\\xCA\xFD\xBE\xDD D:\\b") << batch << 936u << 936u
                                          << u"robocopy C:\\\u6570\u636e D:\\b"_s;
}

void TestCommandFile::fileText()
{
    QFETCH(QByteArray, bytes);
    QFETCH(CommandFileKind, kind);
    QFETCH(uint, oem);
    QFETCH(uint, ansi);
    QFETCH(QString, text);
    QCOMPARE(CommandFileText(bytes, kind, {oem, ansi}), std::optional<QString>(text));
}

// Random commands of letters from several scripts, percent signs and cmd.exe's
// characters, saved with several pairs of code pages: the file opens as the
// very command, and cmd.exe reads the escaped command from it. Rerun from
// another seed with CORVANE_SEED=n.
void TestCommandFile::noSaveChangesACharacter()
{
    const QStringList pool = {u"a"_s, u"Z"_s, u"0"_s, u" "_s, u"\\"_s, u":"_s, u"\""_s, u"%"_s, u"%"_s, u"%TEMP%"_s,
                              u"^"_s, u"!"_s, u"&"_s, u"\u00dc"_s, u"\u00e9"_s, u"\u00df"_s, u"\u03a9"_s, u"\u0416"_s,
                              u"\u6570"_s, u"\u636e"_s, u"\u20ac"_s, u"\u0101"_s, u"\u2215"_s, u"\u251c"_s, u"\u255d"_s,
                              u"\u00c3"_s, u"\u00bc"_s, u"\U0001F600"_s, u"\u00a0"_s};
    const CodePages pairs[] = {kWestern, {850, 1252}, {866, 1251}, {932, 932}, {936, 936}, kUtf8Only};
    const quint32 seed = qEnvironmentVariableIsSet("CORVANE_SEED") ? quint32(qEnvironmentVariableIntValue("CORVANE_SEED")) : 1;
    std::mt19937 rng(seed);
    for (int round = 0; round < 1500; ++round) {
        QString command = u"ROBOCOPY.EXE "_s;
        for (int n = int(rng() % 24); n > 0; --n)
            command += pool.at(qsizetype(rng() % quint32(pool.size())));
        for (const CodePages &pages : pairs) {
            for (const CommandFileKind kind : {CommandFileKind::Batch, CommandFileKind::Text}) {
                const QByteArray bytes = CommandFileBytes(command, kind, pages);
                const QString why = u"round %1, code pages %2/%3, kind %4: %5"_s.arg(round).arg(pages.oem).arg(pages.ansi)
                                        .arg(int(kind)).arg(command);
                QVERIFY2(CommandFileText(bytes, kind, pages) == command + u"\r\n"_s, qPrintable(why));
                // What the program that reads the file sees: cmd.exe in the OEM
                // code page unless told otherwise; an editor in ANSI unless
                // the mark says UTF-8.
                const bool batch = kind == CommandFileKind::Batch;
                const QByteArray head = batch ? QByteArray("@chcp 65001 >nul\r\n") : QByteArray("\xEF\xBB\xBF");
                const bool unicode = bytes.startsWith(head) && (batch ? pages.oem : pages.ansi) != kUtf8CodePage;
                const std::optional<QString> seen =
                    DecodeCodePage(unicode ? bytes.sliced(head.size()) : bytes,
                                   unicode ? kUtf8CodePage : batch ? pages.oem : pages.ansi);
                const QString expected = (batch ? EscapeBatchPercents(command) : command) + u"\r\n"_s;
                QVERIFY2(seen == expected, qPrintable(why));
            }
        }
    }
}

QTEST_APPLESS_MAIN(TestCommandFile)
#include "test_command_file.moc"
