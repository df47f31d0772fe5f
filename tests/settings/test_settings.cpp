// One program for the settings tests: the store on its own, then the store
// working for the real window. Run with "--crash-during-write INI USER" it is
// instead the child that one test kills in the middle of a write, and with
// "--write-child ..." the child whose writes fail.
#include "settings/CSettings.h"

#include <QApplication>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef Q_OS_WIN
#include "main_window/Controls.h"
#include "main_window/frmCorvane.h"
#include "tools/basTools.h"

#include "SettingsTestSupport.h"

#include <csignal>
#include <cstdio>
#include <grp.h>
#include <pwd.h>
#include <sys/resource.h>
#include <unistd.h>
#endif

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

#ifndef Q_OS_WIN
// "--write-child SCENARIO LIMIT AS_NOBODY INI USER": creates the store
// (probe), saves one long value as well (write) or builds the window and
// saves it whole (form), with files limited to LIMIT bytes (0: no limit) and,
// when AS_NOBODY is 1 and we are root, as the user nobody. Prints the back
// end in use at the end.
int writeChild(int argc, char **argv)
{
    if (std::strcmp(argv[4], "1") == 0 && ::geteuid() == 0) {
        const passwd *nobody = ::getpwnam("nobody");
        if (!nobody || ::setgroups(0, nullptr) != 0 || ::setgid(nobody->pw_gid) != 0 || ::setuid(nobody->pw_uid) != 0)
            return kNoOtherUser;
    }
    QApplication app(argc, argv);
    SetMsgBoxHook([](const QString &prompt, int, const QString &) { std::fprintf(stderr, "%s\n", qPrintable(prompt)); });
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
        window.SaveFormSettings();
        ini = window.settings()->SaveToINI();
    } else {
        CSettings store(location);
        if (scenario == u"write")
            store.SaveSetting(QStringLiteral("txtExcludeFiles"), longText);
        ini = store.SaveToINI();
    }
    std::printf("%s\n", ini ? "ini" : "per-user");
    return 0;
}
#endif

} // namespace

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
