// corvane-copy: Robocopy's command line and report on Linux. Corvane's
// stand-in console runs it when no ROBOCOPY.EXE is on PATH; it is also a
// tool of its own, for a shell or a cron job:
//     corvane-copy SRC DST /MIR /XD .git /R:2 /W:5 /LOG:/var/log/mirror.log
// The exit code is Robocopy's bit map (1 copied, 2 extras, 4 mismatches,
// 8 failures, 16 a serious error). --help (-h) and --version print the
// usage and the version (exit 0).

#include "copy/CopyOptions.h"
#include "copy/Engine.h"
#include "copy/Guard.h"
#include "copy/Output.h"
#include "copy/Report.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <pwd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace copy;

namespace {

int64_t wallNs()
{
    struct timespec t;
    ::clock_gettime(CLOCK_REALTIME, &t);
    return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

bool readWhole(const std::string &path, std::string &contents, std::string &error)
{
    const Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd) {
        error = SystemMessage(errno);
        return false;
    }
    contents.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = SystemMessage(errno);
            return false;
        }
        if (n == 0)
            return true;
        contents.append(buffer, size_t(n));
    }
}

std::string userName()
{
    if (const struct passwd *pw = ::getpwuid(::geteuid()))
        return pw->pw_name;
    return std::to_string(::geteuid());
}

// Many folders may be open at once while /MT workers catch up; the soft
// limit of descriptors is raised to what the system allows.
void raiseDescriptorLimit()
{
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, 1 << 16);
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

int minuteNow()
{
    const time_t now = ::time(nullptr);
    struct tm local{};
    ::localtime_r(&now, &local);
    return local.tm_hour * 60 + local.tm_min;
}

class Program
{
public:
    explicit Program(const CopyOptions &options)
        : m_options(options), m_clock(CurrentClock()), m_report(options, m_clock.utcOffsetSeconds)
    {
    }

    int run();

private:
    void write(const Event &e) { m_out.write(m_report.format(e)); }
    void note(const std::string &text)
    {
        Event e;
        e.kind = EventKind::Note;
        e.message = text;
        write(e);
    }
    void waitForRunHours();
    Totals pass(bool countOnly);
    int withLogFailure(int code);

    const CopyOptions &m_options;
    RunClock m_clock;
    Report m_report;
    Output m_out;
    bool m_logFailureShown = false;
};

void Program::waitForRunHours()
{
    const RunHours &h = m_options.runHours;
    if (WithinRunHours(h, minuteNow()))
        return;
    char text[96];
    std::snprintf(text, sizeof text, "outside the run hours: waiting until %02d:%02d.", h.startMinute / 60,
                  h.startMinute % 60);
    note(text);
    while (!WithinRunHours(h, minuteNow()))
        std::this_thread::sleep_for(std::chrono::seconds(20));
}

Totals Program::pass(bool countOnly)
{
    Engine engine(m_options, m_clock, [this](const Event &e) { write(e); });
    engine.setCountOnly(countOnly);
    if (m_out.logging())
        engine.protectFile(m_out.logFd());
    if (m_options.runHours.set && m_options.perFileRunHours)
        engine.setBeforeEachFile([this] { waitForRunHours(); });
    return engine.run();
}

// A log that could not be written (a full disk) is an error on the
// console, where it is seen, and a failure in the exit code.
int Program::withLogFailure(int code)
{
    const int e = m_out.logError();
    if (!e)
        return code;
    if (!std::exchange(m_logFailureShown, true)) {
        Event error;
        error.kind = EventKind::Error;
        error.action = ErrorAction::WritingLogFile;
        error.error = e;
        error.message = SystemMessage(e);
        error.dir = m_options.logFile;
        error.timeNs = wallNs();
        m_out.writeConsole(m_report.format(error));
    }
    return code | ExitBit::Failed;
}

int Program::run()
{
    if (!m_options.logFile.empty()) {
        if (const SysError e = m_out.openLog(m_options.logFile, m_options.logAppend, m_options.logUnicode,
                                             m_options.tee)) {
            Event error;
            error.kind = EventKind::Error;
            error.action = ErrorAction::OpeningLogFile;
            error.error = e.code;
            error.message = SystemMessage(e.code);
            error.dir = m_options.logFile;
            error.timeNs = wallNs();
            m_out.write(m_report.format(error));
            return ExitBit::Serious;
        }
        if (!m_options.tee)
            m_out.writeConsole(LogFileNotice(m_options.logFile));
    }
    m_out.write(m_report.header(m_clock.nowNs));
    if (m_options.quit)
        return withLogFailure(0);

    if (m_options.runHours.set && !m_options.perFileRunHours)
        waitForRunHours();
    Totals totals = pass(false);
    m_out.write(m_report.closeLine());
    // A run that could not start (no source, no destination) ends with its
    // error line, as Robocopy's does: there is nothing to sum up.
    if (totals.serious)
        return withLogFailure(ExitCode(totals));
    m_out.write(m_report.summary(totals, wallNs()));
    int code = withLogFailure(ExitCode(totals));
    if (!m_options.monitorChanges && !m_options.monitorMinutes)
        return code;

    // /MON:n /MOT:m: watch the source and run again, for ever. The source
    // is looked at every minute (/MON alone) or every m minutes (/MOT), by
    // a silent pass that only counts what a run would change; a run follows
    // when that is more than n changes (/MON:n), or any change (/MOT alone).
    for (;;) {
        const uint32_t minutes = m_options.monitorMinutes ? m_options.monitorMinutes : 1;
        std::this_thread::sleep_for(std::chrono::minutes(minutes));
        m_clock = CurrentClock();
        const Totals seen = pass(true);
        const uint64_t changes = seen.files[Column::Copied] + seen.files[Column::Extras] + seen.dirs[Column::Copied]
            + seen.dirs[Column::Extras];
        const bool due = m_options.monitorChanges ? changes > m_options.monitorChanges : changes > 0;
        if (!due)
            continue;
        if (m_options.runHours.set && !m_options.perFileRunHours)
            waitForRunHours();
        m_clock = CurrentClock();
        m_out.write(m_report.header(m_clock.nowNs));
        totals = pass(false);
        m_out.write(m_report.closeLine());
        if (!totals.serious)
            m_out.write(m_report.summary(totals, wallNs()));
        code = withLogFailure(ExitCode(totals));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    std::signal(SIGPIPE, SIG_IGN); // a closed console must not end a copy
    raiseDescriptorLimit();
    std::vector<std::string> args(argv + 1, argv + argc);
    // What a Linux user types first: the usage of /? and the version, on
    // standard output, and no error (a folder of such a name is "./-h").
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "--version")) {
        Output out;
        out.write(args[0] == "--version" ? std::string("corvane-copy " CORVANE_VERSION "\n") : UsageText());
        return 0;
    }
    std::string cwd(4096, '\0');
    if (!::getcwd(cwd.data(), cwd.size()))
        cwd = "/";
    cwd.resize(std::strlen(cwd.c_str()));

    const ParsedCommand parsed = ParseArguments(args, cwd, readWhole, [](const std::string &path) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    });
    if (parsed.usage || !parsed.error.empty()) {
        Output out;
        out.write(parsed.error);
        return ExitBit::Serious;
    }
    if (!parsed.options.saveJob.empty()) {
        const std::string path = JobFilePath(parsed.options.saveJob);
        const RunClock clock = CurrentClock();
        if (const int e = Guard::WriteWholeFile(path, JobFileText(parsed.saved, path, userName(), clock.nowNs,
                                                                  clock.utcOffsetSeconds))) {
            Output out;
            out.write("ERROR : cannot write the job file " + path + "\n" + SystemMessage(e) + "\n");
            return ExitBit::Serious;
        }
    }
    Program program(parsed.options);
    return program.run();
}
