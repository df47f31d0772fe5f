#pragma once

// The report of a run, as Robocopy prints it: the header, one line per folder
// and file, error and retry lines, and the summary. One formatter for the
// console, /LOG and /TEE alike; the sinks only write what it returns, whole
// lines at a time (a progress update is the one thing written mid-line).

#include "copy/CopyOptions.h"
#include "copy/CopyTypes.h"

#include <string>
#include <string_view>

namespace copy {

class Report
{
public:
    // utcOffsetSeconds: local time minus UTC, for the times the report shows.
    Report(const CopyOptions &options, int32_t utcOffsetSeconds);

    // The job header (empty under /NJH): title, Started, the folders, the
    // file names, the exclusions, the options in their canonical order with
    // the defaults filled in, and NOTE lines for switches that do nothing here.
    std::string header(int64_t startedNs) const;

    // The text of one event; empty when the display switches leave it out.
    //
    // Without /MT a copy's File event comes when the copy starts: its line
    // stays open for the percentages of the Progress events that follow,
    // and the one of 1000 per mille closes it. Under /MT (the /MT form: no
    // folder lines, full paths) the File event of a copy comes when it is
    // done, and its line starts with "100%".
    //
    // Event paths: Dir events name the folder in dir (the destination's for
    // an extra folder); File events the folder in dir and the entry in name
    // (the destination's folder for an extra file, which is always shown with
    // its full path); Error events the path in dir + name.
    std::string format(const Event &event);

    // Ends a line left open by a copy's progress (before the summary, say).
    std::string closeLine();

    // The summary table, Speed lines and Ended (empty under /NJS).
    std::string summary(const Totals &totals, int64_t endedNs) const;

    bool multiThreadedForm() const { return m_options.threads > 0; }

private:
    std::string fileLine(const Event &event) const;
    std::string dirLine(const Event &event) const;
    std::string errorLines(const Event &event) const;

    const CopyOptions &m_options;
    int32_t m_utcOffsetSeconds;
    bool m_lineOpen = false; // a copy's line waits for its percentages
    int m_percentShown = -1;
};

// The options as the header's "Options :" line shows them: the file names,
// then every switch in Robocopy's canonical order with the defaults filled in.
std::string OptionsText(const CopyOptions &options);

// A size as file lines show it (bytes below 1 MiB, else "44.0 m") and as the
// summary does (bytes below 1 KiB, else "3.9 k"); raw bytes under /BYTES.
std::string FileSizeText(uint64_t bytes, bool rawBytes);
std::string SummarySizeText(uint64_t bytes, bool rawBytes);

// Times as the report writes them, in local time.
std::string LongDateTime(int64_t ns, int32_t utcOffsetSeconds);   // "Thursday, March 8, 2018 2:34:58 PM"
std::string StampDateTime(int64_t ns, int32_t utcOffsetSeconds);  // "2018/03/08 14:34:58"

// Robocopy's answer to a switch it does not know (exit code 16).
std::string InvalidParameterText(int index, std::string_view word);

// How to call the program (corvane-copy /?), and what becomes of each switch.
std::string UsageText();

// With /LOG and no /TEE the console shows only where the log went.
std::string LogFileNotice(std::string_view logFile);

// The report's name for the action an error struck.
std::string_view ErrorActionText(ErrorAction action);

} // namespace copy
