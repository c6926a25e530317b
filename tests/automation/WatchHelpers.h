// Helpers for tests with the system's real folder watcher and a real console loop: serve the loop
// until a condition holds, bounded in time so that a fault fails instead of hanging; and a
// second watcher that tells when a change has certainly come through.
#pragma once

#include "platform/ConsoleEventLoop.h"
#include "platform/FolderWatcher.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>

namespace ornel::test
{

inline bool ServeUntil(ConsoleEventLoop& loop, const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        loop.WaitForEvents(std::chrono::milliseconds(20));
    }
    return true;
}

// A watcher of its own on the same folder and loop. Once it has reported a change, the
// kernel has delivered that change to every watch of the folder; serving the loop until its
// hand-over queue is empty then shows whether any other watcher reported it too. Declare it
// after the loop.
struct SentinelWatcher
{
    SentinelWatcher(ConsoleEventLoop& loop, const std::filesystem::path& folder)
        : watcher(MakeFolderWatcher(loop))
    {
        watcher->SetFilter(WatchFilter::Size);
        watcher->SetMonitorSubtree(true);
        watcher->SetOnChange([this] { ++notices; });
        watcher->SetFolderName(folder);
        watcher->SetActive(true);
    }

    // Serves `loop` until this watcher has seen a change after `seen` notices and nothing
    // more waits to be handed over.
    [[nodiscard]] bool SawAChange(ConsoleEventLoop& loop, int seen = 0)
    {
        return ServeUntil(loop, [&] { return notices > seen; }) && ServeUntil(loop, [&] {
                   loop.ProcessPendingEvents();
                   return loop.PendingHandOvers() == 0;
               });
    }

    std::unique_ptr<FolderWatcher> watcher;
    int notices = 0;
};

} // namespace ornel::test
