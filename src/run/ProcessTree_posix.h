#pragma once

// POSIX side of a run's process tree: each program a run starts leads a
// process group of its own, which takes along whatever that program starts,
// so that the run is stopped, continued and ended as a whole. Only POSIX and
// the standard library are used, as on the Windows side.

#include <cstdint>

namespace posix {

// Called in the new process before it runs the program: it leads a group
// of its own. Safe between fork and exec.
void LeadOwnGroup();

// Sends the signal to the whole group. False when there is no such group.
bool SignalGroup(long group, int signal);
// Stops (SIGSTOP), continues (SIGCONT) or kills (SIGKILL) the group.
bool StopGroup(long group);
bool ContinueGroup(long group);
bool KillGroup(long group);

// The bytes the process has written (files, pipes; copy_file_range too), as
// Linux counts them in /proc/PID/io; -1 where that cannot be read.
std::int64_t WrittenBytes(long processId);

} // namespace posix
