// POSIX implementation of TransferFile: plain descriptors, no stdio buffering (transfers
// move whole blocks anyway).
#include "platform/TransferFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ornel
{

namespace
{

std::string Quoted(const std::filesystem::path& path)
{
    return "\"" + path.string() + "\". ";
}

} // namespace

TransferFile::~TransferFile()
{
    if (m_fd >= 0) {
        ::close(m_fd);
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
            ::close(m_fd);
        }
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

TransferFile TransferFile::CreateNew(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        throw TransferFileError("Cannot create file " + Quoted(path) + std::strerror(errno));
    }
    return TransferFile(fd, path);
}

TransferFile TransferFile::OpenForReading(const std::filesystem::path& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        throw TransferFileError("Cannot open file " + Quoted(path) + std::strerror(errno));
    }
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int err = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        throw TransferFileError("Cannot open file " + Quoted(path) + std::strerror(err));
    }
    return TransferFile(fd, path);
}

std::int64_t TransferFile::Size() const
{
    struct stat info
    {
    };
    if (::fstat(m_fd, &info) != 0) {
        throw TransferFileError("Cannot read file " + Quoted(m_path) + std::strerror(errno));
    }
    return static_cast<std::int64_t>(info.st_size);
}

void TransferFile::Write(const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw TransferFileError("Cannot write file " + Quoted(m_path) + std::strerror(errno));
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

std::size_t TransferFile::Read(char* data, std::size_t size)
{
    while (true) {
        const ssize_t got = ::read(m_fd, data, size);
        if (got >= 0) {
            return static_cast<std::size_t>(got);
        }
        if (errno != EINTR) {
            throw TransferFileError("Cannot read file " + Quoted(m_path) + std::strerror(errno));
        }
    }
}

void TransferFile::Close()
{
    if (m_fd < 0) {
        return;
    }
    const int fd = std::exchange(m_fd, -1);
    if (::close(fd) != 0) {
        throw TransferFileError("Cannot write file " + Quoted(m_path) + std::strerror(errno));
    }
}

} // namespace ornel
