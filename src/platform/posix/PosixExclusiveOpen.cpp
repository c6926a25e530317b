#include "platform/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

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

// Whether any open descriptor of any visible process refers to the file (dev, ino).
bool OpenedAnywhere(dev_t dev, ino_t ino, int ownFd)
{
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return false;
    }
    const std::string self = std::to_string(::getpid());
    bool found = false;
    while (!found) {
        const dirent* p = ::readdir(proc);
        if (p == nullptr) {
            break;
        }
        if (!AllDigits(p->d_name)) {
            continue;
        }
        const std::string fdFolder = std::string("/proc/") + p->d_name + "/fd";
        DIR* fds = ::opendir(fdFolder.c_str());
        if (fds == nullptr) {
            continue; // another user's process, or already gone
        }
        const bool isSelf = self == p->d_name;
        while (const dirent* f = ::readdir(fds)) {
            if (!AllDigits(f->d_name)) {
                continue;
            }
            if (isSelf && std::stoi(f->d_name) == ownFd) {
                continue;
            }
            struct stat st
            {
            };
            if (::fstatat(::dirfd(fds), f->d_name, &st, 0) == 0 && st.st_dev == dev && st.st_ino == ino) {
                found = true;
                break;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
    return found;
}

} // namespace

bool CanOpenFileExclusive(const std::filesystem::path& file)
{
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
        free = !locked && !OpenedAnywhere(st.st_dev, st.st_ino, fd);
    }
    ::close(fd);
    return free;
}

} // namespace ornel
