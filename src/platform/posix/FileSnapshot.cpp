#include "platform/FileSnapshot.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace ornel
{

namespace
{

[[noreturn]] void Fail(const std::filesystem::path& file, int error)
{
    throw std::runtime_error("Cannot read " + file.string() + ": " + std::strerror(error));
}

} // namespace

std::optional<std::string> ReadWholeFile(const std::filesystem::path& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return std::nullopt;
        Fail(file, errno);
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
    return content;
}

} // namespace ornel
