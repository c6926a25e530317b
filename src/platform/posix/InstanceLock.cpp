#include "platform/InstanceLock.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <string>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

namespace ornel
{

struct InstanceLock::Handle
{
    explicit Handle(int descriptor)
        : fd(descriptor)
    {}
    ~Handle() { ::close(fd); } // the kernel drops the lock with the last descriptor
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    int fd;
};

namespace
{

// The holder writes its id right after it has the lock; a reader that comes in between
// finds the file empty and looks again for a moment.
std::int64_t ReadHolder(int fd)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        char text[32] = {};
        const ssize_t got = ::pread(fd, text, sizeof text - 1, 0);
        if (got > 0) {
            try {
                return std::stoll(std::string(text, static_cast<std::size_t>(got)));
            } catch (const std::exception&) {
                // half written: read again
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return 0;
}

} // namespace

InstanceLock::InstanceLock(std::filesystem::path file, std::unique_ptr<Handle> handle)
    : m_file(std::move(file))
    , m_handle(std::move(handle))
{}

InstanceLock::~InstanceLock() = default;

std::unique_ptr<InstanceLock> InstanceLock::TryAcquire(const std::filesystem::path& folder,
                                                       std::int64_t& holder)
{
    holder = 0;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored); // opening below reports a failure
    const std::filesystem::path file = folder / kFileName;
    // Close-on-exec: a child (the encryption program) must not keep the lock alive after
    // the agent has ended.
    // The mode follows the umask: in a store shared by a group, the lock file one member (or
    // root) made must open for the others too. A member who may only read it still locks.
    int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0666);
    if (fd < 0 && errno == EACCES) {
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    if (fd < 0) {
        throw std::runtime_error("Cannot open the lock file " + file.string() + ": " + std::strerror(errno));
    }
    auto handle = std::make_unique<Handle>(fd);
    // flock belongs to the open file description: a second lock in this very process is
    // refused as well, and the kernel releases it however the holder ends.
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EINTR) {
            continue;
        }
        if (error == EWOULDBLOCK) {
            holder = ReadHolder(fd);
            return nullptr;
        }
        throw std::runtime_error("Cannot lock " + file.string() + ": " + std::strerror(error));
    }
    const std::string pid = std::to_string(::getpid()) + "\n";
    // The id only feeds a message; a failure to write it does not stop the agent. Written
    // over the last holder's id and then cut to length, so a reader never sees it empty.
    if (::pwrite(fd, pid.data(), pid.size(), 0) == static_cast<ssize_t>(pid.size())) {
        [[maybe_unused]] const int cut = ::ftruncate(fd, static_cast<off_t>(pid.size()));
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(file, std::move(handle)));
}

} // namespace ornel
