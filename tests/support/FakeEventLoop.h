// An event loop for tests: pending work is a queue the test fills; Sleep advances the
// fake clock when one is given (so a cycle's 2000 ms pause costs nothing) and records it.
#pragma once

#include "platform/EventLoop.h"

#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace ornel::test {

class FakeClock;

class FakeEventLoop final : public EventLoop
{
public:
    explicit FakeEventLoop(FakeClock* clock = nullptr);

    void ProcessPendingEvents() override;
    void Sleep(std::chrono::milliseconds duration) override;
    void WaitForEvents(std::chrono::milliseconds timeout) override;
    bool RunOnUiThreadAndWait(const std::function<void()>& work) override;

    // Work that the next ProcessPendingEvents runs (a menu command arriving mid-cycle).
    void Post(std::function<void()> work);

    [[nodiscard]] const std::vector<std::chrono::milliseconds>& Sleeps() const { return m_sleeps; }
    [[nodiscard]] int ProcessCalls() const { return m_processCalls; }

private:
    FakeClock* m_clock;
    std::mutex m_mutex;
    std::mutex m_runMutex; // one handed-over call at a time, as on a real UI thread
    std::deque<std::function<void()>> m_pending;
    std::vector<std::chrono::milliseconds> m_sleeps;
    int m_processCalls = 0;
};

} // namespace ornel::test
