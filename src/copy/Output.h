#pragma once

#include "copy/Fd.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <string>
#include <string_view>

// Where the report goes: the console (standard output), a log file
// (/LOG /LOG+ as the report's bytes, /UNILOG /UNILOG+ as UTF-16 with a byte
// order mark at the start of the file), or both (/TEE). Texts are whole
// lines and are kept whole: they gather in a buffer, written out when it
// holds 64 KiB, a tenth of a second after the first text waiting, and at
// the end (flush, or the destructor), so lines from workers never
// interleave and a run of a hundred thousand files does not pay a write()
// per line.
namespace copy {

class Output
{
public:
    explicit Output(int consoleFd = 1) : m_console(consoleFd) {}
    ~Output();
    Output(const Output &) = delete;
    Output &operator=(const Output &) = delete;

    // Opens the log file; the console then stays silent unless tee.
    SysError openLog(const std::string &path, bool append, bool unicode, bool tee);
    bool logging() const { return m_log.valid(); }
    int logFd() const { return m_log.get(); }

    void write(std::string_view text);
    // Only the console (the " Log File : " line Robocopy shows when it logs).
    void writeConsole(std::string_view text);
    // Writes out what waits.
    void flush();

    // The first failure to write the log, 0 when none.
    int logError();

private:
    static void writeAll(int fd, std::string_view bytes, int *error);
    void flushLocked();
    void waitAndFlush();

    std::mutex m_mutex;
    std::condition_variable m_waiting;
    std::thread m_flusher;
    bool m_stopping = false;
    int m_console;
    bool m_toConsole = true;
    Fd m_log;
    bool m_unicode = false;
    int m_logError = 0;
    std::string m_pending;
    std::string m_buffer;
};

// UTF-8 to UTF-16LE; a byte that is not part of valid UTF-8 becomes U+FFFD.
std::string Utf16FromUtf8(std::string_view utf8);

} // namespace copy
