// The tray application's FtpCallGate: the FTP client's network operations run on one
// thread of their own while the UI thread keeps serving its events (painting, the tray
// animation, the menu, the status window), so the desktop stays alive through a long
// transfer. Owned by the tray application, created and destroyed on the UI thread.
#pragma once

#include "ftp/FtpCallGate.h"

#include <QObject>
#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace ornel
{

class QtFtpCallThread final : public FtpCallGate
{
public:
    QtFtpCallThread();
    // Waits for the operation under way, if any, and ends the thread.
    ~QtFtpCallThread() override;
    QtFtpCallThread(const QtFtpCallThread&) = delete;
    QtFtpCallThread& operator=(const QtFtpCallThread&) = delete;

    [[nodiscard]] bool OnCallThread() const override;
    // UI thread. Serves events until the operation has ended.
    void Run(const std::function<void()>& operation) override;
    // Call thread.
    void Deliver(const std::function<void()>& event) override;
    void Post(std::function<void()> progress) override;

private:
    struct Task
    {
        const std::function<void()>* operation = nullptr;
        std::exception_ptr error;
        bool done = false;
    };

    void Work();
    void RunPendingProgress();
    void WakeUiThread();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Task*> m_queue;
    bool m_stopping = false;
    std::function<void()> m_progress; // the latest report not run yet
    bool m_progressPosted = false;
    std::unique_ptr<QObject> m_context; // lives on the UI thread: target of the queued calls
    std::thread m_thread;
};

} // namespace ornel
