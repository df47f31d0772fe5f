#include "copy/CopyOptions.h"

#include "command/CommandReader.h"
#include "command/CommandWords.h"
#include "command/SwitchTable.h"
#include "copy/NameBytes.h"
#include "copy/Report.h"

#include <QByteArray>
#include <QHash>

#include <algorithm>
#include <charconv>

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

bool knownWithoutOption(QStringView name)
{
    const auto others = switchesWithoutOption();
    return std::any_of(others.begin(), others.end(),
                       [&](QStringView other) { return name.compare(other, Qt::CaseInsensitive) == 0; });
}

// Robocopy takes a word as a switch when it starts with a slash and it is a
// switch it knows, or its name holds no further slash: so /home/u/src is a
// folder and /FOO an unknown switch.
bool isSwitchWord(QStringView word)
{
    if (!word.startsWith(u'/') || word.size() < 2)
        return false;
    const QStringView name = switchName(word);
    return findRow(name) || knownWithoutOption(name) || !name.contains(u'/');
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
// The reading of one layer (the command line or a job file) through the
// command reader of the window. The reader maps words to the window's
// controls through the switch table; this adapter hands it switch words
// alone, with their values quoted as one argument, and takes folders and
// the names of /XF, /XD and /IF itself, so that their bytes stay as given.

struct Named
{
    const SwitchSpec *row;
    int index;    // 0-based place among the arguments; -1 in a job file
    QString word; // as given, for an error line
};

struct Layer
{
    OptionValues values;
    std::vector<Named> rows;             // the switches the layer names, in order
    std::vector<std::string> positional; // command line only
    std::vector<std::string> fileNames;  // /IF names (a job's, or the command line's)
    std::vector<std::string> excludeFiles;
    std::vector<std::string> excludeDirs;
    bool namesFiles = false;             // /IF stood in the layer
    bool namesExcludeFiles = false;
    bool namesExcludeDirs = false;
    struct Other
    {
        QString word;
        int index;
    };
    std::vector<Other> others; // what the table has no control for: switches without one, or errors
};

QString quotedSwitch(const QString &word)
{
    const qsizetype colon = word.indexOf(u':');
    if (colon < 0)
        return word;
    QString value = word.mid(colon + 1);
    const bool plain = std::none_of(value.begin(), value.end(), [](QChar c) {
        return c == u' ' || c == u'\t' || c == u'&' || c == u'|' || c == u'<' || c == u'>' || c == u'^';
    });
    if (plain)
        return word;
    qsizetype run = 0;
    while (run < value.size() && value.at(value.size() - 1 - run) == u'\\')
        ++run;
    return word.left(colon + 1) + u'"' + value + QString(run, u'\\') + u'"';
}

// A word the reader cannot carry: a quote or a line break would end its
// argument or its line.
bool carriable(const QString &word)
{
    return !word.contains(u'"') && !word.contains(u'\r') && !word.contains(u'\n');
}

// The switch words of the command line, read by the command reader. The
// reader reads command lines, so the words are put into one and its
// left-out items are found again by where they stand; once the reader takes
// argument words as they are, this is the one place to hand them over.
void readSwitchWords(Layer &layer, const std::vector<std::pair<QString, int>> &switches)
{
    QString line = u"ROBOCOPY.EXE"_s;
    struct Span
    {
        qsizetype start, end;
        int index;
        QString word;
    };
    std::vector<Span> spans;
    for (const auto &[word, index] : switches) {
        // The reader takes only what the table has a row for: anything else
        // would read as a folder when it came first.
        if (!carriable(word) || !findRow(switchName(word))) {
            layer.others.push_back({word, index});
            continue;
        }
        line += u' ';
        const QString quoted = quotedSwitch(word);
        spans.push_back({line.size(), line.size() + quoted.size(), index, word});
        line += quoted;
        if (const SwitchSpec *row = findRow(switchName(word)))
            layer.rows.push_back({row, index, word});
    }
    CommandReading reading = ReadCommand(line);
    layer.values = std::move(reading.values);
    // What the reader left out, back to the word it came from.
    qsizetype from = 0;
    for (const LeftOut &out : reading.leftOut) {
        // Letters it does not know, as "/NAME:letters".
        const QString item = out.reason == LeftOutReason::UnknownLetters
            ? u'/' + switchName(out.text).toString() + u':' + out.detail
            : out.text;
        const Span *span = nullptr;
        if (const qsizetype at = line.indexOf(item, from); at >= 0) {
            for (const Span &s : spans)
                if (s.start <= at && at < s.end)
                    span = &s;
            from = at + item.size();
        }
        if (!span) {
            // Letters it does not know come back as "/NAME:letters".
            const QStringView name = item.startsWith(u'/') ? switchName(item) : QStringView();
            for (const Span &s : spans)
                if (!span && !name.isEmpty() && switchName(s.word).compare(name, Qt::CaseInsensitive) == 0)
                    span = &s;
        }
        if (span) {
            layer.others.push_back({item.startsWith(u'/') ? item : span->word, span->index});
            // A switch the reader could not take is no switch of the layer.
            std::erase_if(layer.rows, [&](const Named &n) {
                return n.index == span->index && findRow(switchName(item)) == n.row && item == span->word;
            });
        } else {
            layer.others.push_back({item, -1});
        }
    }
}

// The names of a list the reader gathered from a job, one per line there.
std::vector<std::string> listNames(const OptionValues &values, QLatin1StringView field)
{
    std::vector<std::string> names;
    for (const QString &name : SplitWords(values.text(field)))
        names.push_back(bytes(name));
    return names;
}

// A job file, read by the command reader's job reading.
bool readJobLayer(Layer &layer, const QString &jobText)
{
    CommandReading reading = ReadJob(jobText);
    if (!reading.found)
        return false;
    layer.values = std::move(reading.values);
    for (const LeftOut &item : reading.leftOut)
        layer.others.push_back({item.text, -1});
    // The switches a job names: the first word of each line.
    for (QStringView line : QStringView(jobText).split(u'\n')) {
        if (const qsizetype comment = line.indexOf(u"::"); comment >= 0)
            line = line.first(comment);
        line = line.trimmed();
        if (!line.startsWith(u'/'))
            continue;
        const QList<CommandWord> words = CommandWords(line);
        if (words.isEmpty())
            continue;
        const SwitchSpec *row = findRow(switchName(words.first().value));
        if (!row)
            continue;
        if (row->rule == SwitchRule::List) {
            (row->names[0] == u"XF" ? layer.namesExcludeFiles : layer.namesExcludeDirs) = true;
            continue;
        }
        if (row->names[0] == u"IF" && !words.first().value.contains(u':')) {
            layer.namesFiles = true;
            continue;
        }
        layer.rows.push_back({row, -1, words.first().value});
    }
    if (layer.namesFiles)
        layer.fileNames = listNames(layer.values, kFileNamesField);
    layer.excludeFiles = listNames(layer.values, "txtExcludeFiles"_L1);
    layer.excludeDirs = listNames(layer.values, "txtExcludeFolders"_L1);
    return true;
}

// ---------------------------------------------------------------------------
// From the controls a layer set to the options.

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
            if (index >= 0 && !word.contains(u':') && !word.sliced(1).contains(u'/') && !findRow(switchName(word))
                && !knownWithoutOption(switchName(word)))
                error += "\nA folder such as " + DisplayName(bytes(word)) + " is read as a switch; write it as "
                    + DisplayName(bytes(word)) + "/ to name the folder.\n";
        }
        return false;
    }
};

void applyRow(Reading &r, const Named &named, const OptionValues &values, bool commandLine)
{
    CopyOptions &o = r.o;
    const SwitchSpec &row = *named.row;
    const auto &[control, second, third] = row.controls;
    const auto check = [&](QLatin1StringView box) { return values.checkValue(box) != 0; };
    const auto value = [&](QLatin1StringView field) { return bytes(values.text(field)); };
    const auto bad = [&]() { r.fail(named.index, named.word); };
    const QStringView name = row.names[0];

    switch (row.rule) {
    case SwitchRule::Flag:
        for (const FlagField &f : kFlagFields)
            if (f.control == control)
                o.*f.field = check(control);
        return;
    case SwitchRule::Subdirectories:
        o.subdirectories = check(control);
        o.emptyDirectories = check(second);
        return;
    case SwitchRule::RestartableBackup:
        o.restartable = check(control);
        o.backup = check(second);
        return;
    case SwitchRule::CopyLetters:
    case SwitchRule::FolderLetters: {
        uint8_t flags = 0;
        for (const SwitchLetter &l : row.letters)
            if (check(l.box))
                flags |= copyBit(l.letter);
        // Letters the window has no box for, kept by the caller.
        uint8_t &target = row.rule == SwitchRule::CopyLetters ? o.copyFlags : o.dirCopyFlags;
        target = static_cast<uint8_t>(flags | (target & (CopyFlag::SkipAltStreams | CopyFlag::ExtendedAttributes)));
        return;
    }
    case SwitchRule::Letters: {
        uint16_t bits = 0;
        for (const SwitchLetter &l : row.letters)
            if (check(l.box))
                bits |= attributeBit(l.letter);
        if (name == u"A+")
            o.addAttributes = bits;
        else if (name == u"A-")
            o.removeAttributes = bits;
        else if (name == u"IA")
            o.includeAttributes = bits;
        else
            o.excludeAttributes = bits;
        return;
    }
    case SwitchRule::Move:
        o.moveFiles = check(control);
        o.moveDirs = check(second);
        return;
    case SwitchRule::ArchiveOnly:
        o.archiveOnly = check(control);
        o.archiveReset = check(second);
        return;
    case SwitchRule::Tee:
        o.tee = check(control);
        return;
    case SwitchRule::Log:
        o.logFile = value(control);
        o.logAppend = check(second);
        o.logUnicode = check(third);
        return;
    case SwitchRule::RunHours:
        o.runHours.set = parseHour(value(control), o.runHours.startMinute)
            && parseHour(value(second), o.runHours.endMinute);
        if (!o.runHours.set)
            bad();
        return;
    case SwitchRule::Threads: {
        const std::string count = value(second);
        uint32_t n = 8;
        if (!count.empty() && !parseNumber(count, n))
            n = 0;
        if (n < 1 || n > 128)
            return bad();
        o.threads = n;
        return;
    }
    case SwitchRule::Path: {
        const std::string path = value(control);
        if (name == u"SAVE")
            o.saveJob = path;
        else if (name == u"SD")
            (commandLine ? r.explicitSource : r.jobSource) = commandLine ? path : bytes(values.text(kSourceField));
        else if (name == u"DD")
            (commandLine ? r.explicitDestination : r.jobDestination)
                = commandLine ? path : bytes(values.text(kDestinationField));
        // /JOB: is taken before the layers; one inside a job file is not followed.
        return;
    }
    case SwitchRule::List:
        return;
    case SwitchRule::Text:
        break;
    }

    // Values.
    const std::string text = value(control);
    if (name == u"IF") {
        // The builder's /IF: form names the files in its value.
        for (const QString &n : SplitWords(values.text(control)))
            o.fileNames.push_back(bytes(n));
        return;
    }
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

// Switches the window has no control for, and letters it has no box for.
void applyOther(Reading &r, const Layer::Other &other)
{
    CopyOptions &o = r.o;
    const QString &word = other.word;
    if (!word.startsWith(u'/'))
        return void(r.fail(other.index, word));
    const QString name = switchName(word).toString().toUpper();
    const QString value = word.contains(u':') ? word.section(u':', 1) : QString();
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
    } else if ((name == u"COPY" || name == u"DCOPY") && hasValue
               && std::all_of(value.begin(), value.end(), [&](QChar c) {
                      return c.toUpper() == u'X' || (name == u"DCOPY" && c.toUpper() == u'E');
                  })) {
        // Letters of newer versions the window has no box for: X (skip
        // alternate data streams, which Linux files do not have) and E
        // (extended attributes of folders).
        for (QChar c : value) {
            const bool extended = c.toUpper() == u'E';
            (name == u"COPY" ? o.copyFlags : o.dirCopyFlags) |= extended ? CopyFlag::ExtendedAttributes
                                                                          : CopyFlag::SkipAltStreams;
        }
    } else {
        r.fail(other.index, word);
    }
}

void applyLayer(Reading &r, const Layer &layer, bool commandLine)
{
    for (const Layer::Other &other : layer.others)
        applyOther(r, other);
    for (const Named &named : layer.rows)
        applyRow(r, named, layer.values, commandLine);
    // A list named in a later layer takes the place of an earlier one.
    if (layer.namesFiles)
        r.o.fileNames = layer.fileNames;
    if (layer.namesExcludeFiles)
        r.o.excludeFiles = layer.excludeFiles;
    if (layer.namesExcludeDirs)
        r.o.excludeDirs = layer.excludeDirs;
}

// The folders: /SD: /DD: of the command line, else a job's, else the first
// words that are no switches, unless the command line says /NOSD /NODD
// (its words are then no such folder); the words left over are file names.
// A job's /NOSD /NODD only say that the job names no folder.
void placeFolders(Reading &r, const std::vector<std::string> &positional, bool namesFiles)
{
    CopyOptions &o = r.o;
    size_t next = 0;
    const auto folder = [&](bool none, const std::string &explicitPath, const std::string &jobPath) {
        if (none)
            return std::string();
        if (!explicitPath.empty())
            return explicitPath;
        if (!jobPath.empty())
            return jobPath;
        return next < positional.size() ? positional[next++] : std::string();
    };
    o.source = folder(o.noSource, r.explicitSource, r.jobSource);
    o.destination = folder(o.noDestination, r.explicitDestination, r.jobDestination);
    if (next < positional.size()) {
        if (!namesFiles)
            o.fileNames.clear();
        o.fileNames.insert(o.fileNames.end(), positional.begin() + static_cast<std::ptrdiff_t>(next),
                           positional.end());
    }
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
    if (o.backup)
        o.withoutEffect.insert(o.withoutEffect.begin(), o.restartable ? "/ZB (backup mode)" : "/B");
    const std::pair<bool, const char *> noted[] = {{o.efsRaw, "/EFSRAW"}, {o.secFix, "/SECFIX"}, {o.fatNames, "/FAT"},
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

    // Sort the words: switches for the reader, folders and names here.
    Layer command;
    std::vector<std::pair<QString, int>> switches;
    std::vector<std::pair<std::string, int>> jobs;
    int saveAt = static_cast<int>(args.size());
    std::vector<std::string> *list = nullptr;
    // The layer that /SAVE: writes sees only the switches before it.
    Layer savedCommand;
    std::vector<std::pair<QString, int>> savedSwitches;
    for (size_t i = 0; i < args.size(); ++i) {
        const int index = static_cast<int>(i);
        const QString word = text(args[i]);
        const bool unknownName = isSwitchWord(word) && !findRow(switchName(word)) && !knownWithoutOption(switchName(word));
        if (!isSwitchWord(word) || (unknownName && !word.contains(u':') && isFolder && isFolder(args[i]))) {
            if (list)
                list->push_back(args[i]);
            else
                command.positional.push_back(args[i]);
            continue;
        }
        list = nullptr;
        const QString name = switchName(word).toString().toUpper();
        const bool hasValue = word.contains(u':');
        if (!hasValue && (name == u"XF" || name == u"XD" || name == u"IF")) {
            if (name == u"XF") {
                command.namesExcludeFiles = true;
                list = &command.excludeFiles;
            } else if (name == u"XD") {
                command.namesExcludeDirs = true;
                list = &command.excludeDirs;
            } else {
                command.namesFiles = true;
                list = &command.fileNames;
            }
            if (index < saveAt)
                (name == u"XF" ? savedCommand.namesExcludeFiles
                 : name == u"XD" ? savedCommand.namesExcludeDirs : savedCommand.namesFiles) = true;
            continue;
        }
        if (name == u"IF" && hasValue) {
            // The builder's /IF: form: the names in its value.
            for (const QString &n : SplitWords(word.mid(word.indexOf(u':') + 1))) {
                command.fileNames.push_back(bytes(n));
                if (index < saveAt)
                    savedCommand.fileNames.push_back(bytes(n));
            }
            command.namesFiles = true;
            savedCommand.namesFiles = savedCommand.namesFiles || index < saveAt;
            continue;
        }
        if (name == u"JOB" && hasValue) {
            jobs.emplace_back(bytes(QStringView(word).sliced(word.indexOf(u':') + 1)), index);
            continue;
        }
        if (name == u"?" && !hasValue)
            parsed.usage = true;
        if (name == u"SAVE" && hasValue && saveAt == static_cast<int>(args.size()))
            saveAt = index;
        switches.emplace_back(word, index);
        if (index <= saveAt)
            savedSwitches.emplace_back(word, index);
    }
    readSwitchWords(command, switches);
    readSwitchWords(savedCommand, savedSwitches);
    // Lists named before /SAVE: go into the job as they are.
    if (savedCommand.namesFiles)
        savedCommand.fileNames = command.fileNames;
    if (savedCommand.namesExcludeFiles)
        savedCommand.excludeFiles = command.excludeFiles;
    if (savedCommand.namesExcludeDirs)
        savedCommand.excludeDirs = command.excludeDirs;

    // The job files, in their order, then the command line over them.
    std::vector<Layer> jobLayers;
    for (const auto &[name, index] : jobs) {
        const std::string path = absolutePath(JobFilePath(name), cwd);
        parsed.options.jobs.push_back(path);
        std::string contents;
        std::string why;
        if (!readJob || !readJob(path, contents, why)) {
            parsed.error = "ERROR : Cannot read job file " + DisplayName(path) + " : " + why + "\n";
            return parsed;
        }
        const std::optional<QString> jobText = CommandFileText(QByteArray::fromStdString(contents));
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
            r.commandIndex = jobs[j].second + 1;
            applyLayer(r, jobLayers[j], false);
        }
        // /NOSD and /NODD of the command line speak of its own words.
        o.noSource = o.noDestination = false;
        r.commandIndex = 0;
        applyLayer(r, commandLayer, true);
        placeFolders(r, command.positional, commandLayer.namesFiles);
        return r;
    };
    const Reading run = build(parsed.options, command);
    build(parsed.saved, savedCommand);
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
            const uint8_t bit = c == 'E' ? CopyFlag::ExtendedAttributes : c == 'X' ? CopyFlag::SkipAltStreams
                                                                                    : copyBit(c);
            if (flags & bit)
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
