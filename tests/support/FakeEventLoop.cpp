#include "support/FakeEventLoop.h"

#include "support/FakeClock.h"

#include <thread>

namespace ornel::test {

FakeEventLoop::FakeEventLoop(FakeClock* clock)
    : m_clock(clock)
{
}

void FakeEventLoop::ProcessPendingEvents()
{
    ++m_processCalls;
    std::deque<std::function<void()>> work;
    {
        std::lock_guard lock(m_mutex);
        work.swap(m_pending);
    }
    for (auto& w : work) {
        w();
    }
}

void FakeEventLoop::Sleep(std::chrono::milliseconds duration)
{
    m_sleeps.push_back(duration);
    if (m_clock != nullptr) {
        m_clock->Advance(duration);
    }
}

void FakeEventLoop::WaitForEvents(std::chrono::milliseconds timeout)
{
    // Real time must pass here: the loops that call this wait for a real child process.
    std::this_thread::sleep_for(std::min(timeout, std::chrono::milliseconds(5)));
    ProcessPendingEvents();
}

bool FakeEventLoop::RunOnUiThreadAndWait(const std::function<void()>& work)
{
    // Tests that use real watcher threads use a real loop; here the work runs at once.
    std::lock_guard lock(m_runMutex);
    work();
    return true;
}

void FakeEventLoop::Post(std::function<void()> work)
{
    std::lock_guard lock(m_mutex);
    m_pending.push_back(std::move(work));
}

} // namespace ornel::test
