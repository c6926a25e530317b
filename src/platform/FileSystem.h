// Local files and folders as the engine and the encryption program see them, with the
// Windows meanings the stored data relies on (copy without replacing, "*.*" = every file).
// Free functions, callable from any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornel
{

// The delimiter this system writes into local paths built from texts ("\\" on Windows);
// paths read from texts may carry either (PathText.h).
#ifdef _WIN32
inline constexpr char kPathDelim = '\\';
#else
inline constexpr char kPathDelim = '/';
#endif
// Hidden names of files that are still being written into a folder; enumerations leave
// them out, so a copy cut short (a crash, a kill) is never taken for a complete file.
inline constexpr std::string_view kPartialPrefix = ".ornel-part-";

struct FileEntry
{
    std::string Name;
    std::int64_t Size = 0;
    bool Directory = false;
};

// Every entry of the folder except ".", ".." and partial files, sorted by name (byte order),
// with hidden and read-only files. Symbolic links are described by their target. Returns
// nothing when the folder cannot be read or is not given (an empty path).
[[nodiscard]] std::vector<FileEntry> ListFolder(const std::filesystem::path& folder);
// The same, files only (what "folder\*.*" with the directories skipped gives on Windows).
[[nodiscard]] std::vector<FileEntry> ListFolderFiles(const std::filesystem::path& folder);

// A name matched against a Windows mask: "*" and "?" wildcards, letter case ignored for
// ASCII, and "*.*" (or "*") matches every name, with or without a dot.
[[nodiscard]] bool MatchesMask(std::string_view name, std::string_view mask);

// Called with the bytes copied so far, after each block.
using CopyProgress = std::function<void(std::int64_t copied)>;

// Copies `source` to `target` and never replaces: the data goes to an unnamed file in the
// target folder (a partial file where the file system has none), is synced and then linked
// under the target name, which fails when that name exists. A target is therefore either
// absent or complete. Many copies at once: FileBatch. The copy is checked
// against the source (size, and the source unchanged while it was read). On failure
// returns false with the reason in `error` (when given); the partial file is removed.
[[nodiscard]] bool CopyFileNoReplace(const std::filesystem::path& source, const std::filesystem::path& target,
                                     std::string* error = nullptr, const CopyProgress& progress = {});

// Moves a file without replacing a file of the target name: a hard link and unlink within
// one file system, a checked copy and delete across file systems.
[[nodiscard]] bool MoveFileNoReplace(const std::filesystem::path& source, const std::filesystem::path& target,
                                     std::string* error = nullptr);

// Whether two files hold the same bytes; false when either cannot be read to its end.
[[nodiscard]] bool SameFileContent(const std::filesystem::path& first, const std::filesystem::path& second);

// Deletes a file (not a folder); false when it could not be deleted.
[[nodiscard]] bool DeleteFile(const std::filesystem::path& file);

// Whether this system keeps a file under exactly this name (a name, not a path): not empty,
// not "." or "..", no NUL and no folder delimiter; on Windows also no device name (CON, NUL,
// COM1 and the others, with any extension), none of the characters it refuses or reads as a
// stream (< > : " | ? * and control characters), and not only dots and blanks. Blanks and
// dots at the end, which Windows drops, are allowed: such a name is the file without them.
[[nodiscard]] bool IsStorableFileName(std::string_view name);

[[nodiscard]] bool FileExists(const std::filesystem::path& file);
// Whether anything holds this name in its folder: a file, a folder, or a link even where it
// points nowhere.
[[nodiscard]] bool NameExists(const std::filesystem::path& path);
// The size of a file (a link: of its target); nothing when it is missing or not a file.
[[nodiscard]] std::optional<std::int64_t> FileSize(const std::filesystem::path& file);
// Whether the file's owner may not write it (the Windows read-only attribute). False when the
// file cannot be examined.
[[nodiscard]] bool IsReadOnlyFile(const std::filesystem::path& file);
[[nodiscard]] bool FolderExists(const std::filesystem::path& folder);
// Creates one folder whose parent exists; true when it was created.
[[nodiscard]] bool MakeFolder(const std::filesystem::path& folder);

// True when the file can be opened for reading and writing and no process (this one
// included) holds it open, maps it or locks it: the stand-in for Windows' exclusive sharing,
// which tells a file another program still writes from a complete one. For many files in
// one pass: OpenFileProbe.
[[nodiscard]] bool CanOpenFileExclusive(const std::filesystem::path& file);

// Removes partial files that nobody has written to for `maxAge`: what a copy cut short by
// a crash left behind. Younger ones may still be in progress and stay.
void RemoveStalePartialFiles(const std::filesystem::path& folder, std::chrono::seconds maxAge);

// Gives `replacement` the name `target`, replacing that file: the data on the disk first,
// then the name, the folder flushed. On failure false with the reason in `error`, and
// `replacement` is left as it was.
[[nodiscard]] bool ReplaceFileDurably(const std::filesystem::path& replacement,
                                      const std::filesystem::path& target, std::string* error = nullptr);

// Gives `copy` the access rights of `original` (a copy made to take its place). Windows
// files take theirs from the folder, so there it has nothing to do. False with the reason
// in `error` when the rights cannot be read or set.
[[nodiscard]] bool CopyPermissions(const std::filesystem::path& original, const std::filesystem::path& copy,
                                   std::string* error = nullptr);

// Leaves `file` readable and writable by its owner alone (POSIX mode 0600; on Windows a file
// takes its rights from its folder, so there it has nothing to do). False with the reason in
// `error` when the rights cannot be set.
[[nodiscard]] bool MakeOwnerOnly(const std::filesystem::path& file, std::string* error = nullptr);

// Flushes a file's data to the disk; false when it cannot be opened or flushed.
[[nodiscard]] bool MakeDurable(const std::filesystem::path& file);

// Syncs a folder's entries to the disk after a name was added or removed.
void SyncFolder(const std::filesystem::path& folder);

// A partial file in a folder, removed at destruction unless committed under its final
// name. Move-only.
class PartialFile
{
public:
    // Throws std::runtime_error when the partial file cannot be created.
    explicit PartialFile(const std::filesystem::path& folder);
    ~PartialFile();
    PartialFile(PartialFile&& other) noexcept;
    PartialFile& operator=(PartialFile&&) = delete;
    PartialFile(const PartialFile&) = delete;
    PartialFile& operator=(const PartialFile&) = delete;

    [[nodiscard]] const std::filesystem::path& Path() const { return m_path; }
    // Writes everything or throws.
    void Write(const void* data, std::size_t size);
    // Syncs, closes and links the data under `target` without replacing; the partial name
    // is removed whatever happens. Returns false (reason in `error`) when the target exists
    // or the link fails.
    [[nodiscard]] bool Commit(const std::filesystem::path& target, std::string* error = nullptr);

private:
    std::filesystem::path m_path;
    std::intptr_t m_native = -1; // the system's handle of the open file
};

// fopen() for a path of any characters (wide on Windows); nullptr with errno set on failure.
[[nodiscard]] std::FILE* OpenCFile(const std::filesystem::path& file, const char* mode);

} // namespace ornel
