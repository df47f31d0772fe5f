#pragma once

// Windows side of a run's process tree: a job object that holds cmd.exe
// and everything it starts, so that the run is paused, continued and ended
// as a whole. Only the Win32 API and the standard library are used, so the
// file can be compile-checked with a cross compiler.

#include <cstdint>

namespace win32 {

struct RunJob;

// A job whose processes end when it is closed (Corvane going away with a
// run takes the run along, as its Cancel would). Null when it cannot be made.
RunJob *CreateRunJob();
void CloseRunJob(RunJob *job);

// Puts the process, started suspended, into the job and lets it run. False
// when it could not be put there (it is let run all the same).
bool AdoptSuspended(RunJob *job, unsigned long processId);

// Suspends or resumes every thread of every process in the job.
bool SuspendJob(RunJob *job, bool suspend);

// Ends every process in the job with the code.
bool EndJob(RunJob *job, unsigned exitCode);

// The bytes the job's processes have written (files, pipes), or -1.
std::int64_t JobWrittenBytes(RunJob *job);

} // namespace win32
