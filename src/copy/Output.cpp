#include "copy/Output.h"

#include <chrono>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace copy {

namespace {

void putUnit(std::string &out, uint32_t unit)
{
    out.push_back(char(uint8_t(unit)));
    out.push_back(char(uint8_t(unit >> 8)));
}

} // namespace

std::string Utf16FromUtf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size() * 2);
    for (size_t i = 0; i < s.size();) {
        const auto b = uint8_t(s[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        auto cont = [&](size_t k) { return i + k < s.size() && (uint8_t(s[i + k]) & 0xC0) == 0x80; };
        if (b < 0x80) {
            cp = b;
        } else if (b >= 0xC2 && b < 0xE0 && cont(1)) {
            cp = uint32_t(b & 0x1F) << 6 | (uint8_t(s[i + 1]) & 0x3F);
            len = 2;
        } else if (b >= 0xE0 && b < 0xF0 && cont(1) && cont(2)) {
            const uint32_t c = uint32_t(b & 0x0F) << 12 | uint32_t(uint8_t(s[i + 1]) & 0x3F) << 6
                | (uint8_t(s[i + 2]) & 0x3F);
            if (c >= 0x800 && (c < 0xD800 || c > 0xDFFF)) {
                cp = c;
                len = 3;
            }
        } else if (b >= 0xF0 && b < 0xF5 && cont(1) && cont(2) && cont(3)) {
            const uint32_t c = uint32_t(b & 0x07) << 18 | uint32_t(uint8_t(s[i + 1]) & 0x3F) << 12
                | uint32_t(uint8_t(s[i + 2]) & 0x3F) << 6 | (uint8_t(s[i + 3]) & 0x3F);
            if (c >= 0x10000 && c <= 0x10FFFF) {
                cp = c;
                len = 4;
            }
        }
        if (cp >= 0x10000) {
            const uint32_t v = cp - 0x10000;
            putUnit(out, 0xD800 | (v >> 10));
            putUnit(out, 0xDC00 | (v & 0x3FF));
        } else {
            putUnit(out, cp);
        }
        i += len;
    }
    return out;
}

SysError Output::openLog(const std::string &path, bool append, bool unicode, bool tee)
{
    Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0666));
    if (!fd)
        return SysError{errno};
    struct stat st;
    if (::fstat(fd.get(), &st) < 0)
        return SysError{errno};
    if (unicode && st.st_size == 0) {
        int e = 0;
        writeAll(fd.get(), "\xFF\xFE", &e);
        if (e)
            return SysError{e};
    }
    const std::lock_guard lock(m_mutex);
    flushLocked(); // what came before goes where it was meant to
    m_log = std::move(fd);
    m_unicode = unicode;
    m_toConsole = tee;
    return {};
}

void Output::writeAll(int fd, std::string_view bytes, int *error)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (error && !*error)
                *error = errno;
            return;
        }
        bytes.remove_prefix(size_t(n));
    }
}

namespace {
constexpr size_t kFlushBytes = 64 * 1024;
constexpr auto kFlushDelay = std::chrono::milliseconds(100);
} // namespace

Output::~Output()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        flushLocked();
    }
    m_waiting.notify_all();
    if (m_flusher.joinable())
        m_flusher.join();
}

void Output::write(std::string_view text)
{
    if (text.empty())
        return;
    std::unique_lock lock(m_mutex);
    const bool first = m_pending.empty();
    m_pending.append(text);
    if (m_pending.size() >= kFlushBytes || m_stopping) {
        flushLocked();
        return;
    }
    if (!first)
        return;
    // Something waits now: it goes out within a tenth of a second, even when
    // nothing follows it for long (a big file being copied under /NP).
    if (!m_flusher.joinable())
        m_flusher = std::thread([this] { waitAndFlush(); });
    lock.unlock();
    m_waiting.notify_one();
}

void Output::waitAndFlush()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        m_waiting.wait(lock, [this] { return m_stopping || !m_pending.empty(); });
        if (m_stopping)
            return;
        m_waiting.wait_for(lock, kFlushDelay, [this] { return m_stopping; });
        flushLocked();
    }
}

void Output::flushLocked()
{
    if (m_pending.empty())
        return;
    if (m_toConsole)
        writeAll(m_console, m_pending, nullptr); // a closed console does not stop the copy
    if (m_log) {
        if (m_unicode) {
            m_buffer = Utf16FromUtf8(m_pending);
            writeAll(m_log.get(), m_buffer, &m_logError);
        } else {
            writeAll(m_log.get(), m_pending, &m_logError);
        }
    }
    m_pending.clear();
}

void Output::flush()
{
    const std::lock_guard lock(m_mutex);
    flushLocked();
}

int Output::logError()
{
    const std::lock_guard lock(m_mutex);
    flushLocked();
    return m_logError;
}

void Output::writeConsole(std::string_view text)
{
    const std::lock_guard lock(m_mutex);
    flushLocked();
    writeAll(m_console, text, nullptr);
}

} // namespace copy
