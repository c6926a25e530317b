// The tray application's Timer: a QTimer that keeps the interface's rules (no ticks at
// interval 0, a full period after enabling, a restart on a new interval). Owned by
// whoever the application hands it to; UI thread only.
#pragma once

#include "platform/Timer.h"

#include <QObject>
#include <QTimer>

namespace ornel
{

class QtTimer final : public QObject, public Timer
{
    Q_OBJECT

public:
    explicit QtTimer(QObject* parent = nullptr);

    void SetInterval(std::chrono::milliseconds interval) override;
    [[nodiscard]] std::chrono::milliseconds Interval() const override { return m_interval; }
    void SetEnabled(bool enabled) override;
    [[nodiscard]] bool Enabled() const override { return m_enabled; }
    void SetOnTimer(std::function<void()> onTimer) override { m_onTimer = std::move(onTimer); }

    // Whether the underlying QTimer is counting (false while enabled at interval 0).
    [[nodiscard]] bool Counting() const { return m_timer.isActive(); }
    // Milliseconds to the next tick, or -1 when it will not tick.
    [[nodiscard]] int RemainingMs() const { return m_timer.isActive() ? m_timer.remainingTime() : -1; }

private:
    void Restart();

    QTimer m_timer;
    std::chrono::milliseconds m_interval{1000};
    bool m_enabled = false;
    std::function<void()> m_onTimer;
};

} // namespace ornel
