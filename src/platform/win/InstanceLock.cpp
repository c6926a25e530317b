#include "platform/InstanceLock.h"

#include "platform/win/WideText.h"

#include <stdexcept>
#include <string>
#include <thread>
#include <windows.h>

namespace ornel
{

namespace
{

// Windows locks are mandatory: the locked range lies far beyond the end of the file, so
// the holder's id at its start stays readable for the message a second start shows.
constexpr DWORD kLockOffsetHigh = 0x40000000;

} // namespace

struct InstanceLock::Handle
{
    explicit Handle(HANDLE h)
        : file(h)
    {}
    ~Handle() { CloseHandle(file); } // the system drops the lock with the handle
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE file;
};

namespace
{

// The holder writes its id right after it has the lock; a reader that comes in between
// finds the file empty and looks again for a moment.
std::int64_t ReadHolder(HANDLE file)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        char text[32] = {};
        OVERLAPPED at{};
        DWORD got = 0;
        if (ReadFile(file, text, sizeof text - 1, &got, &at) && got > 0) {
            try {
                return std::stoll(std::string(text, got));
            } catch (const std::exception&) {
                // half written: read again
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
    return 0;
}

} // namespace

InstanceLock::InstanceLock(std::filesystem::path file, std::unique_ptr<Handle> handle)
    : m_file(std::move(file))
    , m_handle(std::move(handle))
{}

InstanceLock::~InstanceLock() = default;

std::unique_ptr<InstanceLock> InstanceLock::TryAcquire(const std::filesystem::path& folder,
                                                       std::int64_t& holder)
{
    holder = 0;
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored); // opening below reports a failure
    const std::filesystem::path file = folder / kFileName;
    // Not inherited: a child (the encryption program) must not keep the lock alive after
    // the agent has ended.
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
        h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw std::runtime_error("Cannot open the lock file " + win::Utf8(file.wstring()) + ": " +
                                 win::SystemErrorText(GetLastError()));
    auto handle = std::make_unique<Handle>(h);
    OVERLAPPED range{};
    range.OffsetHigh = kLockOffsetHigh;
    if (!LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &range)) {
        const DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
            holder = ReadHolder(h);
            return nullptr;
        }
        throw std::runtime_error("Cannot lock " + win::Utf8(file.wstring()) + ": " +
                                 win::SystemErrorText(error));
    }
    // The id only feeds a message; a failure to write it does not stop the agent.
    const std::string pid = std::to_string(GetCurrentProcessId()) + "\r\n";
    OVERLAPPED start{};
    DWORD written = 0;
    if (WriteFile(h, pid.data(), static_cast<DWORD>(pid.size()), &written, &start) && written == pid.size()) {
        LARGE_INTEGER end{};
        end.QuadPart = static_cast<LONGLONG>(pid.size());
        if (SetFilePointerEx(h, end, nullptr, FILE_BEGIN))
            SetEndOfFile(h);
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(file, std::move(handle)));
}

} // namespace ornel
