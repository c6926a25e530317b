#include "platform/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ornel
{

namespace
{

std::atomic<void (*)(AtomicWriteStage)> g_hook{nullptr};

void Notify(AtomicWriteStage stage)
{
    if (const auto hook = g_hook.load())
        hook(stage);
}

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file, int error)
{
    throw std::runtime_error(what + " " + file.string() + ": " + std::strerror(error));
}

// Closes the descriptor on every path out; Release() hands the close over to the caller.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    [[nodiscard]] int Get() const { return m_fd; }
    int Release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

void WriteAll(int fd, std::string_view data, const std::filesystem::path& file)
{
    std::size_t done = 0;
    const std::size_t half = data.size() / 2;
    bool halfReported = false;
    while (done < data.size()) {
        // Writing in two parts gives the test hook a moment at which the file is half written.
        const std::size_t end = done < half ? half : data.size();
        const ssize_t n = ::write(fd, data.data() + done, end - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            Fail("Cannot write", file, errno);
        }
        done += static_cast<std::size_t>(n);
        if (!halfReported && done >= half) {
            halfReported = true;
            Notify(AtomicWriteStage::HalfWritten);
        }
    }
    if (!halfReported)
        Notify(AtomicWriteStage::HalfWritten);
}

// A new file is its owner's alone, as it may hold passwords; in a set-group-ID folder, which
// is shared by the members of its group, it is theirs too.
mode_t NewFileMode(const std::filesystem::path& folder)
{
    struct stat info
    {
    };
    if (::stat(folder.c_str(), &info) == 0 && (info.st_mode & S_ISGID) != 0)
        return 0660;
    return 0600;
}

} // namespace

void ReplaceFileAtomically(const std::filesystem::path& target, std::string_view content)
{
    const std::filesystem::path temp = target.string() + ".tmp";
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";
    mode_t mode = NewFileMode(folder);
    struct stat existing
    {
    };
    if (::stat(target.c_str(), &existing) == 0)
        mode = existing.st_mode & 07777;

    Descriptor fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (fd.Get() < 0)
        Fail("Cannot create", temp, errno);
    if (::fchmod(fd.Get(), mode) != 0)
        Fail("Cannot set permissions of", temp, errno);
    WriteAll(fd.Get(), content, temp);
    if (::fsync(fd.Get()) != 0)
        Fail("Cannot flush", temp, errno);
    if (::close(fd.Release()) != 0)
        Fail("Cannot close", temp, errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        Fail("Cannot replace", target, error);
    }
    Notify(AtomicWriteStage::Renamed);

    // The rename is durable only once the folder entry itself reaches the disk.
    Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0)
        Fail("Cannot open folder", folder, errno);
    if (::fsync(dir.Get()) != 0)
        Fail("Cannot flush folder", folder, errno);
}

void SetAtomicWriteHookForTesting(void (*hook)(AtomicWriteStage stage))
{
    g_hook.store(hook);
}

} // namespace ornel
