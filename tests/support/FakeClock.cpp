#include "support/FakeClock.h"

#include <algorithm>
#include <limits>

namespace ornel::test
{

FakeClock::FakeClock(double start)
    : m_now(start)
{}

FakeClock::~FakeClock() = default;

std::unique_ptr<FakeTimer> FakeClock::MakeTimer()
{
    auto timer = std::unique_ptr<FakeTimer>(new FakeTimer(*this));
    m_timers.push_back(timer.get());
    return timer;
}

void FakeClock::Advance(std::chrono::milliseconds step)
{
    const std::int64_t end = m_nowMs + step.count();
    const double endDateTime = m_now + static_cast<double>(step.count()) / 86400000.0;
    const double startDateTime = m_now;
    const std::int64_t startMs = m_nowMs;
    // Bounded: each pass either ticks a timer (whose deadline then moves forward by at
    // least 1 ms) or ends the advance.
    for (;;) {
        FakeTimer* next = nullptr;
        std::int64_t best = std::numeric_limits<std::int64_t>::max();
        for (FakeTimer* t : m_timers) {
            if (t->m_enabled && t->m_interval.count() > 0 && t->m_deadlineMs <= end &&
                t->m_deadlineMs < best) {
                best = t->m_deadlineMs;
                next = t;
            }
        }
        if (next == nullptr) {
            break;
        }
        m_nowMs = best;
        m_now = startDateTime + static_cast<double>(best - startMs) / 86400000.0;
        next->m_deadlineMs = best + next->m_interval.count();
        ++next->m_ticks;
        if (next->m_onTimer) {
            next->m_onTimer();
        }
    }
    // A tick handler may have advanced the clock itself (a cycle's blocking pause); time
    // never runs backwards.
    if (m_nowMs < end) {
        m_nowMs = end;
        m_now = endDateTime;
    }
}

FakeTimer::FakeTimer(FakeClock& clock)
    : m_clock(clock)
{}

FakeTimer::~FakeTimer()
{
    auto& timers = m_clock.m_timers;
    timers.erase(std::remove(timers.begin(), timers.end(), this), timers.end());
}

void FakeTimer::Restart()
{
    m_deadlineMs = m_clock.NowMs() + m_interval.count();
}

void FakeTimer::SetInterval(std::chrono::milliseconds interval)
{
    // Only a different period restarts a running timer.
    if (interval == m_interval) {
        return;
    }
    m_interval = interval;
    if (m_enabled) {
        Restart();
    }
}

void FakeTimer::SetEnabled(bool enabled)
{
    if (enabled && !m_enabled) {
        m_enabled = true;
        Restart();
    } else if (!enabled) {
        m_enabled = false;
    }
}

std::int64_t FakeTimer::RemainingMs() const
{
    if (!m_enabled || m_interval.count() <= 0) {
        return -1;
    }
    return m_deadlineMs - m_clock.NowMs();
}

} // namespace ornel::test
