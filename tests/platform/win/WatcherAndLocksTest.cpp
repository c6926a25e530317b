#include "platform/ConsoleEventLoop.h"
#include "platform/FileLock.h"
#include "platform/FolderWatcher.h"
#include "platform/InstanceLock.h"
#include "platform/StopRequest.h"
#include "support/TempFolder.h"
#include "support/WineCheck.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>
#include <windows.h>

namespace ornel::test
{
namespace
{

bool ServeUntil(ConsoleEventLoop& loop, const std::function<bool()>& done,
                std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        loop.WaitForEvents(std::chrono::milliseconds(20));
    }
    return true;
}

// Serves the loop for a while and tells whether anything was reported meanwhile.
bool QuietFor(ConsoleEventLoop& loop, const int& notices, std::chrono::milliseconds span)
{
    const int before = notices;
    ServeUntil(
        loop, [] { return false; }, span);
    return notices == before;
}

TEST(DirectoryChangesWatcher, ReportsChangesOnTheLoopsThreadUntilSwitchedOff)
{
    TempFolder folder;
    ConsoleEventLoop loop;
    auto watcher = MakeFolderWatcher(loop);
    int notices = 0;
    std::thread::id handlerThread;
    watcher->SetOnChange([&] {
        ++notices;
        handlerThread = std::this_thread::get_id();
    });
    watcher->SetFolderName(folder.Path());
    watcher->SetFilter(WatchFilter::FileName | WatchFilter::Size);
    watcher->SetMonitorSubtree(false);
    watcher->SetActive(true);
    ASSERT_TRUE(watcher->Active());

    WriteFile(folder / "report.txt", "first");
    ASSERT_TRUE(ServeUntil(loop, [&] { return notices > 0; }));
    EXPECT_EQ(handlerThread, std::this_thread::get_id());

    watcher->SetActive(false);
    ServeUntil(
        loop, [] { return false; }, std::chrono::milliseconds(200)); // what was on its way
    const int seen = notices;
    WriteFile(folder / "later.txt", "second");
    EXPECT_TRUE(QuietFor(loop, notices, std::chrono::milliseconds(500)));
    EXPECT_EQ(notices, seen);

    // A missing folder leaves the watcher off without an error.
    watcher->SetFolderName(folder / "absent");
    watcher->SetActive(true);
    EXPECT_FALSE(watcher->Active());
}

TEST(DirectoryChangesWatcher, ASubtreeWatchReportsChangesInSubfolders)
{
    if (RunningUnderWine())
        GTEST_SKIP() << "Wine: a subtree watch reports no change in subfolders";
    TempFolder folder;
    std::filesystem::create_directories(folder / "day" / "inner");
    ConsoleEventLoop loop;
    auto watcher = MakeFolderWatcher(loop);
    int notices = 0;
    watcher->SetOnChange([&] { ++notices; });
    watcher->SetFolderName(folder.Path());
    watcher->SetFilter(WatchFilter::FileName);
    watcher->SetMonitorSubtree(true);
    watcher->SetActive(true);
    WriteFile(folder / "day" / "inner" / "unknown.txt", "x");
    EXPECT_TRUE(ServeUntil(loop, [&] { return notices > 0; }));
}

TEST(ConsoleEventLoop, QuitFromAnotherThreadEndsRunAndRefusesLaterWork)
{
    ConsoleEventLoop loop;
    bool ran = false;
    std::thread sender([&] {
        EXPECT_TRUE(loop.RunOnUiThreadAndWait([&] { ran = true; }));
        loop.Quit(); // as the console's control handler does, from a thread of its own
    });
    loop.Run();
    sender.join();
    EXPECT_TRUE(ran);
    bool refused = false;
    std::thread late([&] { refused = !loop.RunOnUiThreadAndWait([] {}); });
    late.join();
    EXPECT_TRUE(refused);
}

TEST(InstanceLock, HeldForTheObjectsLifeWithTheHoldersIdReadableMeanwhile)
{
    TempFolder folder;
    const auto store = folder / "store" / "nested";
    std::int64_t holder = -1;
    auto first = InstanceLock::TryAcquire(store, holder);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(holder, 0);
    EXPECT_EQ(ReadFile(store / InstanceLock::kFileName), std::to_string(GetCurrentProcessId()) + "\r\n");
    EXPECT_EQ(InstanceLock::TryAcquire(store, holder), nullptr);
    EXPECT_EQ(holder, static_cast<std::int64_t>(GetCurrentProcessId()));
    first.reset();
    EXPECT_NE(InstanceLock::TryAcquire(store, holder), nullptr);

    WriteFile(folder / "file", "not a folder");
    EXPECT_THROW(static_cast<void>(InstanceLock::TryAcquire(folder / "file", holder)), std::runtime_error);
}

TEST(FileLock, ASecondHolderIsRefusedInsteadOfHanging)
{
    TempFolder folder;
    const auto file = folder / "hklm.lock";
    FileLock first(file);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(FileLock(file, std::chrono::milliseconds(100)), std::runtime_error);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

std::atomic<int> g_stops{0};

TEST(StopRequest, OutsideTheServiceManagerTheServiceRunsHere)
{
    // Started from a console (or by a test runner), not by the service manager: the body
    // runs at once, and its result and errors are the caller's.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunAsSystemService([] { return 7; }), 7);
    EXPECT_THROW(RunAsSystemService([]() -> int { throw std::runtime_error("no journal"); }),
                 std::runtime_error);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(StopRequest, CtrlBreakReachesTheHandler)
{
    InstallStopRequestHandler([] { ++g_stops; });
    // A test runner gives no console; one of our own then.
    if (!GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0) &&
        !(AllocConsole() && SetConsoleCtrlHandler(nullptr, FALSE) &&
          GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, 0)))
        GTEST_SKIP() << "no console to send Ctrl+Break to (Wine run without a terminal has none)";
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (g_stops.load() == 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(g_stops.load(), 1);
}

} // namespace
} // namespace ornel::test
