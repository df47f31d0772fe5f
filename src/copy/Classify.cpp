#include "copy/Classify.h"

#include "copy/NameBytes.h"

#include <QChar>

#include <algorithm>
#include <limits>

namespace copy {

namespace {

constexpr int64_t NsPerSecond = 1'000'000'000;
constexpr int64_t NsPerDay = 86'400 * NsPerSecond;

char32_t foldAscii(char32_t c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c; }

uint64_t absDifference(int64_t a, int64_t b)
{
    // Unsigned arithmetic: the true distance even across the whole range.
    return a >= b ? uint64_t(a) - uint64_t(b) : uint64_t(b) - uint64_t(a);
}

// The attribute letters a file carries that Tweaked looks at.
constexpr uint16_t ComparedAttributes = Attr::ReadOnly | Attr::Archive | Attr::System | Attr::Hidden
    | Attr::Compressed | Attr::NotContentIndexed | Attr::Encrypted | Attr::Temporary | Attr::Offline;

bool isPath(std::string_view entry) { return entry.find('/') != std::string_view::npos; }

std::string withoutTrailingSlash(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The full path of an entry under a root, for the path patterns of /XF /XD.
std::string fullPath(const std::string &root, std::string_view relDir, std::string_view name)
{
    std::string path = root;
    if (path.empty() || path.back() != '/')
        path += '/';
    path.append(relDir);
    path.append(name);
    return path;
}

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d)
{
    // Days since 1970-01-01 of a proleptic Gregorian date.
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

} // namespace

// ---------------------------------------------------------------------------

NamePatterns::NamePatterns(const std::vector<std::string> &patterns)
{
    for (const std::string &text : patterns) {
        if (text == "*" || text == "*.*")
            m_everything = true;
        Pattern pattern;
        for (size_t at = 0; at < text.size();) {
            char32_t c = 0;
            at += DecodeAt(text, at, c);
            Char pc;
            if (c == '*') {
                if (!pattern.empty() && pattern.back().kind == Char::Any)
                    continue;
                pc.kind = Char::Any;
            } else if (c == '?') {
                pc.kind = Char::One;
            } else if (c < 0x80 || IsEscapedByte(c)) {
                pc.c = foldAscii(c);
            } else {
                pc.c = c;
                // The other cases of the letter, found once here rather than per name.
                const char32_t cases[] = {QChar::toLower(c), QChar::toUpper(c), QChar::toCaseFolded(c)};
                size_t n = 0;
                for (char32_t other : cases)
                    if (other != c && std::find(pc.alternatives, pc.alternatives + n, other) == pc.alternatives + n)
                        pc.alternatives[n++] = other;
            }
            pattern.push_back(pc);
        }
        m_patterns.push_back(std::move(pattern));
    }
}

bool NamePatterns::matchOne(const Pattern &pattern, std::string_view name)
{
    const auto same = [](const Char &pc, char32_t c) {
        if (c < 0x80)
            return foldAscii(c) == pc.c;
        return c == pc.c || c == pc.alternatives[0] || c == pc.alternatives[1] || c == pc.alternatives[2];
    };
    size_t p = 0;
    size_t at = 0;
    // Where the last star stood, and where in the name it may stretch to next.
    size_t starP = std::string_view::npos;
    size_t starAt = 0;
    while (at < name.size()) {
        char32_t c = 0;
        const size_t length = DecodeAt(name, at, c);
        if (p < pattern.size()) {
            const Char &pc = pattern[p];
            if (pc.kind == Char::Any) {
                starP = p++;
                starAt = at;
                continue;
            }
            if (pc.kind == Char::One || same(pc, c)) {
                ++p;
                at += length;
                continue;
            }
        }
        if (starP == std::string_view::npos)
            return false;
        char32_t skipped = 0;
        starAt += DecodeAt(name, starAt, skipped);
        at = starAt;
        p = starP + 1;
    }
    while (p < pattern.size() && pattern[p].kind == Char::Any)
        ++p;
    return p == pattern.size();
}

bool NamePatterns::matches(std::string_view name) const
{
    if (m_everything)
        return true;
    return std::any_of(m_patterns.begin(), m_patterns.end(),
                       [&](const Pattern &pattern) { return matchOne(pattern, name); });
}

// ---------------------------------------------------------------------------

int64_t AgeCutoffNs(const AgeLimit &limit, const RunClock &clock)
{
    if (!limit.isDate)
        return clock.nowNs - static_cast<int64_t>(limit.days) * NsPerDay;
    if (clock.localMidnightNs)
        return clock.localMidnightNs(limit.date);
    const int64_t days = daysFromCivil(limit.date / 10000, limit.date / 100 % 100, limit.date % 100);
    return days * NsPerDay - static_cast<int64_t>(clock.utcOffsetSeconds) * NsPerSecond;
}

Classifier::Classifier(const CopyOptions &options, const RunClock &clock)
    : m_options(options),
      m_sourceRoot(withoutTrailingSlash(options.source)),
      m_destinationRoot(withoutTrailingSlash(options.destination)),
      m_include(options.fileNames.empty() ? std::vector<std::string>{"*.*"} : options.fileNames)
{
    std::vector<std::string> names;
    std::vector<std::string> paths;
    for (const std::string &entry : options.excludeFiles)
        (isPath(entry) ? paths : names).push_back(withoutTrailingSlash(entry));
    m_excludeFileNames = NamePatterns(names);
    m_excludeFilePaths = NamePatterns(paths);
    names.clear();
    paths.clear();
    for (const std::string &entry : options.excludeDirs)
        (isPath(entry) ? paths : names).push_back(withoutTrailingSlash(entry));
    m_excludeDirNames = NamePatterns(names);
    m_excludeDirPaths = NamePatterns(paths);

    constexpr int64_t none = std::numeric_limits<int64_t>::min();
    constexpr int64_t all = std::numeric_limits<int64_t>::max();
    const auto cutoff = [&](const AgeLimit &limit, int64_t unset) {
        return limit.set ? AgeCutoffNs(limit, clock) : unset;
    };
    m_oldestModified = cutoff(options.maxAge, none);
    m_newestModified = cutoff(options.minAge, all);
    m_oldestAccess = cutoff(options.maxLad, none);
    m_newestAccess = cutoff(options.minLad, all);
}

bool Classifier::copiesLinkAsLink(const Entry &entry) const
{
    return entry.isLink
        && (m_options.symbolicLinks || (entry.kind == EntryKind::Directory && m_options.junctionsAsJunctions));
}

bool Classifier::isDirectory(const Entry &entry, Side side) const
{
    if (entry.kind != EntryKind::Directory)
        return false;
    if (!entry.isLink)
        return true;
    return side == Side::Source && !copiesLinkAsLink(entry);
}

bool Classifier::needsAttributes(Side side) const
{
    if (side == Side::Destination)
        return m_options.includeTweaked;
    return m_options.includeTweaked || m_options.includeAttributes || m_options.excludeAttributes
        || m_options.archiveOnly || m_options.archiveReset;
}

bool Classifier::timesEqual(int64_t src, int64_t dst, const DeviceTraits &destination) const
{
    const uint64_t tolerance = m_options.fatTimes ? uint64_t(2 * NsPerSecond)
                                                  : uint64_t(std::max<int64_t>(destination.timeResolutionNs - 1, 0));
    if (DestinationTimeMatches(src, dst, tolerance, destination))
        return true;
    // /DST: an hour apart, give or take the same tolerance.
    constexpr uint64_t hour = uint64_t(3600 * NsPerSecond);
    const uint64_t difference = absDifference(src, dst);
    return m_options.dstCompensation && absDifference(static_cast<int64_t>(difference), int64_t(hour)) <= tolerance;
}

bool Classifier::selected(std::string_view name) const { return m_include.matches(name); }

bool Classifier::excludedFile(std::string_view name, std::string_view relDir) const
{
    if (m_excludeFileNames.matches(name))
        return true;
    if (m_excludeFilePaths.empty())
        return false;
    return m_excludeFilePaths.matches(fullPath(m_sourceRoot, relDir, name))
        || m_excludeFilePaths.matches(fullPath(m_destinationRoot, relDir, name));
}

bool Classifier::excludedDir(std::string_view name, std::string_view relDir) const
{
    // As Robocopy keeps out of "System Volume Information", a purge keeps out
    // of the file system's own folders at the top of either tree.
    if (relDir.empty() && m_options.purge && (name == "System Volume Information" || name == "lost+found"))
        return true;
    if (m_excludeDirNames.matches(name))
        return true;
    if (m_excludeDirPaths.empty())
        return false;
    return m_excludeDirPaths.matches(fullPath(m_sourceRoot, relDir, name))
        || m_excludeDirPaths.matches(fullPath(m_destinationRoot, relDir, name));
}

bool Classifier::linkExcluded(const Entry &entry, bool directory) const
{
    if (!entry.isLink)
        return false;
    return m_options.excludeJunctions
        || (directory ? m_options.excludeDirJunctions : m_options.excludeFileJunctions);
}

Tag Classifier::sourceFilter(const Entry &src) const
{
    const CopyOptions &o = m_options;
    const uint16_t attributes = src.attributes;
    if (o.includeAttributes && !(attributes & o.includeAttributes))
        return Tag::Attrib;
    if (o.excludeAttributes && (attributes & o.excludeAttributes))
        return Tag::Attrib;
    if ((o.archiveOnly || o.archiveReset) && !(attributes & Attr::Archive))
        return Tag::Attrib;
    if (o.maxSize && src.size > *o.maxSize)
        return Tag::Large;
    if (o.minSize && src.size < *o.minSize)
        return Tag::Small;
    if (src.mtimeNs < m_oldestModified)
        return Tag::TooOld;
    if (src.mtimeNs > m_newestModified)
        return Tag::TooNew;
    if (src.atimeNs < m_oldestAccess)
        return Tag::TooOld;
    if (src.atimeNs > m_newestAccess)
        return Tag::TooNew;
    return Tag::None;
}

FileClass Classifier::classOf(const Entry &src, const Entry &dst, const DeviceTraits &destination) const
{
    if (!timesEqual(src.mtimeNs, dst.mtimeNs, destination))
        return src.mtimeNs > dst.mtimeNs ? FileClass::Newer : FileClass::Older;
    if (src.size != dst.size)
        return FileClass::Changed;
    // Letters the destination cannot keep cannot differ there.
    const uint16_t compared = ComparedAttributes & KeptAttributes(destination);
    if (m_options.includeTweaked && src.attributesKnown && dst.attributesKnown
        && (src.attributes & compared) != (dst.attributes & compared))
        return FileClass::Tweaked;
    return FileClass::Same;
}

FileDecision Classifier::file(const Entry &src, const Entry &dst, std::string_view name, std::string_view relDir,
                              const DeviceTraits *destination) const
{
    const CopyOptions &o = m_options;
    FileDecision d;
    const bool inSource = src.kind != EntryKind::Missing && !isDirectory(src, Side::Source);
    const bool inDestination = dst.kind != EntryKind::Missing;

    if (!inSource) {
        // Only in the destination: an extra, if the file names select it.
        d.cls = FileClass::Extra;
        d.tag = Tag::ExtraFile;
        if (!inDestination || isDirectory(dst, Side::Destination) || o.excludeExtra) {
            d.listed = false;
            return d;
        }
        const bool chosen = selected(name) && !excludedFile(name, relDir)
            && !linkExcluded(dst, dst.kind == EntryKind::Directory);
        if (chosen)
            d.action = o.purge ? Action::Purge : Action::Report;
        else if (o.reportExtra)
            d.action = Action::Report;
        else
            d.listed = false;
        return d;
    }

    if (!selected(name)) {
        d.listed = false;
        return d;
    }
    const auto skip = [&](Tag tag) {
        d.action = Action::Skip;
        d.tag = tag;
        return d;
    };
    const bool destinationIsFolder = isDirectory(dst, Side::Destination);
    d.cls = !inDestination ? FileClass::Lonely : destinationIsFolder ? FileClass::Mismatched
                                                                : classOf(src, dst, destination ? *destination : DeviceTraits{});
    if (excludedFile(name, relDir))
        return skip(Tag::Named);
    if (linkExcluded(src, src.kind == EntryKind::Directory))
        return skip(Tag::Junction);
    if (const Tag filtered = sourceFilter(src); filtered != Tag::None)
        return skip(filtered);

    const bool copiesData = o.copyFlags & CopyFlag::Data;
    const auto copy = [&](Tag tag) {
        d.action = Action::Copy;
        d.tag = tag;
        d.deleteSource = o.moveFiles;
        return d;
    };
    const auto skipClass = [&](Tag tag) {
        d.fixTimes = o.timFix && inDestination && !destinationIsFolder;
        return skip(tag);
    };
    switch (d.cls) {
    case FileClass::Lonely:
        // Without data there is nothing to create a lonely file from.
        return o.excludeLonely || !copiesData ? skip(Tag::LonelySkipped) : copy(Tag::NewFile);
    case FileClass::Mismatched:
        // Reported and left: under a purge the engine treats such a name as
        // two (splitsMismatch) when the destination's entry is to go, so
        // what stays here is one no purge takes (/XD, /XF, /XX, the names).
        d.action = Action::Report;
        d.tag = Tag::Mismatch;
        return d;
    case FileClass::Same:
        return o.includeSame ? copy(Tag::Same) : skipClass(Tag::SameSkipped);
    case FileClass::Tweaked:
        return copy(Tag::Tweaked);
    case FileClass::Changed:
        return o.excludeChanged ? skipClass(Tag::ChangedSkipped) : copy(Tag::Changed);
    case FileClass::Newer:
        return o.excludeNewer ? skipClass(Tag::NewerSkipped) : copy(Tag::Newer);
    case FileClass::Older:
        return o.excludeOlder ? skipClass(Tag::OlderSkipped) : copy(Tag::Older);
    case FileClass::Extra:
        break;
    }
    return d;
}

DirDecision Classifier::dir(const Entry &src, const Entry &dst, std::string_view name, std::string_view relDir,
                            uint32_t depth) const
{
    const CopyOptions &o = m_options;
    DirDecision d;
    d.action = DirAction::Skip;
    if (!o.subdirectories || (o.levels && depth > o.levels)) {
        d.cls = DirClass::Excluded;
        d.listed = false;
        return d;
    }
    const bool sourceFolder = isDirectory(src, Side::Source);
    const bool destinationFolder = isDirectory(dst, Side::Destination);

    if (!sourceFolder) {
        d.cls = DirClass::Extra;
        d.tag = Tag::ExtraDir;
        // A source file facing a destination folder is the file's mismatch.
        if (src.kind != EntryKind::Missing || !destinationFolder || o.excludeExtra || excludedDir(name, relDir)) {
            d.listed = false;
            return d;
        }
        d.action = o.purge ? DirAction::Purge : DirAction::Report;
        return d;
    }

    if (excludedDir(name, relDir)) {
        d.cls = DirClass::Excluded;
        d.tag = Tag::Named;
        return d;
    }
    if (linkExcluded(src, true)) {
        d.cls = DirClass::Excluded;
        d.tag = Tag::Junction;
        return d;
    }
    if (dst.kind == EntryKind::Missing) {
        d.cls = DirClass::Lonely;
        if (o.excludeLonely) {
            d.tag = Tag::LonelySkipped;
            return d;
        }
        d.action = DirAction::Create;
        d.tag = Tag::NewDir;
        d.createOnDemand = !o.emptyDirectories;
    } else if (destinationFolder) {
        d.cls = DirClass::Existing;
        d.action = DirAction::Enter;
    } else {
        // A file, a link or anything else where the source has a folder:
        // reported and left (under a purge the engine takes the two apart
        // when the destination's entry is to go; see splitsMismatch).
        d.cls = DirClass::Mismatched;
        d.tag = Tag::Mismatch;
        d.action = DirAction::Report;
        return d;
    }
    d.deleteSource = o.moveDirs;
    return d;
}

bool Classifier::splitsMismatch(const Entry &src, const Entry &dst, std::string_view name, std::string_view relDir,
                                uint32_t depth) const
{
    if (!m_options.purge || src.kind == EntryKind::Missing || dst.kind == EntryKind::Missing)
        return false;
    const bool sourceFolder = isDirectory(src, Side::Source);
    if (sourceFolder == isDirectory(dst, Side::Destination))
        return false;
    // Only what the copy can make takes the name (not a FIFO, not a dangling link).
    if (src.kind == EntryKind::Other && !(src.isLink && m_options.symbolicLinks))
        return false;
    const Entry none;
    if (isDirectory(dst, Side::Destination))
        return dir(none, dst, name, relDir, depth).action == DirAction::Purge;
    return file(none, dst, name, relDir).action == Action::Purge;
}

bool Classifier::decidesAsDirectory(const Entry &src, const Entry &dst) const
{
    return isDirectory(src, Side::Source) || (src.kind == EntryKind::Missing && isDirectory(dst, Side::Destination));
}

DirDecision Classifier::root(const Entry &, const Entry &dst) const
{
    DirDecision d;
    // The roots are named by the user: a destination root that is a link to
    // a folder is that folder.
    if (dst.kind == EntryKind::Directory) {
        d.cls = DirClass::Existing;
        d.action = DirAction::Enter;
    } else {
        // A destination that is no folder is the engine's serious error; a
        // missing one is made, even when nothing lands in it.
        d.cls = DirClass::Lonely;
        d.action = DirAction::Create;
        d.tag = Tag::NewDir;
    }
    return d;
}

// ---------------------------------------------------------------------------

void CountFile(Totals &totals, const FileDecision &decision, uint64_t size, Outcome outcome)
{
    if (!decision.listed)
        return;
    const auto add = [&](Column column) {
        totals.files[column] += 1;
        totals.bytes[column] += size;
    };
    // An extra that could not be deleted is also one of the items the run
    // processed, so it joins Total: the columns then never add up past it.
    if (decision.cls == FileClass::Extra) {
        add(Column::Extras);
        if (outcome == Outcome::Failed) {
            add(Column::Total);
            add(Column::Failed);
        }
        return;
    }
    add(Column::Total);
    if (outcome == Outcome::Failed) {
        add(Column::Failed);
        return;
    }
    switch (decision.action) {
    case Action::Copy: add(Column::Copied); break;
    case Action::Report: add(Column::Mismatch); break;
    case Action::Skip:
    case Action::Purge: add(Column::Skipped); break;
    }
}

void CountDir(Totals &totals, const DirDecision &decision, Outcome outcome)
{
    if (!decision.listed)
        return;
    if (decision.cls == DirClass::Extra) {
        totals.dirs[Column::Extras] += 1;
        if (outcome == Outcome::Failed) {
            totals.dirs[Column::Total] += 1;
            totals.dirs[Column::Failed] += 1;
        }
        return;
    }
    totals.dirs[Column::Total] += 1;
    if (outcome == Outcome::Failed) {
        totals.dirs[Column::Failed] += 1;
        return;
    }
    switch (decision.action) {
    case DirAction::Create:
        totals.dirs[outcome == Outcome::NotCreated ? Column::Skipped : Column::Copied] += 1;
        break;
    case DirAction::Report: totals.dirs[Column::Mismatch] += 1; break;
    case DirAction::Enter:
    case DirAction::Skip:
    case DirAction::Purge: totals.dirs[Column::Skipped] += 1; break;
    }
}

} // namespace copy
