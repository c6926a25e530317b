// Helpers for tests with a real inotify watcher and a real console loop: serve the loop
// until a condition holds, bounded in time so that a fault fails instead of hanging.
#pragma once

#include "platform/ConsoleEventLoop.h"

#include <chrono>
#include <functional>

namespace ornel::test
{

inline bool ServeUntil(ConsoleEventLoop& loop, const std::function<bool()>& done,
                       std::chrono::milliseconds limit = std::chrono::seconds(10))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) {
            return false;
        }
        loop.WaitForEvents(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace ornel::test
