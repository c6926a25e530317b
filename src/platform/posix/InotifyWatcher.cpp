#include "platform/InotifyWatcher.h"

#include "platform/EventLoop.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <poll.h>
#include <stdexcept>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace ornel
{

namespace fs = std::filesystem;

// What the UI side and the threads share. Touched on the UI thread only: the threads hand
// it over to the UI thread with each notice, where the generation tells a notice of the
// current activation from one of a thread that was already told to stop.
struct InotifyWatcher::Link
{
    std::uint64_t generation = 0;
    std::function<void()> onChange;
};

// One activation: its descriptors and the thread's state. Shared by the UI side (until it
// has told the thread to stop) and the thread; whichever lets go last closes the fds.
struct InotifyWatcher::Session
{
    ~Session()
    {
        if (inotifyFd >= 0) {
            close(inotifyFd);
        }
        if (wakeFd >= 0) {
            close(wakeFd);
        }
    }

    int inotifyFd = -1;
    int wakeFd = -1;
    fs::path root;
    WatchFilter filter{};
    bool subtree = true;
    std::uint32_t mask = 0;
    std::unordered_map<int, fs::path> folders; // watch descriptor -> folder (thread only)

    std::atomic<std::uint64_t> eventsHandled{0};
    mutable std::mutex mutex;
    std::condition_variable changed;
    bool stopRequested = false;
    bool handingOver = false;
    bool finished = false;
    std::string error;
};

namespace
{

constexpr std::uint32_t kNameEvents = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO;
constexpr auto kDestroyWaitLimit = std::chrono::seconds(5);

std::runtime_error SystemError(int code)
{
    return std::runtime_error("System Error.  Code: " + std::to_string(code) + ".\r\n" + std::strerror(code));
}

void RecordError(InotifyWatcher::Session& s, const std::string& text)
{
    std::lock_guard lock(s.mutex);
    s.error = text;
}

// Adds a watch on a folder and returns its descriptor or -errno.
int AddWatch(InotifyWatcher::Session& s, const fs::path& folder, bool root)
{
    // Subfolders are not followed through symbolic links, so a link back up the tree
    // cannot make the walk endless; the watched folder itself may be a link.
    const std::uint32_t mask = s.mask | (root ? 0u : static_cast<std::uint32_t>(IN_DONT_FOLLOW));
    const int wd = inotify_add_watch(s.inotifyFd, folder.c_str(), mask);
    if (wd < 0) {
        return -errno;
    }
    s.folders[wd] = folder; // a folder moved within the tree keeps its descriptor: new path
    return wd;
}

// Watches `folder` and every folder below it. Returns whether a file is already there
// (written before its folder's watch existed); a folder that vanished or cannot be read
// is skipped. Other refusals (the watch limit) are returned in `refusal`.
bool AddTree(InotifyWatcher::Session& s, const fs::path& folder, bool root, int& refusal)
{
    if (const int wd = AddWatch(s, folder, root); wd < 0) {
        if (-wd != ENOENT && -wd != ENOTDIR && -wd != EACCES) {
            refusal = -wd;
        }
        return false;
    }
    bool holdsFiles = false;
    std::error_code ec;
    for (fs::directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
         !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        const auto status = it->symlink_status(typeEc);
        if (typeEc) {
            continue;
        }
        if (fs::is_directory(status)) {
            if (s.subtree) {
                holdsFiles = AddTree(s, it->path(), false, refusal) || holdsFiles;
            }
        } else {
            holdsFiles = true;
        }
        if (refusal != 0) {
            break; // the limit is reached: further watches would be refused as well
        }
    }
    return holdsFiles;
}

// Deals with one event; true when it is a change to report.
bool HandleEvent(InotifyWatcher::Session& s, const inotify_event& ev)
{
    if ((ev.mask & IN_Q_OVERFLOW) != 0) {
        // Events were lost, folder creations among them: watch the whole tree again (known
        // folders keep their descriptors) and report, since anything may have changed.
        if (s.subtree) {
            int refusal = 0;
            AddTree(s, s.root, true, refusal);
            if (refusal != 0) {
                RecordError(s, SystemError(refusal).what());
            }
        }
        return true;
    }
    if ((ev.mask & IN_IGNORED) != 0) {
        s.folders.erase(ev.wd);
        return false;
    }
    bool report = InotifyWatcher::Reports(s.filter, ev.mask);
    if (s.subtree && (ev.mask & IN_ISDIR) != 0 && (ev.mask & (IN_CREATE | IN_MOVED_TO)) != 0 && ev.len > 0) {
        const auto parent = s.folders.find(ev.wd);
        if (parent != s.folders.end()) {
            int refusal = 0;
            if (AddTree(s, parent->second / ev.name, false, refusal)) {
                report = true;
            }
            if (refusal != 0) {
                RecordError(s, SystemError(refusal).what());
            }
        }
    }
    return report;
}

// Reads every event available. False on a read error (recorded).
bool ReadEvents(InotifyWatcher::Session& s, bool& change, std::uint64_t& count)
{
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t length = read(s.inotifyFd, buffer, sizeof buffer);
        if (length < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                return true;
            }
            if (errno == EINTR) {
                continue;
            }
            RecordError(s, SystemError(errno).what());
            return false;
        }
        if (length == 0) {
            return true;
        }
        for (ssize_t offset = 0; offset < length;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buffer + offset);
            offset += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            ++count;
            if (HandleEvent(s, *ev)) {
                change = true;
            }
        }
    }
}

void ThreadMain(std::shared_ptr<InotifyWatcher::Session> session, std::shared_ptr<InotifyWatcher::Link> link,
                std::uint64_t generation, EventLoop* loop)
{
    InotifyWatcher::Session& s = *session;
    pollfd fds[2] = {{s.inotifyFd, POLLIN, 0}, {s.wakeFd, POLLIN, 0}};
    for (;;) {
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            RecordError(s, SystemError(errno).what());
            break;
        }
        if (fds[1].revents != 0) {
            break;
        }
        {
            std::lock_guard lock(s.mutex);
            if (s.stopRequested) {
                break;
            }
        }
        bool change = false;
        std::uint64_t count = 0;
        const bool readOk = ReadEvents(s, change, count);
        if (change) {
            {
                std::lock_guard lock(s.mutex);
                if (s.stopRequested) {
                    break;
                }
                s.handingOver = true;
            }
            InotifyWatcher::Link* shared = link.get();
            const bool delivered = loop->RunOnUiThreadAndWait([shared, generation] {
                if (shared->generation == generation && shared->onChange) {
                    // A copy: the handler may replace itself or deactivate the watcher.
                    const auto handler = shared->onChange;
                    handler();
                }
            });
            {
                std::lock_guard lock(s.mutex);
                s.handingOver = false;
            }
            s.changed.notify_all();
            s.eventsHandled += count;
            if (!delivered) {
                break; // the loop is shutting down: nobody will take notices any more
            }
        } else {
            s.eventsHandled += count;
        }
        if (!readOk) {
            break;
        }
    }
    {
        std::lock_guard lock(s.mutex);
        s.finished = true;
    }
    s.changed.notify_all();
}

} // namespace

std::unique_ptr<FolderWatcher> MakeFolderWatcher(EventLoop& loop)
{
    return std::make_unique<InotifyWatcher>(loop);
}

InotifyWatcher::InotifyWatcher(EventLoop& loop)
    : m_loop(loop)
    , m_link(std::make_shared<Link>())
{}

InotifyWatcher::~InotifyWatcher()
{
    m_link->onChange = nullptr;
    Stop();
    const auto limit = std::chrono::steady_clock::now() + kDestroyWaitLimit;
    for (const auto& s : m_stopped) {
        std::unique_lock lock(s->mutex);
        while (!s->finished && std::chrono::steady_clock::now() < limit) {
            if (s->handingOver) {
                // The thread waits for the UI thread, which is here: serve its hand-over
                // (dropped, the generation has moved on) so that it can see the stop.
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

std::uint32_t InotifyWatcher::InotifyMask(WatchFilter filter, bool subtree)
{
    std::uint32_t mask = 0;
    if (HasFlag(filter, WatchFilter::Size)) {
        mask |= IN_MODIFY;
    }
    if (HasFlag(filter, WatchFilter::LastWrite)) {
        mask |= IN_MODIFY | IN_ATTRIB; // a write, or a time set by hand
    }
    if (HasFlag(filter, WatchFilter::Attributes)) {
        mask |= IN_ATTRIB;
    }
    if (HasFlag(filter, WatchFilter::FileName) || HasFlag(filter, WatchFilter::DirName)) {
        mask |= kNameEvents;
    }
    if (subtree) {
        mask |= IN_CREATE | IN_MOVED_TO; // new subfolders get watches of their own
    }
    if (mask == 0) {
        mask = IN_DELETE_SELF; // nothing to report, but a watch needs some event
    }
    return mask | IN_ONLYDIR | IN_EXCL_UNLINK;
}

bool InotifyWatcher::Reports(WatchFilter filter, std::uint32_t eventMask)
{
    if ((eventMask & IN_ISDIR) != 0) {
        return (HasFlag(filter, WatchFilter::DirName) && (eventMask & kNameEvents) != 0) ||
               (HasFlag(filter, WatchFilter::Attributes) && (eventMask & IN_ATTRIB) != 0);
    }
    return (HasFlag(filter, WatchFilter::Size) && (eventMask & IN_MODIFY) != 0) ||
           (HasFlag(filter, WatchFilter::LastWrite) && (eventMask & (IN_MODIFY | IN_ATTRIB)) != 0) ||
           (HasFlag(filter, WatchFilter::Attributes) && (eventMask & IN_ATTRIB) != 0) ||
           (HasFlag(filter, WatchFilter::FileName) && (eventMask & kNameEvents) != 0);
}

void InotifyWatcher::SetFolderName(const fs::path& folder)
{
    if (folder == m_folder) {
        return;
    }
    const bool wasActive = m_active;
    Stop();
    m_folder = folder;
    if (wasActive) {
        Start();
    }
}

void InotifyWatcher::SetFilter(WatchFilter filter)
{
    if (filter == m_filter) {
        return;
    }
    const bool wasActive = m_active;
    Stop();
    m_filter = filter;
    if (wasActive) {
        Start();
    }
}

void InotifyWatcher::SetMonitorSubtree(bool subtree)
{
    if (subtree == m_subtree) {
        return;
    }
    const bool wasActive = m_active;
    Stop();
    m_subtree = subtree;
    if (wasActive) {
        Start();
    }
}

void InotifyWatcher::SetActive(bool active)
{
    if (active == m_active) {
        return;
    }
    if (active) {
        Start();
    } else {
        Stop();
    }
}

void InotifyWatcher::SetOnChange(std::function<void()> onChange)
{
    m_link->onChange = std::move(onChange);
}

void InotifyWatcher::Start()
{
    std::error_code ec;
    if (m_folder.empty() || !fs::is_directory(m_folder, ec)) {
        return; // nothing to watch, and no error: the folder may appear before the next switch
    }
    auto session = std::make_shared<Session>();
    session->root = m_folder;
    session->filter = m_filter;
    session->subtree = m_subtree;
    session->mask = InotifyMask(m_filter, m_subtree);
    session->inotifyFd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (session->inotifyFd < 0) {
        throw SystemError(errno);
    }
    int refusal = 0;
    if (const int wd = AddWatch(*session, m_folder, true); wd < 0) {
        throw SystemError(-wd);
    }
    if (m_subtree) {
        // The files already there are not a change; only their folders matter here.
        std::error_code walkEc;
        for (fs::directory_iterator it(m_folder, fs::directory_options::skip_permission_denied, walkEc), end;
             !walkEc && it != end && refusal == 0; it.increment(walkEc)) {
            std::error_code typeEc;
            if (fs::is_directory(it->symlink_status(typeEc)) && !typeEc) {
                AddTree(*session, it->path(), false, refusal);
            }
        }
    }
    if (refusal != 0) {
        throw SystemError(refusal); // the session closes its descriptors; no thread exists
    }
    session->wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (session->wakeFd < 0) {
        throw SystemError(errno);
    }
    const std::uint64_t generation = ++m_link->generation;
    std::thread(ThreadMain, session, m_link, generation, &m_loop).detach();
    m_session = std::move(session);
    m_active = true;
    // Threads stopped earlier that have ended need no waiting at destruction.
    m_stopped.erase(std::remove_if(m_stopped.begin(), m_stopped.end(),
                                   [](const std::shared_ptr<Session>& s) {
                                       std::lock_guard lock(s->mutex);
                                       return s->finished;
                                   }),
                    m_stopped.end());
}

void InotifyWatcher::Stop()
{
    if (!m_active) {
        return;
    }
    m_active = false;
    // From here on a notice of this thread that reaches the UI thread is dropped, also one
    // that is being handed over right now (Stop may run inside the handler it waits for).
    ++m_link->generation;
    std::shared_ptr<Session> session = std::move(m_session);
    {
        std::lock_guard lock(session->mutex);
        session->stopRequested = true;
    }
    const std::uint64_t one = 1;
    const ssize_t written = write(session->wakeFd, &one, sizeof one);
    (void)written; // a full counter already wakes the thread
    m_stopped.push_back(std::move(session));
}

std::uint64_t InotifyWatcher::EventsHandled() const
{
    return m_session ? m_session->eventsHandled.load() : 0;
}

std::string InotifyWatcher::LastError() const
{
    if (!m_session) {
        return {};
    }
    std::lock_guard lock(m_session->mutex);
    return m_session->error;
}

} // namespace ornel
