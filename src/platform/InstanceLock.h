// Keeps one agent per settings store: an exclusive lock on a file in the store folder, held
// for the life of the object (the process's life in main), with the holder's process id
// written into the file for the message a second start shows. Any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>

namespace ornel
{

class InstanceLock
{
public:
    static constexpr const char* kFileName = "agent.lock";

    // Takes the lock in `folder` (created when missing). Returns null when another process
    // holds it; `holder` then receives that process's id, or 0 when it could not be read.
    // Throws std::runtime_error naming the file when the lock file cannot be opened at all.
    [[nodiscard]] static std::unique_ptr<InstanceLock> TryAcquire(const std::filesystem::path& folder,
                                                                  std::int64_t& holder);

    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    [[nodiscard]] const std::filesystem::path& File() const { return m_file; }

private:
    struct Handle;
    InstanceLock(std::filesystem::path file, std::unique_ptr<Handle> handle);

    std::filesystem::path m_file;
    std::unique_ptr<Handle> m_handle;
};

} // namespace ornel
