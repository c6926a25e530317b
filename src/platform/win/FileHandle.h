// An owned Windows file handle, and the file helpers the Windows file back ends share.
// Move-only; one thread at a time.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <windows.h>

#undef DeleteFile // the program's own DeleteFile, not the Win32 macro

namespace ornel::win
{

class FileHandle
{
public:
    FileHandle() = default;
    explicit FileHandle(HANDLE handle)
        : m_handle(handle)
    {}
    ~FileHandle() { Reset(); }
    FileHandle(FileHandle&& other) noexcept
        : m_handle(std::exchange(other.m_handle, INVALID_HANDLE_VALUE))
    {}
    FileHandle& operator=(FileHandle&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_handle = std::exchange(other.m_handle, INVALID_HANDLE_VALUE);
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    [[nodiscard]] HANDLE Get() const { return m_handle; }
    [[nodiscard]] bool Valid() const { return m_handle != INVALID_HANDLE_VALUE; }
    void Reset()
    {
        if (m_handle != INVALID_HANDLE_VALUE) {
            CloseHandle(m_handle);
        }
        m_handle = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE m_handle = INVALID_HANDLE_VALUE;
};

// "<what> <file>: <the system's text for error>".
[[nodiscard]] std::string FileErrorText(const std::string& what, const std::filesystem::path& file,
                                        unsigned long error);
// Writes every byte or throws std::runtime_error naming `file`.
void WriteAll(HANDLE handle, const char* data, std::size_t size, const std::filesystem::path& file);
// Whether an error code says the name is taken.
[[nodiscard]] bool NameTaken(unsigned long error);
// The folder of a file ("." for a bare name).
[[nodiscard]] std::filesystem::path FolderOf(const std::filesystem::path& file);

} // namespace ornel::win
