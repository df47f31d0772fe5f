// One program for the settings tests: the store on its own, then the store
// working for the real window. Run with "--crash-during-write INI USER" it is
// instead the child that one test kills in the middle of a write.
#include "settings/CSettings.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>

int runStoreTests(int argc, char **argv);
int runFormTests(int argc, char **argv);

namespace {

int crashDuringWrite(const char *iniPath, const char *userPath)
{
    CSettings store(SettingsLocation{QString::fromLocal8Bit(iniPath), QString::fromLocal8Bit(userPath)});
    // The new file is complete on disk but has not replaced the old one yet.
    setIniCommitHook([] { std::_Exit(3); });
    store.SaveSetting(QStringLiteral("txtLogFile"), QString(200000, u'n'));
    return 0; // not reached
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "--crash-during-write") == 0) {
        QCoreApplication app(argc, argv);
        return crashDuringWrite(argv[2], argv[3]);
    }
    QApplication app(argc, argv);
    int failures = runStoreTests(argc, argv);
    failures += runFormTests(argc, argv);
    return failures;
}
