#include "platform/FileBatch.h"
#include "platform/FileSystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace ornel
{

namespace
{

std::string ErrnoText(const std::string& what, const std::filesystem::path& file, int err)
{
    return what + " " + file.string() + ": " + std::strerror(err);
}

void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

bool IsPartialName(std::string_view name)
{
    return name.substr(0, kPartialPrefix.size()) == kPartialPrefix;
}

class Fd
{
public:
    explicit Fd(int fd)
        : m_fd(fd)
    {}
    ~Fd()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    [[nodiscard]] int Get() const { return m_fd; }

private:
    int m_fd;
};

} // namespace

std::FILE* OpenCFile(const std::filesystem::path& file, const char* mode)
{
    return std::fopen(file.c_str(), mode);
}

std::vector<FileEntry> ListFolder(const std::filesystem::path& folder)
{
    std::vector<FileEntry> entries;
    // An unset folder holds nothing; it never stands for the current folder.
    DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (dir == nullptr) {
        return entries;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string_view name = e->d_name;
        if (name == "." || name == ".." || IsPartialName(name)) {
            continue;
        }
        struct stat st
        {
        };
        if (::fstatat(::dirfd(dir), e->d_name, &st, 0) != 0) {
            continue; // vanished or a dangling link: nothing that could be read
        }
        const bool isDir = S_ISDIR(st.st_mode);
        if (!isDir && !S_ISREG(st.st_mode)) {
            continue; // devices, pipes and sockets have no Windows counterpart
        }
        entries.push_back({std::string(name), isDir ? 0 : static_cast<std::int64_t>(st.st_size), isDir});
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const FileEntry& a, const FileEntry& b) { return a.Name < b.Name; });
    return entries;
}

PartialFile::PartialFile(const std::filesystem::path& folder)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto candidate = PartialName(folder);
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd >= 0) {
            m_native = fd;
            m_path = std::move(candidate);
            return;
        }
        if (errno != EEXIST) {
            throw std::runtime_error(ErrnoText("Cannot create a file in", folder, errno));
        }
    }
    throw std::runtime_error("Cannot create a file in " + folder.string());
}

PartialFile::PartialFile(PartialFile&& other) noexcept
    : m_path(std::move(other.m_path))
    , m_native(other.m_native)
{
    other.m_native = -1;
    other.m_path.clear();
}

PartialFile::~PartialFile()
{
    if (m_native >= 0) {
        ::close(static_cast<int>(m_native));
    }
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
    }
}

void PartialFile::Write(const void* data, std::size_t size)
{
    const auto* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(static_cast<int>(m_native), p, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error(ErrnoText("Cannot write", m_path, errno));
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

bool PartialFile::Commit(const std::filesystem::path& target, std::string* error)
{
    bool ok = true;
    if (::fsync(static_cast<int>(m_native)) != 0) {
        SetError(error, ErrnoText("Cannot sync", m_path, errno));
        ok = false;
    }
    if (::close(static_cast<int>(m_native)) != 0 && ok) {
        SetError(error, ErrnoText("Cannot close", m_path, errno));
        ok = false;
    }
    m_native = -1;
    if (ok && ::link(m_path.c_str(), target.c_str()) != 0) {
        const int err = errno;
        if (err == EPERM || err == EOPNOTSUPP) {
            // File systems without hard links: an exclusive rename keeps "never replace".
            if (::renameat2(AT_FDCWD, m_path.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
                m_path.clear();
                SyncFolder(target.parent_path());
                return true;
            }
        }
        SetError(error, ErrnoText(err == EEXIST ? "File exists:" : "Cannot create", target, err));
        ok = false;
    }
    ::unlink(m_path.c_str());
    m_path.clear();
    if (ok) {
        SyncFolder(target.parent_path());
    }
    return ok;
}

bool MoveFileNoReplace(const std::filesystem::path& source, const std::filesystem::path& target,
                       std::string* error)
{
    struct stat st
    {
    };
    if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        SetError(error, "Not a file: " + source.string());
        return false;
    }
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        SyncFolder(target.parent_path());
        SyncFolder(source.parent_path());
        return true;
    }
    const int err = errno;
    if (err == EEXIST) {
        SetError(error, "File exists: " + target.string());
        return false;
    }
    if (err != EXDEV && err != EINVAL && err != ENOSYS) {
        SetError(error, ErrnoText("Cannot move", source, err));
        return false;
    }
    // Another file system (or no exclusive rename): a checked copy, then the source goes.
    if (!CopyFileNoReplace(source, target, error)) {
        return false;
    }
    if (!DeleteFile(source)) {
        SetError(error, ErrnoText("Cannot delete", source, errno));
        return false;
    }
    return true;
}

bool DeleteFile(const std::filesystem::path& file)
{
    struct stat st
    {
    };
    if (::lstat(file.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) {
        return false;
    }
    if (::unlink(file.c_str()) != 0) {
        return false;
    }
    SyncFolder(file.parent_path());
    return true;
}

bool FileExists(const std::filesystem::path& file)
{
    struct stat st
    {
    };
    return ::stat(file.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsStorableFileName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

bool NameExists(const std::filesystem::path& path)
{
    struct stat st
    {
    };
    return ::lstat(path.c_str(), &st) == 0;
}

std::optional<std::int64_t> FileSize(const std::filesystem::path& file)
{
    struct stat st
    {
    };
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        return std::nullopt;
    }
    return static_cast<std::int64_t>(st.st_size);
}

bool IsReadOnlyFile(const std::filesystem::path& file)
{
    struct stat st
    {
    };
    return ::stat(file.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

bool FolderExists(const std::filesystem::path& folder)
{
    struct stat st
    {
    };
    return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeFolder(const std::filesystem::path& folder)
{
    return ::mkdir(folder.c_str(), 0755) == 0;
}

void RemoveStalePartialFiles(const std::filesystem::path& folder, std::chrono::seconds maxAge)
{
    DIR* dir = folder.empty() ? nullptr : ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    const auto now = std::chrono::system_clock::now();
    while (const dirent* e = ::readdir(dir)) {
        struct stat st
        {
        };
        if (!IsPartialName(e->d_name) || ::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 ||
            !S_ISREG(st.st_mode)) {
            continue;
        }
        const auto written = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(st.st_mtim.tv_sec) + std::chrono::nanoseconds(st.st_mtim.tv_nsec)));
        if (now - written > maxAge) {
            ::unlinkat(::dirfd(dir), e->d_name, 0);
        }
    }
    ::closedir(dir);
}

bool MakeDurable(const std::filesystem::path& file)
{
    const Fd fd(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.Get() >= 0 && ::fsync(fd.Get()) == 0;
}

bool ReplaceFileDurably(const std::filesystem::path& replacement, const std::filesystem::path& target,
                        std::string* error)
{
    if (!MakeDurable(replacement)) {
        SetError(error, ErrnoText("Cannot sync", replacement, errno));
        return false;
    }
    if (::rename(replacement.c_str(), target.c_str()) != 0) {
        SetError(error, ErrnoText("Cannot replace", target, errno));
        return false;
    }
    SyncFolder(target.parent_path());
    return true;
}

bool CopyPermissions(const std::filesystem::path& original, const std::filesystem::path& copy,
                     std::string* error)
{
    struct stat info
    {
    };
    if (::stat(original.c_str(), &info) != 0) {
        SetError(error, ErrnoText("Cannot read the permissions of", original, errno));
        return false;
    }
    if (::chmod(copy.c_str(), info.st_mode & 07777) != 0) {
        SetError(error, ErrnoText("Cannot set the permissions of", copy, errno));
        return false;
    }
    return true;
}

bool MakeOwnerOnly(const std::filesystem::path& file, std::string* error)
{
    if (::chmod(file.c_str(), S_IRUSR | S_IWUSR) != 0) {
        SetError(error, ErrnoText("Cannot set the permissions of", file, errno));
        return false;
    }
    return true;
}

void SyncFolder(const std::filesystem::path& folder)
{
    const Fd dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0) {
        ::fsync(dir.Get()); // best effort: the data itself was synced before the link
    }
}

} // namespace ornel
