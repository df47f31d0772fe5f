#pragma once

// What a destination's file system does to names, times and attributes,
// and how the comparison allows for it. Windows media (exFAT, FAT, NTFS
// through ntfs-3g) fold letter case, drop or refuse some names, keep times
// coarsely and within a range, and may keep no read-only flag. Pure: the
// probe that learns these once per device is DeviceTraits.cpp.

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace copy {

// What the destination makes of a kind of name.
enum class NameFate : uint8_t { Kept, Altered, Refused };

struct DeviceTraits
{
    bool probed = false;    // learnt by writing a probe entry (else only what could be read)
    bool foldsCase = false; // "Report.txt" and "report.txt" are one name there
    NameFate trailingDotOrSpace = NameFate::Kept; // "name." or "name ": vfat drops the end, windows_names refuses
    NameFate windowsCharacters = NameFate::Kept;  // " * : < > ? \ | and control characters
    NameFate reservedNames = NameFate::Kept;      // CON PRN AUX NUL COM1-9 LPT1-9, with any extension
    NameFate nonUtf8 = NameFate::Kept;            // bytes that are no UTF-8
    int64_t timeResolutionNs = 1;                 // how finely modification times are kept
    // The modification times kept; a time beyond is clamped (or wrapped) by the driver.
    int64_t oldestTimeNs = std::numeric_limits<int64_t>::min();
    int64_t newestTimeNs = std::numeric_limits<int64_t>::max();
    bool keepsReadOnly = true;   // a file without its owner's write bit stays so
    bool keepsDosLetters = true; // user.DOSATTRIB can be written (H S A ...)

    bool altersNames() const
    {
        return foldsCase || trailingDotOrSpace != NameFate::Kept || windowsCharacters != NameFate::Kept
            || reservedNames != NameFate::Kept || nonUtf8 != NameFate::Kept;
    }
    bool keepsTime(int64_t ns) const { return ns >= oldestTimeNs && ns <= newestTimeNs; }
};

// The name as the destination tells names apart: letter case folded where
// it folds, trailing dots and spaces dropped where it drops them.
std::string DestinationKey(std::string_view name, const DeviceTraits &traits);

// Whether a name is stored there as it is, stored otherwise, or refused.
NameFate FateOfName(std::string_view name, const DeviceTraits &traits);

// Why a name is not kept there, for its ERROR line.
std::string NameFateMessage(std::string_view name, const DeviceTraits &traits);

// One name of a folder on both sides: indices into the two lists, or
// kNoName. twin is set for a source name that the destination takes for
// another source name of the folder (the one it is paired with): that one
// is copied, this one is not.
constexpr uint32_t kNoName = UINT32_MAX;
struct NamePair
{
    uint32_t src = kNoName;
    uint32_t dst = kNoName;
    uint32_t twin = kNoName;
    bool operator==(const NamePair &) const = default;
};

// Pairs the names of the two sides (each list sorted by bytes) as the
// destination tells them apart, in the order of the names. Where it makes
// several source names one, the source name spelt exactly as the
// destination's entry wins, else the first by bytes; the others are twins.
// A destination entry is paired with at most one source name, so it is
// never both a copy's target and an extra.
std::vector<NamePair> PairNames(size_t srcCount, const std::function<std::string_view(uint32_t)> &srcName,
                                size_t dstCount, const std::function<std::string_view(uint32_t)> &dstName,
                                const DeviceTraits &traits);

// Whether the destination's modification time stands for the source's:
// within tolerance (the destination's resolution, /FFT's two seconds), or,
// for a source time the destination cannot keep, the clamped time it keeps
// instead (within a day: FAT and exFAT keep local time). A time past the
// newest kept is wrapped by some drivers: its size alone decides.
bool DestinationTimeMatches(int64_t srcNs, int64_t dstNs, uint64_t toleranceNs, const DeviceTraits &traits);

// The time the destination keeps for a source time (clamped into its range).
int64_t KeptTimeNs(int64_t srcNs, const DeviceTraits &traits);

// The attribute letters (Attr bits) a comparison may look at there.
uint16_t KeptAttributes(const DeviceTraits &traits);

// The resolution a file system showed by keeping `kept` for a time set to
// `set` (odd seconds, odd nanoseconds): the coarsest of 1 ns, 100 ns, 1 µs,
// 10 ms, 1 s, 2 s that divides what it kept (rounded down or up).
int64_t ResolutionFromProbe(int64_t set, int64_t kept);

// The resolution that the modification times of entries already there
// show (for a listing, which writes no probe): the coarsest step dividing
// every one of them; 1 ns from fewer than 4.
int64_t ResolutionFromEntries(const std::vector<int64_t> &mtimes);

// The format of a volume from its first sector, for a FUSE driver that
// shows in memory what the volume cannot keep (exfat-fuse shows a 1970
// date until the volume is mounted again).
enum class VolumeFormat : uint8_t { Unknown, Fat, ExFat, Ntfs };
VolumeFormat FormatOfBootSector(std::string_view sector);
// Narrows traits to what the format keeps on the volume.
void ApplyFormatLimits(DeviceTraits &traits, VolumeFormat format);

} // namespace copy
