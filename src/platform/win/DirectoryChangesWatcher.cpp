// The folder watcher on Windows: ReadDirectoryChangesW on a thread of its own per
// activation, stopped through an event and CancelIoEx. The threading contract is that of
// FolderWatcher: notices reach the UI thread through the EventLoop, the thread waiting until
// the handler has returned; deactivation never waits for the thread.
#include "platform/EventLoop.h"
#include "platform/FolderWatcher.h"
#include "platform/win/WideText.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>
#include <windows.h>

namespace ornel
{

namespace
{

namespace fs = std::filesystem;

constexpr auto kDestroyWaitLimit = std::chrono::seconds(5);
constexpr DWORD kBufferSize = 64 * 1024;

std::runtime_error SystemError(DWORD code)
{
    return std::runtime_error("System Error.  Code: " + std::to_string(code) + ".\r\n" +
                              win::SystemErrorText(code));
}

DWORD NotifyFilter(WatchFilter filter)
{
    DWORD mask = 0;
    if (HasFlag(filter, WatchFilter::FileName))
        mask |= FILE_NOTIFY_CHANGE_FILE_NAME;
    if (HasFlag(filter, WatchFilter::DirName))
        mask |= FILE_NOTIFY_CHANGE_DIR_NAME;
    if (HasFlag(filter, WatchFilter::Attributes))
        mask |= FILE_NOTIFY_CHANGE_ATTRIBUTES;
    if (HasFlag(filter, WatchFilter::Size))
        mask |= FILE_NOTIFY_CHANGE_SIZE;
    if (HasFlag(filter, WatchFilter::LastWrite))
        mask |= FILE_NOTIFY_CHANGE_LAST_WRITE;
    return mask;
}

// The handler and the generation of the current activation; UI thread only (the threads
// hand it over to the UI thread with each notice).
struct Link
{
    std::uint64_t generation = 0;
    std::function<void()> onChange;
};

// One activation. Shared by the UI side and the thread; the last one to let go closes the
// handles, so a stop never waits for the thread.
struct Session
{
    ~Session()
    {
        if (folder != INVALID_HANDLE_VALUE) {
            // A read still asked for (a start that failed half-way) must end before its
            // buffer goes; one that ended or was never made returns at once.
            CancelIoEx(folder, &pending);
            DWORD ignored = 0;
            GetOverlappedResult(folder, &pending, &ignored, TRUE);
            CloseHandle(folder);
        }
        if (stop)
            CloseHandle(stop);
        if (io)
            CloseHandle(io);
    }

    HANDLE folder = INVALID_HANDLE_VALUE;
    HANDLE stop = nullptr; // set by the UI side
    HANDLE io = nullptr;   // completion of the pending read
    DWORD filter = 0;
    bool subtree = true;
    OVERLAPPED pending{};             // the read in progress (thread only, once started)
    std::vector<std::uint8_t> buffer; // where it puts the changes

    std::mutex mutex;
    std::condition_variable changed;
    bool handingOver = false;
    bool finished = false;
    std::string error;
};

void RecordError(Session& s, const std::string& text)
{
    std::lock_guard lock(s.mutex);
    s.error = text;
}

// Asks for the next batch of changes. The system collects changes from this call on, so
// the first one is made before the watcher reports itself active.
bool Arm(Session& s)
{
    s.pending = OVERLAPPED{};
    s.pending.hEvent = s.io;
    ResetEvent(s.io);
    return ReadDirectoryChangesW(s.folder, s.buffer.data(), static_cast<DWORD>(s.buffer.size()),
                                 s.subtree ? TRUE : FALSE, s.filter, nullptr, &s.pending, nullptr) != 0;
}

// Waits for the batch asked for. True with `change` when there is one to report; false
// when the session was stopped or the folder can no longer be watched.
bool NextBatch(Session& s, bool& change)
{
    OVERLAPPED& pending = s.pending;
    const HANDLE waits[] = {s.io, s.stop};
    const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (which != WAIT_OBJECT_0) {
        // Stopped: the read must be over before its buffer and OVERLAPPED go away.
        CancelIoEx(s.folder, &pending);
        DWORD ignored = 0;
        GetOverlappedResult(s.folder, &pending, &ignored, TRUE);
        return false;
    }
    DWORD bytes = 0;
    if (!GetOverlappedResult(s.folder, &pending, &bytes, FALSE)) {
        const DWORD error = GetLastError();
        if (error == ERROR_NOTIFY_ENUM_DIR) {
            change = true; // more changes than the buffer held: report, anything may have changed
            return true;
        }
        RecordError(s, SystemError(error).what()); // the folder was deleted, or its volume went
        return false;
    }
    // No bytes: the system's own buffer overflowed and the changes were lost; as above.
    change = true;
    return true;
}

void ThreadMain(std::shared_ptr<Session> session, std::shared_ptr<Link> link, std::uint64_t generation,
                EventLoop* loop)
{
    Session& s = *session;
    for (;;) {
        bool change = false;
        if (!NextBatch(s, change))
            break;
        // Asked again before the hand-over, so nothing that happens meanwhile is missed.
        if (!Arm(s)) {
            RecordError(s, SystemError(GetLastError()).what());
            break;
        }
        if (!change)
            continue;
        if (WaitForSingleObject(s.stop, 0) == WAIT_OBJECT_0) {
            NextBatch(s, change); // cancels the read just asked for
            break;
        }
        {
            std::lock_guard lock(s.mutex);
            s.handingOver = true;
        }
        Link* shared = link.get();
        const bool delivered = loop->RunOnUiThreadAndWait([shared, generation] {
            if (shared->generation == generation && shared->onChange) {
                const auto handler = shared->onChange;
                handler();
            }
        });
        {
            std::lock_guard lock(s.mutex);
            s.handingOver = false;
        }
        s.changed.notify_all();
        if (!delivered) {
            SetEvent(s.stop);
            NextBatch(s, change); // the loop is shutting down: nobody will take notices any more
            break;
        }
    }
    {
        std::lock_guard lock(s.mutex);
        s.finished = true;
    }
    s.changed.notify_all();
}

class DirectoryChangesWatcher final : public FolderWatcher
{
public:
    explicit DirectoryChangesWatcher(EventLoop& loop)
        : m_loop(loop)
        , m_link(std::make_shared<Link>())
    {}

    ~DirectoryChangesWatcher() override
    {
        m_link->onChange = nullptr;
        Stop();
        // The threads end at once when told; one that is handing over a notice needs the
        // UI thread to serve it first.
        const auto limit = std::chrono::steady_clock::now() + kDestroyWaitLimit;
        for (const auto& s : m_stopped) {
            std::unique_lock lock(s->mutex);
            while (!s->finished && std::chrono::steady_clock::now() < limit) {
                if (s->handingOver) {
                    lock.unlock();
                    m_loop.ProcessPendingEvents();
                    lock.lock();
                    s->changed.wait_for(lock, std::chrono::milliseconds(5));
                } else {
                    s->changed.wait_for(lock, std::chrono::milliseconds(50));
                }
            }
        }
    }

    DirectoryChangesWatcher(const DirectoryChangesWatcher&) = delete;
    DirectoryChangesWatcher& operator=(const DirectoryChangesWatcher&) = delete;

    void SetFolderName(const fs::path& folder) override
    {
        Restart([&] { m_folder = folder; }, folder != m_folder);
    }
    [[nodiscard]] fs::path FolderName() const override { return m_folder; }
    void SetFilter(WatchFilter filter) override
    {
        Restart([&] { m_filter = filter; }, filter != m_filter);
    }
    void SetMonitorSubtree(bool subtree) override
    {
        Restart([&] { m_subtree = subtree; }, subtree != m_subtree);
    }

    void SetActive(bool active) override
    {
        if (active == m_active)
            return;
        if (active)
            Start();
        else
            Stop();
    }
    [[nodiscard]] bool Active() const override { return m_active; }

    void SetOnChange(std::function<void()> onChange) override { m_link->onChange = std::move(onChange); }

private:
    template <typename Change> void Restart(Change change, bool differs)
    {
        if (!differs)
            return;
        const bool wasActive = m_active;
        Stop();
        change();
        if (wasActive)
            Start();
    }

    void Start()
    {
        std::error_code ec;
        if (m_folder.empty() || !fs::is_directory(m_folder, ec))
            return; // nothing to watch, and no error: the folder may appear before the next switch
        auto session = std::make_shared<Session>();
        session->filter = NotifyFilter(m_filter);
        session->subtree = m_subtree;
        if (session->filter == 0) {
            m_active = true; // nothing would ever be reported
            return;
        }
        // Every kind of sharing: the watch must not keep anyone from renaming or deleting.
        session->folder = CreateFileW(
            m_folder.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OVERLAPPED, nullptr);
        if (session->folder == INVALID_HANDLE_VALUE)
            throw SystemError(GetLastError());
        session->stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        session->io = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!session->stop || !session->io)
            throw SystemError(GetLastError());
        session->buffer.resize(kBufferSize);
        if (!Arm(*session))
            throw SystemError(GetLastError());
        ++m_link->generation;
        std::thread(ThreadMain, session, m_link, m_link->generation, &m_loop).detach();
        m_session = std::move(session);
        m_active = true;
    }

    void Stop()
    {
        m_active = false;
        if (!m_session)
            return;
        ++m_link->generation; // a notice already on its way finds a newer generation and is dropped
        SetEvent(m_session->stop);
        m_stopped.push_back(std::move(m_session));
        m_session.reset();
    }

    EventLoop& m_loop;
    fs::path m_folder;
    WatchFilter m_filter =
        WatchFilter::FileName | WatchFilter::DirName | WatchFilter::Size | WatchFilter::LastWrite;
    bool m_subtree = true;
    bool m_active = false;
    std::shared_ptr<Link> m_link;
    std::shared_ptr<Session> m_session;
    std::vector<std::shared_ptr<Session>> m_stopped; // threads told to stop, maybe still running
};

} // namespace

std::unique_ptr<FolderWatcher> MakeFolderWatcher(EventLoop& loop)
{
    return std::make_unique<DirectoryChangesWatcher>(loop);
}

} // namespace ornel
