// A UI-thread timer. Created by the application (Qt, console or fake) and handed to the
// component that drives it. Called on the UI thread only.
//
// Rules every implementation keeps:
// - an interval of 0 never ticks, even while enabled;
// - enabling a stopped timer starts a full period;
// - setting a new interval on a running timer restarts its period;
// - disabling drops the period in progress.
#pragma once

#include <chrono>
#include <functional>

namespace ornel {

class Timer
{
public:
    virtual ~Timer() = default;

    virtual void SetInterval(std::chrono::milliseconds interval) = 0;
    [[nodiscard]] virtual std::chrono::milliseconds Interval() const = 0;
    virtual void SetEnabled(bool enabled) = 0;
    [[nodiscard]] virtual bool Enabled() const = 0;
    virtual void SetOnTimer(std::function<void()> onTimer) = 0;
};

} // namespace ornel
