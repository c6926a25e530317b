// The files of one batch of work, made durable together: copies written without a flush
// each and downloads written under a hidden name; then the data of all of them on the disk at
// once (one sync per file system), then their names, then each folder flushed once; and,
// after the caller has committed what it records of them, the files to be moved renamed and
// the sources deleted, with each folder flushed once. So data is on the disk before its name
// and the name before its source goes, at the price of a few flushes per batch. Owned by one
// batch of the engine (move-only); one thread at a time.
#pragma once

#include "platform/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ornel
{

class FileBatch
{
public:
    using Item = std::size_t;

    FileBatch();
    // What has not been named vanishes: an unnamed copy with its last descriptor, a hidden
    // download by its name.
    ~FileBatch();
    FileBatch(FileBatch&& other) noexcept;
    FileBatch& operator=(FileBatch&& other) noexcept;
    FileBatch(const FileBatch&) = delete;
    FileBatch& operator=(const FileBatch&) = delete;

    // Copies `source` into the folder of `target` (which must exist) without a name and
    // without a flush; Place() names it `target`, never replacing a file. The copy is
    // checked against the source (its size, and the source unchanged while it was read) and
    // keeps its last-write time. Nothing on failure, with the reason in `error`.
    [[nodiscard]] std::optional<Item> StageCopy(const std::filesystem::path& source,
                                                const std::filesystem::path& target,
                                                std::string* error = nullptr,
                                                const CopyProgress& progress = {});
    // A file the caller has written completely under `written`, a hidden name in the folder of
    // `target` (a download): Place() renames it to `target`, replacing a file of that name.
    // Throws std::runtime_error when `written` cannot be opened.
    [[nodiscard]] Item StageWritten(const std::filesystem::path& written,
                                    const std::filesystem::path& target);
    enum class Moved
    {
        Renamed, // done; Place() flushes both folders
        Copied,  // another file system: a copy is staged, the source is the caller's to delete
        Failed,  // the target exists, or the source cannot be moved; the reason in `error`
    };
    // Moves `source` to `target` without replacing a file of that name: a rename within one
    // file system, otherwise a staged copy (`copy` then names its item).
    [[nodiscard]] Moved StageMove(const std::filesystem::path& source, const std::filesystem::path& target,
                                  std::optional<Item>& copy, std::string* error = nullptr);
    // Moves `source` to `target` once the caller has committed: DeleteSources() renames it,
    // never replacing a file, and flushes both folders; until then the source stays where it
    // is. Its data reaches the disk with the batch's, before Place() names anything. Only
    // within one file system: nothing is staged otherwise (the reason in `error`), and a copy
    // is the caller's way. Placed() tells whether it moved, once DeleteSources() has run.
    [[nodiscard]] std::optional<Item> StageRename(const std::filesystem::path& source,
                                                  const std::filesystem::path& target,
                                                  std::string* error = nullptr);
    // Whether `target` is the name of an item of this batch (taken from Place() on).
    [[nodiscard]] bool Reserves(const std::filesystem::path& target) const;

    [[nodiscard]] std::size_t Files() const;
    [[nodiscard]] std::int64_t Bytes() const;
    // How many files a batch may stage at most: each holds a descriptor until Place(), and
    // the process may open only so many (on Linux often 1024 unless raised).
    [[nodiscard]] static std::size_t MostFiles();

    // Syncs the data of every staged file (one syncfs per file system; a flush of each file
    // where that is not available, where one file is all there is, or where other programs
    // have so much written and not yet on the disk that a whole file system's sync would
    // wait long for it), names each file and flushes each folder that got or lost a name
    // once. A name that is taken meanwhile fails its own item only. Throws
    // std::runtime_error when the data or a folder cannot be synced: nothing is named after a
    // failed data sync, and what is not named vanishes with the batch. Runs once; later
    // calls do nothing.
    void Place();
    [[nodiscard]] bool Placed(Item item) const;
    // Why an item was not named ("" when it was, or Place() has not run).
    [[nodiscard]] const std::string& Failure(Item item) const;

    // After the caller's commit: the file is deleted by DeleteSources().
    void DeleteLater(const std::filesystem::path& file);
    // Moves the staged renames, deletes those files and flushes each of their folders once;
    // returns the files that could not be deleted (a rename that fails leaves its item
    // unplaced, with the reason in Failure()).
    std::vector<std::filesystem::path> DeleteSources();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// A fresh hidden name in `folder` for a file being written there (a download): listings
// skip it, and a crash leaves it to RemoveStalePartialFiles.
[[nodiscard]] std::filesystem::path PartialName(const std::filesystem::path& folder);

} // namespace ornel
