#pragma once

// What becomes of each name: its class, the action and the report tag, from
// the two sides as the walk saw them, the options and the run's clock. No
// file system: the engine lists and stats, this decides.

#include "copy/CopyOptions.h"
#include "copy/CopyTypes.h"
#include "copy/DestinationRules.h"

#include <string>
#include <string_view>
#include <vector>

namespace copy {

// A list of names or wildcards (* any run, ? one character), matched against
// a whole name without regard to letter case. Names are bytes: valid UTF-8 is
// matched by character, any other byte as a character of its own.
class NamePatterns
{
public:
    NamePatterns() = default;
    explicit NamePatterns(const std::vector<std::string> &patterns);

    bool empty() const { return m_patterns.empty(); }
    bool matchesEverything() const { return m_everything; }
    bool matches(std::string_view name) const;

private:
    struct Char
    {
        enum Kind : uint8_t { Literal, One, Any } kind = Literal;
        char32_t c = 0;
        char32_t alternatives[3] = {0, 0, 0}; // other letter cases of a non-ASCII letter
    };
    using Pattern = std::vector<Char>;
    static bool matchOne(const Pattern &pattern, std::string_view name);

    std::vector<Pattern> m_patterns;
    bool m_everything = false;
};

// Which side an entry stands on.
enum class Side : uint8_t { Source, Destination };

class Classifier
{
public:
    // The options' folders are the roots (absolute, as the options read
    // them); the options must outlive the classifier.
    Classifier(const CopyOptions &options, const RunClock &clock);

    // Whether the walk treats the entry as a folder to enter. A link is a
    // folder of the source only while it is followed (no /SL, /SJ); a link in
    // the destination never is, so nothing follows a link out of it.
    bool isDirectory(const Entry &entry, Side side) const;

    // Which of the two below decides a name: dir() for a source folder or a
    // destination folder the source lacks, file() for everything else (so a
    // source file facing a destination folder is the file's mismatch, and a
    // source folder facing a destination file the folder's).
    bool decidesAsDirectory(const Entry &src, const Entry &dst) const;

    // A source entry facing a destination entry of the other kind (a file
    // and a folder) under /PURGE or /MIR, where the destination's entry alone
    // is an extra to purge: Robocopy lists files and folders apart, so the
    // name is two entries, decided apart: the destination's with src Missing
    // (an extra, reported and purged), then the source's with dst Missing.
    // depth is the level of a folder under that name.
    bool splitsMismatch(const Entry &src, const Entry &dst, std::string_view name, std::string_view relDir,
                        uint32_t depth) const;

    // A name that is no folder in the source. relDir is the folder relative
    // to the roots, "" at the top or "a/b/". destination: what the
    // destination's file system keeps of times and attributes, when known.
    FileDecision file(const Entry &src, const Entry &dst, std::string_view name, std::string_view relDir,
                      const DeviceTraits *destination = nullptr) const;

    // A folder of the source, or of the destination alone; depth is its
    // level, the roots being level 1.
    DirDecision dir(const Entry &src, const Entry &dst, std::string_view name, std::string_view relDir,
                    uint32_t depth) const;

    // The roots themselves: the destination root is created when missing.
    DirDecision root(const Entry &src, const Entry &dst) const;

    // Whether the engine must read DOS attributes for a decision (they are
    // not needed to skip a file that is Same by size and time).
    bool needsAttributes(Side side) const;
    // Whether a link of the source is copied as a link (/SL; /SJ for folders).
    bool copiesLinkAsLink(const Entry &entry) const;
    // Whether subfolders are walked at all (/S, /E).
    bool walksSubdirectories() const { return m_options.subdirectories; }
    // Whether /XD names a folder of the destination (by name or by path), so
    // that no purge deletes it, not even inside an extra folder that goes.
    bool keptFromPurge(std::string_view name, std::string_view relDir) const { return excludedDir(name, relDir); }

    // A source's and a destination's modification times equal as Robocopy
    // compares them (/FFT, /DST), within what the destination keeps.
    bool timesEqual(int64_t src, int64_t dst, const DeviceTraits &destination) const;

    const CopyOptions &options() const { return m_options; }

private:
    // The file names select a name (for the destination's extras too).
    bool selected(std::string_view name) const;
    bool excludedFile(std::string_view name, std::string_view relDir) const;
    bool excludedDir(std::string_view name, std::string_view relDir) const;
    Tag sourceFilter(const Entry &src) const;
    FileClass classOf(const Entry &src, const Entry &dst, const DeviceTraits &destination) const;
    bool linkExcluded(const Entry &entry, bool directory) const;

    const CopyOptions &m_options;
    std::string m_sourceRoot;
    std::string m_destinationRoot;
    NamePatterns m_include;
    NamePatterns m_excludeFileNames;
    NamePatterns m_excludeFilePaths;
    NamePatterns m_excludeDirNames;
    NamePatterns m_excludeDirPaths;
    // Age limits as instants (ns since the epoch); INT64_MIN / INT64_MAX when unset.
    int64_t m_oldestModified;
    int64_t m_newestModified;
    int64_t m_oldestAccess;
    int64_t m_newestAccess;
};

// What a decided entry adds to the summary, once the engine knows how it went.
enum class Outcome : uint8_t {
    AsDecided,  // done as decided (or only listed, under /L)
    Failed,     // not done within the retry limit
    NotCreated, // a folder under /S that nothing was copied into
};
void CountFile(Totals &totals, const FileDecision &decision, uint64_t size, Outcome outcome = Outcome::AsDecided);
void CountDir(Totals &totals, const DirDecision &decision, Outcome outcome = Outcome::AsDecided);

// The instant an age limit stands for: n days before the run, or local
// midnight at the start of the date.
int64_t AgeCutoffNs(const AgeLimit &limit, const RunClock &clock);

} // namespace copy
