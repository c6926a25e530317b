// A hand-moved clock with the timers that run on it. Tests create one FakeClock, make
// FakeTimers from it, and call Advance: due timers tick in deadline order, each tick
// seeing the clock at its own deadline. Single-threaded.
#pragma once

#include "platform/Clock.h"
#include "platform/Timer.h"

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

namespace ornel::test {

class FakeTimer;

class FakeClock final : public Clock
{
public:
    explicit FakeClock(double start = 46000.0);
    ~FakeClock() override;

    [[nodiscard]] double Now() const override { return m_now; }
    void Set(double dateTime) { m_now = dateTime; }

    // Moves time forward by `step`, ticking every timer whose deadline falls inside it.
    void Advance(std::chrono::milliseconds step);

    // A timer driven by this clock; the clock must outlive it.
    [[nodiscard]] std::unique_ptr<FakeTimer> MakeTimer();

private:
    friend class FakeTimer;
    [[nodiscard]] std::int64_t NowMs() const { return m_nowMs; }

    double m_now;
    std::int64_t m_nowMs = 0; // exact time base for deadlines, independent of rounding
    std::vector<FakeTimer*> m_timers;
};

class FakeTimer final : public Timer
{
public:
    ~FakeTimer() override;

    void SetInterval(std::chrono::milliseconds interval) override;
    [[nodiscard]] std::chrono::milliseconds Interval() const override { return m_interval; }
    void SetEnabled(bool enabled) override;
    [[nodiscard]] bool Enabled() const override { return m_enabled; }
    void SetOnTimer(std::function<void()> onTimer) override { m_onTimer = std::move(onTimer); }

    [[nodiscard]] int Ticks() const { return m_ticks; }
    // Milliseconds of fake time until the next tick, or -1 when it will not tick.
    [[nodiscard]] std::int64_t RemainingMs() const;

private:
    friend class FakeClock;
    explicit FakeTimer(FakeClock& clock);
    void Restart();

    FakeClock& m_clock;
    std::chrono::milliseconds m_interval{1000};
    bool m_enabled = false;
    std::int64_t m_deadlineMs = 0;
    int m_ticks = 0;
    std::function<void()> m_onTimer;
};

} // namespace ornel::test
