// Watches one folder (optionally with its subfolders) and reports changes on the UI thread.
// Owned by the controller; configured and switched on the UI thread. An active watcher has
// a thread of its own that only waits for notices and hands each to the UI thread through
// the EventLoop, waiting until the change handler has returned.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>

namespace ornel {

class EventLoop;

enum class WatchFilter : unsigned
{
    FileName = 1u << 0,   // a file created, deleted or renamed
    DirName = 1u << 1,    // a folder created, deleted or renamed
    Attributes = 1u << 2, // attributes changed
    Size = 1u << 3,       // a file's size changed (a write or truncate)
    LastWrite = 1u << 4,  // last-write time changed
};

[[nodiscard]] constexpr WatchFilter operator|(WatchFilter a, WatchFilter b)
{
    return static_cast<WatchFilter>(static_cast<unsigned>(a) | static_cast<unsigned>(b));
}
[[nodiscard]] constexpr bool HasFlag(WatchFilter set, WatchFilter flag)
{
    return (static_cast<unsigned>(set) & static_cast<unsigned>(flag)) != 0;
}

class FolderWatcher
{
public:
    virtual ~FolderWatcher() = default;

    // Changing the folder, filter or subtree flag of an active watcher restarts it.
    virtual void SetFolderName(const std::filesystem::path& folder) = 0;
    [[nodiscard]] virtual std::filesystem::path FolderName() const = 0;
    virtual void SetFilter(WatchFilter filter) = 0;
    virtual void SetMonitorSubtree(bool subtree) = 0;

    // Activation on a missing folder does nothing (the watcher stays inactive, no error).
    // Deactivation never waits for the watcher's thread and is safe from inside OnChange.
    // When the system refuses a watch, activation throws std::runtime_error with
    // "System Error.  Code: %d.\r\n%s".
    virtual void SetActive(bool active) = 0;
    [[nodiscard]] virtual bool Active() const = 0;

    virtual void SetOnChange(std::function<void()> onChange) = 0;
};

// The system's watcher (inotify on Linux, ReadDirectoryChangesW on Windows), handing its
// notices over through `loop`, which must outlive it. Destroy it on the UI thread, never
// from inside its own change handler.
[[nodiscard]] std::unique_ptr<FolderWatcher> MakeFolderWatcher(EventLoop& loop);

} // namespace ornel
