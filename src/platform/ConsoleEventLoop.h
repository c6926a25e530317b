// The event loop of the headless front ends (--cycle, --service): one thread that serves
// its timers (ConsoleTimer) and the work that watcher threads hand over. Created by the
// front end on the thread that becomes the UI thread; everything but Quit() and
// RunOnUiThreadAndWait() is called there.
//
// Wiring for --service:
//   ConsoleEventLoop loop;
//   FrontEnd fe{desktop, loop, clock, sound, registry,
//               [&] { return loop.MakeTimer(); },
//               [&] { return MakeFolderWatcher(loop); }};
//   ... TFMain main(fe, paths); main.FormCreate();
//   static ConsoleEventLoop* quitTarget = &loop;   // SIGTERM/SIGINT: quitTarget->Quit()
//   loop.Run();                                      // returns after Quit()
//   main.FormClose();
// Timers and watchers must be destroyed before the loop.
#pragma once

#include "platform/EventLoop.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace ornel
{

class ConsoleTimer;
class Timer;
class WakeSignal;

class ConsoleEventLoop final : public EventLoop
{
public:
    ConsoleEventLoop();
    ~ConsoleEventLoop() override;
    ConsoleEventLoop(const ConsoleEventLoop&) = delete;
    ConsoleEventLoop& operator=(const ConsoleEventLoop&) = delete;

    // Runs handed-over work and the timers that are due, each timer at most once.
    void ProcessPendingEvents() override;
    void Sleep(std::chrono::milliseconds duration) override;
    // Sleeps until handed-over work arrives, a timer falls due, Quit() is called or the
    // timeout passes, then serves what is pending.
    void WaitForEvents(std::chrono::milliseconds timeout) override;
    // From any thread. Refused (false) once Quit() was called; a caller whose work has not
    // started when Quit() comes is released with false as well.
    bool RunOnUiThreadAndWait(const std::function<void()>& work) override;

    // Serves events until Quit().
    void Run();
    // Async-signal-safe: may be called from a SIGTERM or SIGINT handler, a console control
    // handler, or any thread.
    void Quit() noexcept;
    [[nodiscard]] bool QuitRequested() const noexcept { return m_quit.load(); }

    // Hand-overs waiting for the UI thread to take them (diagnostics and tests).
    [[nodiscard]] std::size_t PendingHandOvers();

    // A timer served by this loop; destroy it before the loop.
    [[nodiscard]] std::unique_ptr<Timer> MakeTimer();

    // Receives the message of an exception thrown by a timer handler or handed-over work
    // (the console stand-in for the framework's error report). Default: standard error.
    void SetErrorHandler(std::function<void(const std::string&)> onError) { m_onError = std::move(onError); }

private:
    friend class ConsoleTimer;
    using SteadyTime = std::chrono::steady_clock::time_point;

    struct Request
    {
        const std::function<void()>* work;
        enum class State
        {
            Pending,
            Running,
            Done,
            Refused,
        } state = State::Pending;
    };

    void Register(ConsoleTimer* timer);
    void Unregister(ConsoleTimer* timer);
    void Wake() noexcept;
    void DrainWake() noexcept;
    void RunHandedOver();
    void RunDueTimers();
    void RefusePending();
    void Report(const char* what);
    [[nodiscard]] bool HasPendingWork();
    [[nodiscard]] std::chrono::milliseconds TimeToNextTimer(std::chrono::milliseconds limit) const;

    static_assert(std::atomic<bool>::is_always_lock_free, "Quit() must be async-signal-safe");

    std::unique_ptr<WakeSignal> m_wake;
    std::atomic<bool> m_quit{false};
    std::thread::id m_uiThread;

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Request*> m_queue;
    int m_callers = 0; // threads inside RunOnUiThreadAndWait

    std::vector<ConsoleTimer*> m_timers;
    std::vector<const ConsoleTimer*> m_ticking; // handlers in progress, never re-entered
    std::uint64_t m_pass = 0;
    std::function<void(const std::string&)> m_onError;
};

} // namespace ornel
