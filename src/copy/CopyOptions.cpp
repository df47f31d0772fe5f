#include "copy/CopyOptions.h"

#include "command/CommandFileText.h"
#include "command/CommandReader.h"
#include "command/CommandWords.h"
#include "command/SwitchTable.h"
#include "copy/NameBytes.h"
#include "copy/Report.h"

#include <QByteArray>
#include <QHash>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace copy {

namespace {

// ---------------------------------------------------------------------------
// Bytes and text. The command grammar works on QString; an argument's bytes
// pass through it unchanged: a byte that is no UTF-8 travels as a lone
// surrogate (0xDC00 + byte) and comes back as itself.

QString text(std::string_view bytes)
{
    QString s;
    s.reserve(static_cast<qsizetype>(bytes.size()));
    for (size_t at = 0; at < bytes.size();) {
        char32_t c = 0;
        at += DecodeAt(bytes, at, c);
        if (c >= 0x10000) {
            const char32_t v = c - 0x10000;
            s += QChar(static_cast<char16_t>(0xD800 + (v >> 10)));
            s += QChar(static_cast<char16_t>(0xDC00 + (v & 0x3FF)));
        } else {
            s += QChar(static_cast<char16_t>(c));
        }
    }
    return s;
}

std::string bytes(QStringView s)
{
    std::string out;
    out.reserve(static_cast<size_t>(s.size()));
    for (qsizetype i = 0; i < s.size(); ++i) {
        const char16_t u = s.at(i).unicode();
        if (QChar::isHighSurrogate(u) && i + 1 < s.size() && QChar::isLowSurrogate(s.at(i + 1).unicode())) {
            AppendCodePoint(out, QChar::surrogateToUcs4(u, s.at(i + 1).unicode()));
            ++i;
        } else {
            AppendCodePoint(out, u);
        }
    }
    return out;
}

// ---------------------------------------------------------------------------
// The grammar's table.

// The name of a switch word, without its slash and value.
QStringView switchName(QStringView word)
{
    QStringView name = word.sliced(1);
    if (const qsizetype colon = name.indexOf(u':'); colon >= 0)
        name = name.first(colon);
    return name;
}

const SwitchSpec *findRow(QStringView name)
{
    for (const SwitchSpec &row : switchTable())
        for (QStringView n : row.names)
            if (!n.isEmpty() && name.compare(n, Qt::CaseInsensitive) == 0)
                return &row;
    return nullptr;
}

// Which of its row's names a switch uses (/E or /S, /LOG or /LOG+, ...).
size_t nameIndex(const SwitchSpec &row, QStringView name)
{
    for (size_t i = 0; i < row.names.size(); ++i)
        if (!row.names[i].isEmpty() && name.compare(row.names[i], Qt::CaseInsensitive) == 0)
            return i;
    return 0;
}

bool knownWithoutOption(QStringView name)
{
    const auto others = switchesWithoutOption();
    return std::any_of(others.begin(), others.end(),
                       [&](QStringView other) { return name.compare(other, Qt::CaseInsensitive) == 0; });
}

// The letters of a letter switch as bits of the options.
uint16_t attributeBit(char letter)
{
    switch (letter) {
    case 'R': return Attr::ReadOnly;
    case 'A': return Attr::Archive;
    case 'S': return Attr::System;
    case 'H': return Attr::Hidden;
    case 'C': return Attr::Compressed;
    case 'N': return Attr::NotContentIndexed;
    case 'E': return Attr::Encrypted;
    case 'T': return Attr::Temporary;
    case 'O': return Attr::Offline;
    }
    return 0;
}

uint8_t copyBit(char letter)
{
    switch (letter) {
    case 'D': return CopyFlag::Data;
    case 'A': return CopyFlag::Attributes;
    case 'T': return CopyFlag::Times;
    case 'S': return CopyFlag::Security;
    case 'O': return CopyFlag::Owner;
    case 'U': return CopyFlag::Auditing;
    case 'X': return CopyFlag::SkipAltStreams;
    case 'E': return CopyFlag::ExtendedAttributes;
    }
    return 0;
}

// Plain on/off switches: the control the grammar sets and the field it stands for.
struct FlagField
{
    QLatin1StringView control;
    bool CopyOptions::*field;
};
constexpr FlagField kFlagFields[] = {
    {"chkUnbuffered"_L1, &CopyOptions::unbuffered},
    {"chkNoOffload"_L1, &CopyOptions::noOffload},
    {"chkSecFix"_L1, &CopyOptions::secFix},
    {"chkTimeFix"_L1, &CopyOptions::timFix},
    {"chkNoCopy"_L1, &CopyOptions::noCopy},
    {"chkPurge"_L1, &CopyOptions::purge},
    {"chkMirror"_L1, &CopyOptions::mirror},
    {"chkEmptyFiles"_L1, &CopyOptions::create},
    {"chkFATFilenames"_L1, &CopyOptions::fatNames},
    {"chkFATFiletimes"_L1, &CopyOptions::fatTimes},
    {"chkEfsRaw"_L1, &CopyOptions::efsRaw},
    {"chk256Char"_L1, &CopyOptions::longPaths},
    {"chkFrequentChecks"_L1, &CopyOptions::perFileRunHours},
    {"chkSymbolicLink"_L1, &CopyOptions::symbolicLinks},
    {"chkExcludeJunctionPoints"_L1, &CopyOptions::excludeJunctions},
    {"chkExcludeJunctionPointsDir"_L1, &CopyOptions::excludeDirJunctions},
    {"chkExcludeJunctionPointsFile"_L1, &CopyOptions::excludeFileJunctions},
    {"chkDstAdjust"_L1, &CopyOptions::dstCompensation},
    {"chkExcludeChanged"_L1, &CopyOptions::excludeChanged},
    {"chkExcludeNewer"_L1, &CopyOptions::excludeNewer},
    {"chkExcludeOlder"_L1, &CopyOptions::excludeOlder},
    {"chkExcludeExtra"_L1, &CopyOptions::excludeExtra},
    {"chkExcludeLonely"_L1, &CopyOptions::excludeLonely},
    {"chkIncludeSame"_L1, &CopyOptions::includeSame},
    {"chkIncludeTweaked"_L1, &CopyOptions::includeTweaked},
    {"chkRetriesSave"_L1, &CopyOptions::saveRetries},
    {"chkWaitForShare"_L1, &CopyOptions::waitForShare},
    {"chkListFilesOnly"_L1, &CopyOptions::listOnly},
    {"chkDspExtra"_L1, &CopyOptions::reportExtra},
    {"chkDspVerbose"_L1, &CopyOptions::verbose},
    {"chkDspTimestamps"_L1, &CopyOptions::timestamps},
    {"chkDspFullPaths"_L1, &CopyOptions::fullPaths},
    {"chkLogSizeBytes"_L1, &CopyOptions::bytes},
    {"chkDspNoClasses"_L1, &CopyOptions::noClass},
    {"chkDspNoSizes"_L1, &CopyOptions::noSize},
    {"chkLogNoFolderNames"_L1, &CopyOptions::noDirList},
    {"chkLogNoFilenames"_L1, &CopyOptions::noFileList},
    {"chkLogNoHeader"_L1, &CopyOptions::noHeader},
    {"chkLogNoSummary"_L1, &CopyOptions::noSummary},
    {"chkLogNoProgress"_L1, &CopyOptions::noProgress},
    {"chkDspETA"_L1, &CopyOptions::eta},
    {"chkJobQuit"_L1, &CopyOptions::quit},
    {"chkJobNoSource"_L1, &CopyOptions::noSource},
    {"chkJobNoDest"_L1, &CopyOptions::noDestination},
};

template <typename T>
bool parseNumber(const std::string &value, T &out)
{
    if (value.empty())
        return false;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), out);
    return error == std::errc() && end == value.data() + value.size();
}

bool validDate(uint32_t yyyymmdd)
{
    const uint32_t year = yyyymmdd / 10000;
    const uint32_t month = yyyymmdd / 100 % 100;
    const uint32_t day = yyyymmdd % 100;
    static constexpr uint32_t days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1601 || month < 1 || month > 12 || day < 1 || day > days[month - 1])
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month != 2 || day <= 28 || leap;
}

// "hhmm", 0000 to 2359, as minutes after midnight.
bool parseHour(const std::string &value, uint16_t &minutes)
{
    unsigned n = 0;
    if (value.size() != 4 || !parseNumber(value, n) || n / 100 > 23 || n % 100 > 59)
        return false;
    minutes = static_cast<uint16_t>(n / 100 * 60 + n % 100);
    return true;
}

// A path as the run uses it: '\' read as '/', made absolute against the
// working folder, "." and ".." and doubled slashes taken out by their text.
std::string absolutePath(std::string path, const std::string &cwd)
{
    std::replace(path.begin(), path.end(), '\\', '/');
    if (path.empty())
        return path;
    if (path.front() != '/')
        path = cwd + '/' + path;
    std::vector<std::string_view> parts;
    std::string_view rest = path;
    while (!rest.empty()) {
        const size_t slash = rest.find('/');
        const std::string_view part = rest.substr(0, slash);
        rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
        if (part.empty() || part == ".")
            continue;
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::string out;
    for (std::string_view part : parts) {
        out += '/';
        out.append(part);
    }
    return out.empty() ? "/" : out;
}

// ---------------------------------------------------------------------------
// The reading of one layer: the command line, or a job file. The window's
// command reader (command/CommandReader.h) tells what each word is: a switch
// of the table, one Robocopy knows that no control stands for, one Robocopy
// refuses and why, or a folder, a file name or a name of /XF or /XD. The
// engine takes values and names from the words themselves, as bytes.

// Whether Robocopy itself refuses a word the reader left out, with "Invalid
// Parameter". The reader's other reasons are the window's (a path with a
// double quotation mark, /TEE without a log file, a value it could not
// write back): Robocopy takes such a word, and so does the engine.
bool refused(LeftOutReason reason)
{
    return reason == LeftOutReason::UnknownSwitch || reason == LeftOutReason::TakesNoValue
        || reason == LeftOutReason::NeedsValue || reason == LeftOutReason::BadValue
        // In a job file: a line that no switch takes.
        || reason == LeftOutReason::NotTaken;
}

// One switch where it stood.
struct Use
{
    const SwitchSpec *row = nullptr; // none for a switch the table has no row for
    size_t name = 0;                 // which of the row's names
    int index = -1;                  // 0-based place among the arguments; -1 in a job file
    QString word;                    // as given, for an error line
    bool hasValue = false;           // a colon follows the name
    std::string value;               // after the colon, as bytes
    std::optional<LeftOutReason> leftOut; // why the reader left the word out, when it did
};

// A folder or a name, and its place among the arguments (-1 in a job file).
struct Name
{
    int index = -1;
    std::string bytes;
};

struct Layer
{
    std::vector<Use> uses;        // in the order they stood
    std::vector<Name> positional; // the command line's words that are no switch and follow none of /XF /XD /IF
    std::vector<Name> fileNames;  // the names of /IF
    std::vector<std::string> excludeFiles;
    std::vector<std::string> excludeDirs;
    bool namesFiles = false;      // /IF stood in the layer
    bool namesExcludeFiles = false;
    bool namesExcludeDirs = false;
};

// Which list the names after a switch go to, or none.
bool *namesFlag(Layer &layer, const Use &use)
{
    const QStringView first = use.row->names[0];
    if (use.row->rule == SwitchRule::List)
        return first == u"XF" ? &layer.namesExcludeFiles : &layer.namesExcludeDirs;
    if (first == u"IF" && !use.hasValue)
        return &layer.namesFiles;
    return nullptr;
}

// The command line as a layer for the run, and as the layer /SAVE: writes
// (the same but for the switches after /SAVE:).
struct CommandLine
{
    Layer run;
    Layer saved;
    std::vector<std::pair<std::string, int>> jobs; // /JOB: files, and where each stood
    bool usage = false;                             // /?
};

CommandLine readCommandLine(const std::vector<std::string> &args,
                            const std::function<bool(const std::string &path)> &isFolder)
{
    CommandLine c;
    const size_t count = args.size();
    // Every word that is no switch reaches the reader as a stand-in that
    // names its place: the reader places it (folder, file name, name of a
    // list) by where it stands, and the engine takes it back as the bytes
    // it was, whatever they hold.
    QStringList words;
    QHash<QString, size_t> standIns;
    std::vector<bool> isName(count);
    for (size_t i = 0; i < count; ++i) {
        const QString word = text(args[i]);
        bool name = !IsSwitchWord(word);
        // "/data" reads as a switch Robocopy does not know; the engine takes
        // it for the folder when one of that name exists.
        if (!name && isFolder && !word.contains(u':')) {
            const QStringView n = switchName(word);
            name = !findRow(n) && !knownWithoutOption(n) && isFolder(args[i]);
        }
        if (!name) {
            words << word;
            continue;
        }
        const QString standIn = u"#"_s + QString::number(i);
        standIns.insert(standIn, i);
        words << standIn;
        isName[i] = true;
    }
    const CommandReading reading = ReadArguments(words);
    std::vector<const LeftOut *> leftOut(count, nullptr);
    for (const LeftOut &item : reading.leftOut)
        if (item.position >= 0 && static_cast<size_t>(item.position) < count)
            if (const size_t at = static_cast<size_t>(item.position); !leftOut[at])
                leftOut[at] = &item;

    // The switches, in their order.
    size_t saveAt = count;
    std::vector<const Use *> opener(count, nullptr); // for a name: the switch whose names it may be
    const Use *lastSwitch = nullptr;
    std::vector<Use> uses;
    uses.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        if (isName[i]) {
            opener[i] = lastSwitch;
            continue;
        }
        Use use;
        use.index = static_cast<int>(i);
        use.word = words.at(static_cast<qsizetype>(i));
        const QStringView name = switchName(use.word);
        use.row = findRow(name);
        if (use.row)
            use.name = nameIndex(*use.row, name);
        if (const size_t colon = args[i].find(':'); colon != std::string::npos) {
            use.hasValue = true;
            use.value = args[i].substr(colon + 1);
        }
        if (const LeftOut *item = leftOut[i])
            use.leftOut = item->reason;
        if (name == u"?" && !use.hasValue)
            c.usage = true;
        uses.push_back(std::move(use));
        lastSwitch = &uses.back();
    }
    for (const Use &use : uses) {
        const size_t i = static_cast<size_t>(use.index);
        const bool taken = use.row && (!use.leftOut || !refused(*use.leftOut));
        if (taken) {
            if (bool *names = namesFlag(c.run, use)) {
                *names = true;
                if (i < saveAt)
                    *namesFlag(c.saved, use) = true;
                continue;
            }
            const QStringView first = use.row->names[0];
            if (first == u"IF") {
                // The builder's /IF:names: the names in its value.
                for (const QString &n : SplitWords(text(use.value)))
                    c.run.fileNames.push_back({use.index, bytes(n)});
                c.run.namesFiles = true;
                c.saved.namesFiles = c.saved.namesFiles || i < saveAt;
                continue;
            }
            if (first == u"JOB") {
                c.jobs.emplace_back(use.value, use.index);
                continue;
            }
            if (first == u"SAVE" && saveAt == count)
                saveAt = i;
        }
        c.run.uses.push_back(use);
        if (i <= saveAt)
            c.saved.uses.push_back(use);
    }

    // The names, where the reader placed them.
    const auto placeOf = [&](const QString &standIn) { return standIns.value(standIn, count); };
    const auto listOf = [&](QLatin1StringView field) {
        std::vector<std::string> names;
        for (const QString &standIn : reading.received.value(field))
            if (const size_t i = placeOf(standIn); i < count)
                names.push_back(args[i]);
        return names;
    };
    // A name after /IF (either form) is one of its names. Each word is
    // placed once: the value of "/IF:#3" reads like a stand-in.
    const auto listed = [&](size_t i) {
        const Use *before = opener[i];
        return isName[i] && before && before->row && before->row->names[0] == u"IF";
    };
    std::vector<bool> placed(count);
    const auto addFileName = [&](size_t i) {
        if (placed[i])
            return;
        placed[i] = true;
        (listed(i) ? c.run.fileNames : c.run.positional).push_back({static_cast<int>(i), args[i]});
    };
    for (QLatin1StringView field : {kSourceField, kDestinationField})
        for (const QString &standIn : reading.received.value(field))
            if (const size_t i = placeOf(standIn); i < count)
                c.run.positional.push_back({static_cast<int>(i), args[i]});
    for (const QString &standIn : reading.received.value(kFileNamesField))
        if (const size_t i = placeOf(standIn); i < count)
            addFileName(i);
    for (const QString &standIn : reading.received.value(kIncludeFilesField))
        if (const size_t i = placeOf(standIn); i < count && listed(i))
            addFileName(i);
    // Names the window cannot hold (file names without both folders) are
    // still names.
    for (const LeftOut &item : reading.leftOut)
        if (const size_t i = placeOf(item.text); i < count)
            addFileName(i);
    const auto byPlace = [](const Name &a, const Name &b) { return a.index < b.index; };
    std::sort(c.run.positional.begin(), c.run.positional.end(), byPlace);
    std::sort(c.run.fileNames.begin(), c.run.fileNames.end(), byPlace);
    c.run.excludeFiles = listOf("txtExcludeFiles"_L1);
    c.run.excludeDirs = listOf("txtExcludeFolders"_L1);

    // /SAVE: writes the folders and the names of the lists named before it.
    c.saved.positional = c.run.positional;
    if (c.saved.namesFiles)
        c.saved.fileNames = c.run.fileNames;
    if (c.saved.namesExcludeFiles)
        c.saved.excludeFiles = c.run.excludeFiles;
    if (c.saved.namesExcludeDirs)
        c.saved.excludeDirs = c.run.excludeDirs;
    return c;
}

// A job file, read by the reader's job reading.
bool readJobLayer(Layer &layer, const QString &jobText)
{
    const CommandReading reading = ReadJob(jobText);
    if (!reading.found)
        return false;
    const auto received = [&](QLatin1StringView field) {
        const QStringList values = reading.received.value(field);
        return values.isEmpty() ? std::optional<std::string>() : std::optional<std::string>(bytes(values.first()));
    };
    const auto names = [&](QLatin1StringView field) {
        std::vector<std::string> out;
        for (const QString &n : reading.received.value(field))
            out.push_back(bytes(n));
        return out;
    };
    // What the reader left out: switches Robocopy refuses, those the window
    // has no control or letter for; file names without folders (a template).
    for (const LeftOut &item : reading.leftOut) {
        if (item.kind == LeftOutKind::Switch
            && (refused(item.reason) || item.reason == LeftOutReason::NoOption
                || item.reason == LeftOutReason::UnknownLetters)) {
            Use use;
            use.word = item.text;
            use.hasValue = item.text.contains(u':');
            use.leftOut = item.reason;
            layer.uses.push_back(std::move(use));
        } else if (item.kind == LeftOutKind::Word && item.reason == LeftOutReason::NotTaken) {
            Use use;
            use.word = item.text;
            use.leftOut = item.reason;
            layer.uses.push_back(std::move(use));
        } else if (item.reason == LeftOutReason::NoFolders) {
            const QStringList words = SplitWords(item.text);
            layer.fileNames.push_back({-1, bytes(words.size() == 1 ? words.first() : item.text)});
        }
    }
    // The switches a job names, line by line.
    for (QStringView line : QStringView(jobText).split(u'\n')) {
        if (const qsizetype comment = line.indexOf(u"::"); comment >= 0)
            line = line.first(comment);
        for (const CommandWord &w : CommandWords(line.trimmed())) {
            if (!IsSwitchWord(w.value))
                continue;
            Use use;
            const QStringView name = switchName(w.value);
            use.row = findRow(name);
            if (!use.row)
                continue;
            use.name = nameIndex(*use.row, name);
            use.word = w.value;
            use.hasValue = w.value.contains(u':');
            if (use.hasValue)
                use.value = bytes(QStringView(w.value).sliced(w.value.indexOf(u':') + 1));
            if (bool *flag = namesFlag(layer, use)) {
                *flag = true;
                continue;
            }
            // A value runs to the next switch of its line; the reader has it whole.
            const auto &[control, second, unused] = use.row->controls;
            std::optional<std::string> value;
            switch (use.row->rule) {
            case SwitchRule::Text:
            case SwitchRule::Log:
            case SwitchRule::Threads:
                value = received(use.row->rule == SwitchRule::Threads ? second : control);
                break;
            case SwitchRule::Path:
                value = received(use.name == 0 && use.row->names[0] == u"SD"   ? kSourceField
                                 : use.name == 0 && use.row->names[0] == u"DD" ? kDestinationField
                                                                                : control);
                break;
            case SwitchRule::RunHours:
                if (const auto start = received(control), end = received(second); start && end)
                    value = *start + '-' + *end;
                break;
            default:
                break;
            }
            if (value)
                use.value = *value;
            if (use.row->names[0] == u"IF") {
                layer.namesFiles = true; // its names, the one after a colon too, are the reader's
                continue;
            }
            layer.uses.push_back(std::move(use));
        }
    }
    if (layer.namesFiles)
        for (std::string &n : names(kIncludeFilesField))
            layer.fileNames.push_back({-1, std::move(n)});
    layer.excludeFiles = names("txtExcludeFiles"_L1);
    layer.excludeDirs = names("txtExcludeFolders"_L1);
    return true;
}

// ---------------------------------------------------------------------------
// From the switches of a layer to the options.

struct Reading
{
    explicit Reading(CopyOptions &options) : o(options) {}

    CopyOptions &o;
    std::string explicitSource; // /SD:
    std::string explicitDestination; // /DD:
    std::string jobSource; // a job's folders
    std::string jobDestination;
    std::string error;
    int errorIndex = 0;
    int commandIndex = 0; // where a job's own errors are counted: its /JOB: word

    bool fail(int index, const QString &word)
    {
        if (error.empty()) {
            errorIndex = index >= 0 ? index + 1 : commandIndex;
            error = InvalidParameterText(errorIndex, bytes(word));
            // A folder written as Robocopy would read a switch.
            if (index >= 0 && word.startsWith(u'/') && !word.contains(u':') && !word.sliced(1).contains(u'/')
                && !findRow(switchName(word)) && !knownWithoutOption(switchName(word)))
                error += "\nA folder such as " + DisplayName(bytes(word)) + " is read as a switch; write it as "
                    + DisplayName(bytes(word)) + "/ to name the folder.\n";
        }
        return false;
    }
};

uint8_t copyFlags(const std::string &letters)
{
    uint8_t flags = 0;
    for (char c : letters)
        flags |= copyBit(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    return flags;
}

uint16_t attributeBits(const std::string &letters)
{
    uint16_t bits = 0;
    for (char c : letters)
        bits |= attributeBit(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    return bits;
}

void applyRow(Reading &r, const Use &use, bool commandLine)
{
    CopyOptions &o = r.o;
    const SwitchSpec &row = *use.row;
    const QLatin1StringView control = row.controls[0];
    const auto bad = [&]() { r.fail(use.index, use.word); };
    const QStringView name = row.names[0];
    const std::string &text = use.value;

    switch (row.rule) {
    case SwitchRule::Flag:
        for (const FlagField &f : kFlagFields)
            if (f.control == control)
                o.*f.field = true;
        return;
    case SwitchRule::Subdirectories: // E, S
        o.subdirectories = true;
        o.emptyDirectories = o.emptyDirectories || use.name == 0;
        return;
    case SwitchRule::RestartableBackup: // ZB, Z, B
        o.restartable = o.restartable || use.name != 2;
        o.backup = o.backup || use.name != 1;
        return;
    case SwitchRule::CopyLetters: // COPYALL, SEC, COPY
        o.copyFlags = use.name == 0 ? copyFlags("DATSOU") : use.name == 1 ? copyFlags("DATS") : copyFlags(text);
        return;
    case SwitchRule::FolderLetters: // NODCOPY, DCOPY
        o.dirCopyFlags = use.name == 0 ? 0 : copyFlags(text);
        return;
    case SwitchRule::Letters:
        (name == u"A+"   ? o.addAttributes
         : name == u"A-" ? o.removeAttributes
         : name == u"IA" ? o.includeAttributes
                         : o.excludeAttributes) |= attributeBits(text);
        return;
    case SwitchRule::Move: // MOVE, MOV
        o.moveFiles = true;
        o.moveDirs = o.moveDirs || use.name == 0;
        return;
    case SwitchRule::ArchiveOnly: // M, A
        o.archiveOnly = true;
        o.archiveReset = o.archiveReset || use.name == 0;
        return;
    case SwitchRule::Tee:
        o.tee = true;
        return;
    case SwitchRule::Log: // LOG, LOG+, UNILOG, UNILOG+
        o.logFile = text;
        o.logAppend = use.name == 1 || use.name == 3;
        o.logUnicode = use.name >= 2;
        return;
    case SwitchRule::RunHours: {
        const size_t dash = text.find('-');
        o.runHours.set = dash != std::string::npos && parseHour(text.substr(0, dash), o.runHours.startMinute)
            && parseHour(text.substr(dash + 1), o.runHours.endMinute);
        if (!o.runHours.set)
            bad();
        return;
    }
    case SwitchRule::Threads: {
        uint32_t n = 8;
        if (!text.empty() && !parseNumber(text, n))
            n = 0;
        if (n < 1 || n > 128)
            return bad();
        o.threads = n;
        return;
    }
    case SwitchRule::Path:
        if (name == u"SAVE")
            o.saveJob = text;
        else if (name == u"SD")
            (commandLine ? r.explicitSource : r.jobSource) = text;
        else if (name == u"DD")
            (commandLine ? r.explicitDestination : r.jobDestination) = text;
        // /JOB: is taken before the layers; one inside a job file is not followed.
        return;
    case SwitchRule::List:
        return;
    case SwitchRule::Text:
        break;
    }

    // Values.
    if (name == u"R" || name == u"W") {
        uint32_t n = 0;
        uint32_t &target = name == u"R" ? o.retries : o.waitSeconds;
        if (parseNumber(text, n)) {
            target = n;
        } else {
            // Robocopy falls back to its default for a value it cannot read.
            target = name == u"R" ? 1000000 : 30;
            o.notes.push_back("/" + bytes(name) + ":" + text + " is no number; the default " + std::to_string(target)
                              + " is used.");
        }
        return;
    }
    if (name == u"MAX" || name == u"MIN") {
        uint64_t n = 0;
        if (!parseNumber(text, n))
            return bad();
        (name == u"MAX" ? o.maxSize : o.minSize) = n;
        return;
    }
    if (name == u"MAXAGE" || name == u"MINAGE" || name == u"MAXLAD" || name == u"MINLAD") {
        AgeLimit limit;
        uint32_t n = 0;
        if (!parseNumber(text, n))
            return bad();
        limit.isDate = n >= 1900;
        if (limit.isDate && !validDate(n))
            return bad();
        (limit.isDate ? limit.date : limit.days) = n;
        // Zero days is no limit, as an empty field.
        limit.set = limit.isDate || n > 0;
        AgeLimit &target = name == u"MAXAGE" ? o.maxAge : name == u"MINAGE" ? o.minAge
                         : name == u"MAXLAD" ? o.maxLad : o.minLad;
        target = limit;
        return;
    }
    uint32_t n = 0;
    if (!parseNumber(text, n))
        return bad();
    if (name == u"LEV")
        o.levels = n;
    else if (name == u"MON")
        o.monitorChanges = n;
    else if (name == u"MOT")
        o.monitorMinutes = n;
    else if (name == u"IPG")
        o.interPacketGapMs = n;
}

// Switches Robocopy knows that no control of the window stands for.
void applyOther(Reading &r, const Use &use)
{
    CopyOptions &o = r.o;
    const QString &word = use.word;
    const QString name = switchName(word).toString().toUpper();
    const bool hasValue = word.contains(u':');
    const auto note = [&]() { o.withoutEffect.push_back(bytes(word.toUpper())); };
    if (name == u"?" && !hasValue) {
        return;
    } else if (name == u"IM" && !hasValue) {
        o.includeModified = true;
        note();
    } else if (name == u"UNICODE" && !hasValue) {
        o.unicodeOutput = true;
        note();
    } else if (name == u"SJ" && !hasValue) {
        o.junctionsAsJunctions = true;
    } else if (name == u"NOCLONE" && !hasValue) {
        o.noClone = true;
    } else if (name == u"SPARSE" && !hasValue) {
        o.sparse = true;
    } else if (name == u"COMPRESS" && !hasValue) {
        note();
    } else if (name == u"LFSM" || ((name == u"IOMAXSIZE" || name == u"IORATE" || name == u"THRESHOLD") && hasValue)) {
        note();
    } else {
        r.fail(use.index, word);
    }
}

void applyUse(Reading &r, const Use &use, bool commandLine)
{
    if (use.leftOut) {
        if (refused(*use.leftOut))
            return void(r.fail(use.index, use.word));
        if (*use.leftOut == LeftOutReason::NoOption)
            return applyOther(r, use);
        // A letter Robocopy does not know; those only the window has no box
        // for (X, E of /DCOPY:) are left out as LettersWithoutOption and taken.
        if (*use.leftOut == LeftOutReason::UnknownLetters)
            return void(r.fail(use.index, use.word));
    }
    if (use.row)
        applyRow(r, use, commandLine);
    else
        r.fail(use.index, use.word); // a switch the reader named no reason for
}

std::vector<std::string> bytesOf(const std::vector<Name> &names)
{
    std::vector<std::string> out;
    out.reserve(names.size());
    for (const Name &n : names)
        out.push_back(n.bytes);
    return out;
}

void applyLayer(Reading &r, const Layer &layer, bool commandLine)
{
    for (const Use &use : layer.uses)
        applyUse(r, use, commandLine);
    // A list named in a later layer takes the place of an earlier one. The
    // command line's file names are placed with its folders.
    if (layer.namesFiles && !commandLine)
        r.o.fileNames = bytesOf(layer.fileNames);
    if (layer.namesExcludeFiles)
        r.o.excludeFiles = layer.excludeFiles;
    if (layer.namesExcludeDirs)
        r.o.excludeDirs = layer.excludeDirs;
}

// The folders: /SD: /DD: of the command line, else a job's, else the first
// words that are no switches, unless the command line says /NOSD /NODD
// (its words are then no such folder); the words left over are file names,
// with those of /IF, in the order they stood. A job's /NOSD /NODD only say
// that the job names no folder.
void placeFolders(Reading &r, const Layer &command)
{
    CopyOptions &o = r.o;
    const std::vector<Name> &positional = command.positional;
    size_t next = 0;
    const auto folder = [&](bool none, const std::string &explicitPath, const std::string &jobPath) {
        if (none)
            return std::string();
        if (!explicitPath.empty())
            return explicitPath;
        if (!jobPath.empty())
            return jobPath;
        return next < positional.size() ? positional[next++].bytes : std::string();
    };
    o.source = folder(o.noSource, r.explicitSource, r.jobSource);
    o.destination = folder(o.noDestination, r.explicitDestination, r.jobDestination);
    if (next == positional.size() && !command.namesFiles)
        return;
    std::vector<Name> names(positional.begin() + static_cast<std::ptrdiff_t>(next), positional.end());
    if (command.namesFiles)
        names.insert(names.end(), command.fileNames.begin(), command.fileNames.end());
    std::stable_sort(names.begin(), names.end(), [](const Name &a, const Name &b) { return a.index < b.index; });
    o.fileNames = bytesOf(names);
}


// What the switches imply for the run (/MIR is /E /PURGE, ...), the NOTE
// lines, and the paths made absolute. A job to save keeps the switches as
// given, so that the window reads back what was written.
void finish(CopyOptions &o, const std::string &cwd, bool forRun)
{
    if (!forRun) {
        o.source = absolutePath(o.source, cwd);
        o.destination = absolutePath(o.destination, cwd);
        o.logFile = absolutePath(o.logFile, cwd);
        return;
    }
    if (o.mirror)
        o.subdirectories = o.emptyDirectories = o.purge = true;
    if (o.moveDirs)
        o.moveFiles = true;
    if (o.noCopy)
        o.copyFlags = 0;
    // /SECFIX fixes the security /COPY: carries; without S or O, S is meant.
    if (o.secFix && !(o.copyFlags & (CopyFlag::Security | CopyFlag::Owner)))
        o.copyFlags |= CopyFlag::Security;
    if (o.backup)
        o.withoutEffect.insert(o.withoutEffect.begin(), o.restartable ? "/ZB (backup mode)" : "/B");
    const std::pair<bool, const char *> noted[] = {{o.efsRaw, "/EFSRAW"}, {o.fatNames, "/FAT"},
                                                  {o.longPaths, "/256"},   {o.saveRetries, "/REG"},
                                                  {o.waitForShare, "/TBD"}};
    for (const auto &[on, sw] : noted)
        if (on)
            o.withoutEffect.emplace_back(sw);
    o.source = absolutePath(o.source, cwd);
    o.destination = absolutePath(o.destination, cwd);
    o.logFile = absolutePath(o.logFile, cwd);
    o.saveJob = o.saveJob.empty() ? std::string() : absolutePath(JobFilePath(o.saveJob), cwd);
    // Paths among the exclusions are paths; names stay names.
    for (std::vector<std::string> *list : {&o.excludeFiles, &o.excludeDirs})
        for (std::string &entry : *list)
            if (entry.find_first_of("/\\") != std::string::npos)
                entry = absolutePath(entry, cwd);
}

} // namespace

std::string JobFilePath(const std::string &name)
{
    const size_t slash = name.find_last_of("/\\");
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return name + ".RCJ";
    return name;
}

ParsedCommand ParseArguments(const std::vector<std::string> &args, const std::string &cwd,
                             const JobFileReader &readJob, const std::function<bool(const std::string &path)> &isFolder)
{
    ParsedCommand parsed;
    if (args.empty()) {
        parsed.usage = true;
        parsed.error = UsageText();
        return parsed;
    }
    const CommandLine command = readCommandLine(args, isFolder);
    parsed.usage = command.usage;

    // The job files, in their order, then the command line over them.
    std::vector<Layer> jobLayers;
    for (const auto &[name, index] : command.jobs) {
        const std::string path = absolutePath(JobFilePath(name), cwd);
        parsed.options.jobs.push_back(path);
        std::string contents;
        std::string why;
        if (!readJob || !readJob(path, contents, why)) {
            parsed.error = "ERROR : Cannot read job file " + DisplayName(path) + " : " + why + "\n";
            return parsed;
        }
        const std::optional<QString> jobText = CommandFileText(QByteArray::fromStdString(contents), CommandFileKind::Text, SystemCodePages());
        Layer layer;
        if (!jobText || !readJobLayer(layer, *jobText)) {
            parsed.error = "ERROR : " + DisplayName(path) + " is no job file.\n";
            return parsed;
        }
        jobLayers.push_back(std::move(layer));
    }

    const auto build = [&](CopyOptions &o, const Layer &commandLayer) {
        Reading r(o);
        for (size_t j = 0; j < jobLayers.size(); ++j) {
            r.commandIndex = command.jobs[j].second + 1;
            applyLayer(r, jobLayers[j], false);
        }
        // /NOSD and /NODD of the command line speak of its own words.
        o.noSource = o.noDestination = false;
        r.commandIndex = 0;
        applyLayer(r, commandLayer, true);
        placeFolders(r, commandLayer);
        return r;
    };
    const Reading run = build(parsed.options, command.run);
    build(parsed.saved, command.saved);
    if (!run.error.empty()) {
        parsed.error = run.error;
        parsed.errorIndex = run.errorIndex;
        return parsed;
    }
    finish(parsed.options, cwd, true);
    finish(parsed.saved, cwd, false);
    if (parsed.usage) {
        parsed.error = UsageText();
        return parsed;
    }
    const CopyOptions &o = parsed.options;
    if (o.threads > 0 && (o.interPacketGapMs > 0 || o.efsRaw)) {
        parsed.error = "ERROR : /MT cannot be used with /IPG or /EFSRAW.\n";
        return parsed;
    }
    // A move deletes each source it copied; /CREATE copies no data.
    if (o.create && o.moveFiles) {
        parsed.error = std::string("ERROR : /CREATE cannot be used with ") + (o.moveDirs ? "/MOVE" : "/MOV")
            + ": it makes empty copies, and the move would then delete the sources whose data was never copied.\n";
        return parsed;
    }
    if (!o.quit) {
        if (o.source.empty())
            parsed.error = "ERROR : No Source Directory Specified.\n";
        else if (o.destination.empty())
            parsed.error = "ERROR : No Destination Directory Specified.\n";
    }
    return parsed;
}



// ---------------------------------------------------------------------------
// Job files.

namespace {

// One option line of a job file: a tab, the switch, tabs up to the comment
// column (24), and its help text.
std::string jobLine(const std::string &sw, std::string_view help)
{
    std::string line = "\t" + sw;
    size_t column = 8 + sw.size();
    int tabs = 0;
    while (column < 24 || tabs == 0) {
        column = (column / 8 + 1) * 8;
        ++tabs;
    }
    line.append(static_cast<size_t>(tabs), '\t');
    line += ":: ";
    line += help;
    line += '\n';
    return line;
}

void section(std::string &text, std::string_view title)
{
    text += "::\n:: ";
    text += title;
    text += " :\n::\n";
}

void listSection(std::string &text, std::string_view title, const std::string &sw, std::string_view help,
                 std::string_view allComment, const std::vector<std::string> &names)
{
    section(text, title);
    text += jobLine(sw, help);
    if (names.empty()) {
        text += "::\t\t";
        text += allComment;
        text += '\n';
    }
    for (const std::string &name : names)
        text += "\t\t" + name + '\n';
}

} // namespace

std::string JobFileText(const CopyOptions &o, const std::string &jobPath, const std::string &user,
                        int64_t createdNs, int32_t utcOffsetSeconds)
{
    std::string created = LongDateTime(createdNs, utcOffsetSeconds);
    // "Sunday, August 18, 2024 8:53:24 AM": " at " before the time.
    if (const size_t last = created.rfind(' '); last != std::string::npos && last > 0)
        if (const size_t before = created.rfind(' ', last - 1); before != std::string::npos)
            created.replace(before, 1, " at ");
    std::string text = "::\n:: Robocopy Job " + jobPath + "\n::\n:: Created by " + user + " on " + created
        + "\n::\n\n";
    const auto folder = [](std::string path) {
        if (!path.empty() && path.back() != '/')
            path += '/';
        return path;
    };
    section(text, "Source Directory");
    text += o.source.empty() || o.noSource ? jobLine("/NOSD", "No Source Directory: to be given on the command line.")
                                           : jobLine("/SD:" + folder(o.source), "Source Directory.");
    text += '\n';
    section(text, "Destination Directory");
    text += o.destination.empty() || o.noDestination
        ? jobLine("/NODD", "No Destination Directory: to be given on the command line.")
        : jobLine("/DD:" + folder(o.destination), "Destination Directory.");
    text += '\n';
    listSection(text, "Include These Files", "/IF", "Include Files matching these names",
                "*.*\t:: Include all names (currently - Command Line may override)", o.fileNames);
    text += '\n';
    listSection(text, "Exclude These Directories", "/XD", "eXclude Directories matching these names",
                "\t:: eXclude no names (currently - Command Line may override)", o.excludeDirs);
    text += '\n';
    listSection(text, "Exclude These Files", "/XF", "eXclude Files matching these names",
                "\t:: eXclude no names (currently - Command Line may override)", o.excludeFiles);

    // The switches as given, grouped as Robocopy's help groups them; /MT is
    // a matter of the run, not of the job, and is not saved.
    const auto add = [&](bool on, const std::string &sw, std::string_view help) {
        if (on)
            text += jobLine(sw, help);
    };
    const auto letters = [](uint16_t bits, std::string_view order) {
        std::string out;
        for (char c : order)
            if (bits & attributeBit(c))
                out += c;
        return out;
    };
    const auto copyText = [](uint8_t flags, std::string_view order) {
        std::string out;
        for (char c : order) {
            if (flags & copyBit(c))
                out += c;
        }
        return out;
    };
    const auto age = [](const AgeLimit &limit) { return std::to_string(limit.isDate ? limit.date : limit.days); };
    const auto hour = [](uint16_t minutes) {
        const unsigned hhmm = minutes / 60u * 100u + minutes % 60u;
        std::string s = std::to_string(hhmm);
        return std::string(4 - std::min<size_t>(4, s.size()), '0') + s;
    };

    section(text, "Copy options");
    const std::string dcopy = copyText(o.dirCopyFlags, "DATEX");
    add(true, dcopy.empty() ? "/NODCOPY" : "/DCOPY:" + dcopy, "what to COPY for directories (default is /DCOPY:DA).");
    const std::string fcopy = copyText(o.copyFlags, "DATXSOU");
    add(!fcopy.empty(), "/COPY:" + fcopy, "what to COPY for files (default is /COPY:DAT).");
    add(o.subdirectories && !o.emptyDirectories, "/S", "copy Subdirectories, but not empty ones.");
    add(o.subdirectories && o.emptyDirectories, "/E", "copy subdirectories, including Empty ones.");
    add(o.levels > 0, "/LEV:" + std::to_string(o.levels), "only copy the top n LEVels of the source tree.");
    add(o.restartable && o.backup, "/ZB", "use restartable mode; if access denied use Backup mode.");
    add(o.restartable && !o.backup, "/Z", "copy files in restartable mode.");
    add(o.backup && !o.restartable, "/B", "copy files in Backup mode.");
    add(o.unbuffered, "/J", "copy using unbuffered I/O.");
    add(o.efsRaw, "/EFSRAW", "copy all encrypted files in EFS RAW mode.");
    add(o.noCopy || fcopy.empty(), "/NOCOPY", "COPY NO file info.");
    add(o.secFix, "/SECFIX", "FIX file SECurity on all files, even skipped files.");
    add(o.timFix, "/TIMFIX", "FIX file TIMes on all files, even skipped files.");
    add(o.purge, "/PURGE", "delete dest files/dirs that no longer exist in source.");
    add(o.mirror, "/MIR", "MIRror a directory tree.");
    add(o.moveFiles && !o.moveDirs, "/MOV", "MOVe files (delete from source after copying).");
    add(o.moveDirs, "/MOVE", "MOVE files AND dirs (delete from source after copying).");
    add(o.addAttributes != 0, "/A+:" + letters(o.addAttributes, "RASHCNET"), "add the given Attributes to copied files.");
    add(o.removeAttributes != 0, "/A-:" + letters(o.removeAttributes, "RASHCNETO"),
        "remove the given Attributes from copied files.");
    add(o.create, "/CREATE", "CREATE directory tree and zero-length files only.");
    add(o.fatNames, "/FAT", "create destination files using 8.3 FAT file names only.");
    add(o.longPaths, "/256", "turn off very long path (> 256 characters) support.");
    add(o.monitorChanges > 0, "/MON:" + std::to_string(o.monitorChanges), "MONitor source; run again when more than n changes seen.");
    add(o.monitorMinutes > 0, "/MOT:" + std::to_string(o.monitorMinutes), "MOnitor source; run again in m minutes Time, if changed.");
    add(o.runHours.set, "/RH:" + hour(o.runHours.startMinute) + "-" + hour(o.runHours.endMinute),
        "Run Hours - times when new copies may be started.");
    add(o.perFileRunHours, "/PF", "check run hours on a Per File (not per pass) basis.");
    add(o.interPacketGapMs > 0, "/IPG:" + std::to_string(o.interPacketGapMs), "Inter-Packet Gap (ms), to free bandwidth on slow lines.");
    add(o.symbolicLinks, "/SL", "copy symbolic links versus the target.");
    add(o.junctionsAsJunctions, "/SJ", "copy junctions as junctions instead of as the junction targets.");
    add(o.noOffload, "/NOOFFLOAD", "copy files without using the copy offload mechanism.");
    add(o.noClone, "/NOCLONE", "do not attempt block cloning.");
    add(o.sparse, "/SPARSE", "keep the sparse state of files.");

    section(text, "File Selection Options");
    add(o.archiveOnly && !o.archiveReset, "/A", "copy only files with the Archive attribute set.");
    add(o.archiveReset, "/M", "copy only files with the Archive attribute and reset it.");
    add(o.includeAttributes != 0, "/IA:" + letters(o.includeAttributes, "RASHCNETO"),
        "Include only files with any of the given Attributes set.");
    add(o.excludeAttributes != 0, "/XA:" + letters(o.excludeAttributes, "RASHCNETO"),
        "eXclude files with any of the given Attributes set.");
    add(o.excludeJunctions, "/XJ", "eXclude symbolic links (junction points).");
    add(o.excludeDirJunctions, "/XJD", "eXclude symbolic links to directories.");
    add(o.excludeFileJunctions, "/XJF", "eXclude symbolic links to files.");
    add(o.excludeChanged, "/XC", "eXclude Changed files.");
    add(o.excludeNewer, "/XN", "eXclude Newer files.");
    add(o.excludeOlder, "/XO", "eXclude Older files.");
    add(o.excludeExtra, "/XX", "eXclude eXtra files and directories.");
    add(o.excludeLonely, "/XL", "eXclude Lonely files and directories.");
    add(o.includeSame, "/IS", "Include Same files.");
    add(o.includeTweaked, "/IT", "Include Tweaked files.");
    add(o.includeModified, "/IM", "Include Modified files (differing change times).");
    add(o.maxSize.has_value(), "/MAX:" + std::to_string(o.maxSize.value_or(0)), "MAXimum file size - exclude files bigger than n bytes.");
    add(o.minSize.has_value(), "/MIN:" + std::to_string(o.minSize.value_or(0)), "MINimum file size - exclude files smaller than n bytes.");
    add(o.maxAge.set, "/MAXAGE:" + age(o.maxAge), "MAXimum file AGE - exclude files older than n days/date.");
    add(o.minAge.set, "/MINAGE:" + age(o.minAge), "MINimum file AGE - exclude files newer than n days/date.");
    add(o.maxLad.set, "/MAXLAD:" + age(o.maxLad), "MAXimum Last Access Date - exclude files unused since n.");
    add(o.minLad.set, "/MINLAD:" + age(o.minLad), "MINimum Last Access Date - exclude files used since n.");
    add(o.fatTimes, "/FFT", "assume FAT File Times (2-second granularity).");
    add(o.dstCompensation, "/DST", "compensate for one-hour DST time differences.");

    section(text, "Retry Options");
    add(true, "/R:" + std::to_string(o.retries), "number of Retries on failed copies: default 1 million.");
    add(true, "/W:" + std::to_string(o.waitSeconds), "Wait time between retries: default is 30 seconds.");
    add(o.saveRetries, "/REG", "Save /R:n and /W:n in the Registry as default settings.");
    add(o.waitForShare, "/TBD", "wait for sharenames To Be Defined (retry error 67).");

    section(text, "Logging Options");
    add(o.listOnly, "/L", "List only - don't copy, timestamp or delete any files.");
    add(o.reportExtra, "/X", "report all eXtra files, not just those selected.");
    add(o.verbose, "/V", "produce Verbose output, showing skipped files.");
    add(o.timestamps, "/TS", "include source file Time Stamps in the output.");
    add(o.fullPaths, "/FP", "include Full Pathname of files in the output.");
    add(o.bytes, "/BYTES", "Print sizes as bytes.");
    add(o.noSize, "/NS", "No Size - don't log file sizes.");
    add(o.noClass, "/NC", "No Class - don't log file classes.");
    add(o.noFileList, "/NFL", "No File List - don't log file names.");
    add(o.noDirList, "/NDL", "No Directory List - don't log directory names.");
    add(o.noProgress, "/NP", "No Progress - don't display percentage copied.");
    add(o.eta, "/ETA", "show Estimated Time of Arrival of copied files.");
    if (!o.logFile.empty()) {
        const std::string name = std::string(o.logUnicode ? "/UNILOG" : "/LOG") + (o.logAppend ? "+" : "");
        add(true, name + ":" + o.logFile, "output status to LOG file.");
    }
    add(o.tee && !o.logFile.empty(), "/TEE", "output to console window, as well as the log file.");
    add(o.noHeader, "/NJH", "No Job Header.");
    add(o.noSummary, "/NJS", "No Job Summary.");
    add(o.unicodeOutput, "/UNICODE", "output status as UNICODE.");
    return text;
}

} // namespace copy
