// POSIX side of a run's process tree. Built everywhere but Windows.
#ifndef _WIN32

#include "ProcessTree_posix.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace posix {

void LeadOwnGroup() { ::setpgid(0, 0); }

bool SignalGroup(long group, int signal)
{
    // Never the caller's own group, nor everyone (0, -1).
    if (group <= 1 || pid_t(group) == ::getpgrp())
        return false;
    return ::killpg(pid_t(group), signal) == 0;
}

bool StopGroup(long group) { return SignalGroup(group, SIGSTOP); }
bool ContinueGroup(long group) { return SignalGroup(group, SIGCONT); }
bool KillGroup(long group) { return SignalGroup(group, SIGKILL); }

std::int64_t WrittenBytes(long processId)
{
    char path[64];
    std::snprintf(path, sizeof path, "/proc/%ld/io", processId);
    FILE *f = std::fopen(path, "re");
    if (!f)
        return -1;
    char line[128];
    std::int64_t written = -1;
    while (std::fgets(line, sizeof line, f)) {
        long long value = 0;
        if (std::sscanf(line, "wchar: %lld", &value) == 1) {
            written = value;
            break;
        }
    }
    std::fclose(f);
    return written;
}

} // namespace posix

#endif
