#pragma once

#include "copy/Classify.h"
#include "copy/CopyOptions.h"
#include "copy/CopyTypes.h"
#include "copy/DataPath.h"

#include <functional>
#include <memory>

// One pass of corvane-copy: the walk of both trees on folder descriptors,
// a decision for every name (Classifier), and the action taken, in line or
// by the /MT workers while the walk goes on. Everything it does becomes an
// event for the report; nothing here prints.
namespace copy {

// Receives the events of a run, from the walk and from the workers; calls
// are serialised by the engine, one event at a time.
using EventSink = std::function<void(const Event &)>;

// The data path's settings from the options.
DataPathSettings DataPathSettingsFrom(const CopyOptions &options);

// The run's clock: now, and the local time zone for dates and the report.
RunClock CurrentClock();

// /RH:hhmm-hhmm: whether new copies may start at this minute of the day. The
// end is not part of the window, a window may run past midnight, and one
// that starts where it ends is the whole day.
bool WithinRunHours(const RunHours &hours, int minuteOfDay);

class Engine
{
public:
    Engine(const CopyOptions &options, const RunClock &clock, EventSink sink);
    ~Engine();
    Engine(const Engine &) = delete;
    Engine &operator=(const Engine &) = delete;

    // Runs the pass and returns its totals; a serious error (no source,
    // destination not usable) ends it at once with totals.serious set.
    Totals run();

    // Silent passes for /MON: with this set, nothing is written or deleted
    // and no event reaches the sink; run() only counts.
    void setCountOnly(bool countOnly) { m_countOnly = countOnly; }

    // Called before each file copy; blocks while the copy may not start
    // (/RH with /PF). Not called when unset.
    void setBeforeEachFile(std::function<void()> wait) { m_beforeEachFile = std::move(wait); }

    // A file the run must never delete or replace (a log file open on fd,
    // which must stay open for the run): before run().
    void protectFile(int fd);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
    bool m_countOnly = false;
    std::function<void()> m_beforeEachFile;
};

} // namespace copy
