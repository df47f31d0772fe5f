// One program for the settings tests: the store on its own, then the store
// working for the real window. Run with "--crash-during-write INI USER" it is
// instead the child that one test kills in the middle of a write.
#include "settings/CSettings.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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

    // A report asked for with "-o FILE,FORMAT" (under Wine the only way to
    // see one) would be overwritten by the second suite: it gets a file of
    // its own, "-form" added to the name.
    std::vector<std::string> args(argv, argv + argc);
    for (size_t i = 1; i + 1 < args.size(); ++i) {
        if (args[i] != "-o")
            continue;
        std::string &spec = args[i + 1];
        const size_t comma = spec.rfind(',');
        const size_t nameEnd = comma == std::string::npos ? spec.size() : comma;
        if (spec.compare(0, nameEnd, "-") == 0)
            continue;
        const size_t dot = spec.rfind('.', nameEnd);
        const size_t slash = spec.find_last_of("/\\", nameEnd);
        spec.insert(dot != std::string::npos && (slash == std::string::npos || dot > slash) ? dot : nameEnd, "-form");
    }
    std::vector<char *> formArgv;
    for (std::string &a : args)
        formArgv.push_back(a.data());
    failures += runFormTests(int(formArgv.size()), formArgv.data());
    return failures;
}
