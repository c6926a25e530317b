// POSIX implementation of FileBatch: unnamed inodes (O_TMPFILE) linked into place through
// /proc/self/fd, or hidden names where the file system has no unnamed inodes; syncfs once
// per file system, unless other programs have much written that is not yet on the disk.
#include "platform/CrashPoint.h"
#include "platform/FileBatch.h"
#include "platform/posix/UnwrittenData.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <set>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace ornel
{

namespace
{

constexpr std::size_t kCopyBlock = 1 << 20;
// Written by other programs and not yet on the disk, beyond which the batch's files are
// flushed one by one: a sync of the whole file system would wait for all of it (seconds
// while another program copies a large file, and the window waits with it). Below it, one
// sync for the batch costs less than a flush per file.
constexpr std::int64_t kOthersUnwrittenLimit = 128LL << 20;

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

std::filesystem::path FolderOf(const std::filesystem::path& file)
{
    const auto folder = file.parent_path();
    return folder.empty() ? std::filesystem::path(".") : folder;
}

bool SameStat(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {}
    ~Descriptor() { Reset(); }
    Descriptor(Descriptor&& other) noexcept
        : m_fd(std::exchange(other.m_fd, -1))
    {}
    Descriptor& operator=(Descriptor&& other) noexcept
    {
        if (this != &other) {
            Reset();
            m_fd = std::exchange(other.m_fd, -1);
        }
        return *this;
    }
    [[nodiscard]] int Get() const { return m_fd; }
    void Reset()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = -1;
    }

private:
    int m_fd;
};

void WriteAll(int fd, const char* data, std::size_t size, const std::filesystem::path& target)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            throw std::runtime_error(ErrnoText("Cannot write", target, errno));
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

// An inode without a name in `folder`, or, where the file system has none of those, a file
// under a fresh hidden name. Throws when neither can be created.
Descriptor CreateUnnamed(const std::filesystem::path& folder, std::filesystem::path& hidden)
{
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd >= 0) {
        hidden.clear();
        return Descriptor(fd);
    }
    const int err = errno;
    if (err != EOPNOTSUPP && err != EISDIR && err != EINVAL) {
        throw std::runtime_error(ErrnoText("Cannot create a file in", folder, err));
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        hidden = PartialName(folder);
        const int named = ::open(hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (named >= 0) {
            return Descriptor(named);
        }
        if (errno != EEXIST) {
            throw std::runtime_error(ErrnoText("Cannot create a file in", folder, errno));
        }
    }
    throw std::runtime_error("Cannot create a file in " + folder.string());
}

// Moves a file to a name that must not be taken: an exclusive rename, or, where the file
// system has none, a second link and the old name's removal. Returns 0 or the error.
int MoveNoReplace(const std::filesystem::path& source, const std::filesystem::path& target)
{
    if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        return 0;
    }
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) {
        return errno;
    }
    if (::link(source.c_str(), target.c_str()) != 0) {
        return errno;
    }
    ::unlink(source.c_str());
    return 0;
}

// Gives an unnamed inode (or a hidden file) the name `target` without replacing anything.
int LinkNoReplace(int fd, const std::filesystem::path& hidden, const std::filesystem::path& target)
{
    if (hidden.empty()) {
        const std::string self = "/proc/self/fd/" + std::to_string(fd);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            return 0;
        }
        if (errno != ENOENT || ::access("/proc/self/fd", F_OK) == 0) {
            return errno;
        }
        // No /proc: the descriptor itself, which needs the right to link any open file.
        return ::linkat(fd, "", AT_FDCWD, target.c_str(), AT_EMPTY_PATH) == 0 ? 0 : errno;
    }
    return MoveNoReplace(hidden, target);
}

// Flushes a folder's entries. A folder that cannot be flushed at all (EINVAL: the file
// system has nothing to flush) is as good as flushed.
void SyncFolderOrThrow(const std::filesystem::path& folder)
{
    const Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() < 0) {
        throw std::runtime_error(ErrnoText("Cannot open the folder", folder, errno));
    }
    if (::fsync(dir.Get()) != 0 && errno != EINVAL) {
        throw std::runtime_error(ErrnoText("Cannot sync the folder", folder, errno));
    }
}

} // namespace

struct FileBatch::State
{
    enum class Kind
    {
        Copy,    // an unnamed inode (or a hidden file) named without replacing
        Written, // a hidden file written by the caller, renamed over its target
        Rename,  // a file of its own name (in Hidden), moved after the commit
    };
    struct Entry
    {
        Kind What = Kind::Copy;
        Descriptor Fd;
        std::filesystem::path Hidden; // empty for an unnamed inode
        std::filesystem::path Target;
        dev_t Device = 0;
        bool Named = false;
        std::string Failure;
    };

    std::vector<Entry> Entries;
    std::set<std::filesystem::path> Targets;
    std::set<std::filesystem::path> MovedFolders;
    std::vector<std::filesystem::path> Deletions;
    std::int64_t Bytes = 0;
    bool PlaceRan = false;
    bool Synced = false; // the data of every entry is on the disk
    std::vector<char> Buffer;

    void SyncData();
    void Name(Entry& entry);
    // After the caller's commit: moves a staged rename to its target, never replacing a file.
    void Move(Entry& entry);
    // Marks the entry named, or keeps why it is not (`err` set) after `failing`.
    bool Settle(Entry& entry, int err, const char* failing);
    // Takes a staged entry into the batch, its target reserved; returns its item.
    FileBatch::Item Add(Entry entry, std::int64_t bytes);
};

FileBatch::Item FileBatch::State::Add(Entry entry, std::int64_t bytes)
{
    Targets.insert(entry.Target);
    Bytes += bytes;
    Entries.push_back(std::move(entry));
    CrashPoint("batch-staged");
    return Entries.size() - 1;
}

FileBatch::FileBatch()
    : m_state(std::make_unique<State>())
{}

FileBatch::~FileBatch()
{
    if (!m_state) {
        return;
    }
    for (auto& entry : m_state->Entries) {
        entry.Fd.Reset();
        if (!entry.Named && !entry.Hidden.empty() && entry.What != State::Kind::Rename) {
            ::unlink(entry.Hidden.c_str());
        }
    }
}

FileBatch::FileBatch(FileBatch&& other) noexcept = default;
FileBatch& FileBatch::operator=(FileBatch&& other) noexcept = default;

std::optional<FileBatch::Item> FileBatch::StageCopy(const std::filesystem::path& source,
                                                    const std::filesystem::path& target, std::string* error,
                                                    const CopyProgress& progress)
{
    State& s = *m_state;
    try {
        const Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
        if (in.Get() < 0) {
            SetError(error, ErrnoText("Cannot open", source, errno));
            return std::nullopt;
        }
        struct stat before
        {
        };
        if (::fstat(in.Get(), &before) != 0 || !S_ISREG(before.st_mode)) {
            SetError(error, "Not a file: " + source.string());
            return std::nullopt;
        }
        // A taken name is refused before any data is copied; naming it checks once more.
        struct stat existing
        {
        };
        if (s.Targets.count(target) > 0 || ::lstat(target.c_str(), &existing) == 0) {
            SetError(error, "File exists: " + target.string());
            return std::nullopt;
        }
        State::Entry entry;
        entry.Fd = CreateUnnamed(FolderOf(target), entry.Hidden);
        // Removed again unless the entry makes it into the batch.
        struct HiddenGuard
        {
            std::filesystem::path* Path;
            ~HiddenGuard()
            {
                if (Path != nullptr && !Path->empty()) {
                    ::unlink(Path->c_str());
                }
            }
        } guard{&entry.Hidden};
        if (s.Buffer.empty()) {
            s.Buffer.resize(kCopyBlock);
        }
        std::int64_t copied = 0;
        for (;;) {
            const ssize_t n = ::read(in.Get(), s.Buffer.data(), s.Buffer.size());
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                SetError(error, ErrnoText("Cannot read", source, errno));
                return std::nullopt;
            }
            if (n == 0) {
                break;
            }
            WriteAll(entry.Fd.Get(), s.Buffer.data(), static_cast<std::size_t>(n), target);
            copied += n;
            if (progress) {
                progress(copied);
            }
        }
        struct stat after
        {
        };
        if (::fstat(in.Get(), &after) != 0 || !SameStat(before, after) || copied != before.st_size) {
            SetError(error, "The file changed while it was copied: " + source.string());
            return std::nullopt;
        }
        // Keep the last-write time, as a copy on Windows does. The copy is always writable
        // by its owner: a read-only copy could never be opened exclusively, and so never
        // be sent.
        const struct timespec times[2] = {before.st_atim, before.st_mtim};
        ::futimens(entry.Fd.Get(), times);
        ::fchmod(entry.Fd.Get(), (before.st_mode & 0777) | S_IRUSR | S_IWUSR);
        struct stat made
        {
        };
        if (::fstat(entry.Fd.Get(), &made) != 0) {
            SetError(error, ErrnoText("Cannot examine the copy of", source, errno));
            return std::nullopt;
        }
        entry.Device = made.st_dev;
        entry.Target = target;
        guard.Path = nullptr;
        return s.Add(std::move(entry), copied);
    } catch (const std::exception& e) {
        SetError(error, e.what());
        return std::nullopt;
    }
}

FileBatch::Item FileBatch::StageWritten(const std::filesystem::path& written,
                                        const std::filesystem::path& target)
{
    State& s = *m_state;
    State::Entry entry;
    entry.What = State::Kind::Written;
    entry.Fd = Descriptor(::open(written.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
    struct stat info
    {
    };
    if (entry.Fd.Get() < 0 || ::fstat(entry.Fd.Get(), &info) != 0) {
        throw std::runtime_error(ErrnoText("Cannot open", written, errno));
    }
    entry.Hidden = written;
    entry.Target = target;
    entry.Device = info.st_dev;
    return s.Add(std::move(entry), static_cast<std::int64_t>(info.st_size));
}

FileBatch::Moved FileBatch::StageMove(const std::filesystem::path& source,
                                      const std::filesystem::path& target, std::optional<Item>& copy,
                                      std::string* error)
{
    copy.reset();
    struct stat st
    {
    };
    if (::stat(source.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        SetError(error, "Not a file: " + source.string());
        return Moved::Failed;
    }
    if (m_state->Targets.count(target) == 0 &&
        ::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) {
        m_state->MovedFolders.insert(FolderOf(source));
        m_state->MovedFolders.insert(FolderOf(target));
        CrashPoint("batch-staged");
        return Moved::Renamed;
    }
    const int err = m_state->Targets.count(target) > 0 ? EEXIST : errno;
    if (err != EXDEV && err != EINVAL && err != ENOSYS) {
        SetError(error,
                 err == EEXIST ? "File exists: " + target.string() : ErrnoText("Cannot move", source, err));
        return Moved::Failed;
    }
    copy = StageCopy(source, target, error);
    return copy ? Moved::Copied : Moved::Failed;
}

std::optional<FileBatch::Item> FileBatch::StageRename(const std::filesystem::path& source,
                                                      const std::filesystem::path& target, std::string* error)
{
    State& s = *m_state;
    State::Entry entry;
    entry.What = State::Kind::Rename;
    // Held open so that the batch's sync can reach its data wherever it is flushed file by file.
    entry.Fd = Descriptor(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NOFOLLOW));
    struct stat info
    {
    };
    if (entry.Fd.Get() < 0 || ::fstat(entry.Fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        SetError(error, "Not a file: " + source.string());
        return std::nullopt;
    }
    struct stat folder
    {
    };
    if (::stat(FolderOf(target).c_str(), &folder) != 0) {
        SetError(error, ErrnoText("Cannot open the folder", FolderOf(target), errno));
        return std::nullopt;
    }
    if (folder.st_dev != info.st_dev) {
        SetError(error, ErrnoText("Cannot move", source, EXDEV));
        return std::nullopt;
    }
    struct stat existing
    {
    };
    if (s.Targets.count(target) > 0 || ::lstat(target.c_str(), &existing) == 0) {
        SetError(error, "File exists: " + target.string());
        return std::nullopt;
    }
    // Owner-writable, as a copy would be.
    if ((info.st_mode & (S_IRUSR | S_IWUSR)) != (S_IRUSR | S_IWUSR)) {
        (void)::fchmod(entry.Fd.Get(), (info.st_mode & 0777) | S_IRUSR | S_IWUSR);
    }
    entry.Hidden = source;
    entry.Target = target;
    entry.Device = info.st_dev;
    return s.Add(std::move(entry), static_cast<std::int64_t>(info.st_size));
}

bool FileBatch::Reserves(const std::filesystem::path& target) const
{
    return m_state->Targets.count(target) > 0;
}

std::size_t FileBatch::Files() const
{
    return m_state->Entries.size();
}

std::int64_t FileBatch::Bytes() const
{
    return m_state->Bytes;
}

std::size_t FileBatch::MostFiles()
{
    struct rlimit limit
    {
    };
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return SIZE_MAX;
    }
    // The rest of the program (the window, sockets, the journal, the log) keeps its share.
    const auto open = static_cast<std::size_t>(limit.rlim_cur);
    return std::max<std::size_t>(open > 512 ? open - 256 : open / 2, 8) / 2;
}

void FileBatch::State::SyncData()
{
    std::map<dev_t, std::vector<Entry*>> byDevice;
    for (auto& entry : Entries) {
        byDevice[entry.Device].push_back(&entry);
    }
    const auto unwritten = UnwrittenBytes();
    const bool othersWaiting = unwritten && *unwritten - Bytes > kOthersUnwrittenLimit;
    for (auto& [device, group] : byDevice) {
        (void)device;
        // One file is flushed on its own: a whole file system's sync would also wait for
        // whatever other programs have written to it.
        if (group.size() > 1 && !othersWaiting) {
            if (::syncfs(group.front()->Fd.Get()) == 0) {
                continue;
            }
            if (errno != ENOSYS && errno != EINVAL && errno != EOPNOTSUPP) {
                throw std::runtime_error(
                    ErrnoText("Cannot sync the file system of", group.front()->Target, errno));
            }
        }
        // Every file's writing is started first, so that the flushes after it share the file
        // system's journal commits rather than paying one each. The start is only a hint;
        // the flush reports what fails.
        if (group.size() > 1) {
            for (Entry* entry : group) {
                (void)::sync_file_range(entry->Fd.Get(), 0, 0, SYNC_FILE_RANGE_WRITE);
            }
        }
        for (Entry* entry : group) {
            if (::fsync(entry->Fd.Get()) != 0) {
                throw std::runtime_error(ErrnoText("Cannot sync", entry->Target, errno));
            }
        }
    }
}

bool FileBatch::State::Settle(Entry& entry, int err, const char* failing)
{
    if (err != 0) {
        entry.Failure = ErrnoText(err == EEXIST ? "File exists:" : failing, entry.Target, err);
        return false;
    }
    entry.Named = true;
    return true;
}

void FileBatch::State::Name(Entry& entry)
{
    int err = 0;
    if (entry.What == Kind::Written) {
        err = ::rename(entry.Hidden.c_str(), entry.Target.c_str()) == 0 ? 0 : errno;
    } else {
        err = LinkNoReplace(entry.Fd.Get(), entry.Hidden, entry.Target);
    }
    entry.Fd.Reset();
    if (Settle(entry, err, "Cannot create")) {
        CrashPoint("batch-linked");
    }
}

void FileBatch::State::Move(Entry& entry)
{
    if (!Synced) {
        entry.Failure = "Not synced: " + entry.Hidden.string();
        return;
    }
    if (Settle(entry, MoveNoReplace(entry.Hidden, entry.Target), "Cannot move")) {
        CrashPoint("batch-moved");
    }
}

void FileBatch::Place()
{
    State& s = *m_state;
    if (s.PlaceRan) {
        return;
    }
    s.PlaceRan = true;
    if (!s.Entries.empty()) {
        s.SyncData();
        CrashPoint("batch-synced");
    }
    s.Synced = true;
    std::set<std::filesystem::path> folders = s.MovedFolders;
    for (auto& entry : s.Entries) {
        if (entry.What == State::Kind::Rename) {
            entry.Fd.Reset(); // moved by DeleteSources(), after the caller's commit
            continue;
        }
        s.Name(entry);
        if (entry.Named) {
            folders.insert(FolderOf(entry.Target));
        }
    }
    for (const auto& folder : folders) {
        SyncFolderOrThrow(folder);
    }
    if (!folders.empty()) {
        CrashPoint("batch-named");
    }
}

bool FileBatch::Placed(Item item) const
{
    return item < m_state->Entries.size() && m_state->Entries[item].Named;
}

const std::string& FileBatch::Failure(Item item) const
{
    static const std::string none;
    return item < m_state->Entries.size() ? m_state->Entries[item].Failure : none;
}

void FileBatch::DeleteLater(const std::filesystem::path& file)
{
    m_state->Deletions.push_back(file);
}

std::vector<std::filesystem::path> FileBatch::DeleteSources()
{
    std::vector<std::filesystem::path> failed;
    std::set<std::filesystem::path> folders;
    for (auto& entry : m_state->Entries) {
        if (entry.What != State::Kind::Rename || entry.Named || !entry.Failure.empty()) {
            continue;
        }
        m_state->Move(entry);
        if (entry.Named) {
            folders.insert(FolderOf(entry.Hidden));
            folders.insert(FolderOf(entry.Target));
        }
    }
    for (const auto& file : std::exchange(m_state->Deletions, {})) {
        struct stat info
        {
        };
        if (::lstat(file.c_str(), &info) != 0 || S_ISDIR(info.st_mode) || ::unlink(file.c_str()) != 0) {
            failed.push_back(file);
            continue;
        }
        folders.insert(FolderOf(file));
        CrashPoint("batch-deleted");
    }
    for (const auto& folder : folders) {
        // Best effort: a deletion or a move lost in a power cut only sends or delivers the
        // file again.
        const Descriptor dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (dir.Get() >= 0) {
            ::fsync(dir.Get());
        }
    }
    return failed;
}

} // namespace ornel
