#include "copy/Report.h"

#include "copy/NameBytes.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace copy {

int ExitCode(const Totals &totals)
{
    int code = 0;
    if (totals.files[Column::Copied] > 0)
        code |= ExitBit::Copied;
    if (totals.files[Column::Extras] > 0 || totals.dirs[Column::Extras] > 0)
        code |= ExitBit::Extra;
    if (totals.files[Column::Mismatch] > 0 || totals.dirs[Column::Mismatch] > 0)
        code |= ExitBit::Mismatch;
    if (totals.files[Column::Failed] > 0 || totals.dirs[Column::Failed] > 0)
        code |= ExitBit::Failed;
    if (totals.serious)
        code |= ExitBit::Serious;
    return code;
}

namespace {

constexpr int64_t NsPerSecond = 1'000'000'000;

// The program's own name in its title: it is not Microsoft's Robocopy, and
// says so, but keeps the title's shape for whoever reads logs by eye.
constexpr std::string_view Title = "   corvane-copy     ::     Robust File Copy, compatible with Robocopy";
const std::string HeaderRule(79, '-');
const std::string SummaryRule(78, '-');

template <typename... Args>
std::string fmt(const char *pattern, Args... args)
{
    char buffer[128];
    const int n = std::snprintf(buffer, sizeof buffer, pattern, args...);
    return n < 0 ? std::string() : std::string(buffer, std::min(static_cast<size_t>(n), sizeof buffer - 1));
}

std::string padRight(std::string text, size_t width)
{
    if (text.size() < width)
        text.append(width - text.size(), ' ');
    return text;
}

std::string padLeft(std::string text, size_t width)
{
    if (text.size() < width)
        text.insert(0, width - text.size(), ' ');
    return text;
}

struct Civil
{
    int64_t year;
    unsigned month, day, hour, minute, second, weekday; // weekday 0 = Sunday
};

Civil civil(int64_t ns, int32_t utcOffsetSeconds)
{
    int64_t seconds = ns / NsPerSecond - (ns % NsPerSecond < 0 ? 1 : 0) + utcOffsetSeconds;
    int64_t days = seconds / 86400;
    int64_t rest = seconds % 86400;
    if (rest < 0) {
        rest += 86400;
        --days;
    }
    Civil c{};
    c.hour = static_cast<unsigned>(rest / 3600);
    c.minute = static_cast<unsigned>(rest / 60 % 60);
    c.second = static_cast<unsigned>(rest % 60);
    c.weekday = static_cast<unsigned>((days % 7 + 7 + 4) % 7); // 1970-01-01 was a Thursday
    // Days since the epoch to a proleptic Gregorian date.
    const int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    c.day = doy - (153 * mp + 2) / 5 + 1;
    c.month = mp < 10 ? mp + 3 : mp - 9;
    c.year = static_cast<int64_t>(yoe) + era * 400 + (c.month <= 2 ? 1 : 0);
    return c;
}

std::string clockText(int64_t ns) // h:mm:ss of a duration
{
    const int64_t seconds = ns > 0 ? ns / NsPerSecond : 0;
    return fmt("%" PRId64 ":%02" PRId64 ":%02" PRId64, seconds / 3600, seconds / 60 % 60, seconds % 60);
}

std::string scaled(uint64_t bytes, uint64_t below)
{
    if (bytes < below)
        return fmt("%" PRIu64, bytes);
    static constexpr char units[] = {'k', 'm', 'g', 't', 'p', 'e'};
    double value = static_cast<double>(bytes) / 1024.0;
    size_t unit = 0;
    while (value >= 1024.0 && unit + 1 < sizeof units) {
        value /= 1024.0;
        ++unit;
    }
    return fmt("%.1f %c", value, units[unit]);
}

// "RASHCNETO" letters of attribute bits, in the order of the switch.
std::string attributeLetters(uint16_t bits, bool withOffline)
{
    static constexpr struct
    {
        char letter;
        uint16_t bit;
    } letters[] = {{'R', Attr::ReadOnly},   {'A', Attr::Archive},           {'S', Attr::System},
                   {'H', Attr::Hidden},     {'C', Attr::Compressed},        {'N', Attr::NotContentIndexed},
                   {'E', Attr::Encrypted},  {'T', Attr::Temporary},         {'O', Attr::Offline}};
    std::string text;
    for (const auto &l : letters)
        if ((bits & l.bit) && (withOffline || l.letter != 'O'))
            text += l.letter;
    return text;
}

std::string copyLetters(uint8_t flags, bool directory)
{
    std::string text;
    if (flags & CopyFlag::Data)
        text += 'D';
    if (flags & CopyFlag::Attributes)
        text += 'A';
    if (flags & CopyFlag::Times)
        text += 'T';
    if (directory && (flags & CopyFlag::ExtendedAttributes))
        text += 'E';
    if (flags & CopyFlag::SkipAltStreams)
        text += 'X';
    if (!directory) {
        if (flags & CopyFlag::Security)
            text += 'S';
        if (flags & CopyFlag::Owner)
            text += 'O';
        if (flags & CopyFlag::Auditing)
            text += 'U';
    }
    return text;
}

std::string ageText(const AgeLimit &limit)
{
    return std::to_string(limit.isDate ? limit.date : limit.days);
}

// The tag as it stands on a file line: copied ones two further in,
// anomalies furthest left, skipped ones right-aligned.
std::string fileTagText(Tag tag)
{
    switch (tag) {
    case Tag::NewFile: return "  New File";
    case Tag::Newer: return "  Newer";
    case Tag::Older: return "  Older";
    case Tag::Changed: return "  Changed";
    case Tag::Tweaked: return "  Tweaked";
    case Tag::Same: return "  Same";
    case Tag::NewDir: return "  New Dir";
    case Tag::ExtraFile: return "*EXTRA File";
    case Tag::ExtraDir: return "*EXTRA Dir";
    case Tag::Mismatch: return "*MISMATCH";
    case Tag::LonelySkipped: return "    lonely";
    case Tag::NewerSkipped: return "     newer";
    case Tag::OlderSkipped: return "     older";
    case Tag::ChangedSkipped: return "   changed";
    case Tag::TweakedSkipped: return "   tweaked";
    case Tag::SameSkipped: return "      same";
    case Tag::Attrib: return "    attrib";
    case Tag::Named: return "     named";
    case Tag::Large: return "     large";
    case Tag::Small: return "     small";
    case Tag::TooOld: return "   too old";
    case Tag::TooNew: return "   too new";
    case Tag::Junction: return "  junction";
    case Tag::Modified: return "  modified";
    case Tag::None: break;
    }
    return {};
}

bool skippedTag(Tag tag) { return tag >= Tag::LonelySkipped; }

bool copiedTag(Tag tag)
{
    return tag == Tag::NewFile || tag == Tag::Newer || tag == Tag::Older || tag == Tag::Changed
        || tag == Tag::Tweaked || tag == Tag::Same;
}

// One list of the header ("Files :", "Exc Files :"): the first entry on the
// label's line, each other one on a line of its own below it.
void appendList(std::string &text, std::string_view label, const std::vector<std::string> &entries)
{
    // Labels end in the same column: "    Files :", "Exc Files :", " Exc Dirs :".
    text += padLeft(std::string(label), 9);
    text += " : ";
    for (size_t i = 0; i < entries.size(); ++i) {
        if (i)
            text += std::string(12, ' ');
        text += DisplayName(entries[i]);
        text += '\n';
    }
}

} // namespace

std::string_view ErrorActionText(ErrorAction action)
{
    switch (action) {
    case ErrorAction::CopyingFile: return "Copying File";
    case ErrorAction::CreatingDestinationDirectory: return "Creating Destination Directory";
    case ErrorAction::DeletingExtraFile: return "Deleting Extra File";
    case ErrorAction::DeletingExtraDirectory: return "Deleting Extra Directory";
    case ErrorAction::ScanningSourceDirectory: return "Scanning Source Directory";
    case ErrorAction::ScanningDestinationDirectory: return "Scanning Destination Directory";
    case ErrorAction::AccessingSourceDirectory: return "Accessing Source Directory";
    case ErrorAction::AccessingDestinationDirectory: return "Accessing Destination Directory";
    case ErrorAction::DeletingSourceFile: return "Deleting Source File";
    case ErrorAction::DeletingSourceDirectory: return "Deleting Source Directory";
    case ErrorAction::ChangingFileAttributes: return "Changing File Attributes";
    case ErrorAction::SettingFileTimes: return "Setting File Times";
    case ErrorAction::CopyingSecurity: return "Copying NTFS Security to Destination File";
    case ErrorAction::OpeningLogFile: return "Opening Log File";
    case ErrorAction::WritingLogFile: return "Writing Log File";
    }
    return "Copying File";
}

std::string FileSizeText(uint64_t bytes, bool rawBytes)
{
    return rawBytes ? fmt("%" PRIu64, bytes) : scaled(bytes, uint64_t(1) << 20);
}

std::string SummarySizeText(uint64_t bytes, bool rawBytes)
{
    return rawBytes ? fmt("%" PRIu64, bytes) : scaled(bytes, 1024);
}

std::string LongDateTime(int64_t ns, int32_t utcOffsetSeconds)
{
    static constexpr const char *weekdays[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                               "Thursday", "Friday", "Saturday"};
    static constexpr const char *months[] = {"January", "February", "March",     "April",   "May",      "June",
                                             "July",    "August",   "September", "October", "November", "December"};
    const Civil c = civil(ns, utcOffsetSeconds);
    const unsigned hour12 = c.hour % 12 == 0 ? 12 : c.hour % 12;
    return fmt("%s, %s %u, %" PRId64 " %u:%02u:%02u %s", weekdays[c.weekday], months[c.month - 1], c.day, c.year,
                  hour12, c.minute, c.second, c.hour < 12 ? "AM" : "PM");
}

std::string StampDateTime(int64_t ns, int32_t utcOffsetSeconds)
{
    const Civil c = civil(ns, utcOffsetSeconds);
    return fmt("%04" PRId64 "/%02u/%02u %02u:%02u:%02u", c.year, c.month, c.day, c.hour, c.minute, c.second);
}

std::string OptionsText(const CopyOptions &o)
{
    std::string text;
    if (o.fileNames.empty()) {
        text = "*.*";
    } else {
        for (const std::string &name : o.fileNames) {
            if (!text.empty())
                text += ' ';
            text += DisplayName(name);
        }
    }
    const auto add = [&](bool on, std::string_view sw) {
        if (on) {
            text += ' ';
            text += sw;
        }
    };
    const auto addValue = [&](bool on, std::string_view sw, const std::string &value) {
        if (on) {
            text += ' ';
            text += sw;
            text += value;
        }
    };
    // Time comparison, then what is shown, then the tree, what is copied and
    // how, selection, threads and retries: the order Robocopy prints.
    add(o.fatTimes, "/FFT");
    add(o.dstCompensation, "/DST");
    add(o.reportExtra, "/X");
    add(o.verbose, "/V");
    add(o.timestamps, "/TS");
    add(o.fullPaths, "/FP");
    add(o.bytes, "/BYTES");
    add(o.noSize, "/NS");
    add(o.noClass, "/NC");
    add(o.noFileList, "/NFL");
    add(o.noDirList, "/NDL");
    add(o.listOnly, "/L");
    add(o.noProgress, "/NP");
    add(o.eta, "/ETA");
    add(o.tee, "/TEE");
    add(o.noHeader, "/NJH");
    add(o.noSummary, "/NJS");
    add(o.unicodeOutput, "/UNICODE");
    add(o.subdirectories, "/S");
    add(o.subdirectories && o.emptyDirectories, "/E");
    addValue(o.levels > 0, "/LEV:", std::to_string(o.levels));
    if (o.dirCopyFlags == 0)
        add(true, "/NODCOPY");
    else
        addValue(true, "/DCOPY:", copyLetters(o.dirCopyFlags, true));
    if (o.copyFlags == 0)
        add(true, "/NOCOPY");
    else
        addValue(true, "/COPY:", copyLetters(o.copyFlags, false));
    add(o.secFix, "/SECFIX");
    add(o.timFix, "/TIMFIX");
    add(o.purge, "/PURGE");
    add(o.mirror, "/MIR");
    add(o.moveFiles && !o.moveDirs, "/MOV");
    add(o.moveDirs, "/MOVE");
    addValue(o.addAttributes != 0, "/A+:", attributeLetters(o.addAttributes, false));
    addValue(o.removeAttributes != 0, "/A-:", attributeLetters(o.removeAttributes, true));
    add(o.create, "/CREATE");
    add(o.fatNames, "/FAT");
    add(o.longPaths, "/256");
    add(o.efsRaw, "/EFSRAW");
    add(o.restartable && o.backup, "/ZB");
    add(o.restartable && !o.backup, "/Z");
    add(o.backup && !o.restartable, "/B");
    add(o.unbuffered, "/J");
    add(o.noOffload, "/NOOFFLOAD");
    add(o.noClone, "/NOCLONE");
    add(o.symbolicLinks, "/SL");
    add(o.junctionsAsJunctions, "/SJ");
    add(o.sparse, "/SPARSE");
    addValue(o.monitorChanges > 0, "/MON:", std::to_string(o.monitorChanges));
    addValue(o.monitorMinutes > 0, "/MOT:", std::to_string(o.monitorMinutes));
    addValue(o.runHours.set, "/RH:",
             fmt("%02u%02u-%02u%02u", o.runHours.startMinute / 60u, o.runHours.startMinute % 60u,
                    o.runHours.endMinute / 60u, o.runHours.endMinute % 60u));
    add(o.perFileRunHours, "/PF");
    addValue(o.interPacketGapMs > 0, "/IPG:", std::to_string(o.interPacketGapMs));
    add(o.archiveOnly && !o.archiveReset, "/A");
    add(o.archiveReset, "/M");
    addValue(o.includeAttributes != 0, "/IA:", attributeLetters(o.includeAttributes, true));
    addValue(o.excludeAttributes != 0, "/XA:", attributeLetters(o.excludeAttributes, true));
    add(o.excludeJunctions, "/XJ");
    add(o.excludeDirJunctions, "/XJD");
    add(o.excludeFileJunctions, "/XJF");
    add(o.excludeChanged, "/XC");
    add(o.excludeNewer, "/XN");
    add(o.excludeOlder, "/XO");
    add(o.excludeExtra, "/XX");
    add(o.excludeLonely, "/XL");
    add(o.includeSame, "/IS");
    add(o.includeTweaked, "/IT");
    add(o.includeModified, "/IM");
    addValue(o.maxSize.has_value(), "/MAX:", o.maxSize ? std::to_string(*o.maxSize) : std::string());
    addValue(o.minSize.has_value(), "/MIN:", o.minSize ? std::to_string(*o.minSize) : std::string());
    addValue(o.maxAge.set, "/MAXAGE:", ageText(o.maxAge));
    addValue(o.minAge.set, "/MINAGE:", ageText(o.minAge));
    addValue(o.maxLad.set, "/MAXLAD:", ageText(o.maxLad));
    addValue(o.minLad.set, "/MINLAD:", ageText(o.minLad));
    addValue(o.threads > 0, "/MT:", std::to_string(o.threads));
    addValue(true, "/R:", std::to_string(o.retries));
    addValue(true, "/W:", std::to_string(o.waitSeconds));
    add(o.saveRetries, "/REG");
    add(o.waitForShare, "/TBD");
    return text;
}

std::string InvalidParameterText(int index, std::string_view word)
{
    std::string text = fmt("ERROR : Invalid Parameter #%d : \"", index);
    text += DisplayName(word);
    text += "\"\n\n"
            "       Simple Usage :: corvane-copy source destination /MIR\n\n"
            "             source :: Source Directory (/path, or a path with \\ read as /).\n"
            "        destination :: Destination Dir  (/path, or a path with \\ read as /).\n"
            "               /MIR :: Mirror a complete directory tree.\n\n"
            "    For more usage information run corvane-copy /?\n\n"
            "****  /MIR can DELETE files as well as copy them !\n";
    return text;
}

std::string UsageText()
{
    return "\n       Simple Usage :: corvane-copy source destination [file [file]...] [options]\n\n"
           "             source :: Source Directory (/path, or a path with \\ read as /).\n"
           "        destination :: Destination Dir  (/path, or a path with \\ read as /).\n"
           "               file :: File(s) to copy  (names/wildcards: default is \"*.*\").\n\n"
           "    Robocopy's switches, as Microsoft's robocopy page describes them:\n\n"
           "  as documented :: /S /E /LEV:n /PURGE /MIR /MOV /MOVE /CREATE /L /NOCOPY /TIMFIX\n"
           "                   /XC /XN /XO /XX /XL /IS /IT /MAX:n /MIN:n /MAXAGE:n /MINAGE:n\n"
           "                   /MAXLAD:n /MINLAD:n /XF /XD /IF /XJ /XJD /XJF /SL /FFT /DST\n"
           "                   /R:n /W:n /MT[:n] /X /V /TS /FP /BYTES /NS /NC /NFL /NDL /NP\n"
           "                   /ETA /NJH /NJS /LOG: /LOG+: /UNILOG: /UNILOG+: /TEE\n"
           "                   /JOB: /SAVE: /QUIT /NOSD /NODD /SD: /DD: /?\n"
           "  as Linux has it :: /COPY: and /DCOPY: D data, A attributes, T times, S the mode\n"
           "                   and POSIX ACLs (files and folders), O owner and group, E\n"
           "                   extended attributes of folders; /COPYALL /SEC /NODCOPY;\n"
           "                   /SECFIX /TIMFIX set security and times of skipped files too;\n"
           "                   /A /M /IA: /XA: /A+: /A-: on the DOS attributes\n"
           "                   kept in user.DOSATTRIB (R: the owner's write permission);\n"
           "                   /Z resumes a killed copy; /J unbuffered (O_DIRECT); /IPG:n;\n"
           "                   /NOOFFLOAD and /NOCLONE copy through user space; /SJ copies\n"
           "                   links to folders as links; /SPARSE; /MON:n /MOT:m /RH: /PF\n"
           "  with a NOTE   :: /B /ZB (backup mode) /EFSRAW /FAT /256 /REG /TBD /IM\n"
           "                   /UNICODE /COMPRESS /LFSM /IOMAXSIZE: /IORATE: /THRESHOLD:\n"
           "                   /COPY:U: accepted, nothing on Linux means the same.\n\n"
           "****  /MIR can DELETE files as well as copy them !\n";
}

std::string LogFileNotice(std::string_view logFile)
{
    return "\n Log File : " + DisplayName(logFile) + "\n";
}

// ---------------------------------------------------------------------------

Report::Report(const CopyOptions &options, int32_t utcOffsetSeconds)
    : m_options(options), m_utcOffsetSeconds(utcOffsetSeconds)
{
}

std::string Report::header(int64_t startedNs) const
{
    const CopyOptions &o = m_options;
    if (o.noHeader)
        return {};
    const auto folder = [](const std::string &path) {
        std::string shown = DisplayName(path);
        if (!shown.empty() && shown.back() != '/')
            shown += '/';
        return shown;
    };
    std::string text;
    text += HeaderRule + '\n';
    text += Title;
    text += '\n';
    text += HeaderRule + "\n\n";
    text += "  Started : " + LongDateTime(startedNs, m_utcOffsetSeconds) + '\n';
    if (!o.logFile.empty())
        text += " Log File : " + DisplayName(o.logFile) + '\n';
    for (const std::string &job : o.jobs)
        text += " Job File : " + DisplayName(job) + '\n';
    text += "   Source : " + folder(o.source) + '\n';
    text += "     Dest : " + folder(o.destination) + "\n\n";
    appendList(text, "Files", o.fileNames.empty() ? std::vector<std::string>{"*.*"} : o.fileNames);
    text += '\n';
    if (!o.excludeFiles.empty()) {
        appendList(text, "Exc Files", o.excludeFiles);
        text += '\n';
    }
    if (!o.excludeDirs.empty()) {
        appendList(text, "Exc Dirs", o.excludeDirs);
        text += '\n';
    }
    text += "  Options : " + OptionsText(o) + "\n\n";
    bool notes = false;
    for (const std::string &sw : o.withoutEffect) {
        text += "     NOTE : " + sw + " is accepted and has no effect here.\n";
        notes = true;
    }
    if (o.copyFlags & CopyFlag::Auditing) {
        text += "     NOTE : /COPY:U (auditing information) has no equivalent here and is not copied.\n";
        notes = true;
    }
    if (notes)
        text += '\n';
    text += SummaryRule + "\n\n";
    return text;
}

std::string Report::closeLine()
{
    if (!m_lineOpen)
        return {};
    m_lineOpen = false;
    return "\n";
}

std::string Report::format(const Event &event)
{
    std::string text;
    switch (event.kind) {
    case EventKind::Dir:
        text = closeLine();
        if (!m_options.noDirList && (m_options.verbose || !skippedTag(event.tag))
            && (!multiThreadedForm() || event.tag == Tag::ExtraDir || event.tag == Tag::Mismatch))
            text += dirLine(event);
        return text;
    case EventKind::File: {
        text = closeLine();
        if (m_options.noFileList || (skippedTag(event.tag) && !m_options.verbose))
            return text;
        const bool copy = copiedTag(event.tag);
        // Nothing is copied under /L, so there are no percentages to wait for.
        const bool progress = copy && !m_options.noProgress && !m_options.listOnly;
        if (multiThreadedForm()) {
            if (progress)
                text += "100%";
            text += fileLine(event);
            text += '\n';
        } else if (progress) {
            text += fileLine(event);
            m_lineOpen = true;
            m_percentShown = -1;
        } else {
            text += fileLine(event);
            text += '\n';
        }
        return text;
    }
    case EventKind::Progress: {
        if (!m_lineOpen)
            return {};
        const int percent = static_cast<int>(std::min<uint32_t>(event.permille, 1000) / 10);
        if (percent != m_percentShown) {
            text = copy::fmt("\r%3d%%", percent);
            m_percentShown = percent;
        }
        if (event.permille >= 1000)
            text += closeLine();
        return text;
    }
    case EventKind::Error:
        return closeLine() + errorLines(event);
    case EventKind::Note:
        return closeLine() + "     NOTE : " + event.message + '\n';
    }
    return text;
}

std::string Report::dirLine(const Event &event) const
{
    std::string tag = m_options.noClass ? std::string() : fileTagText(event.tag);
    return "\t" + padRight(std::move(tag), 10) + copy::fmt("%10" PRId64, event.count) + "\t"
        + DisplayName(event.dir) + "\n";
}

std::string Report::fileLine(const Event &event) const
{
    const CopyOptions &o = m_options;
    std::string line = "\t  ";
    if (!o.noClass)
        line += fileTagText(event.tag);
    line += "\t\t";
    if (!o.noSize)
        line += padLeft(FileSizeText(event.size, o.bytes), 8);
    if (o.timestamps) {
        if (!o.noSize)
            line += ' ';
        line += StampDateTime(event.mtimeNs, m_utcOffsetSeconds);
    }
    line += '\t';
    const bool fullPath = o.fullPaths || multiThreadedForm() || event.tag == Tag::ExtraFile;
    line += DisplayName(fullPath ? event.dir + event.name : event.name);
    if (o.eta && copiedTag(event.tag) && event.etaNs > 0) {
        const auto hhmm = [&](int64_t ns) { return StampDateTime(ns, m_utcOffsetSeconds).substr(11, 5); };
        line += "\t" + hhmm(event.timeNs) + " -> " + hhmm(event.etaNs);
    }
    return line;
}

std::string Report::errorLines(const Event &event) const
{
    std::string text = StampDateTime(event.timeNs, m_utcOffsetSeconds);
    text += copy::fmt(" ERROR %d (0x%08X) ", event.error, static_cast<unsigned>(event.error));
    text += ErrorActionText(event.action);
    text += ' ';
    text += DisplayName(event.dir + event.name);
    text += '\n';
    text += event.message;
    text += '\n';
    switch (event.retry) {
    case RetryState::None: break;
    case RetryState::Waiting: text += copy::fmt("Waiting %u seconds... Retrying...\n", event.waitSeconds); break;
    case RetryState::LimitExceeded: text += "ERROR: RETRY LIMIT EXCEEDED.\n\n"; break;
    }
    return text;
}

std::string Report::summary(const Totals &totals, int64_t endedNs) const
{
    if (m_options.noSummary)
        return {};
    const bool raw = m_options.bytes;
    const auto cell = [](const std::string &value) { return padLeft(value, 10); };
    const auto row = [&](std::string_view label, const Counts &counts, bool sizes) {
        std::string line = padLeft(std::string(label), 8) + " :";
        for (uint64_t value : counts.value)
            line += cell(sizes ? SummarySizeText(value, raw) : std::to_string(value));
        return line + '\n';
    };
    std::string text = "\n" + SummaryRule + "\n\n";
    text += "               Total    Copied   Skipped  Mismatch    FAILED    Extras\n";
    text += row("Dirs", totals.dirs, false);
    text += row("Files", totals.files, false);
    text += row("Bytes", totals.bytes, true);
    text += "   Times :" + cell(clockText(totals.totalNs)) + cell(clockText(totals.copiedNs)) + std::string(20, ' ')
        + cell(clockText(totals.failedNs)) + cell(clockText(totals.extrasNs)) + "\n\n";
    // Speed over the time spent copying, whole bytes per second and
    // megabytes (of 1,048,576 bytes) per minute to three places, cut, not rounded.
    const uint64_t copied = totals.bytes[Column::Copied];
    const double perSecond = totals.copiedNs > 0
        ? static_cast<double>(copied) * double(NsPerSecond) / static_cast<double>(totals.copiedNs)
        : 0.0;
    const double perMinute = std::floor(perSecond * 60.0 / 1048576.0 * 1000.0) / 1000.0;
    text += "   Speed :" + padLeft(copy::fmt("%.0f", std::floor(perSecond)), 20) + " Bytes/sec.\n";
    text += "   Speed :" + padLeft(copy::fmt("%.3f", perMinute), 20) + " MegaBytes/min.\n";
    text += "   Ended : " + LongDateTime(endedNs, m_utcOffsetSeconds) + "\n\n";
    return text;
}

} // namespace copy
