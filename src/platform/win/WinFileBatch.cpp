// FileBatch on Windows: every staged file is written under a hidden name in its target
// folder. Windows has no flush of a whole volume for an unprivileged program, so Place()
// flushes each file (FlushFileBuffers), then names each one by MoveFileExW with
// MOVEFILE_WRITE_THROUGH, which returns once the name is on the disk. A copy is named
// without replacing, a download over its target. Sources are deleted only afterwards.
#include "platform/CrashPoint.h"
#include "platform/FileBatch.h"
#include "platform/PathText.h"
#include "platform/win/FileHandle.h"

#include <cstdint>
#include <set>
#include <stdexcept>
#include <utility>

namespace ornel
{

namespace
{

constexpr std::size_t kCopyBlock = 1 << 20;

void SetError(std::string* error, std::string text)
{
    if (error != nullptr) {
        *error = std::move(text);
    }
}

// A name as the file system compares it: the full path with trailing spaces and dots gone,
// letters in upper case. "Отчёт.txt" and "отчёт.TXT " name one file.
std::wstring FileKey(const std::filesystem::path& file)
{
    std::wstring full(GetFullPathNameW(file.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length =
        full.empty() ? 0
                     : GetFullPathNameW(file.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    full.resize(length > 0 && length < full.size() ? length : 0);
    if (full.empty()) {
        full = file.wstring();
    }
    CharUpperBuffW(full.data(), static_cast<DWORD>(full.size()));
    return full;
}

bool SameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow && a.nFileSizeHigh == b.nFileSizeHigh &&
           a.nFileSizeLow == b.nFileSizeLow && CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime) == 0;
}

std::int64_t SizeOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
                                     info.nFileSizeLow);
}

} // namespace

struct FileBatch::State
{
    enum class Kind
    {
        Copy,    // a hidden file named without replacing
        Written, // a hidden file written by the caller, renamed over its target
        Rename,  // a file of its own name (in Hidden), moved after the commit
    };
    struct Entry
    {
        Kind What = Kind::Copy;
        win::FileHandle Handle; // a copy's, open for writing until its data is flushed
        std::filesystem::path Hidden;
        std::filesystem::path Target;
        bool Named = false;
        std::string Failure;
    };

    std::vector<Entry> Entries;
    std::set<std::filesystem::path> Targets;
    std::vector<std::filesystem::path> Deletions;
    std::int64_t Bytes = 0;
    bool PlaceRan = false;
    bool Synced = false; // the data of every entry is on the disk
    std::vector<char> Buffer;
    // The files this batch has named, as the file system tells names apart.
    std::set<std::wstring> NamedFiles;

    void Name(Entry& entry);
    // After the caller's commit: moves a staged rename to its target, never replacing a file.
    void Move(Entry& entry);
    // Moves the entry's file to its target, once the move is on the disk; or keeps why not
    // (after `failing`).
    bool MoveToTarget(Entry& entry, DWORD flags, const char* failing);
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
        entry.Handle.Reset();
        if (!entry.Named && !entry.Hidden.empty() && entry.What != State::Kind::Rename) {
            DeleteFileW(entry.Hidden.c_str());
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
        // Others may read the source meanwhile, but nobody may write it.
        const win::FileHandle in(CreateFileW(source.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
        if (!in.Valid()) {
            SetError(error, win::FileErrorText("Cannot open", source, GetLastError()));
            return std::nullopt;
        }
        BY_HANDLE_FILE_INFORMATION before{};
        if (!GetFileInformationByHandle(in.Get(), &before) ||
            (before.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            SetError(error, "Not a file: " + PathToUtf8(source));
            return std::nullopt;
        }
        // A taken name is refused before any data is copied; naming it checks once more.
        if (s.Targets.count(target) > 0 || GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
            SetError(error, "File exists: " + PathToUtf8(target));
            return std::nullopt;
        }
        State::Entry entry;
        const std::filesystem::path folder = win::FolderOf(target);
        for (int attempt = 0; attempt < 100 && !entry.Handle.Valid(); ++attempt) {
            entry.Hidden = PartialName(folder);
            entry.Handle = win::FileHandle(CreateFileW(entry.Hidden.c_str(), GENERIC_WRITE, 0, nullptr,
                                                       CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
            if (!entry.Handle.Valid() && !win::NameTaken(GetLastError())) {
                const DWORD err = GetLastError();
                entry.Hidden.clear();
                SetError(error, win::FileErrorText("Cannot create a file in", folder, err));
                return std::nullopt;
            }
        }
        if (!entry.Handle.Valid()) {
            SetError(error, "Cannot create a file in " + PathToUtf8(folder));
            return std::nullopt;
        }
        // Removed again unless the entry makes it into the batch.
        struct HiddenGuard
        {
            State::Entry* Entry;
            ~HiddenGuard()
            {
                if (Entry != nullptr) {
                    Entry->Handle.Reset();
                    DeleteFileW(Entry->Hidden.c_str());
                }
            }
        } guard{&entry};
        if (s.Buffer.empty()) {
            s.Buffer.resize(kCopyBlock);
        }
        std::int64_t copied = 0;
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(in.Get(), s.Buffer.data(), static_cast<DWORD>(s.Buffer.size()), &got, nullptr)) {
                SetError(error, win::FileErrorText("Cannot read", source, GetLastError()));
                return std::nullopt;
            }
            if (got == 0) {
                break;
            }
            win::WriteAll(entry.Handle.Get(), s.Buffer.data(), got, target);
            copied += got;
            if (progress) {
                progress(copied);
            }
        }
        BY_HANDLE_FILE_INFORMATION after{};
        if (!GetFileInformationByHandle(in.Get(), &after) || !SameFile(before, after) ||
            copied != SizeOf(before)) {
            SetError(error, "The file changed while it was copied: " + PathToUtf8(source));
            return std::nullopt;
        }
        // Keep the times, as a copy on Windows does. The copy is always writable: a
        // read-only copy could never be opened exclusively, and so never be sent.
        SetFileTime(entry.Handle.Get(), &before.ftCreationTime, &before.ftLastAccessTime,
                    &before.ftLastWriteTime);
        entry.Target = target;
        guard.Entry = nullptr;
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
    // Not held open: the batch may still copy it (an archive copy of a download), and a copy
    // lets nobody write its source meanwhile. Place() opens it to flush it.
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(written.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        throw std::runtime_error(win::FileErrorText("Cannot open", written, GetLastError()));
    }
    LARGE_INTEGER size{};
    size.HighPart = static_cast<LONG>(data.nFileSizeHigh);
    size.LowPart = data.nFileSizeLow;
    entry.Hidden = written;
    entry.Target = target;
    return s.Add(std::move(entry), static_cast<std::int64_t>(size.QuadPart));
}

FileBatch::Moved FileBatch::StageMove(const std::filesystem::path& source,
                                      const std::filesystem::path& target, std::optional<Item>& copy,
                                      std::string* error)
{
    copy.reset();
    const DWORD attributes = GetFileAttributesW(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        SetError(error, "Not a file: " + PathToUtf8(source));
        return Moved::Failed;
    }
    if (m_state->Targets.count(target) > 0) {
        SetError(error, "File exists: " + PathToUtf8(target));
        return Moved::Failed;
    }
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
        CrashPoint("batch-staged");
        return Moved::Renamed;
    }
    const DWORD err = GetLastError();
    if (err != ERROR_NOT_SAME_DEVICE) {
        SetError(error, win::NameTaken(err) ? "File exists: " + PathToUtf8(target)
                                            : win::FileErrorText("Cannot move", source, err));
        return Moved::Failed;
    }
    copy = StageCopy(source, target, error);
    return copy ? Moved::Copied : Moved::Failed;
}

std::optional<FileBatch::Item> FileBatch::StageRename(const std::filesystem::path& source,
                                                      const std::filesystem::path& target, std::string* error)
{
    State& s = *m_state;
    BY_HANDLE_FILE_INFORMATION info{};
    BY_HANDLE_FILE_INFORMATION folder{};
    {
        // Only looked at: a handle kept open would stop the rename.
        const win::FileHandle file(CreateFileW(source.c_str(), FILE_READ_ATTRIBUTES,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                               nullptr, OPEN_EXISTING, 0, nullptr));
        if (!file.Valid() || !GetFileInformationByHandle(file.Get(), &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            SetError(error, "Not a file: " + PathToUtf8(source));
            return std::nullopt;
        }
        const win::FileHandle dir(CreateFileW(win::FolderOf(target).c_str(), FILE_READ_ATTRIBUTES,
                                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!dir.Valid() || !GetFileInformationByHandle(dir.Get(), &folder)) {
            SetError(error,
                     win::FileErrorText("Cannot open the folder", win::FolderOf(target), GetLastError()));
            return std::nullopt;
        }
    }
    if (folder.dwVolumeSerialNumber != info.dwVolumeSerialNumber) {
        SetError(error, win::FileErrorText("Cannot move", source, ERROR_NOT_SAME_DEVICE));
        return std::nullopt;
    }
    if (s.Targets.count(target) > 0 || GetFileAttributesW(target.c_str()) != INVALID_FILE_ATTRIBUTES) {
        SetError(error, "File exists: " + PathToUtf8(target));
        return std::nullopt;
    }
    // Writable, as a copy would be.
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0) {
        SetFileAttributesW(source.c_str(), info.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    }
    State::Entry entry;
    entry.What = State::Kind::Rename;
    entry.Hidden = source;
    entry.Target = target;
    return s.Add(std::move(entry), SizeOf(info));
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
    return SIZE_MAX; // handles are not counted against a limit of this size
}

void FileBatch::State::Name(Entry& entry)
{
    // A download replaces an older file of its name, never one this batch has just placed:
    // two server files whose names differ only in case or trailing spaces are one file here.
    const std::wstring key = FileKey(entry.Target);
    if (NamedFiles.count(key) > 0) {
        entry.Failure = win::FileErrorText("File exists:", entry.Target, ERROR_FILE_EXISTS);
        return;
    }
    if (MoveToTarget(entry, entry.What == Kind::Written ? MOVEFILE_REPLACE_EXISTING : 0, "Cannot create")) {
        NamedFiles.insert(key);
        CrashPoint("batch-linked");
    }
}

void FileBatch::State::Move(Entry& entry)
{
    if (!Synced) {
        entry.Failure = "Not synced: " + PathToUtf8(entry.Hidden);
        return;
    }
    // Without MOVEFILE_REPLACE_EXISTING: never replaces a file.
    if (MoveToTarget(entry, 0, "Cannot move")) {
        CrashPoint("batch-moved");
    }
}

bool FileBatch::State::MoveToTarget(Entry& entry, DWORD flags, const char* failing)
{
    if (!MoveFileExW(entry.Hidden.c_str(), entry.Target.c_str(), MOVEFILE_WRITE_THROUGH | flags)) {
        const DWORD err = GetLastError();
        entry.Failure = win::FileErrorText(win::NameTaken(err) ? "File exists:" : failing, entry.Target, err);
        return false;
    }
    entry.Named = true;
    return true;
}

void FileBatch::Place()
{
    State& s = *m_state;
    if (s.PlaceRan) {
        return;
    }
    s.PlaceRan = true;
    if (s.Entries.empty()) {
        return;
    }
    for (auto& entry : s.Entries) {
        const bool flushed =
            entry.Handle.Valid() ? FlushFileBuffers(entry.Handle.Get()) != 0 : MakeDurable(entry.Hidden);
        if (!flushed) {
            throw std::runtime_error(win::FileErrorText("Cannot sync", entry.Target, GetLastError()));
        }
    }
    // Windows renames no file that is open without delete sharing.
    for (auto& entry : s.Entries) {
        entry.Handle.Reset();
    }
    CrashPoint("batch-synced");
    s.Synced = true;
    bool named = false;
    for (auto& entry : s.Entries) {
        if (entry.What == State::Kind::Rename) {
            continue; // moved by DeleteSources(), after the caller's commit
        }
        s.Name(entry);
        named = named || entry.Named;
    }
    if (named) {
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
    for (auto& entry : m_state->Entries) {
        if (entry.What == State::Kind::Rename && !entry.Named && entry.Failure.empty()) {
            m_state->Move(entry);
        }
    }
    for (const auto& file : std::exchange(m_state->Deletions, {})) {
        const DWORD attributes = GetFileAttributesW(file.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
            !DeleteFileW(file.c_str())) {
            failed.push_back(file);
            continue;
        }
        CrashPoint("batch-deleted");
    }
    return failed;
}

} // namespace ornel
