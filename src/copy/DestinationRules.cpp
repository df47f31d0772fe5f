#include "copy/DestinationRules.h"

#include "copy/CopyTypes.h"
#include "copy/NameBytes.h"

#include <QChar>

#include <algorithm>
#include <array>

namespace copy {

namespace {

constexpr int64_t NsPerSecond = 1'000'000'000;
constexpr int64_t NsPerDay = 86'400 * NsPerSecond;
// FAT and exFAT keep the years 1980 to 2107.
constexpr int64_t Fat1980 = 315'532'800 * NsPerSecond;
constexpr int64_t FatLast = 4'354'819'199 * NsPerSecond; // 2107-12-31 23:59:59

// The steps in which file systems keep times, coarsest first.
constexpr std::array<int64_t, 6> kLadder{2 * NsPerSecond, NsPerSecond, 10'000'000, 1'000, 100, 1};

uint64_t distance(int64_t a, int64_t b) { return a >= b ? uint64_t(a) - uint64_t(b) : uint64_t(b) - uint64_t(a); }

bool endsInDotOrSpace(std::string_view name) { return !name.empty() && (name.back() == '.' || name.back() == ' '); }

std::string_view withoutDotsAndSpaces(std::string_view name)
{
    const size_t end = name.find_last_not_of(". ");
    return end == std::string_view::npos ? std::string_view() : name.substr(0, end + 1);
}

bool hasWindowsCharacter(std::string_view name)
{
    return std::any_of(name.begin(), name.end(), [](char c) {
        return uint8_t(c) < 0x20 || std::string_view("\"*:<>?\\|").find(c) != std::string_view::npos;
    });
}

// CON, PRN, AUX, NUL, COM1-9, LPT1-9 before the first dot, in any letter case.
bool isReservedName(std::string_view name)
{
    std::string base(name.substr(0, name.find('.')));
    while (!base.empty() && base.back() == ' ')
        base.pop_back();
    for (char &c : base)
        c = char(c >= 'a' && c <= 'z' ? c - ('a' - 'A') : c);
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL")
        return true;
    return base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) && base[3] >= '1'
        && base[3] <= '9';
}

bool isUtf8(std::string_view name)
{
    for (size_t at = 0; at < name.size();) {
        char32_t c = 0;
        at += DecodeAt(name, at, c);
        if (IsEscapedByte(c))
            return false;
    }
    return true;
}

enum class Rule : uint8_t { None, TrailingDotOrSpace, WindowsCharacters, ReservedName, NonUtf8 };

struct Verdict
{
    NameFate fate = NameFate::Kept;
    Rule rule = Rule::None;
};

// The worst that the destination does to a name, and by which rule.
Verdict verdictOf(std::string_view name, const DeviceTraits &t)
{
    Verdict v;
    const auto consider = [&](NameFate fate, Rule rule) {
        if (fate > v.fate)
            v = {fate, rule};
    };
    if (t.trailingDotOrSpace != NameFate::Kept && endsInDotOrSpace(name))
        consider(withoutDotsAndSpaces(name).empty() ? NameFate::Refused : t.trailingDotOrSpace,
                 Rule::TrailingDotOrSpace);
    if (t.windowsCharacters != NameFate::Kept && hasWindowsCharacter(name))
        consider(t.windowsCharacters, Rule::WindowsCharacters);
    if (t.reservedNames != NameFate::Kept && isReservedName(name))
        consider(t.reservedNames, Rule::ReservedName);
    if (t.nonUtf8 != NameFate::Kept && !isUtf8(name))
        consider(t.nonUtf8, Rule::NonUtf8);
    return v;
}

} // namespace

std::string DestinationKey(std::string_view name, const DeviceTraits &t)
{
    if (t.trailingDotOrSpace == NameFate::Altered && !withoutDotsAndSpaces(name).empty())
        name = withoutDotsAndSpaces(name);
    if (!t.foldsCase)
        return std::string(name);
    std::string key;
    key.reserve(name.size());
    for (size_t at = 0; at < name.size();) {
        char32_t c = 0;
        const size_t length = DecodeAt(name, at, c);
        if (c < 0x80)
            key += char(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
        else if (IsEscapedByte(c))
            key.append(name.substr(at, length));
        else
            AppendCodePoint(key, QChar::toCaseFolded(c));
        at += length;
    }
    return key;
}

NameFate FateOfName(std::string_view name, const DeviceTraits &t) { return verdictOf(name, t).fate; }

std::string NameFateMessage(std::string_view name, const DeviceTraits &t)
{
    const Verdict v = verdictOf(name, t);
    switch (v.rule) {
    case Rule::TrailingDotOrSpace:
        if (v.fate == NameFate::Altered)
            return "The destination's file system drops a name's trailing dots and spaces: it keeps this file as \""
                + DisplayName(withoutDotsAndSpaces(name)) + "\".";
        return "The destination's file system refuses a name that ends in a dot or a space.";
    case Rule::WindowsCharacters:
        return "The destination's file system refuses the characters \" * : < > ? \\ | and control characters in a "
               "name.";
    case Rule::ReservedName:
        return "The destination's file system refuses the device names CON, PRN, AUX, NUL, COM1-9 and LPT1-9, with any "
               "extension.";
    case Rule::NonUtf8: return "The destination's file system refuses a name that is not UTF-8.";
    case Rule::None: break;
    }
    return {};
}

std::vector<NamePair> PairNames(size_t srcCount, const std::function<std::string_view(uint32_t)> &srcName,
                                size_t dstCount, const std::function<std::string_view(uint32_t)> &dstName,
                                const DeviceTraits &traits)
{
    std::vector<NamePair> pairs;
    pairs.reserve(std::max(srcCount, dstCount));
    if (!traits.foldsCase && traits.trailingDotOrSpace != NameFate::Altered) {
        // Names are names as they are: both sides in one pass.
        for (uint32_t i = 0, j = 0; i < srcCount || j < dstCount;) {
            const int c = i >= srcCount ? 1 : j >= dstCount ? -1 : srcName(i).compare(dstName(j));
            NamePair p;
            if (c <= 0)
                p.src = i++;
            if (c >= 0)
                p.dst = j++;
            pairs.push_back(p);
        }
        return pairs;
    }
    // Names grouped by what the destination makes of them; within a group
    // the source's names come first, each side in the order of its bytes.
    struct Keyed
    {
        std::string key;
        uint32_t index;
        bool source;
    };
    std::vector<Keyed> all;
    all.reserve(srcCount + dstCount);
    for (uint32_t i = 0; i < srcCount; ++i)
        all.push_back({DestinationKey(srcName(i), traits), i, true});
    for (uint32_t j = 0; j < dstCount; ++j)
        all.push_back({DestinationKey(dstName(j), traits), j, false});
    std::stable_sort(all.begin(), all.end(), [](const Keyed &a, const Keyed &b) { return a.key < b.key; });
    std::vector<uint32_t> sources, destinations;
    for (size_t g = 0; g < all.size();) {
        size_t h = g;
        sources.clear();
        destinations.clear();
        for (; h < all.size() && all[h].key == all[g].key; ++h)
            (all[h].source ? sources : destinations).push_back(all[h].index);
        const size_t first = pairs.size();
        std::vector<bool> taken(destinations.size(), false);
        uint32_t winner = kNoName;
        // A name spelt exactly as an entry of the destination is that entry.
        for (uint32_t s : sources) {
            NamePair p;
            p.src = s;
            for (size_t d = 0; d < destinations.size(); ++d)
                if (!taken[d] && srcName(s) == dstName(destinations[d])) {
                    taken[d] = true;
                    p.dst = destinations[d];
                    break;
                }
            if (p.dst != kNoName && winner == kNoName)
                winner = s;
            pairs.push_back(p);
        }
        if (winner == kNoName && !sources.empty()) {
            winner = sources.front();
            for (size_t d = 0; d < destinations.size(); ++d)
                if (!taken[d]) {
                    taken[d] = true;
                    pairs[first].dst = destinations[d];
                    break;
                }
        }
        for (size_t k = first; k < pairs.size(); ++k)
            if (pairs[k].dst == kNoName && pairs[k].src != winner)
                pairs[k].twin = winner;
        for (size_t d = 0; d < destinations.size(); ++d)
            if (!taken[d])
                pairs.push_back(NamePair{kNoName, destinations[d], kNoName});
        g = h;
    }
    // The report keeps the order of the names' bytes.
    std::sort(pairs.begin(), pairs.end(), [&](const NamePair &a, const NamePair &b) {
        const std::string_view x = a.src != kNoName ? srcName(a.src) : dstName(a.dst);
        const std::string_view y = b.src != kNoName ? srcName(b.src) : dstName(b.dst);
        return x != y ? x < y : a.src < b.src;
    });
    return pairs;
}

bool DestinationTimeMatches(int64_t srcNs, int64_t dstNs, uint64_t toleranceNs, const DeviceTraits &t)
{
    if (distance(srcNs, dstNs) <= toleranceNs)
        return true;
    if (srcNs < t.oldestTimeNs)
        return distance(dstNs, t.oldestTimeNs) <= uint64_t(NsPerDay);
    return srcNs > t.newestTimeNs;
}

int64_t KeptTimeNs(int64_t srcNs, const DeviceTraits &t) { return std::clamp(srcNs, t.oldestTimeNs, t.newestTimeNs); }

uint16_t KeptAttributes(const DeviceTraits &t)
{
    uint16_t kept = Attr::ReadOnly | Attr::Archive | Attr::System | Attr::Hidden | Attr::Compressed
        | Attr::NotContentIndexed | Attr::Encrypted | Attr::Temporary | Attr::Offline;
    if (!t.keepsDosLetters)
        kept = Attr::ReadOnly;
    if (!t.keepsReadOnly)
        kept = uint16_t(kept & ~Attr::ReadOnly);
    return kept;
}

int64_t ResolutionFromProbe(int64_t set, int64_t kept)
{
    if (distance(set, kept) > uint64_t(2 * NsPerSecond))
        return 1; // not a rounding: the probe tells nothing
    for (const int64_t step : kLadder)
        if (kept % step == 0)
            return step;
    return 1;
}

int64_t ResolutionFromEntries(const std::vector<int64_t> &mtimes)
{
    if (mtimes.size() < 4)
        return 1;
    for (const int64_t step : kLadder)
        if (std::all_of(mtimes.begin(), mtimes.end(), [&](int64_t t) { return t % step == 0; }))
            return step;
    return 1;
}

VolumeFormat FormatOfBootSector(std::string_view s)
{
    if (s.size() < 512)
        return VolumeFormat::Unknown;
    if (s.substr(3, 8) == "EXFAT   ")
        return VolumeFormat::ExFat;
    if (s.substr(3, 8) == "NTFS    ")
        return VolumeFormat::Ntfs;
    const bool signed55aa = uint8_t(s[510]) == 0x55 && uint8_t(s[511]) == 0xAA;
    if (signed55aa && (s.substr(54, 3) == "FAT" || s.substr(82, 5) == "FAT32"))
        return VolumeFormat::Fat;
    return VolumeFormat::Unknown;
}

void ApplyFormatLimits(DeviceTraits &t, VolumeFormat format)
{
    switch (format) {
    case VolumeFormat::Fat:
    case VolumeFormat::ExFat:
        t.timeResolutionNs = std::max<int64_t>(t.timeResolutionNs, format == VolumeFormat::Fat ? 2 * NsPerSecond
                                                                                               : 10'000'000);
        t.oldestTimeNs = std::max(t.oldestTimeNs, Fat1980);
        t.newestTimeNs = std::min(t.newestTimeNs, FatLast);
        break;
    case VolumeFormat::Ntfs: t.timeResolutionNs = std::max<int64_t>(t.timeResolutionNs, 100); break;
    case VolumeFormat::Unknown: break;
    }
}

} // namespace copy
