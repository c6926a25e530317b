// An exclusive advisory lock on a lock file, held for the object's life, that serialises
// writers of one settings file across processes. Any thread; not shared between threads.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>

namespace ornel
{

class FileLock
{
public:
    // Creates the lock file when missing (on POSIX mode 0666 less the umask; it holds nothing) and
    // waits for the lock at most `wait`; a lock file the caller may only read serves. Throws
    // std::runtime_error naming the lock file when it cannot be had.
    explicit FileLock(const std::filesystem::path& lockFile,
                      std::chrono::milliseconds wait = std::chrono::seconds(10));
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    std::intptr_t m_handle = -1; // the system's descriptor or handle
};

} // namespace ornel
