// Wakes a thread that waits for it: raised from any thread (on POSIX also from a signal
// handler), waited for and cleared by the one thread that owns it. Owned by the console
// event loop.
#pragma once

#include <chrono>
#include <cstdint>

namespace ornel
{

class WakeSignal
{
public:
    // Throws std::runtime_error when the system gives no object to wait on.
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Async-signal-safe. Raising a raised signal changes nothing.
    void Raise() noexcept;
    void Clear() noexcept;
    // Returns when the signal is raised or `timeout` has passed (or, on POSIX, a signal
    // arrived); does not clear it.
    void Wait(std::chrono::milliseconds timeout) noexcept;

private:
    std::intptr_t m_handle = -1; // the system's descriptor or handle
};

} // namespace ornel
