#include "platform/FileLock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <unistd.h>

namespace ornel
{

FileLock::FileLock(const std::filesystem::path& lockFile)
{
    m_fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_fd < 0)
        throw std::runtime_error("Cannot open lock file " + lockFile.string() + ": " + std::strerror(errno));
    // flock locks belong to the open file description, so they also exclude a second
    // writer inside this process, and the kernel drops them when a writer dies.
    while (::flock(m_fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int error = errno;
            ::close(m_fd);
            throw std::runtime_error("Cannot lock " + lockFile.string() + ": " + std::strerror(error));
        }
    }
}

FileLock::~FileLock()
{
    ::close(m_fd); // closing releases the lock
}

} // namespace ornel
