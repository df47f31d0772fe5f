// Win32 side of AtomicFile. Built on Windows only.
#ifdef _WIN32

#include "AtomicFile.h"

#include <windows.h>

#include <algorithm>
#include <string>

namespace atomicfile {

namespace {

HANDLE handleOf(std::intptr_t h) { return reinterpret_cast<HANDLE>(h); }

bool writeAll(HANDLE file, std::string_view data)
{
    while (!data.empty()) {
        const DWORD chunk = DWORD(std::min<size_t>(data.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, data.data(), chunk, &written, nullptr) || written == 0)
            return false;
        data.remove_prefix(written);
    }
    return true;
}

bool rewrite(HANDLE file, std::string_view data)
{
    LARGE_INTEGER start{};
    return SetFilePointerEx(file, start, nullptr, FILE_BEGIN) && writeAll(file, data) && SetEndOfFile(file) &&
           FlushFileBuffers(file);
}

} // namespace

NewFile::~NewFile()
{
    if (m_handle != -1) {
        CloseHandle(handleOf(m_handle));
        DeleteFileW(m_path.c_str());
    }
}

Create NewFile::create(const std::filesystem::path &path, const std::filesystem::path &)
{
    // Not shared for deleting: while it is open, removeAbandoned() cannot take it.
    // A new file takes the permissions of its folder, as the old one had.
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS)
            return Create::Exists;
        return error == ERROR_ACCESS_DENIED ? Create::Denied : Create::Failed;
    }
    m_path = path;
    m_handle = reinterpret_cast<std::intptr_t>(file);
    return Create::Ok;
}

bool NewFile::write(std::string_view data)
{
    return m_handle != -1 && writeAll(handleOf(m_handle), data) && FlushFileBuffers(handleOf(m_handle));
}

bool NewFile::commit(const std::filesystem::path &target)
{
    if (m_handle == -1)
        return false;
    const bool closed = CloseHandle(handleOf(m_handle));
    m_handle = -1;
    if (closed && MoveFileExW(m_path.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    DeleteFileW(m_path.c_str());
    return false;
}

bool overwrite(const std::filesystem::path &path, std::string_view data)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size{};
    std::string old;
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart >= 0;
    if (ok) {
        old.resize(size_t(size.QuadPart));
        size_t got = 0;
        while (ok && got < old.size()) {
            const DWORD chunk = DWORD(std::min<size_t>(old.size() - got, 1u << 30));
            DWORD read = 0;
            ok = ReadFile(file, old.data() + got, chunk, &read, nullptr) && read > 0;
            got += read;
        }
    }
    if (ok && !rewrite(file, data)) {
        rewrite(file, old);
        ok = false;
    }
    CloseHandle(file);
    return ok;
}

bool canWrite(const std::filesystem::path &path)
{
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }
    CloseHandle(file);
    return true;
}

bool removeAbandoned(const std::filesystem::path &path) { return DeleteFileW(path.c_str()) != 0; }

} // namespace atomicfile

#endif
