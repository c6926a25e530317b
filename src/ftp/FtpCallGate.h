// Where the FTP client runs its network operations. Without a gate they run on the
// caller's thread and block it; the tray application installs one for the length of a
// cycle that runs them on a thread of their own while the UI thread goes on serving its
// events, and brings the client's events back to the UI thread. The cycle's batches of files
// write their copies and make them durable through the same gate, as a large copy or a flush
// on a busy disk can take as long as a transfer. Implementations say which thread may call
// what.
#pragma once

#include <functional>

namespace ornel
{

class FtpCallGate
{
public:
    virtual ~FtpCallGate() = default;

    // True on the thread that runs the operations: a call the client makes from inside an
    // operation runs there directly.
    [[nodiscard]] virtual bool OnCallThread() const = 0;

    // From the owner's thread: runs `operation` to its end and returns, rethrowing what it
    // threw. A call made while another one is under way (from an event served meanwhile)
    // runs after it.
    virtual void Run(const std::function<void()>& operation) = 0;

    // From inside an operation: runs `event` on the owner's thread and returns when it has
    // returned; what it throws is rethrown here, so the operation fails as it would inline.
    virtual void Deliver(const std::function<void()>& event) = 0;

    // From inside an operation: runs `progress` on the owner's thread soon, without
    // waiting. A progress report that has not run yet is replaced by a newer one, and runs
    // before any later Deliver, so the owner sees the reports in order.
    virtual void Post(std::function<void()> progress) = 0;
};

} // namespace ornel
