// A Timer served by a ConsoleEventLoop against the steady clock. Made by
// ConsoleEventLoop::MakeTimer; UI thread only; destroyed before its loop.
#pragma once

#include "platform/Timer.h"

#include <chrono>
#include <cstdint>
#include <functional>

namespace ornel
{

class ConsoleEventLoop;

class ConsoleTimer final : public Timer
{
public:
    explicit ConsoleTimer(ConsoleEventLoop& loop);
    ~ConsoleTimer() override;
    ConsoleTimer(const ConsoleTimer&) = delete;
    ConsoleTimer& operator=(const ConsoleTimer&) = delete;

    // A different interval restarts a running timer's period; the same one changes nothing.
    void SetInterval(std::chrono::milliseconds interval) override;
    [[nodiscard]] std::chrono::milliseconds Interval() const override { return m_interval; }
    void SetEnabled(bool enabled) override;
    [[nodiscard]] bool Enabled() const override { return m_enabled; }
    void SetOnTimer(std::function<void()> onTimer) override { m_onTimer = std::move(onTimer); }

    // Whether the timer will tick: enabled with a period above 0.
    [[nodiscard]] bool Counting() const { return m_enabled && m_interval.count() > 0; }

private:
    friend class ConsoleEventLoop;
    void Restart();

    ConsoleEventLoop* m_loop;
    std::chrono::milliseconds m_interval{1000};
    bool m_enabled = false;
    std::chrono::steady_clock::time_point m_deadline{};
    std::uint64_t m_lastPass = 0;
    std::function<void()> m_onTimer;
};

} // namespace ornel
