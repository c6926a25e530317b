// The folder watcher on Linux: inotify, with a watch on every subfolder when the subtree is
// watched. Owned by the controller and configured on the UI thread; an active watcher runs
// one thread that waits for notices and hands each batch to the UI thread through the
// EventLoop, waiting until the change handler has returned.
//
// Wiring: std::make_unique<InotifyWatcher>(loop) for each watcher; the loop must outlive
// it. Destroy it on the UI thread, never from inside its own change handler.
#pragma once

#include "platform/FolderWatcher.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ornel
{

class EventLoop;

class InotifyWatcher final : public FolderWatcher
{
public:
    explicit InotifyWatcher(EventLoop& loop);
    // Stops the thread and waits for it to end. Should it be handing over a notice at that
    // moment, pending events are served meanwhile so that the hand-over can finish.
    ~InotifyWatcher() override;
    InotifyWatcher(const InotifyWatcher&) = delete;
    InotifyWatcher& operator=(const InotifyWatcher&) = delete;

    void SetFolderName(const std::filesystem::path& folder) override;
    [[nodiscard]] std::filesystem::path FolderName() const override { return m_folder; }
    void SetFilter(WatchFilter filter) override;
    [[nodiscard]] WatchFilter Filter() const { return m_filter; }
    void SetMonitorSubtree(bool subtree) override;
    [[nodiscard]] bool MonitorSubtree() const { return m_subtree; }

    void SetActive(bool active) override;
    [[nodiscard]] bool Active() const override { return m_active; }

    void SetOnChange(std::function<void()> onChange) override;

    // Events the current thread has read and dealt with (a batch that was reported counts
    // once its handler has returned); 0 while inactive.
    [[nodiscard]] std::uint64_t EventsHandled() const;
    // The error that stopped the current thread or kept a new subfolder unwatched, if any.
    [[nodiscard]] std::string LastError() const;

    // The kernel mask requested for a filter, and whether an event's mask is a change the
    // filter reports. A rename gives only MOVED events, so {Size} does not report one.
    [[nodiscard]] static std::uint32_t InotifyMask(WatchFilter filter, bool subtree);
    [[nodiscard]] static bool Reports(WatchFilter filter, std::uint32_t eventMask);

    struct Link;
    struct Session;

private:
    void Start();
    void Stop();

    EventLoop& m_loop;
    std::filesystem::path m_folder;
    WatchFilter m_filter =
        WatchFilter::FileName | WatchFilter::DirName | WatchFilter::Size | WatchFilter::LastWrite;
    bool m_subtree = true;
    bool m_active = false;
    std::shared_ptr<Link> m_link;                    // handler and generation, UI thread only
    std::shared_ptr<Session> m_session;              // the running thread's state
    std::vector<std::shared_ptr<Session>> m_stopped; // threads told to stop, maybe still running
};

} // namespace ornel
