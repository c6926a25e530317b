#include "platform/ConsoleEventLoop.h"

#include "WatchHelpers.h"
#include "platform/ConsoleTimer.h"

#include <atomic>
#include <csignal>
#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace ornel::test
{

namespace
{

using namespace std::chrono_literals;

ConsoleEventLoop* g_quitTarget = nullptr;

extern "C" void QuitOnSignal(int)
{
    if (g_quitTarget != nullptr) {
        g_quitTarget->Quit();
    }
}

TEST(ConsoleEventLoop, TimersKeepTheTimerRules)
{
    ConsoleEventLoop loop;
    auto fast = loop.MakeTimer();
    auto never = loop.MakeTimer();
    std::vector<std::string> ticks;
    fast->SetInterval(10ms);
    fast->SetOnTimer([&] { ticks.push_back("fast"); });
    never->SetInterval(0ms);
    never->SetOnTimer([&] { ticks.push_back("never"); });
    never->SetEnabled(true);
    EXPECT_EQ(fast->Interval(), 10ms);

    // Disabled: no tick, however long the loop is served.
    loop.WaitForEvents(30ms);
    EXPECT_TRUE(ticks.empty());

    fast->SetEnabled(true);
    ASSERT_TRUE(ServeUntil(loop, [&] { return ticks.size() >= 3; }));
    for (const auto& t : ticks) {
        EXPECT_EQ(t, "fast"); // the period-0 timer never ticked
    }
    fast->SetEnabled(false);
    const auto seen = ticks.size();
    loop.WaitForEvents(30ms);
    EXPECT_EQ(ticks.size(), seen);
    EXPECT_FALSE(static_cast<ConsoleTimer&>(*never).Counting());
}

TEST(ConsoleEventLoop, AHandlerThatThrowsIsReportedAndTheLoopGoesOn)
{
    ConsoleEventLoop loop;
    std::vector<std::string> errors;
    loop.SetErrorHandler([&](const std::string& e) { errors.push_back(e); });
    auto timer = loop.MakeTimer();
    int ticks = 0;
    timer->SetInterval(5ms);
    timer->SetOnTimer([&] {
        ++ticks;
        if (ticks == 1) {
            throw std::runtime_error("Invalid data type for 'Start1'");
        }
    });
    timer->SetEnabled(true);
    ASSERT_TRUE(ServeUntil(loop, [&] { return ticks >= 2; }));
    EXPECT_EQ(errors, (std::vector<std::string>{"Invalid data type for 'Start1'"}));
}

TEST(ConsoleEventLoop, ATimerHandlerMayDestroyItsTimerAndIsNotReentered)
{
    ConsoleEventLoop loop;
    auto timer = loop.MakeTimer();
    int depth = 0;
    int maxDepth = 0;
    int ticks = 0;
    timer->SetInterval(1ms);
    timer->SetOnTimer([&] {
        ++ticks;
        ++depth;
        maxDepth = std::max(maxDepth, depth);
        // A cycle serving events from inside a tick.
        std::this_thread::sleep_for(3ms);
        loop.ProcessPendingEvents();
        --depth;
        if (ticks == 3) {
            timer.reset();
        }
    });
    timer->SetEnabled(true);
    ASSERT_TRUE(ServeUntil(loop, [&] { return timer == nullptr; }));
    EXPECT_EQ(maxDepth, 1);
    loop.WaitForEvents(5ms); // nothing left to tick
    EXPECT_EQ(ticks, 3);
}

// Waits (bounded) until `count` hand-overs are queued.
bool QueuedHandOvers(ConsoleEventLoop& loop, std::size_t count)
{
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (loop.PendingHandOvers() < count && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(1ms);
    }
    return loop.PendingHandOvers() == count;
}

TEST(ConsoleEventLoop, WorkFromAnotherThreadRunsOnTheLoopsThreadWhileTheSenderWaits)
{
    ConsoleEventLoop loop;
    const auto uiThread = std::this_thread::get_id();
    std::atomic<int> delivered{0};
    std::atomic<int> returned{0};
    std::atomic<int> returnedAfterTheWork{0};
    std::atomic<bool> ranOnUi{true};
    std::vector<std::thread> senders;
    for (int i = 0; i < 4; ++i) {
        senders.emplace_back([&] {
            std::atomic<bool> workDone{false};
            if (loop.RunOnUiThreadAndWait([&] {
                    ranOnUi = ranOnUi && std::this_thread::get_id() == uiThread;
                    std::this_thread::sleep_for(2ms);
                    workDone = true;
                })) {
                ++delivered;
                returnedAfterTheWork += workDone ? 1 : 0;
            }
            ++returned;
        });
    }
    // Nobody serves the loop yet: every sender must still be waiting in its hand-over.
    EXPECT_TRUE(QueuedHandOvers(loop, 4));
    EXPECT_EQ(returned.load(), 0) << "a sender went on before its work had run";
    EXPECT_TRUE(ServeUntil(loop, [&] { return delivered.load() == 4; }));
    for (auto& t : senders) {
        t.join();
    }
    EXPECT_TRUE(ranOnUi);
    EXPECT_EQ(returnedAfterTheWork.load(), 4);
    // On the loop's own thread the work runs at once instead of waiting for itself.
    bool direct = false;
    EXPECT_TRUE(loop.RunOnUiThreadAndWait([&] { direct = true; }));
    EXPECT_TRUE(direct);
}

TEST(ConsoleEventLoop, QuitFromASignalHandlerEndsRunAndReleasesWaitingThreads)
{
    ConsoleEventLoop loop;
    g_quitTarget = &loop;
    const auto previous = std::signal(SIGTERM, QuitOnSignal);
    ASSERT_NE(previous, SIG_ERR);

    auto timer = loop.MakeTimer();
    int ticks = 0;
    timer->SetInterval(5ms);
    timer->SetOnTimer([&] {
        if (++ticks == 2) {
            std::raise(SIGTERM);
        }
    });
    timer->SetEnabled(true);
    loop.Run(); // returns only through the signal
    std::signal(SIGTERM, previous);
    g_quitTarget = nullptr;
    EXPECT_EQ(ticks, 2);
    EXPECT_TRUE(loop.QuitRequested());

    // After Quit no hand-over is taken: a watcher thread is never left blocked.
    bool ran = false;
    bool accepted = true;
    std::thread sender([&] { accepted = loop.RunOnUiThreadAndWait([&] { ran = true; }); });
    sender.join();
    EXPECT_FALSE(accepted);
    EXPECT_FALSE(ran);
}

TEST(ConsoleEventLoop, AThreadWaitingWhenQuitComesIsReleased)
{
    ConsoleEventLoop loop;
    std::atomic<bool> done{false};
    bool accepted = true;
    std::thread sender([&] {
        accepted = loop.RunOnUiThreadAndWait([] {});
        done = true;
    });
    EXPECT_TRUE(QueuedHandOvers(loop, 1));
    EXPECT_FALSE(done) << "the sender did not wait for its hand-over";
    loop.Quit(); // the UI thread is busy elsewhere and never serves the hand-over
    sender.join();
    EXPECT_TRUE(done);
    EXPECT_FALSE(accepted);
}

} // namespace

} // namespace ornel::test
