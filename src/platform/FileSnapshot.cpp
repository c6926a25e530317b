// What both systems' snapshots share: ending and handing over a snapshot. Taking one and
// closing it are in the back ends.
#include "platform/FileSnapshot.h"

#include <utility>

namespace ornel
{

FileSnapshot::~FileSnapshot()
{
    Close();
}

FileSnapshot::FileSnapshot(FileSnapshot&& other) noexcept
    : m_file(std::move(other.m_file))
    , m_taken(std::exchange(other.m_taken, false))
    , m_fd(std::exchange(other.m_fd, -1))
    , m_identity(other.m_identity)
{}

FileSnapshot& FileSnapshot::operator=(FileSnapshot&& other) noexcept
{
    if (this != &other) {
        Close();
        m_file = std::move(other.m_file);
        m_taken = std::exchange(other.m_taken, false);
        m_fd = std::exchange(other.m_fd, -1);
        m_identity = other.m_identity;
    }
    return *this;
}

} // namespace ornel
