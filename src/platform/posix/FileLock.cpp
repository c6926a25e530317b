#include "platform/FileLock.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace ornel
{

FileLock::FileLock(const std::filesystem::path& lockFile, std::chrono::milliseconds wait)
{
    // The lock file stays empty, so reading is all a holder needs, and its mode follows the
    // umask: in a folder shared by a group, a lock file that one member (or root) created
    // must not keep the other members from saving.
    const int fd = ::open(lockFile.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0)
        throw std::runtime_error("Cannot open lock file " + lockFile.string() + ": " + std::strerror(errno));
    // flock locks belong to the open file description, so they also exclude a second
    // writer inside this process, and the kernel drops them when a writer dies. Writers
    // hold the lock for milliseconds; waiting long means something is stuck (or a second
    // store in this very process holds a batch open), and an error beats a hang. The wait
    // is a bounded retry, as flock itself offers no timeout.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error == EWOULDBLOCK && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        ::close(fd);
        throw std::runtime_error("Cannot lock " + lockFile.string() + ": " + std::strerror(error));
    }
    m_handle = fd;
}

FileLock::~FileLock()
{
    ::close(static_cast<int>(m_handle)); // closing releases the lock
}

} // namespace ornel
