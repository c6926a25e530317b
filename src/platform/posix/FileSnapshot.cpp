#include "platform/FileSnapshot.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace ornel
{

namespace
{

FileIdentity FromStat(const struct stat& st)
{
    FileIdentity id;
    id.Exists = true;
    id.Device = static_cast<std::uint64_t>(st.st_dev);
    id.Inode = static_cast<std::uint64_t>(st.st_ino);
    id.Size = static_cast<std::uint64_t>(st.st_size);
    id.ModifiedNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
    return id;
}

[[noreturn]] void Fail(const std::filesystem::path& file, int error)
{
    throw std::runtime_error("Cannot read " + file.string() + ": " + std::strerror(error));
}

} // namespace

FileIdentity IdentifyFile(const std::filesystem::path& file)
{
    struct stat st
    {
    };
    if (::stat(file.c_str(), &st) != 0)
        return {};
    return FromStat(st);
}

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file, FileIdentity& identity)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) {
            identity = {};
            return std::nullopt;
        }
        Fail(file, errno);
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0) {
        const int error = errno;
        ::close(fd);
        Fail(file, error);
    }
    std::string content;
    char buffer[65536];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            Fail(file, error);
        }
        if (n == 0)
            break;
        content.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    identity = FromStat(st);
    return content;
}

} // namespace ornel
