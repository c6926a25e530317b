// OpenFileProbe on Linux: a write lease (F_SETLEASE F_WRLCK) is granted only while nobody
// else has the file open or mapped, so taking one and giving it back at once answers the
// question; /proc is read where leases are refused.
#include "platform/FileSystem.h"
#include "platform/OpenFileProbe.h"

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ornel
{

namespace
{

bool AllDigits(const char* s)
{
    if (*s == '\0') {
        return false;
    }
    for (; *s != '\0'; ++s) {
        if (*s < '0' || *s > '9') {
            return false;
        }
    }
    return true;
}

// A process that opens the file while the lease is held makes the kernel send the holder a
// signal, SIGIO by default, whose default action would end this program. It is ignored: the
// lease is given back a few microseconds later, which lets the opener go on.
void IgnoreLeaseBreakSignal()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current
        {
        };
        if (::sigaction(SIGIO, nullptr, &current) == 0 && current.sa_handler == SIG_DFL) {
            ::signal(SIGIO, SIG_IGN);
        }
    });
}

enum class LeaseAnswer
{
    Free,
    Open,
    Unknown, // refused for another reason: not our file, or a file system without leases
};

LeaseAnswer AskByLease(int fd)
{
    if (::fcntl(fd, F_SETLEASE, F_WRLCK) == 0) {
        ::fcntl(fd, F_SETLEASE, F_UNLCK);
        return LeaseAnswer::Free;
    }
    return errno == EAGAIN || errno == EBUSY ? LeaseAnswer::Open : LeaseAnswer::Unknown;
}

} // namespace

// Every (device, inode) any visible process holds open, read once.
struct OpenFileProbe::Snapshot
{
    std::set<std::pair<dev_t, ino_t>> Open;

    Snapshot()
    {
        DIR* proc = ::opendir("/proc");
        if (proc == nullptr) {
            return;
        }
        while (const dirent* p = ::readdir(proc)) {
            if (!AllDigits(p->d_name)) {
                continue;
            }
            const std::string fdFolder = std::string("/proc/") + p->d_name + "/fd";
            DIR* fds = ::opendir(fdFolder.c_str());
            if (fds == nullptr) {
                continue; // another user's process, or already gone
            }
            while (const dirent* f = ::readdir(fds)) {
                struct stat st
                {
                };
                if (AllDigits(f->d_name) && ::fstatat(::dirfd(fds), f->d_name, &st, 0) == 0 &&
                    S_ISREG(st.st_mode)) {
                    Open.emplace(st.st_dev, st.st_ino);
                }
            }
            ::closedir(fds);
        }
        ::closedir(proc);
    }
};

OpenFileProbe::OpenFileProbe() = default;
OpenFileProbe::~OpenFileProbe() = default;

bool OpenFileProbe::IsFree(const std::filesystem::path& file)
{
    IgnoreLeaseBreakSignal();
    const int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        return false;
    }
    bool free = false;
    struct stat st
    {
    };
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
        // A lock of any kind held by another opener (programs that lock as on Windows).
        struct flock lock
        {
        };
        lock.l_type = F_WRLCK;
        lock.l_whence = SEEK_SET;
        const bool locked = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
        if (!locked) {
            const LeaseAnswer answer = AskByLease(fd);
            m_byKernel = answer != LeaseAnswer::Unknown;
            if (m_byKernel) {
                free = answer == LeaseAnswer::Free;
            } else {
                // This probe's own descriptor is closed first, so the snapshot does not
                // count it as an opener.
                if (!m_snapshot) {
                    ::close(fd);
                    m_snapshot = std::make_unique<Snapshot>();
                    return m_snapshot->Open.count({st.st_dev, st.st_ino}) == 0;
                }
                free = m_snapshot->Open.count({st.st_dev, st.st_ino}) == 0;
            }
        }
    }
    ::close(fd);
    return free;
}

bool CanOpenFileExclusive(const std::filesystem::path& file)
{
    OpenFileProbe probe;
    return probe.IsFree(file);
}

} // namespace ornel
