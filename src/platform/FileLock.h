// An exclusive advisory lock on a lock file, held for the object's life, that serialises
// writers of one settings file across processes. Any thread; not shared between threads.
#pragma once

#include <filesystem>

namespace ornel
{

class FileLock
{
public:
    // Creates the lock file when missing and waits for the lock. Throws std::runtime_error.
    explicit FileLock(const std::filesystem::path& lockFile);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int m_fd = -1;
};

} // namespace ornel
