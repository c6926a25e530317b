#include "platform/WakeSignal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>

namespace ornel
{

WakeSignal::WakeSignal()
{
    const int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        throw std::runtime_error(std::string("Cannot create the event loop: ") + std::strerror(errno));
    }
    m_handle = fd;
}

WakeSignal::~WakeSignal()
{
    close(static_cast<int>(m_handle));
}

void WakeSignal::Raise() noexcept
{
    const std::uint64_t one = 1;
    // Only write() here: signal handlers raise it. A full counter (EAGAIN) is raised already.
    ssize_t written = write(static_cast<int>(m_handle), &one, sizeof one);
    (void)written;
}

void WakeSignal::Clear() noexcept
{
    std::uint64_t count = 0;
    ssize_t got = read(static_cast<int>(m_handle), &count, sizeof count);
    (void)got;
}

void WakeSignal::Wait(std::chrono::milliseconds timeout) noexcept
{
    const int ms =
        static_cast<int>(std::clamp<std::int64_t>(timeout.count(), 0, std::numeric_limits<int>::max()));
    pollfd fd{static_cast<int>(m_handle), POLLIN, 0};
    const int r = poll(&fd, 1, ms);
    (void)r; // EINTR (a signal, such as the one that quits) just means "look again"
}

} // namespace ornel
