#include "platform/InotifyWatcher.h"

#include "WatchHelpers.h"
#include "platform/ConsoleEventLoop.h"
#include "support/TempFolder.h"

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace ornel::test
{

namespace
{

namespace fs = std::filesystem;

struct Watched
{
    Watched()
        : watcher(loop)
    {
        watcher.SetFilter(WatchFilter::Size);
        watcher.SetMonitorSubtree(true);
        watcher.SetOnChange([this] {
            ++notices;
            onUiThread = onUiThread && std::this_thread::get_id() == uiThread;
            if (inHandler) {
                inHandler();
            }
        });
    }

    // Serves the loop until the watcher's thread has dealt with `events` events.
    bool UntilHandled(std::uint64_t events)
    {
        return ServeUntil(loop, [&] { return watcher.EventsHandled() >= events; });
    }

    TempFolder temp;
    ConsoleEventLoop loop;
    InotifyWatcher watcher;
    int notices = 0;
    bool onUiThread = true;
    std::thread::id uiThread = std::this_thread::get_id();
    std::function<void()> inHandler;
};

TEST(InotifyWatcher, AWriteIsReportedOnTheUiThread)
{
    Watched w;
    w.watcher.SetFolderName(w.temp.Path());
    w.watcher.SetActive(true);
    ASSERT_TRUE(w.watcher.Active());
    WriteFile(w.temp / "report.txt", "data");
    ASSERT_TRUE(ServeUntil(w.loop, [&] { return w.notices > 0; }));
    EXPECT_TRUE(w.onUiThread);
}

TEST(InotifyWatcher, ASubfolderCreatedAfterActivationIsWatched)
{
    Watched w;
    w.watcher.SetFolderName(w.temp.Path());
    w.watcher.SetActive(true);
    fs::create_directory(w.temp / "new");
    ASSERT_TRUE(w.UntilHandled(1));
    EXPECT_EQ(w.notices, 0); // an empty new folder changes no size
    WriteFile(w.temp / "new" / "deep.txt", "data");
    ASSERT_TRUE(ServeUntil(w.loop, [&] { return w.notices > 0; }));

    // A folder that arrives with files in it (moved in, or filled before its watch was
    // added) is a change by itself.
    TempFolder elsewhere;
    const auto outside = elsewhere / "incoming";
    WriteFile(outside / "f.txt", "x");
    const int before = w.notices;
    fs::rename(outside, w.temp / "moved");
    ASSERT_TRUE(ServeUntil(w.loop, [&] { return w.notices > before; }));
    WriteFile(w.temp / "moved" / "f.txt", "longer data");
    ASSERT_TRUE(ServeUntil(w.loop, [&] { return w.notices > before + 1; }));
}

TEST(InotifyWatcher, ARenameChangesNoSizeAndIsNotReported)
{
    Watched w;
    WriteFile(w.temp / "a.txt", "data");
    w.watcher.SetFolderName(w.temp.Path());
    w.watcher.SetActive(true);
    fs::rename(w.temp / "a.txt", w.temp / "b.txt");
    ASSERT_TRUE(w.UntilHandled(1)); // the MOVED_TO (heard for new subfolders) was looked at
    w.loop.ProcessPendingEvents();
    EXPECT_EQ(w.notices, 0);
    EXPECT_EQ(w.watcher.LastError(), "");
    // The same watcher with names in its filter reports it.
    w.watcher.SetFilter(WatchFilter::Size | WatchFilter::FileName);
    ASSERT_TRUE(w.watcher.Active());
    fs::rename(w.temp / "b.txt", w.temp / "c.txt");
    ASSERT_TRUE(ServeUntil(w.loop, [&] { return w.notices > 0; }));
}

TEST(InotifyWatcher, LostEventsCountAsAChange)
{
    Watched w;
    const auto a = w.temp / "a";
    const auto b = w.temp / "b";
    WriteFile(a, "");
    w.watcher.SetFolderName(w.temp.Path());
    w.watcher.SetActive(true);
    WriteFile(w.temp / "first.txt", "data");
    // Not served yet, the thread waits in its hand-over while the kernel queue overflows
    // with renames, which by themselves change no size.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (w.loop.PendingHandOvers() == 0 && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(w.loop.PendingHandOvers(), 1u);
    long limit = 16384;
    if (std::FILE* f = std::fopen("/proc/sys/fs/inotify/max_queued_events", "r")) {
        if (std::fscanf(f, "%ld", &limit) != 1) {
            limit = 16384;
        }
        std::fclose(f);
    }
    // Renames: each is one MOVED_TO (heard for new subfolders), and cheap.
    for (long i = 0; i <= limit / 2; ++i) {
        ASSERT_EQ(std::rename(a.c_str(), b.c_str()), 0);
        ASSERT_EQ(std::rename(b.c_str(), a.c_str()), 0);
    }
    ASSERT_TRUE(ServeUntil(w.loop, [&] { return w.notices >= 2; }));
}

TEST(InotifyWatcher, TheFilterDecidesWhatIsReported)
{
    EXPECT_TRUE(InotifyWatcher::Reports(WatchFilter::Size, IN_MODIFY));
    EXPECT_FALSE(InotifyWatcher::Reports(WatchFilter::Size, IN_ATTRIB));
    EXPECT_FALSE(InotifyWatcher::Reports(WatchFilter::Size, IN_CREATE));
    EXPECT_FALSE(InotifyWatcher::Reports(WatchFilter::Size, IN_MOVED_TO));
    EXPECT_TRUE(InotifyWatcher::Reports(WatchFilter::LastWrite, IN_ATTRIB)); // touch
    EXPECT_TRUE(InotifyWatcher::Reports(WatchFilter::FileName, IN_DELETE));
    EXPECT_FALSE(InotifyWatcher::Reports(WatchFilter::FileName, IN_CREATE | IN_ISDIR));
    EXPECT_TRUE(InotifyWatcher::Reports(WatchFilter::DirName, IN_CREATE | IN_ISDIR));
    EXPECT_FALSE(InotifyWatcher::Reports(WatchFilter::DirName, IN_CREATE));
    // Without the subtree there is no reason to hear about creations.
    EXPECT_EQ(InotifyWatcher::InotifyMask(WatchFilter::Size, false) & IN_CREATE, 0u);
    EXPECT_NE(InotifyWatcher::InotifyMask(WatchFilter::Size, true) & IN_CREATE, 0u);
}

TEST(InotifyWatcher, DeactivationInsideTheHandlerNeitherBlocksNorDeliversMore)
{
    Watched w;
    w.watcher.SetFolderName(w.temp.Path());
    w.inHandler = [&] { w.watcher.SetActive(false); };
    w.watcher.SetActive(true);
    WriteFile(w.temp / "one.txt", "data");
    ASSERT_TRUE(ServeUntil(w.loop, [&] { return w.notices > 0; }));
    EXPECT_FALSE(w.watcher.Active());
    {
        SentinelWatcher sentinel(w.loop, w.temp.Path());
        ASSERT_TRUE(sentinel.watcher->Active());
        WriteFile(w.temp / "two.txt", "data");
        ASSERT_TRUE(sentinel.SawAChange(w.loop));
        EXPECT_EQ(w.notices, 1);
    }

    // Off and on again inside the handler (a cycle run from it): the new thread reports,
    // the old one's notices are dropped.
    w.inHandler = [&] {
        w.watcher.SetActive(false);
        w.watcher.SetActive(true);
    };
    w.watcher.SetActive(true);
    WriteFile(w.temp / "three.txt", "data");
    ASSERT_TRUE(ServeUntil(w.loop, [&] { return w.notices > 1; }));
    const int seen = w.notices;
    WriteFile(w.temp / "four.txt", "data");
    ASSERT_TRUE(ServeUntil(w.loop, [&] { return w.notices > seen; }));
    EXPECT_TRUE(w.watcher.Active());
}

TEST(InotifyWatcher, AMissingFolderLeavesTheWatcherInactiveWithoutError)
{
    Watched w;
    w.watcher.SetFolderName(w.temp / "absent");
    EXPECT_NO_THROW(w.watcher.SetActive(true));
    EXPECT_FALSE(w.watcher.Active());
    EXPECT_EQ(w.watcher.FolderName(), w.temp / "absent");
    // Pointing an active watcher at a missing folder leaves it inactive too.
    w.watcher.SetFolderName(w.temp.Path());
    w.watcher.SetActive(true);
    ASSERT_TRUE(w.watcher.Active());
    w.watcher.SetFolderName(w.temp / "absent");
    EXPECT_FALSE(w.watcher.Active());
}

TEST(InotifyWatcher, ARefusedWatchThrowsTheSystemError)
{
    Watched w;
    w.watcher.SetFolderName(w.temp.Path());
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    // Use up every descriptor below a lowered limit, so inotify_init1 gets EMFILE.
    rlimit low = saved;
    low.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> held;
    for (int fd = dup(0); fd >= 0; fd = dup(0)) {
        held.push_back(fd);
    }
    std::string message;
    try {
        w.watcher.SetActive(true);
    } catch (const std::runtime_error& e) {
        message = e.what();
    }
    for (const int fd : held) {
        close(fd);
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(message, "System Error.  Code: 24.\r\nToo many open files");
    EXPECT_FALSE(w.watcher.Active());
    // Nothing was left half-started: it works once descriptors are free again.
    w.watcher.SetActive(true);
    EXPECT_TRUE(w.watcher.Active());
}

TEST(InotifyWatcher, DestroyingItWhileANoticeWaitsForTheUiThreadDoesNotHang)
{
    TempFolder temp;
    ConsoleEventLoop loop;
    int notices = 0;
    {
        InotifyWatcher watcher(loop);
        watcher.SetFilter(WatchFilter::Size);
        watcher.SetFolderName(temp.Path());
        watcher.SetOnChange([&] { ++notices; });
        watcher.SetActive(true);
        WriteFile(temp / "x.txt", "data");
        // Without serving the loop: wait until the thread's hand-over is queued.
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (loop.PendingHandOvers() == 0 && std::chrono::steady_clock::now() < end) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_EQ(loop.PendingHandOvers(), 1u);
    }
    // The notice that was on its way is dropped, not run after the watcher is gone.
    loop.ProcessPendingEvents();
    EXPECT_EQ(notices, 0);
}

} // namespace

} // namespace ornel::test
