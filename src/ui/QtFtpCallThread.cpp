#include "ui/QtFtpCallThread.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QMetaObject>

namespace ornel
{

QtFtpCallThread::QtFtpCallThread()
    : m_context(std::make_unique<QObject>())
    , m_thread([this] { Work(); })
{}

QtFtpCallThread::~QtFtpCallThread()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

bool QtFtpCallThread::OnCallThread() const
{
    return std::this_thread::get_id() == m_thread.get_id();
}

void QtFtpCallThread::Work()
{
    std::unique_lock lock(m_mutex);
    while (true) {
        m_changed.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
        if (m_queue.empty()) {
            return; // stopping, and nothing left to run
        }
        Task* task = m_queue.front();
        m_queue.pop_front();
        lock.unlock();
        std::exception_ptr error;
        try {
            (*task->operation)();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        task->error = error;
        task->done = true;
        WakeUiThread();
    }
}

void QtFtpCallThread::WakeUiThread()
{
    // Any event ends the UI thread's wait in Run; this one does nothing else.
    QMetaObject::invokeMethod(
        m_context.get(), [] {}, Qt::QueuedConnection);
}

void QtFtpCallThread::Run(const std::function<void()>& operation)
{
    Task task;
    task.operation = &operation;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(&task);
    }
    m_changed.notify_all();
    // Menu commands, timer ticks and the status window are served here as between two
    // files; whatever they start that needs the client waits in the queue behind this.
    while (true) {
        {
            std::lock_guard lock(m_mutex);
            if (task.done) {
                break;
            }
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    if (task.error) {
        std::rethrow_exception(task.error);
    }
}

void QtFtpCallThread::Deliver(const std::function<void()>& event)
{
    struct Call
    {
        bool done = false;
        std::exception_ptr error;
    };
    auto call = std::make_shared<Call>();
    // `event` lives on this thread's stack until the UI thread has run it.
    const std::function<void()>* eventPtr = &event;
    QMetaObject::invokeMethod(
        m_context.get(),
        [this, call, eventPtr] {
            RunPendingProgress();
            std::exception_ptr error;
            try {
                (*eventPtr)();
            } catch (...) {
                error = std::current_exception();
            }
            {
                std::lock_guard lock(m_mutex);
                call->error = error;
                call->done = true;
            }
            m_changed.notify_all();
        },
        Qt::QueuedConnection);
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return call->done; });
    if (call->error) {
        std::rethrow_exception(call->error);
    }
}

void QtFtpCallThread::Post(std::function<void()> progress)
{
    std::lock_guard lock(m_mutex);
    m_progress = std::move(progress);
    if (!m_progressPosted) {
        m_progressPosted = true;
        QMetaObject::invokeMethod(
            m_context.get(), [this] { RunPendingProgress(); }, Qt::QueuedConnection);
    }
}

void QtFtpCallThread::RunPendingProgress()
{
    std::function<void()> progress;
    {
        std::lock_guard lock(m_mutex);
        progress = std::move(m_progress);
        m_progress = nullptr;
        m_progressPosted = false;
    }
    if (!progress) {
        return;
    }
    try {
        progress();
    } catch (const std::exception& error) {
        // A progress report only moves the bar; the transfer goes on whatever it met.
        qWarning("%s", error.what());
    }
}

} // namespace ornel
