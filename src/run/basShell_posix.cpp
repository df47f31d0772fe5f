// POSIX implementation of basShell's process start. Built everywhere but Windows.
#ifndef _WIN32

#include "basShell_posix.h"

#include <cerrno>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

extern char **environ;

namespace posix {

namespace {

int exitCodeOf(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    // A shell would report 128 + the signal, which the exit report reads as
    // Robocopy's bits (137 as files not copied); a console that never
    // finished must read as the serious error it is.
    if (WIFSIGNALED(status))
        return -4;
    return -2;
}

void sleep55ms()
{
    timespec left{0, 55'000'000};
    while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

} // namespace

int RunAndWait(const std::string &program, const std::string &argument, bool (*pump)(void *context), void *context)
{
    // posix_spawn takes non-const strings and changes none of them.
    std::string programCopy = program;
    std::string argumentCopy = argument;
    char *argv[] = {programCopy.data(), argumentCopy.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0)
        return -1;

    for (;;) {
        int status = 0;
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return -2;
        if (pump && !pump(context)) {
            if (r == 0) {
                // The console goes on by itself; a detached waiter collects
                // its exit so that it leaves no zombie behind.
                std::thread([pid] {
                    int ignored = 0;
                    while (::waitpid(pid, &ignored, 0) < 0 && errno == EINTR) {
                    }
                }).detach();
            }
            return -3;
        }
        sleep55ms();
        if (r == pid)
            return exitCodeOf(status);
    }
}

} // namespace posix

#endif
