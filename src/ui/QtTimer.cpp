#include "ui/QtTimer.h"

#include <algorithm>
#include <limits>

namespace ornel
{

QtTimer::QtTimer(QObject* parent)
    : QObject(parent)
{
    m_timer.setSingleShot(false);
    // Minute-long schedule and monitoring periods must not drift by the coarse timer's 5 %.
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        if (m_onTimer) {
            m_onTimer();
        }
    });
}

void QtTimer::Restart()
{
    // A QTimer at 0 ms would fire on every pass of the event loop; the interface says a
    // period of 0 means the timer never ticks.
    if (!m_enabled || m_interval.count() <= 0) {
        m_timer.stop();
        return;
    }
    // QTimer counts in int milliseconds; a longer period (an absurd Interval from the
    // store) is held at the largest one it can count rather than wrapping to a short one.
    constexpr std::chrono::milliseconds kLongest{std::numeric_limits<int>::max()};
    m_timer.start(std::min(m_interval, kLongest));
}

void QtTimer::SetInterval(std::chrono::milliseconds interval)
{
    m_interval = interval;
    Restart();
}

void QtTimer::SetEnabled(bool enabled)
{
    if (enabled == m_enabled) {
        return;
    }
    m_enabled = enabled;
    Restart();
}

} // namespace ornel
