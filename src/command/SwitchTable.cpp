#include "command/SwitchTable.h"

using namespace Qt::Literals::StringLiterals;

namespace {

using R = SwitchRule;

constexpr SwitchSpec flag(QStringView name, QLatin1StringView box) { return {R::Flag, {name}, {box}, {}}; }
constexpr SwitchSpec text(QStringView name, QLatin1StringView field) { return {R::Text, {name}, {field}, {}}; }
constexpr SwitchSpec path(QStringView name, QLatin1StringView field) { return {R::Path, {name}, {field}, {}}; }
constexpr SwitchSpec list(QStringView name, QLatin1StringView field) { return {R::List, {name}, {field}, {}}; }
constexpr SwitchSpec letters(QStringView name, std::span<const SwitchLetter> table)
{
    return {R::Letters, {name}, {}, table};
}

constexpr SwitchLetter kCopy[] = {{'D', "chkData"_L1},     {'A', "chkAttributes"_L1}, {'T', "chkTimestamps"_L1},
                                  {'S', "chkSecurity"_L1}, {'O', "chkOwnership"_L1},  {'U', "chkAuditing"_L1}};
constexpr SwitchLetter kFolderCopy[] = {
    {'D', "chkFolderData"_L1}, {'A', "chkFolderAttributes"_L1}, {'T', "chkFolderTimestamps"_L1}};
// Destination attributes in the order R A S H C N E T.
constexpr SwitchLetter kDestAdd[] = {
    {'R', "chkDestReadOnlyAdd"_L1},   {'A', "chkDestArchiveAdd"_L1}, {'S', "chkDestSystemAdd"_L1},
    {'H', "chkDestHiddenAdd"_L1},     {'C', "chkDestCompressedAdd"_L1}, {'N', "chkDestIndexAdd"_L1},
    {'E', "chkDestEncryptedAdd"_L1},  {'T', "chkDestTempAdd"_L1}};
constexpr SwitchLetter kDestRemove[] = {
    {'R', "chkDestReadonlyDel"_L1},   {'A', "chkDestArchiveDel"_L1}, {'S', "chkDestSystemDel"_L1},
    {'H', "chkDestHiddenDel"_L1},     {'C', "chkDestCompressedDel"_L1}, {'N', "chkDestIndexDel"_L1},
    {'E', "chkDestEncryptedDel"_L1},  {'T', "chkDestTempDel"_L1}};
// Source attributes in the order R H S E C A N T O.
constexpr SwitchLetter kSourceInclude[] = {
    {'R', "chkSourceReadOnlyIncl"_L1},  {'H', "chkSourceHiddenIncl"_L1},     {'S', "chkSourceSystemIncl"_L1},
    {'E', "chkSourceEncryptedIncl"_L1}, {'C', "chkSourceCompressedIncl"_L1}, {'A', "chkSourceArchiveIncl"_L1},
    {'N', "chkSourceNotIndexedIncl"_L1}, {'T', "chkSourceTempIncl"_L1},      {'O', "chkSourceOfflineIncl"_L1}};
constexpr SwitchLetter kSourceExclude[] = {
    {'R', "chkSourceReadOnlyExcl"_L1},  {'H', "chkSourceHiddenExcl"_L1},     {'S', "chkSourceSystemExcl"_L1},
    {'E', "chkSourceEncryptedExcl"_L1}, {'C', "chkSourceCompressedExcl"_L1}, {'A', "chkSourceArchiveExcl"_L1},
    {'N', "chkSourceNotIndexedExcl"_L1}, {'T', "chkSourceTempExcl"_L1},      {'O', "chkSourceOfflineExcl"_L1}};

constexpr SwitchSpec kSwitches[] = {
    {R::Subdirectories, {u"E", u"S"}, {"chkSubdirectories"_L1, "chkEmpty"_L1}, {}},
    text(u"LEV", "txtLevels"_L1),
    {R::RestartableBackup, {u"ZB", u"Z", u"B"}, {"chkRestartable"_L1, "chkBackup"_L1}, {}},
    flag(u"J", "chkUnbuffered"_L1),
    {R::CopyLetters, {u"COPYALL", u"SEC", u"COPY"}, {}, kCopy},
    {R::FolderLetters, {u"NODCOPY", u"DCOPY"}, {}, kFolderCopy},
    flag(u"NOOFFLOAD", "chkNoOffload"_L1),
    flag(u"SECFIX", "chkSecFix"_L1),
    flag(u"TIMFIX", "chkTimeFix"_L1),
    flag(u"NOCOPY", "chkNoCopy"_L1),
    {R::Move, {u"MOVE", u"MOV"}, {"chkMoveFiles"_L1, "chkMoveFolders"_L1}, {}},
    flag(u"PURGE", "chkPurge"_L1),
    flag(u"MIR", "chkMirror"_L1),
    letters(u"A+", kDestAdd),
    letters(u"A-", kDestRemove),
    flag(u"CREATE", "chkEmptyFiles"_L1),
    flag(u"FAT", "chkFATFilenames"_L1),
    flag(u"FFT", "chkFATFiletimes"_L1),
    flag(u"EFSRAW", "chkEfsRaw"_L1),
    flag(u"256", "chk256Char"_L1),
    text(u"MON", "txtChangeCount"_L1),
    text(u"MOT", "txtDelayMinutes"_L1),
    {R::RunHours, {u"RH"}, {"txtAllowedStart"_L1, "txtAllowedEnd"_L1}, {}},
    flag(u"PF", "chkFrequentChecks"_L1),
    text(u"IPG", "txtDelayPer64k"_L1),
    flag(u"SL", "chkSymbolicLink"_L1),
    letters(u"IA", kSourceInclude),
    {R::ArchiveOnly, {u"M", u"A"}, {"chkSourceArchiveOnly"_L1, "chkSourceArchiveReset"_L1}, {}},
    letters(u"XA", kSourceExclude),
    flag(u"XJ", "chkExcludeJunctionPoints"_L1),
    flag(u"XJD", "chkExcludeJunctionPointsDir"_L1),
    flag(u"XJF", "chkExcludeJunctionPointsFile"_L1),
    flag(u"DST", "chkDstAdjust"_L1),
    list(u"XF", "txtExcludeFiles"_L1),
    list(u"XD", "txtExcludeFolders"_L1),
    flag(u"XC", "chkExcludeChanged"_L1),
    flag(u"XN", "chkExcludeNewer"_L1),
    flag(u"XO", "chkExcludeOlder"_L1),
    flag(u"XX", "chkExcludeExtra"_L1),
    flag(u"XL", "chkExcludeLonely"_L1),
    flag(u"IS", "chkIncludeSame"_L1),
    flag(u"IT", "chkIncludeTweaked"_L1),
    text(u"MAX", "txtMaxBytes"_L1),
    text(u"MIN", "txtMinBytes"_L1),
    text(u"MAXAGE", "txtMaxAge"_L1),
    text(u"MINAGE", "txtMinAge"_L1),
    text(u"MAXLAD", "txtMaxLAD"_L1),
    text(u"MINLAD", "txtMinLAD"_L1),
    text(u"R", "txtRetryCount"_L1),
    text(u"W", "txtRetryWait"_L1),
    flag(u"REG", "chkRetriesSave"_L1),
    flag(u"TBD", "chkWaitForShare"_L1),
    flag(u"L", "chkListFilesOnly"_L1),
    flag(u"X", "chkDspExtra"_L1),
    flag(u"V", "chkDspVerbose"_L1),
    flag(u"TS", "chkDspTimestamps"_L1),
    flag(u"FP", "chkDspFullPaths"_L1),
    flag(u"BYTES", "chkLogSizeBytes"_L1),
    flag(u"NC", "chkDspNoClasses"_L1),
    flag(u"NS", "chkDspNoSizes"_L1),
    flag(u"NDL", "chkLogNoFolderNames"_L1),
    flag(u"NFL", "chkLogNoFilenames"_L1),
    flag(u"NJH", "chkLogNoHeader"_L1),
    flag(u"NJS", "chkLogNoSummary"_L1),
    flag(u"NP", "chkLogNoProgress"_L1),
    flag(u"ETA", "chkDspETA"_L1),
    {R::Tee, {u"TEE"}, {"chkLogShowInConsole"_L1, "txtLogFile"_L1}, {}},
    {R::Log, {u"LOG", u"LOG+", u"UNILOG", u"UNILOG+"}, {"txtLogFile"_L1, "chkLogAppend"_L1, "chkLogUnicode"_L1}, {}},
    path(u"JOB", "txtJobRead"_L1),
    path(u"SAVE", "txtJobWrite"_L1),
    flag(u"QUIT", "chkJobQuit"_L1),
    flag(u"NOSD", "chkJobNoSource"_L1),
    flag(u"NODD", "chkJobNoDest"_L1),
    text(u"IF", kIncludeFilesField),
    path(u"SD", "txtJobExplicitSource"_L1),
    path(u"DD", "txtJobExplicitDest"_L1),
    {R::Threads, {u"MT"}, {"chkThreadsEnable"_L1, "txtThreadsCount"_L1}, {}},
};

// From Robocopy's own list of options, those of newer versions included.
constexpr QStringView kWithoutOption[] = {
    u"SJ",     u"COMPRESS", u"SPARSE",    u"NOCLONE", u"IOMAXSIZE", u"IORATE", u"THRESHOLD",
    u"IM",     u"LFSM",     u"UNICODE",   u"?",
};

constexpr OtherLetter kOtherCopyLetters[] = {{'X', u"skip alternate data streams"}};
constexpr OtherLetter kOtherFolderLetters[] = {{'E', u"extended attributes"}, {'X', u"skip alternate data streams"}};

} // namespace

std::span<const SwitchSpec> switchTable() { return kSwitches; }

std::span<const OtherLetter> lettersWithoutOption(const SwitchSpec &row)
{
    if (row.rule == SwitchRule::CopyLetters)
        return kOtherCopyLetters;
    if (row.rule == SwitchRule::FolderLetters)
        return kOtherFolderLetters;
    return {};
}

std::span<const QStringView> switchesWithoutOption() { return kWithoutOption; }
