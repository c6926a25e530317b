// The tray application's EventLoop over the Qt event loop. Created by the application
// before any watcher thread starts; Shutdown() (also run by the destructor and at
// QCoreApplication::aboutToQuit) releases every thread still waiting on a hand-over.
#pragma once

#include "platform/EventLoop.h"

#include <QObject>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

namespace ornel
{

class QtEventLoop final : public EventLoop
{
public:
    QtEventLoop();
    ~QtEventLoop() override;
    QtEventLoop(const QtEventLoop&) = delete;
    QtEventLoop& operator=(const QtEventLoop&) = delete;

    void ProcessPendingEvents() override;
    void Sleep(std::chrono::milliseconds duration) override;
    void WaitForEvents(std::chrono::milliseconds timeout) override;
    bool RunOnUiThreadAndWait(const std::function<void()>& work) override;

    // From now on hand-overs are refused; waiting callers whose work has not started
    // return false at once. Work already running on the UI thread is waited for.
    void Shutdown();
    [[nodiscard]] bool ShuttingDown() const;

    // Called on the UI thread with the message of an exception that handed-over work
    // threw (the caller's thread is released normally). Without one, it goes to qWarning.
    void SetErrorHandler(std::function<void(const std::string&)> onError);

    struct Shared;

private:
    std::shared_ptr<Shared> m_shared;
    std::unique_ptr<QObject> m_context; // target of the queued calls, lives on the UI thread
};

} // namespace ornel
