#include "ui/QtFtpCallThread.h"

#include "ftp/FtpErrors.h"

#include <QCoreApplication>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace ornel::test
{
namespace
{

using namespace std::chrono_literals;

TEST(QtFtpCallThread, OperationsRunOffTheUiThreadWhileItServesEventsAndFailuresComeBackWhole)
{
    QtFtpCallThread gate;
    EXPECT_FALSE(gate.OnCallThread());

    // A timer keeps ticking on the UI thread while the operation waits on "the network".
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(20);
    bool onCallThread = false;
    gate.Run([&] {
        onCallThread = gate.OnCallThread();
        std::this_thread::sleep_for(300ms);
    });
    EXPECT_TRUE(onCallThread);
    EXPECT_GE(ticks, 5);

    // The client's own error class reaches the caller, code and text intact.
    try {
        gate.Run([] { throw EFtpReplyError(550, "No such file"); });
        FAIL() << "no exception";
    } catch (const EFtpReplyError& e) {
        EXPECT_EQ(e.ReplyCode(), 550);
        EXPECT_STREQ(e.what(), "No such file");
    }
}

TEST(QtFtpCallThread, EventsRunOnTheUiThreadInOrderAndProgressIsCoalesced)
{
    QtFtpCallThread gate;
    const auto ui = std::this_thread::get_id();
    std::vector<std::string> seen;
    bool allOnUi = true;
    auto record = [&](std::string what) {
        allOnUi = allOnUi && std::this_thread::get_id() == ui;
        seen.push_back(std::move(what));
    };
    std::atomic<int> progressRuns{0};
    gate.Run([&] {
        gate.Deliver([&] { record("begin"); });
        for (int i = 1; i <= 1000; ++i) {
            gate.Post([&, i] {
                ++progressRuns;
                record("work " + std::to_string(i));
            });
        }
        gate.Deliver([&] { record("end"); });
    });
    ASSERT_GE(seen.size(), 3u);
    EXPECT_TRUE(allOnUi);
    EXPECT_EQ(seen.front(), "begin");
    // The last count is never lost or shown after the end of the transfer.
    EXPECT_EQ(seen[seen.size() - 2], "work 1000");
    EXPECT_EQ(seen.back(), "end");
    EXPECT_LT(progressRuns.load(), 1000);

    // An event that fails on the UI thread fails the operation, as it would inline.
    EXPECT_THROW(gate.Run([&] { gate.Deliver([] { throw std::runtime_error("log full"); }); }),
                 std::runtime_error);
}

TEST(QtFtpCallThread, ACallMadeFromAnEventServedMeanwhileRunsAfterTheOneUnderWay)
{
    QtFtpCallThread gate;
    std::vector<std::string> order;
    std::mutex mutex;
    auto note = [&](const char* what) {
        std::lock_guard lock(mutex);
        order.push_back(what);
    };
    // A setter that disconnects, served while an upload runs, waits for the upload.
    QTimer::singleShot(50, [&] { gate.Run([&] { note("disconnect"); }); });
    gate.Run([&] {
        std::this_thread::sleep_for(300ms);
        note("upload");
    });
    EXPECT_EQ(order, (std::vector<std::string>{"upload", "disconnect"}));
}

} // namespace
} // namespace ornel::test
