// Peak memory and time of starting the settings store on a Settings.ini of
// nearly the largest size the reader takes, made of the shortest key lines
// ("a=" and a line end): the creation's probe, a whole-form load's reads in
// one batch, and one save. Peak memory counts the growth of the process's
// resident set over what it held before, relative to the file's size.
#include "settings/CSettings.h"
#include "settings/IniFile.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

namespace {

// Peak resident set so far, in bytes; 0 where the platform does not say.
long long peakBytes()
{
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
#ifdef Q_OS_MACOS
    return usage.ru_maxrss;
#else
    return usage.ru_maxrss * 1024LL;
#endif
#else
    return 0;
#endif
}

double millisSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QByteArray line = argc > 1 ? QByteArray(argv[1]) + '\n' : QByteArray("a=\n");

    QTemporaryDir dir;
    const SettingsLocation location{dir.filePath(QStringLiteral("Settings.ini")),
                                    dir.filePath(QStringLiteral("user.conf"))};
    qint64 size = 0;
    {
        // Written in pieces, so that making it does not raise the peak.
        QFile file(location.iniPath);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray piece = "[Settings]\n";
        const qint64 room = kMaxIniFileSize - 4096; // the probe and the save still fit
        while (size + piece.size() < room) {
            file.write(piece);
            size += piece.size();
            piece.clear();
            while (piece.size() < 64 * 1024 && size + piece.size() + line.size() < room)
                piece += line;
            if (piece.isEmpty())
                break;
        }
    }

    const long long before = peakBytes();
    const auto start = std::chrono::steady_clock::now();
    CSettings store(location, [](const SettingsError &e) {
        std::fprintf(stderr, "%s failed: %d %s\n", qPrintable(e.operation), e.number, qPrintable(e.description));
    });
    const double created = millisSince(start);
    const auto reading = std::chrono::steady_clock::now();
    {
        CSettings::Batch batch(store);
        for (int i = 0; i < 150; ++i)
            store.GetSetting(QStringLiteral("chkOption%1").arg(i), QString());
    }
    const double read = millisSince(reading);
    const auto saving = std::chrono::steady_clock::now();
    store.SaveSetting(QStringLiteral("txtLogFile"), QStringLiteral("C:\\Logs\\copy.log"));
    const double saved = millisSince(saving);
    const long long growth = peakBytes() - before;

    std::printf("file: %lld bytes of lines \"%s\"; back end: %s\n", qint64(size), line.trimmed().constData(),
                store.SaveToINI() ? "INI file" : "per-user (the INI file was refused)");
    std::printf("creation and probe: %.1f ms\n150 reads in one batch: %.1f ms\none save: %.1f ms\n", created, read,
                saved);
    if (growth > 0)
        std::printf("peak memory growth: %.1f MB, %.2f times the file (target: under 10)\n", double(growth) / 1048576.0,
                    double(growth) / double(size));
    return 0;
}
