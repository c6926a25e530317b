// FileSnapshot on Windows. Windows refuses to replace a file that someone holds open, so
// the file read is closed at once and no descriptor is kept: m_fd only tells whether there
// was a file (kThere). Its identity is the volume, the file index (NTFS puts a sequence
// number in its high bits, so a new file does not take over an old one's index), the size,
// the times and the attributes.
#include "platform/FileSnapshot.h"

#include "platform/PathText.h"
#include "platform/win/WideText.h"

#include <stdexcept>
#include <utility>
#include <windows.h>

namespace ornel
{

namespace
{

[[noreturn]] void Fail(const std::filesystem::path& file, const std::string& problem)
{
    throw std::runtime_error("Cannot read " + PathToUtf8(file) + ": " + problem);
}

std::int64_t Join(DWORD high, DWORD low)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
}

std::array<std::int64_t, 7> IdentityOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    return {static_cast<std::int64_t>(info.dwVolumeSerialNumber),
            Join(info.nFileIndexHigh, info.nFileIndexLow),
            Join(info.nFileSizeHigh, info.nFileSizeLow),
            Join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime),
            Join(info.ftCreationTime.dwHighDateTime, info.ftCreationTime.dwLowDateTime),
            static_cast<std::int64_t>(info.dwFileAttributes & ~FILE_ATTRIBUTE_ARCHIVE),
            0};
}

constexpr int kThere = 0;

bool Missing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// Opens a regular file for reading; INVALID_HANDLE_VALUE when it or its folder is missing.
HANDLE OpenRegular(const std::filesystem::path& file, BY_HANDLE_FILE_INFORMATION& info)
{
    HANDLE h =
        CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (Missing(error))
            return h;
        Fail(file, win::SystemErrorText(error));
    }
    if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
        (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        CloseHandle(h);
        Fail(file, "not a regular file");
    }
    return h;
}

} // namespace

void FileSnapshot::Close()
{
    m_fd = -1; // nothing is held open
}

FileSnapshot FileSnapshot::Read(const std::filesystem::path& file, std::size_t maxSize, std::string& content)
{
    content.clear();
    FileSnapshot snapshot;
    snapshot.m_file = file;
    snapshot.m_taken = true;
    BY_HANDLE_FILE_INFORMATION info{};
    const HANDLE h = OpenRegular(file, info);
    if (h == INVALID_HANDLE_VALUE)
        return snapshot;
    const std::int64_t size = Join(info.nFileSizeHigh, info.nFileSizeLow);
    if (static_cast<std::uint64_t>(size) > maxSize) {
        CloseHandle(h);
        Fail(file, "the file is larger than " + std::to_string(maxSize) +
                       " bytes, the most a file of this kind may hold");
    }
    content.resize(static_cast<std::size_t>(size));
    std::size_t done = 0;
    while (done < content.size()) {
        DWORD got = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(content.size() - done, 1u << 30));
        if (!ReadFile(h, content.data() + done, chunk, &got, nullptr)) {
            const DWORD error = GetLastError();
            CloseHandle(h);
            Fail(file, win::SystemErrorText(error));
        }
        if (got == 0)
            break; // cut short meanwhile: what was there
        done += got;
    }
    content.resize(done);
    CloseHandle(h);
    snapshot.m_identity = IdentityOf(info);
    snapshot.m_fd = kThere;
    return snapshot;
}

FileSnapshot FileSnapshot::Hold(const std::filesystem::path& file)
{
    FileSnapshot snapshot;
    snapshot.m_file = file;
    snapshot.m_taken = true;
    BY_HANDLE_FILE_INFORMATION info{};
    const HANDLE h = OpenRegular(file, info);
    if (h == INVALID_HANDLE_VALUE)
        return snapshot;
    CloseHandle(h);
    snapshot.m_identity = IdentityOf(info);
    snapshot.m_fd = kThere;
    return snapshot;
}

bool FileSnapshot::IsCurrent() const
{
    if (!m_taken)
        return false;
    HANDLE h = CreateFileW(m_file.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return m_fd < 0 && Missing(GetLastError());
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return m_fd >= 0 && known && IdentityOf(info) == m_identity;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file, std::size_t maxSize)
{
    std::string content;
    const FileSnapshot snapshot = FileSnapshot::Read(file, maxSize, content);
    if (!snapshot.Exists())
        return std::nullopt;
    return content;
}

} // namespace ornel
