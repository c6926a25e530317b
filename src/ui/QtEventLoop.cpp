#include "ui/QtEventLoop.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace ornel
{

struct QtEventLoop::Shared
{
    std::mutex mutex;
    std::condition_variable changed;
    bool shuttingDown = false;
    std::function<void(const std::string&)> onError; // read on the UI thread only
};

namespace
{

// One hand-over; guarded by Shared::mutex.
struct Call
{
    bool started = false;
    bool done = false;
    bool abandoned = false;
};

void ReportError(const std::shared_ptr<QtEventLoop::Shared>& shared, const std::string& message)
{
    if (shared->onError) {
        shared->onError(message);
    } else {
        qWarning("%s", message.c_str());
    }
}

} // namespace

QtEventLoop::QtEventLoop()
    : m_shared(std::make_shared<Shared>())
    , m_context(std::make_unique<QObject>())
{
    if (QCoreApplication* app = QCoreApplication::instance()) {
        QObject::connect(app, &QCoreApplication::aboutToQuit, m_context.get(), [this] { Shutdown(); });
    }
}

QtEventLoop::~QtEventLoop()
{
    Shutdown();
}

void QtEventLoop::ProcessPendingEvents()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventLoop::Sleep(std::chrono::milliseconds duration)
{
    // The desktop stays alive through the pause: painting, the tray animation and the menu
    // go on, and what a served command asks for is what the points between two files serve.
    QEventLoop pause;
    QTimer::singleShot(duration, &pause, &QEventLoop::quit);
    pause.exec();
}

void QtEventLoop::WaitForEvents(std::chrono::milliseconds timeout)
{
    // The single-shot timer bounds the wait: WaitForMoreEvents returns after serving
    // whatever arrives first, the timer's own event included.
    QTimer bound;
    bound.setSingleShot(true);
    bound.start(timeout);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool QtEventLoop::RunOnUiThreadAndWait(const std::function<void()>& work)
{
    if (QThread::currentThread() == m_context->thread()) {
        // Already on the UI thread: queuing and waiting would wait for ourselves.
        if (ShuttingDown()) {
            return false;
        }
        work();
        return true;
    }

    auto call = std::make_shared<Call>();
    std::shared_ptr<Shared> shared = m_shared;
    {
        std::lock_guard lock(shared->mutex);
        if (shared->shuttingDown) {
            return false;
        }
    }
    // `work` lives on the caller's stack; the caller does not return before the UI thread
    // has either finished it or will never start it (abandoned), so the pointer is safe.
    const std::function<void()>* workPtr = &work;
    QMetaObject::invokeMethod(
        m_context.get(),
        [call, shared, workPtr] {
            {
                std::lock_guard lock(shared->mutex);
                if (call->abandoned) {
                    return;
                }
                call->started = true;
            }
            try {
                (*workPtr)();
            } catch (const std::exception& error) {
                // Nothing above a queued call can take an exception, and the watcher
                // thread must not see one thrown on another thread: report it here.
                ReportError(shared, error.what());
            } catch (...) {
                ReportError(shared, "unknown error");
            }
            {
                std::lock_guard lock(shared->mutex);
                call->done = true;
            }
            shared->changed.notify_all();
        },
        Qt::QueuedConnection);

    std::unique_lock lock(shared->mutex);
    shared->changed.wait(lock, [&] { return call->done || (shared->shuttingDown && !call->started); });
    if (call->done) {
        return true;
    }
    call->abandoned = true;
    return false;
}

void QtEventLoop::SetErrorHandler(std::function<void(const std::string&)> onError)
{
    m_shared->onError = std::move(onError);
}

void QtEventLoop::Shutdown()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->shuttingDown = true;
    }
    m_shared->changed.notify_all();
}

bool QtEventLoop::ShuttingDown() const
{
    std::lock_guard lock(m_shared->mutex);
    return m_shared->shuttingDown;
}

} // namespace ornel
