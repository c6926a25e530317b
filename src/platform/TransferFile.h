// A local file as the FTP client's transfers use it: created new for a download, opened for
// reading (others may still read and write it) for an upload. Move-only owner; the caller's
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace ornel
{

class TransferFileError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

class TransferFile
{
public:
    TransferFile() = default;
    ~TransferFile();
    TransferFile(TransferFile&& other) noexcept;
    TransferFile& operator=(TransferFile&& other) noexcept;
    TransferFile(const TransferFile&) = delete;
    TransferFile& operator=(const TransferFile&) = delete;

    // Throws TransferFileError "Cannot create file "%s". %s" when the name is taken or the
    // folder refuses it.
    [[nodiscard]] static TransferFile CreateNew(const std::filesystem::path& path);
    // Throws TransferFileError "Cannot open file "%s". %s" (a folder is refused as well).
    [[nodiscard]] static TransferFile OpenForReading(const std::filesystem::path& path);

    [[nodiscard]] bool IsOpen() const { return m_fd >= 0; }
    [[nodiscard]] std::int64_t Size() const;
    // Writes every byte; throws TransferFileError "Cannot write file ...".
    void Write(const char* data, std::size_t size);
    // Reads up to `size` bytes; 0 at the end of the file.
    [[nodiscard]] std::size_t Read(char* data, std::size_t size);
    // Closes, reporting a failure of the last writes to reach the file.
    void Close();

private:
    TransferFile(int fd, std::filesystem::path path)
        : m_fd(fd)
        , m_path(std::move(path))
    {}
    int m_fd = -1;
    std::filesystem::path m_path;
};

} // namespace ornel
