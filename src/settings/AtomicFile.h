#pragma once

// The platform's own file calls behind writing Settings.ini. Every byte and
// the flush to the disk are checked before a new file takes the place of the
// old one, so a full disk or a file-size limit can never leave a cut file.
// Only the standard library and the platform's API are used, so the Windows
// side can be compile-checked with a cross compiler.

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace atomicfile {

enum class Create {
    Ok,
    Exists, // the name is taken: try another
    Denied, // no new file may be made in that folder
    Failed, // anything else (full disk, no such folder, ...)
};

// A new file that replaces another one whole or not at all. While it is
// being written it is held so that removeAbandoned() leaves it alone, and a
// file that was never committed is removed when the object goes.
class NewFile
{
public:
    NewFile() = default;
    ~NewFile();
    NewFile(const NewFile &) = delete;
    NewFile &operator=(const NewFile &) = delete;

    // Makes the file, which must not exist yet. It takes the permissions of
    // `like` where the platform keeps them on the file.
    Create create(const std::filesystem::path &path, const std::filesystem::path &like);
    // Writes all of data and flushes it to the disk; false when any byte did not arrive.
    bool write(std::string_view data);
    // Takes the place of target in one step; false leaves target as it was.
    bool commit(const std::filesystem::path &target);

private:
    std::filesystem::path m_path;
    std::intptr_t m_handle = -1;
};

// Writes data over the existing file from its start and cuts it to that
// length, flushed to the disk. When that fails the former bytes, read first,
// are put back.
bool overwrite(const std::filesystem::path &path, std::string_view data);

// The existing file may be opened for writing; nothing is written. A lock
// held by another program for a moment does not count against it.
bool canWrite(const std::filesystem::path &path);

// Removes a file left by a NewFile that was never committed (its writer was
// killed); a file that a writer still holds stays.
bool removeAbandoned(const std::filesystem::path &path);

} // namespace atomicfile
