#pragma once

#include <cstdint>
#include <ctime>

// Times as the engine keeps them (nanoseconds since the epoch, UTC) and as
// the system takes them. The one conversion to a timespec: its nanoseconds
// are never negative, so a time before 1970 with a fraction of a second
// (-0.5 s is -1 s + 500,000,000 ns) is one futimens accepts.
namespace copy {

inline int64_t NsOf(const struct timespec &t) { return int64_t(t.tv_sec) * 1000000000 + t.tv_nsec; }

inline struct timespec TimespecOf(int64_t ns)
{
    int64_t seconds = ns / 1000000000;
    int64_t rest = ns % 1000000000;
    if (rest < 0) {
        rest += 1000000000;
        --seconds;
    }
    return {time_t(seconds), long(rest)};
}

} // namespace copy
