#include "platform/ConsoleEventLoop.h"

#include "platform/ConsoleTimer.h"
#include "platform/WakeSignal.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <stdexcept>

namespace ornel
{

namespace
{

// How often a caller waiting for its hand-over looks at the quit flag, which a signal
// handler sets without being able to notify the condition variable.
constexpr std::chrono::milliseconds kQuitPoll{50};

} // namespace

ConsoleEventLoop::ConsoleEventLoop()
    : m_wake(std::make_unique<WakeSignal>())
    , m_uiThread(std::this_thread::get_id())
{}

ConsoleEventLoop::~ConsoleEventLoop()
{
    m_quit.store(true);
    {
        std::unique_lock lock(m_mutex);
        for (Request* r : m_queue) {
            r->state = Request::State::Refused;
        }
        m_queue.clear();
        m_cv.notify_all();
        // Callers still inside RunOnUiThreadAndWait hold references to the mutex and the
        // condition variable; they leave at once now that their work is refused.
        m_cv.wait(lock, [this] { return m_callers == 0; });
    }
    for (ConsoleTimer* t : m_timers) {
        t->m_loop = nullptr;
    }
}

std::unique_ptr<Timer> ConsoleEventLoop::MakeTimer()
{
    return std::make_unique<ConsoleTimer>(*this);
}

void ConsoleEventLoop::Register(ConsoleTimer* timer)
{
    m_timers.push_back(timer);
}

void ConsoleEventLoop::Unregister(ConsoleTimer* timer)
{
    m_timers.erase(std::remove(m_timers.begin(), m_timers.end(), timer), m_timers.end());
}

void ConsoleEventLoop::Wake() noexcept
{
    m_wake->Raise(); // async-signal-safe: Quit() runs this from signal handlers
}

void ConsoleEventLoop::DrainWake() noexcept
{
    m_wake->Clear();
}

void ConsoleEventLoop::Quit() noexcept
{
    m_quit.store(true);
    Wake();
}

void ConsoleEventLoop::Report(const char* what)
{
    const std::string text = what;
    if (m_onError) {
        m_onError(text);
    } else {
        std::fprintf(stderr, "%s\n", text.c_str());
    }
}

bool ConsoleEventLoop::RunOnUiThreadAndWait(const std::function<void()>& work)
{
    if (std::this_thread::get_id() == m_uiThread) {
        // Waiting for ourselves would never end.
        work();
        return true;
    }
    Request request{&work};
    std::unique_lock lock(m_mutex);
    if (m_quit.load()) {
        return false;
    }
    ++m_callers;
    m_queue.push_back(&request);
    Wake();
    while (request.state == Request::State::Pending || request.state == Request::State::Running) {
        if (request.state == Request::State::Pending && m_quit.load()) {
            m_queue.erase(std::remove(m_queue.begin(), m_queue.end(), &request), m_queue.end());
            request.state = Request::State::Refused;
            break;
        }
        m_cv.wait_for(lock, kQuitPoll);
    }
    --m_callers;
    m_cv.notify_all();
    return request.state == Request::State::Done;
}

void ConsoleEventLoop::RefusePending()
{
    std::lock_guard lock(m_mutex);
    for (Request* r : m_queue) {
        r->state = Request::State::Refused;
    }
    m_queue.clear();
    m_cv.notify_all();
}

void ConsoleEventLoop::RunHandedOver()
{
    if (m_quit.load()) {
        RefusePending();
        return;
    }
    std::deque<Request*> batch;
    {
        std::lock_guard lock(m_mutex);
        batch.swap(m_queue);
        for (Request* r : batch) {
            r->state = Request::State::Running;
        }
    }
    for (Request* r : batch) {
        try {
            (*r->work)();
        } catch (const std::exception& e) {
            Report(e.what());
        } catch (...) {
            Report("Unknown error");
        }
        std::lock_guard lock(m_mutex);
        r->state = Request::State::Done;
        m_cv.notify_all();
    }
}

void ConsoleEventLoop::RunDueTimers()
{
    const auto now = std::chrono::steady_clock::now();
    const std::uint64_t pass = ++m_pass;
    // Every timer ticks at most once per pass, so a handler that takes longer than its
    // period cannot keep the loop here; a handler in progress is not entered again by a
    // nested pass (a cycle serving events from inside a timer tick).
    for (;;) {
        ConsoleTimer* next = nullptr;
        for (ConsoleTimer* t : m_timers) {
            if (!t->Counting() || t->m_deadline > now || t->m_lastPass == pass ||
                std::find(m_ticking.begin(), m_ticking.end(), t) != m_ticking.end()) {
                continue;
            }
            if (next == nullptr || t->m_deadline < next->m_deadline) {
                next = t;
            }
        }
        if (next == nullptr) {
            return;
        }
        next->m_lastPass = pass;
        next->m_deadline += next->m_interval;
        if (next->m_deadline <= now) {
            next->m_deadline = now + next->m_interval; // missed periods are not made up
        }
        // The handler may destroy or reconfigure its timer: work on a copy, and never touch
        // `next` again.
        const std::function<void()> handler = next->m_onTimer;
        if (!handler) {
            continue;
        }
        m_ticking.push_back(next);
        try {
            handler();
        } catch (const std::exception& e) {
            Report(e.what());
        } catch (...) {
            Report("Unknown error");
        }
        m_ticking.erase(std::find(m_ticking.begin(), m_ticking.end(), next));
    }
}

void ConsoleEventLoop::ProcessPendingEvents()
{
    DrainWake();
    RunHandedOver();
    RunDueTimers();
}

void ConsoleEventLoop::Sleep(std::chrono::milliseconds duration)
{
    std::this_thread::sleep_for(duration);
}

bool ConsoleEventLoop::HasPendingWork()
{
    std::lock_guard lock(m_mutex);
    return !m_queue.empty();
}

std::size_t ConsoleEventLoop::PendingHandOvers()
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

std::chrono::milliseconds ConsoleEventLoop::TimeToNextTimer(std::chrono::milliseconds limit) const
{
    const auto now = std::chrono::steady_clock::now();
    auto wait = limit;
    for (const ConsoleTimer* t : m_timers) {
        if (!t->Counting() || std::find(m_ticking.begin(), m_ticking.end(), t) != m_ticking.end()) {
            continue;
        }
        if (t->m_deadline <= now) {
            return std::chrono::milliseconds(0);
        }
        // Rounded up: waking a little early would only spin until the deadline.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(t->m_deadline - now);
        wait = std::min(wait, left);
    }
    return wait;
}

void ConsoleEventLoop::WaitForEvents(std::chrono::milliseconds timeout)
{
    auto wait = TimeToNextTimer(std::max(timeout, std::chrono::milliseconds(0)));
    if (m_quit.load() || HasPendingWork()) {
        wait = std::chrono::milliseconds(0);
    }
    m_wake->Wait(wait);
    ProcessPendingEvents();
}

void ConsoleEventLoop::Run()
{
    while (!m_quit.load()) {
        WaitForEvents(std::chrono::hours(1));
    }
    RefusePending();
}

} // namespace ornel
