#pragma once

// The rows of the option catalogue and of the menus. Catalogue.h includes
// this file after the types the rows are made of; include Catalogue.h.

namespace catalogue_table {

using C = VersionColour;
using D = DropRule;

constexpr ControlSpec frame(const char *name, const char *parent, const char *caption, Twips g,
                            const char *tip = nullptr)
{
    return {name, ControlKind::Frame, parent, caption, C::XP010, g, NoFlags, D::None, tip, nullptr};
}

constexpr ControlSpec label(const char *name, const char *parent, const char *caption, C colour,
                            Twips g, const char *tip = nullptr, quint16 flags = NoFlags)
{
    return {name, ControlKind::Label, parent, caption, colour, g, flags, D::None, tip, nullptr};
}

constexpr ControlSpec check(const char *name, const char *parent, const char *caption, C colour,
                            Twips g, const char *tip = nullptr, quint16 flags = NoFlags)
{
    return {name, ControlKind::CheckBox, parent, caption, colour, g, flags, D::None, tip, nullptr};
}

constexpr ControlSpec text(const char *name, const char *parent, Twips g, const char *tip = nullptr,
                           D drop = D::None, quint16 flags = NoFlags, const char *initial = nullptr)
{
    return {name, ControlKind::TextBox, parent, nullptr, C::XP010, g, flags, drop, tip, initial};
}

constexpr ControlSpec combo(const char *name, Twips g, D drop)
{
    return {name, ControlKind::ComboBox, nullptr, nullptr, C::XP010, g, NoFlags, drop, nullptr, nullptr};
}

constexpr ControlSpec button(const char *name, const char *caption, Twips g)
{
    return {name, ControlKind::Button, nullptr, caption, C::XP010, g, NoFlags, D::None, nullptr, nullptr};
}

// Shared tooltips, spelled once.
inline constexpr const char *kJunctionTip = "Don't copy Volume Mount Points and Directory Links";
inline constexpr const char *kExcludeTip =
    "Excludes files with the specified names, paths, or wildcard characters.";
inline constexpr const char *kJobIncludeTip =
    "Includes files with the specified names, paths, or wildcard characters. Intended for use in Job files only.";
inline constexpr const char *kTimeFixTip = "Fixes file times on all files, even skipped ones.";
inline constexpr const char *kSecFixTip = "Fixes file security on all files, even skipped ones.";
inline constexpr const char *kLogFileTip =
    "Redirects output to the specified file, overwriting the file if it already exists.";
inline constexpr const char *kHHMM = "HHMM";

// Check boxes are 240 twips high where rows stand 240 apart, so that
// neighbouring boxes never overlap.
inline constexpr int R = 240;

inline constexpr ControlSpec kCatalogue[] = {
    // Top fields.
    label("Label1", nullptr, "&Source", C::XP010, {120, 120, 510, 195}, nullptr, BuddyNext),
    combo("cboSource", {120, 360, 6375, 315}, D::Path),
    button("cmdBrowseSource", "&Browse...", {6600, 360, 975, 330}),
    label("Label2", nullptr, "&Destination", C::XP010, {7680, 120, 795, 195}, nullptr, BuddyNext),
    combo("cboDestination", {7680, 360, 6375, 315}, D::Path),
    button("cmdBrowseDestination", "B&rowse...", {14160, 360, 975, 330}),
    label("Label33", nullptr, "File&name(s)", C::XP010, {120, 720, 795, 195},
          "Names of files to act upon. You can use wildcard characters (? and *). If no files are listed, Robocopy defaults to all files (*.*).",
          BuddyNext),
    text("txtFilenames", nullptr, {120, 960, 15015, 285},
         "You can use wildcard characters (? and *). If no files are listed, Robocopy defaults to all files (*.*).",
         D::FileNameList),

    // Folders.
    frame("Frame2", nullptr, "Fo&lders", {120, 1440, 3615, 1095}),
    check("chkSubdirectories", "Frame2", "Subdirectories", C::XP010, {120, 240, 1560, 375},
          "Copy subdirectories"),
    check("chkEmpty", "Frame2", "Empty Also", C::XP010, {1800, 240, 1680, 375},
          "Copy empty directories also", Disabled),
    text("txtLevels", "Frame2", {120, 675, 495, 285}, nullptr, D::None, Disabled),
    label("lblLevels", "Frame2", "Levels", C::XP010, {675, 720, 1200, 195},
          "Copies only the top n levels of the source directory tree.", Disabled),

    // Copy Type.
    frame("Frame4", nullptr, "&Copy Type", {120, 2640, 3615, 1815}),
    check("chkMoveFiles", "Frame4", "Move Files", C::XP010, {240, 360, 1620, R},
          "Move files to the destination, deleting them from the source."),
    check("chkMoveFolders", "Frame4", "Move Folders Too", C::XP010, {1920, 360, 1635, R},
          "Move folders to the destination, deleting them from the source", Disabled),
    check("chkMirror", "Frame4", "Mirror Source", C::XP010, {240, 600, 1620, R},
          "Copy files from the source to the destination, and delete files from the destination that are not in the source."),
    check("chkPurge", "Frame4", "Purge Destination", C::XP010, {240, 840, 1620, R},
          "Deletes destination files and directories that no longer exist in the source."),
    check("chkListFilesOnly", "Frame4", "List Files Only", C::XP010, {240, 1080, 1620, R},
          "Lists files without copying, deleting, or applying a time stamp to any files."),
    check("chkEmptyFiles", "Frame4", "Create Empty Files", C::XP010, {240, 1320, 3255, R},
          "Creates a directory tree structure containing zero-length files only (that is, no file data is copied)."),
    check("chkNoCopy", "Frame4", "No Copy", C::XP010, {1920, 840, 1635, R},
          "Copies Nothing. Can be useful with Purge Destination option."),
    check("chkUnbuffered", "Frame4", "Unbuffered I/O", C::V10, {1920, 1080, 1635, R},
          "Copy using unbuffered I/O (recommended for large files)"),

    // Excludes.
    frame("Frame9", nullptr, "E&xcludes", {120, 4560, 3615, 3015}),
    text("txtExcludeFiles", "Frame9", {120, 435, 3375, 615}, nullptr, D::FileNameList, MultiLine),
    text("txtExcludeFolders", "Frame9", {120, 1305, 3375, 615}, nullptr, D::PathList, MultiLine),
    check("chkExcludeJunctionPoints", "Frame9", "Exclude Junction Points", C::XP010,
          {120, 2040, 3375, R}, kJunctionTip),
    check("chkExcludeJunctionPointsDir", "Frame9", "Exclude Junction Points for Folders", C::XP026,
          {120, 2280, 3375, R}, kJunctionTip),
    check("chkExcludeJunctionPointsFile", "Frame9", "Exclude Junction Points for Files", C::XP026,
          {120, 2520, 3375, R}, kJunctionTip),
    label("Label18", "Frame9", "Exclude Folders", C::XP010, {120, 1110, 3375, 195}, kExcludeTip),
    label("Label17", "Frame9", "Exclude Files", C::XP010, {120, 240, 3375, 195}, kExcludeTip),

    // RoboCopy File Classes.
    frame("Frame15", nullptr, "RoboCo&py File Classes", {120, 7680, 3615, 1455}),
    check("chkExcludeNewer", "Frame15", "Exclude Newer", C::XP010, {120, 240, 1740, 225},
          "Source File Time Newer than Destination File Time"),
    check("chkExcludeExtra", "Frame15", "Exclude Extra", C::XP010, {120, 468, 1740, 225},
          "File is in Destination but Not in Source"),
    check("chkExcludeChanged", "Frame15", "Exclude Changed", C::XP010, {120, 696, 1740, 225},
          "In Source and Destination with Same Time but Different Sizes"),
    check("chkExcludeOlder", "Frame15", "Exclude Older", C::XP010, {120, 924, 1740, 225},
          "Source File Time Older than Destination File Time"),
    check("chkExcludeLonely", "Frame15", "Exclude Lonely", C::XP010, {120, 1150, 1740, 225},
          "File is in Source but not Destination"),
    check("chkIncludeSame", "Frame15", "Include Same", C::XP010, {1920, 240, 1635, 225},
          "File is in Source and Destination with Same Time, Size, Attributes"),
    check("chkIncludeTweaked", "Frame15", "Include Tweaked", C::XP010, {1920, 468, 1635, 225},
          "File is in Source and Destination with Same Time and Size but Different Attributes"),

    // Retries.
    frame("Frame11", nullptr, "Re&tries", {3840, 1440, 2655, 1575}),
    text("txtRetryCount", "Frame11", {120, 240, 615, 285}),
    text("txtRetryWait", "Frame11", {120, 600, 615, 285}),
    check("chkRetriesSave", "Frame11", "Save as Default", C::XP010, {120, 960, 2415, R},
          "Saves Count and Wait settings in the registry as default settings"),
    check("chkWaitForShare", "Frame11", "Wait For Share", C::XP010, {120, 1200, 2415, R},
          "Waits for share names to be defined on a \"Network Name Not Found\" error. "),
    label("Label26", "Frame11", "Wait (Secs)", C::XP010, {840, 645, 1695, 195},
          "Specifies the wait time between retries. (The default is 30 seconds.)"),
    label("Label25", "Frame11", "Count", C::XP010, {840, 285, 1695, 195},
          "Specifies the number of retries on failed copies. (The default is 1 million.)"),

    // File Access.
    frame("Frame3", nullptr, "File Access", {3840, 3120, 2655, 2655}),
    check("chkRestartable", "Frame3", "Restartable", C::XP010, {120, 240, 2415, R},
          "Copies files in restartable mode (that is, restarts the copy process from the point of failure)."),
    check("chkBackup", "Frame3", "Backup", C::XP010, {120, 480, 2415, R},
          "Copies files in Backup mode (Backup copies are not restartable, but can copy some files that restartable mode cannot)."),
    check("chkFATFilenames", "Frame3", "FAT Filenames (8.3)", C::XP010, {120, 720, 2415, R},
          "Creates destination files using only 8.3 FAT file names."),
    check("chkFATFiletimes", "Frame3", "FAT Filetime Compare", C::XP010, {120, 960, 2415, R},
          "Assume FAT File Times (2-second granularity). Useful for copying to third-party systems that declare a volume to be NTFS but only implement file times with a 2-second granularity."),
    check("chk256Char", "Frame3", "256 Char Paths", C::XP010, {120, 1200, 2415, R},
          "Turns off support for very long paths (longer than 256 characters)."),
    check("chkEfsRaw", "Frame3", "EFS Raw Mode", C::XP027, {120, 1440, 2415, R},
          "Copy any encrypted files using EFS RAW mode"),
    check("chkSymbolicLink", "Frame3", "Copy Symbolic Link", C::XP027, {120, 1680, 2415, R},
          "Copies the symbolic link instead of the target."),
    check("chkDstAdjust", "Frame3", "DST Adjust", C::XP026, {120, 1920, 2415, R},
          "Compensate for one-hour DST time differences."),
    text("txtDelayPer64k", "Frame3", {120, 2220, 615, 285}),
    label("Label12", "Frame3", "Delay per 64k (MS)", C::XP010, {840, 2265, 1695, 195},
          "Inserts a delay of n milliseconds after each 64k chunk of file data is copied. Useful for freeing up bandwidth on slow lines."),

    // Copy File/Folder Information: file column at 120, folder column at 480,
    // row labels at 840.
    frame("Frame1", nullptr, "Copy File&/Folder Information", {3840, 5880, 2655, 2535},
          "Copy file data (enabled by default)"),
    check("chkData", "Frame1", "", C::XP010, {120, 480, 300, R}, "Copy file data (enabled by default)",
          Checked),
    check("chkFolderData", "Frame1", "", C::V10, {480, 480, 300, R},
          "Copy folder data (enabled by default)", Checked | BoxColour),
    check("chkAttributes", "Frame1", "", C::XP010, {120, 720, 300, R},
          "Copy file attributes (enabled by default)", Checked),
    check("chkFolderAttributes", "Frame1", "", C::V10, {480, 720, 300, R},
          "Copy folder attributes (enabled by default)", Checked | BoxColour | NoTextColour),
    check("chkTimestamps", "Frame1", "", C::XP010, {120, 960, 300, R},
          "Copy file timestamps (enabled by default)", Checked),
    check("chkFolderTimestamps", "Frame1", "", C::XP010, {480, 960, 300, R}, "Copy folder timestamps"),
    check("chkTimeFix", "Frame1", "", C::XP026, {120, 1200, 300, R}, kTimeFixTip),
    check("chkSecurity", "Frame1", "", C::XP010, {120, 1440, 300, R}, "Copy file security (NTFS ACLs)"),
    check("chkSecFix", "Frame1", "", C::XP026, {120, 1680, 300, R}, kSecFixTip),
    check("chkOwnership", "Frame1", "", C::XP010, {120, 1920, 300, R}, "Copy file ownership information"),
    check("chkAuditing", "Frame1", "", C::XP010, {120, 2160, 300, R}, "Copy file auditing information"),
    check("chkNoOffload", "Frame1", "No Offload", C::V10, {1440, 225, 1155, R},
          "Copy files without using the Windows Copy Offload mechanism"),
    label("Label37", "Frame1", "File", C::XP010, {120, 255, 345, 195}),
    label("Label38", "Frame1", "Folder", C::XP010, {480, 255, 900, 195}),
    label("Label39", "Frame1", "Data", C::XP010, {840, 503, 1755, 195},
          "Copy file/folder data (enabled by default)"),
    label("Label40", "Frame1", "Attributes", C::XP010, {840, 743, 1755, 195},
          "Copy file/folder attributes (enabled by default)"),
    label("Label41", "Frame1", "Timestamps", C::XP010, {840, 983, 1755, 195},
          "Copy file/folder timestamps (enabled by default for files)"),
    label("Label45", "Frame1", "T/S Fix", C::XP026, {960, 1223, 1635, 195}, kTimeFixTip),
    label("Label42", "Frame1", "Security", C::XP010, {840, 1463, 1755, 195},
          "Copy file security (NTFS ACLs)"),
    label("Label46", "Frame1", "Sec Fix", C::XP026, {960, 1703, 1635, 195}, kSecFixTip),
    label("Label43", "Frame1", "Ownership", C::XP010, {840, 1943, 1755, 195},
          "Copy file ownership information"),
    label("Label44", "Frame1", "Auditing", C::XP010, {840, 2183, 1755, 195},
          "Copy file auditing information"),

    // Multithreading.
    frame("Frame16", nullptr, "&Multithreading", {3840, 8520, 2655, 615}),
    check("chkThreadsEnable", "Frame16", "Enable", C::XP027, {120, 255, 1080, 255},
          "Enable multithreaded copy mode"),
    text("txtThreadsCount", "Frame16", {1260, 240, 495, 285}, nullptr, D::None, Disabled, "1"),
    label("lblThreadsCount", "Frame16", "Threads", C::XP027, {1815, 285, 780, 195},
          "Number of simultaneous threads (1 to 128, default 8)", Disabled),

    // Jobs.
    frame("Frame14", nullptr, "&Jobs", {6600, 1440, 4335, 4335}),
    text("txtJobRead", "Frame14", {120, 450, 4095, 285}, nullptr, D::FileName),
    text("txtJobWrite", "Frame14", {120, 1050, 4095, 285}, nullptr, D::FileName),
    check("chkJobQuit", "Frame14", "Read/Write and Quit", C::XP010, {120, 1440, 4095, R},
          "Quits after processing the command line. No files will be copied. Use /QUIT with /JOB to view job file contents."),
    check("chkJobNoSource", "Frame14", "No Source Specified", C::XP010, {120, 1680, 4095, R},
          "Declares that no source directory is specified. Useful in template Jobs for which the source is provided at run time."),
    check("chkJobNoDest", "Frame14", "No Destination Specified", C::XP010, {120, 1920, 4095, R},
          "Declares that no destination directory is specified. Useful in template Jobs for which the destination is provided at run time."),
    text("txtJobIncludeFiles", "Frame14", {120, 2430, 4095, 285}, kJobIncludeTip, D::FileNameList),
    text("txtJobExplicitSource", "Frame14", {120, 3030, 4095, 285}, nullptr, D::Path),
    text("txtJobExplicitDest", "Frame14", {120, 3630, 4095, 285}, nullptr, D::Path),
    label("Label29", "Frame14", "Read Job File", C::XP010, {120, 240, 4095, 195},
          "Reads parameters from the named Job file"),
    label("Label28", "Frame14", "Write Job File", C::XP010, {120, 840, 4095, 195},
          "Writes the current parameter settings to the named Job file"),
    label("Label30", "Frame14", "Include Files", C::XP010, {120, 2220, 4095, 195}, kJobIncludeTip),
    label("Label32", "Frame14", "Explicit Source", C::XP010, {120, 2820, 4095, 195},
          "Explicitly specifies the source directory for the copy. Intended for use in Job files only."),
    label("Label31", "Frame14", "Explicit Destination", C::XP010, {120, 3420, 4095, 195},
          "Explicitly specifies the destination directory for the copy. Intended for use in Job files only."),

    // Output Display: three columns of up to five rows.
    frame("Frame12", nullptr, "Output Displa&y", {6600, 5880, 5655, 1575}),
    check("chkDspVerbose", "Frame12", "Verbose", C::XP010, {120, 240, 1740, R},
          "Produces verbose output (including skipped files)."),
    check("chkDspExtra", "Frame12", "Extra", C::XP010, {120, 480, 1740, R},
          "Reports all files tagged as \"Extra\"(including files not selected)."),
    check("chkDspTimestamps", "Frame12", "Timestamps", C::XP010, {120, 720, 1740, R},
          "Displays source file timestamps in the output log."),
    check("chkDspFullPaths", "Frame12", "Full Paths", C::XP010, {120, 960, 1740, R},
          "Displays full pathnames of files in the output log"),
    check("chkDspNoClasses", "Frame12", "No Classes", C::XP010, {120, 1200, 1740, R},
          "Suppresses output of Robocopy file classes (see below)"),
    check("chkDspNoSizes", "Frame12", "No File/Folder Sizes", C::XP010, {1920, 240, 1980, R},
          "Suppresses output of file and directory sizes."),
    check("chkDspETA", "Frame12", "ETA", C::XP010, {1920, 480, 1980, R},
          "Shows estimated time of completion for copied files."),
    check("chkLogNoFolderNames", "Frame12", "No Folder Names", C::XP010, {1920, 720, 1980, R},
          "Turns off logging of directory names. Full file pathnames (as opposed to simple file names) will be shown."),
    check("chkLogNoFilenames", "Frame12", "No File Names", C::XP010, {1920, 960, 1980, R},
          "Turns off logging of file names. File names are still shown, however, if file copy errors occur."),
    check("chkLogNoHeader", "Frame12", "No Header", C::XP010, {1920, 1200, 1980, R},
          "Turns off logging of the job header."),
    check("chkLogNoSummary", "Frame12", "No Summary", C::XP010, {3960, 240, 1575, R},
          "Turns off logging of the job summary."),
    check("chkLogNoProgress", "Frame12", "No Progress (%)", C::XP010, {3960, 480, 1575, R},
          "Turns off copy progress indicator (% copied)."),
    check("chkLogSizeBytes", "Frame12", "Size in Bytes", C::XP026, {3960, 720, 1575, R},
          "Print sizes as bytes."),

    // Limits: a grid with column heads and row labels at the right.
    frame("Frame10", nullptr, "Limits", {6600, 7560, 5655, 1575}),
    text("txtMinBytes", "Frame10", {120, 480, 900, 285}),
    text("txtMaxBytes", "Frame10", {1080, 480, 900, 285}),
    text("txtMinAge", "Frame10", {120, 840, 900, 285}),
    text("txtMaxAge", "Frame10", {1080, 840, 900, 285}),
    text("txtMinLAD", "Frame10", {120, 1200, 900, 285}),
    text("txtMaxLAD", "Frame10", {1080, 1200, 900, 285}),
    label("Label24", "Frame10", "Last Accessed Date (# days or YYYYMMDD)", C::XP010,
          {2040, 1245, 3495, 195},
          "Excludes files with a Last Accessed Date outside of the specified range (in days or a date as YYYYMMDD)."),
    label("Label22", "Frame10", "Age (# days or YYYYMMDD)", C::XP010, {2040, 885, 3495, 195},
          "Excludes files with a Last Modified Date outside of the specified range (in days or a date as YYYYMMDD)."),
    label("Label21", "Frame10", "Maximum", C::XP010, {1080, 255, 900, 195}),
    label("Label20", "Frame10", "Bytes", C::XP010, {2040, 525, 3495, 195},
          "Excludes files outside of the specified minimum and / or maximum size"),
    label("Label19", "Frame10", "Minimum", C::XP010, {120, 255, 900, 195}),

    // Attributes: two nested frames.
    frame("Frame7", nullptr, "Attributes", {11040, 1440, 4095, 4335}),
    frame("Frame5", "Frame7", "Dest&ination", {120, 240, 3855, 1575},
          "Add or remove the specified attributes from the destination files."),
    check("chkDestReadOnlyAdd", "Frame5", "", C::XP010, {240, 480, 300, R}),
    check("chkDestReadonlyDel", "Frame5", "Read Only", C::XP010, {600, 480, 1200, R}),
    check("chkDestHiddenAdd", "Frame5", "", C::XP010, {240, 720, 300, R}),
    check("chkDestHiddenDel", "Frame5", "Hidden", C::XP010, {600, 720, 1200, R}),
    check("chkDestSystemAdd", "Frame5", "", C::XP010, {240, 960, 300, R}),
    check("chkDestSystemDel", "Frame5", "System", C::XP010, {600, 960, 1200, R}),
    check("chkDestCompressedAdd", "Frame5", "", C::XP010, {240, 1200, 300, R}),
    check("chkDestCompressedDel", "Frame5", "Compressed", C::XP026, {600, 1200, 1200, R}),
    check("chkDestArchiveAdd", "Frame5", "", C::XP010, {1800, 480, 300, R}),
    check("chkDestArchiveDel", "Frame5", "Archive", C::XP010, {2160, 480, 1635, R}),
    check("chkDestIndexAdd", "Frame5", "", C::XP010, {1800, 720, 300, R}),
    check("chkDestIndexDel", "Frame5", "Not Indexed", C::XP010, {2160, 720, 1635, R}),
    check("chkDestTempAdd", "Frame5", "", C::XP010, {1800, 960, 300, R}),
    check("chkDestTempDel", "Frame5", "Temporary", C::XP010, {2160, 960, 1635, R}),
    check("chkDestEncryptedAdd", "Frame5", "", C::XP010, {1800, 1200, 300, R}),
    check("chkDestEncryptedDel", "Frame5", "Encrypted", C::XP026, {2160, 1200, 1635, R}),
    label("Label4", "Frame5", "Add", C::XP010, {240, 255, 360, 195}),
    label("Label5", "Frame5", "Del", C::XP010, {600, 255, 360, 195}),
    label("Label6", "Frame5", "Add", C::XP010, {1800, 255, 360, 195}),
    label("Label7", "Frame5", "Del", C::XP010, {2160, 255, 360, 195}),

    frame("Frame8", "Frame7", "So&urce", {120, 1920, 3855, 2295},
          "Only copy files with the specified Include or without the specified Exclude attributes."),
    check("chkSourceReadOnlyIncl", "Frame8", "", C::XP010, {240, 480, 300, R}),
    check("chkSourceReadOnlyExcl", "Frame8", "Read Only", C::XP010, {600, 480, 1260, R}),
    check("chkSourceHiddenIncl", "Frame8", "", C::XP010, {240, 720, 300, R}),
    check("chkSourceHiddenExcl", "Frame8", "Hidden", C::XP010, {600, 720, 1260, R}),
    check("chkSourceSystemIncl", "Frame8", "", C::XP010, {240, 960, 300, R}),
    check("chkSourceSystemExcl", "Frame8", "System", C::XP010, {600, 960, 1260, R}),
    check("chkSourceEncryptedIncl", "Frame8", "", C::XP010, {240, 1200, 300, R}),
    check("chkSourceEncryptedExcl", "Frame8", "Encrypted", C::XP010, {600, 1200, 1260, R}),
    check("chkSourceCompressedIncl", "Frame8", "", C::XP010, {240, 1440, 300, R}),
    check("chkSourceCompressedExcl", "Frame8", "Compressed", C::XP010, {600, 1440, 1260, R}),
    check("chkSourceArchiveIncl", "Frame8", "", C::XP010, {1920, 480, 300, R}),
    check("chkSourceArchiveExcl", "Frame8", "Archive", C::XP010, {2280, 480, 1515, R}),
    check("chkSourceNotIndexedIncl", "Frame8", "", C::XP010, {1920, 720, 300, R}),
    check("chkSourceNotIndexedExcl", "Frame8", "Not Indexed", C::XP010, {2280, 720, 1515, R}),
    check("chkSourceTempIncl", "Frame8", "", C::XP010, {1920, 960, 300, R}),
    check("chkSourceTempExcl", "Frame8", "Temporary", C::XP010, {2280, 960, 1515, R}),
    check("chkSourceOfflineIncl", "Frame8", "", C::XP010, {1920, 1200, 300, R}),
    check("chkSourceOfflineExcl", "Frame8", "Offline", C::XP010, {2280, 1200, 1515, R}),
    check("chkSourceArchiveOnly", "Frame8", "Only Archived Files", C::XP010, {1920, 1560, 1875, R},
          "Copies only files with the archive attribute set."),
    check("chkSourceArchiveReset", "Frame8", "Reset", C::XP010, {2160, 1800, 1635, R},
          "Copies only files with the archive attribute set and then resets (turns off) the archive attribute in the source files.",
          Disabled),
    label("Label13", "Frame8", "Incl", C::XP010, {240, 255, 360, 195}),
    label("Label14", "Frame8", "Excl", C::XP010, {600, 255, 360, 195}),
    label("Label15", "Frame8", "Incl", C::XP010, {1920, 255, 360, 195}),
    label("Label16", "Frame8", "Excl", C::XP010, {2280, 255, 360, 195}),

    // Monitoring.
    frame("Frame6", nullptr, "Mo&nitoring", {12360, 5880, 2775, 1575}),
    text("txtChangeCount", "Frame6", {240, 240, 780, 285}),
    text("txtDelayMinutes", "Frame6", {240, 570, 780, 285}),
    text("txtAllowedStart", "Frame6", {240, 915, 660, 285}, kHHMM),
    text("txtAllowedEnd", "Frame6", {1200, 915, 660, 285}, kHHMM),
    check("chkFrequentChecks", "Frame6", "Frequent Checks", C::XP010, {240, 1260, 2415, R},
          "Makes more frequent checks to see if starting new copies is allowed (per file rather than per pass). Useful in stopping copy activity more promptly at the end of the run hours time slot."),
    label("Label23", "Frame6", "(HHMM)", C::XP010, {1920, 960, 795, 195},
          "Defines the time slot during which starting new copies is allowed. Useful for restricting copies to certain times of the day. Both values must be 24-hour times in the range 0000 to 2359."),
    label("Label10", "Frame6", "to", C::XP010, {945, 960, 225, 195}),
    label("Label9", "Frame6", "Delay (Minutes)", C::XP010, {1080, 615, 1635, 195},
          "Monitors the source directory for changes, and runs again when a further n minutes have elapsed, and the minimum number of changes specified have been detected."),
    label("Label8", "Frame6", "Change Count", C::XP010, {1080, 285, 1635, 195},
          "Monitors the source directory for changes, and runs again when n changes have been detected, and the minimum time interval specified has elapsed."),

    // Logging.
    frame("Frame13", nullptr, "Lo&gging", {12360, 7560, 2775, 1575}),
    label("Label27", "Frame13", "Logfile", C::XP010, {120, 240, 2535, 195}, kLogFileTip),
    text("txtLogFile", "Frame13", {120, 435, 2535, 285}, kLogFileTip, D::Path),
    check("chkLogAppend", "Frame13", "Append", C::XP010, {120, 810, 2535, 195},
          "Append to existing log instead of overwriting", Disabled),
    check("chkLogUnicode", "Frame13", "Unicode", C::XP026, {120, 1050, 2535, 195},
          "Output status as unicode", Disabled),
    check("chkLogShowInConsole", "Frame13", "Show In Console", C::XP010, {120, 1290, 2535, 195},
          "Show logging on screen also", Disabled),

    // Version key, bottom right.
    label("Label36", nullptr, "RoboCopy Version Requirements Key:", C::XP010, {9960, 9210, 2700, 195}),
    label("Label34", nullptr, "XP010", C::XP010, {12840, 9210, 480, 195},
          "All options in black work in RoboCopy version XP010 (comes with Windows Server 2003 Resource Kit)",
          KeyBlack),
    label("Label35", nullptr, "XP026", C::XP026, {13440, 9210, 480, 195},
          "All options in red work in RoboCopy version XP026 and above (installed with Corvane)"),
    label("Label3", nullptr, "XP027", C::XP027, {14040, 9210, 480, 195},
          "All options in blue work in RoboCopy version XP027 (comes with Windows Vista, v7, and Server 2008)"),
    label("Label47", nullptr, "10.0", C::V10, {14640, 9210, 315, 195},
          "All options in green work in RoboCopy version 10.0 (comes with Windows 10)"),

    // Bottom fields.
    label("Label11", nullptr, "Comm&and Line", C::XP010, {120, 9240, 1050, 195}, nullptr, BuddyNext),
    text("txtCommandLine", nullptr, {120, 9480, 11320, 645}, nullptr, D::None, MultiLine),
    button("cmdExecute", "&Execute", {13440, 9480, 1695, 615}),
    button("cmdCopy", "Copy to Clipboard", {11616, 9480, 1695, 615}),
};

inline constexpr MenuSpec kMenus[] = {
    {"mnuFile", nullptr, "&File", nullptr, false},
    {"mnuFileSaveAs", "mnuFile", "Save Command Line &As...", nullptr, false},
    {"mnuFileOpen", "mnuFile", "&Open Command File...", nullptr, false},
    {"mnuFileApplyCommand", "mnuFile", "Set Options from Command &Text", nullptr, false},
    {"mnuFileSep4", "mnuFile", "-", nullptr, false},
    {"mnuFileSchedule", "mnuFile", "Sc&hedule Command...", nullptr, false},
    {"mnuFileSchedules", "mnuFile", "Sche&duled Commands...", nullptr, false},
    {"mnuFileSep3", "mnuFile", "-", nullptr, false},
    {"mnuFileClear", "mnuFile", "&Clear Settings", "Ctrl+L", false},
    {"mnuFileLoad", "mnuFile", "&Load Settings", "Ctrl+O", false},
    {"mnuFileSave", "mnuFile", "&Save Settings", "Ctrl+S", false},
    {"mnuFileSep1", "mnuFile", "-", nullptr, false},
    {"mnuFileExecute", "mnuFile", "&Execute", "Ctrl+E", false},
    {"mnuFileSep2", "mnuFile", "-", nullptr, false},
    {"mnuFileExit", "mnuFile", "E&xit", nullptr, false},
    {"mnuOptions", nullptr, "&Options", nullptr, false},
    {"mnuOptionsAutoClose", "mnuOptions", "&Auto-Close Command Window", nullptr, true},
    {"mnuOptionsSaveOnExit", "mnuOptions", "&Save Settings On Exit", nullptr, true},
    {"mnuOptionsUseIni", "mnuOptions", "&Use INI File for Settings", nullptr, true},
    {"mnuOptionsPreview", "mnuOptions", "&Preview Runs That Delete", nullptr, true},
    {"mnuOptionsShowProgress", "mnuOptions", "S&how Progress in Corvane", nullptr, true, true},
    {"mnuHelp", nullptr, "&Help", nullptr, false},
    {"mnuHelpRoboCopy", "mnuHelp", "&RoboCopy Manual", nullptr, false},
    {"mnuHelpAbout", "mnuHelp", "&About", nullptr, false},
};

} // namespace catalogue_table
