#include "platform/ConsoleTimer.h"

#include "platform/ConsoleEventLoop.h"

namespace ornel
{

ConsoleTimer::ConsoleTimer(ConsoleEventLoop& loop)
    : m_loop(&loop)
{
    m_loop->Register(this);
}

ConsoleTimer::~ConsoleTimer()
{
    if (m_loop != nullptr) {
        m_loop->Unregister(this);
    }
}

void ConsoleTimer::Restart()
{
    m_deadline = std::chrono::steady_clock::now() + m_interval;
}

void ConsoleTimer::SetInterval(std::chrono::milliseconds interval)
{
    if (interval == m_interval) {
        return;
    }
    m_interval = interval;
    if (m_enabled) {
        Restart();
    }
}

void ConsoleTimer::SetEnabled(bool enabled)
{
    if (enabled == m_enabled) {
        return; // a running timer keeps its phase
    }
    m_enabled = enabled;
    if (enabled) {
        Restart();
    }
}

} // namespace ornel
