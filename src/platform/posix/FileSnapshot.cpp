#include "platform/FileSnapshot.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ornel
{

namespace
{

[[noreturn]] void Fail(const std::filesystem::path& file, const std::string& problem)
{
    throw std::runtime_error("Cannot read " + file.string() + ": " + problem);
}

[[noreturn]] void FailErrno(const std::filesystem::path& file, int error)
{
    Fail(file, std::strerror(error));
}

std::string DescribeSize(std::size_t bytes)
{
    constexpr std::size_t kMiB = 1 << 20;
    if (bytes >= kMiB && bytes % kMiB == 0)
        return std::to_string(bytes / kMiB) + " MiB";
    return std::to_string(bytes) + " bytes";
}

[[noreturn]] void TooLarge(const std::filesystem::path& file, std::size_t maxSize)
{
    Fail(file,
         "the file is larger than " + DescribeSize(maxSize) + ", the most a file of this kind may hold");
}

std::array<std::int64_t, 7> IdentityOf(const struct stat& st)
{
    return {static_cast<std::int64_t>(st.st_dev),          static_cast<std::int64_t>(st.st_ino),
            static_cast<std::int64_t>(st.st_size),         static_cast<std::int64_t>(st.st_ctim.tv_sec),
            static_cast<std::int64_t>(st.st_ctim.tv_nsec), static_cast<std::int64_t>(st.st_mtim.tv_sec),
            static_cast<std::int64_t>(st.st_mtim.tv_nsec)};
}

// Opens without waiting for a FIFO's writer or a device and refuses anything but a regular
// file; -1 when the file or its folder is missing.
int OpenRegular(const std::filesystem::path& file, struct stat& st)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return -1;
        FailErrno(file, errno);
    }
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        FailErrno(file, error);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        Fail(file, S_ISDIR(st.st_mode) ? "it is a folder, not a file"
                                       : "it is not a regular file (a FIFO, a device or a socket)");
    }
    return fd;
}

} // namespace

void FileSnapshot::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

FileSnapshot FileSnapshot::Read(const std::filesystem::path& file, std::size_t maxSize, std::string& content)
{
    content.clear();
    FileSnapshot snapshot = Hold(file);
    if (!snapshot.Exists())
        return snapshot;
    const auto announced = static_cast<std::size_t>(snapshot.m_identity[2]);
    if (announced > maxSize)
        TooLarge(file, maxSize);
    // The size is known, but the file may still grow while it is read: reading stops one
    // byte past the limit whatever happens.
    content.reserve(announced);
    char buffer[65536];
    while (true) {
        const std::size_t left = maxSize - content.size();
        const ssize_t n = ::read(snapshot.m_fd, buffer, left < sizeof buffer ? left + 1 : sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            FailErrno(file, errno);
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<std::size_t>(n));
        if (content.size() > maxSize)
            TooLarge(file, maxSize);
    }
    return snapshot;
}

FileSnapshot FileSnapshot::Hold(const std::filesystem::path& file)
{
    FileSnapshot snapshot;
    snapshot.m_file = file;
    snapshot.m_taken = true;
    struct stat st
    {
    };
    snapshot.m_fd = OpenRegular(file, st);
    if (snapshot.m_fd >= 0)
        snapshot.m_identity = IdentityOf(st);
    return snapshot;
}

bool FileSnapshot::IsCurrent() const
{
    if (!m_taken)
        return false;
    struct stat st
    {
    };
    if (::stat(m_file.c_str(), &st) != 0)
        return !Exists() && (errno == ENOENT || errno == ENOTDIR);
    return Exists() && IdentityOf(st) == m_identity;
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file, std::size_t maxSize)
{
    std::string content;
    if (!FileSnapshot::Read(file, maxSize, content).Exists())
        return std::nullopt;
    return content;
}

} // namespace ornel
