// The UI thread's message loop as the core needs it: serve pending events from inside
// long operations, sleep without serving them, and run work handed over from another
// thread. The application owns the one instance.
#pragma once

#include <chrono>
#include <functional>

namespace ornel {

class EventLoop
{
public:
    virtual ~EventLoop() = default;

    // Runs the handlers of events that are already pending (menu commands, timer ticks,
    // watcher notices) and returns. UI thread only.
    virtual void ProcessPendingEvents() = 0;

    // Returns after `duration`, UI thread only. The console loops block and serve nothing;
    // the tray's loop keeps serving events meanwhile, as at the points between two files.
    virtual void Sleep(std::chrono::milliseconds duration) = 0;

    // Waits up to `timeout` for an event to arrive and serves it; used by loops that poll
    // something else (a child process) so they neither spin a core nor stop serving.
    virtual void WaitForEvents(std::chrono::milliseconds timeout) = 0;

    // Called from any thread other than the UI thread: runs `work` on the UI thread and
    // returns when it has returned. Returns false (without running it) when the loop is
    // shutting down, so a watcher thread never blocks forever.
    virtual bool RunOnUiThreadAndWait(const std::function<void()>& work) = 0;

    // True once the application has been told to end: loops that wait for something
    // outside (a child program) stop waiting.
    [[nodiscard]] virtual bool ShuttingDown() const { return false; }
};

} // namespace ornel
