// TransferFile on Windows: CreateFileW (create-new for a download, a shared read for an
// upload), held as a C run-time descriptor in binary mode.
#include "platform/PathText.h"
#include "platform/TransferFile.h"
#include "platform/win/WideText.h"

#include <climits>
#include <fcntl.h>
#include <io.h>
#include <utility>
#include <windows.h>

namespace ornel
{

namespace
{

std::string Quoted(const std::filesystem::path& path)
{
    return "\"" + PathToUtf8(path) + "\". ";
}

HANDLE Handle(int fd)
{
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

int AsDescriptor(HANDLE h, int flags, const std::string& failure)
{
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags | _O_BINARY);
    if (fd < 0) {
        CloseHandle(h);
        throw TransferFileError(failure + "no descriptor for the file");
    }
    return fd;
}

} // namespace

TransferFile::~TransferFile()
{
    if (m_fd >= 0) {
        _close(m_fd);
    }
}

TransferFile::TransferFile(TransferFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1))
    , m_path(std::move(other.m_path))
{}

TransferFile& TransferFile::operator=(TransferFile&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) {
            _close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

TransferFile TransferFile::CreateNew(const std::filesystem::path& path)
{
    const std::string failure = "Cannot create file " + Quoted(path);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        throw TransferFileError(failure + win::SystemErrorText(GetLastError()));
    }
    return TransferFile(AsDescriptor(h, _O_WRONLY, failure), path);
}

TransferFile TransferFile::OpenForReading(const std::filesystem::path& path)
{
    const std::string failure = "Cannot open file " + Quoted(path);
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        throw TransferFileError(failure + win::SystemErrorText(GetLastError()));
    }
    if (GetFileType(h) != FILE_TYPE_DISK) {
        CloseHandle(h);
        throw TransferFileError(failure + win::SystemErrorText(ERROR_INVALID_FUNCTION));
    }
    return TransferFile(AsDescriptor(h, _O_RDONLY, failure), path);
}

std::int64_t TransferFile::Size() const
{
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(Handle(m_fd), &size)) {
        throw TransferFileError("Cannot read file " + Quoted(m_path) + win::SystemErrorText(GetLastError()));
    }
    return static_cast<std::int64_t>(size.QuadPart);
}

void TransferFile::Write(const char* data, std::size_t size)
{
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(Handle(m_fd), data, chunk, &written, nullptr)) {
            throw TransferFileError("Cannot write file " + Quoted(m_path) +
                                    win::SystemErrorText(GetLastError()));
        }
        data += written;
        size -= written;
    }
}

std::size_t TransferFile::Read(char* data, std::size_t size)
{
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
    DWORD got = 0;
    if (!ReadFile(Handle(m_fd), data, chunk, &got, nullptr)) {
        throw TransferFileError("Cannot read file " + Quoted(m_path) + win::SystemErrorText(GetLastError()));
    }
    return got;
}

void TransferFile::Close()
{
    if (m_fd < 0) {
        return;
    }
    const int fd = std::exchange(m_fd, -1);
    if (_close(fd) != 0) {
        throw TransferFileError("Cannot write file " + Quoted(m_path) + "the file could not be closed");
    }
}

} // namespace ornel
