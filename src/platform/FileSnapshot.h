// Reading a whole regular file in one go, bounded in size and without ever blocking on a
// FIFO or a device, and telling afterwards with one stat whether the name still holds what
// was read. Any thread; a snapshot belongs to one reader.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <optional>
#include <string>

namespace ornel
{

class FileSnapshot
{
public:
    FileSnapshot() = default; // nothing read yet: never current
    ~FileSnapshot();
    FileSnapshot(FileSnapshot&& other) noexcept;
    FileSnapshot& operator=(FileSnapshot&& other) noexcept;
    FileSnapshot(const FileSnapshot&) = delete;
    FileSnapshot& operator=(const FileSnapshot&) = delete;

    // Reads `file` whole into `content` (emptied when the file or its folder is missing).
    // Throws std::runtime_error naming the file when it exists but is not a regular file,
    // holds more than `maxSize` bytes or cannot be read.
    [[nodiscard]] static FileSnapshot Read(const std::filesystem::path& file, std::size_t maxSize,
                                           std::string& content);
    // Takes the file as it is without reading it: for a file the caller has just written
    // and still guards, whose content it knows.
    [[nodiscard]] static FileSnapshot Hold(const std::filesystem::path& file);

    [[nodiscard]] bool Exists() const { return m_fd >= 0; }
    // Whether the name still refers to what was read: the same file with the same size and
    // times, or still nothing. The file read is kept open, so its inode number cannot pass
    // to a replacement however quickly one follows; an in-place edit changes its times.
    [[nodiscard]] bool IsCurrent() const;

private:
    void Close();

    std::filesystem::path m_file;
    bool m_taken = false;
    int m_fd = -1;
    std::array<std::int64_t, 7> m_identity{}; // device, inode, size, change and modification times
};

// The whole content; std::nullopt when the file or its folder is missing. Throws
// std::runtime_error naming the file when it exists but is not a regular file (a FIFO, a
// device, a folder), holds more than `maxSize` bytes or cannot be read.
[[nodiscard]] std::optional<std::string>
ReadWholeFile(const std::filesystem::path& file,
              std::size_t maxSize = std::numeric_limits<std::size_t>::max());

} // namespace ornel
