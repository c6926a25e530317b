#include "platform/WakeSignal.h"

#include "platform/win/WideText.h"

#include <algorithm>
#include <stdexcept>
#include <windows.h>

namespace ornel
{

WakeSignal::WakeSignal()
{
    // Manual reset: it stays raised until the owner clears it, as the POSIX counter does.
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr)
        throw std::runtime_error("Cannot create the event loop: " + win::SystemErrorText(GetLastError()));
    m_handle = reinterpret_cast<std::intptr_t>(event);
}

WakeSignal::~WakeSignal()
{
    CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

void WakeSignal::Raise() noexcept
{
    SetEvent(reinterpret_cast<HANDLE>(m_handle));
}

void WakeSignal::Clear() noexcept
{
    ResetEvent(reinterpret_cast<HANDLE>(m_handle));
}

void WakeSignal::Wait(std::chrono::milliseconds timeout) noexcept
{
    const auto ms = static_cast<DWORD>(std::clamp<std::int64_t>(timeout.count(), 0, INFINITE - 1));
    WaitForSingleObject(reinterpret_cast<HANDLE>(m_handle), ms);
}

} // namespace ornel
