// The pure core of corvane-copy: what each name becomes, how a command line
// reads, and what the report prints, all without a file system.
#include "copy/CopyOptions.h"
#include "copy/CopyTypes.h"

#include <QTest>

using namespace copy;

class TestCopyCore : public QObject
{
    Q_OBJECT

private slots:
    void exitCode_data();
    void exitCode();
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

QTEST_APPLESS_MAIN(TestCopyCore)
#include "test_copy_core.moc"
