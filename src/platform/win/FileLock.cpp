#include "platform/FileLock.h"

#include "platform/win/WideText.h"

#include <stdexcept>
#include <thread>
#include <windows.h>

namespace ornel
{

FileLock::FileLock(const std::filesystem::path& lockFile, std::chrono::milliseconds wait)
{
    // The lock file stays empty; every writer may open it while others hold it open.
    HANDLE file = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        file = CreateFileW(lockFile.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        throw std::runtime_error("Cannot open lock file " + win::Utf8(lockFile.wstring()) + ": " +
                                 win::SystemErrorText(GetLastError()));
    // LockFileEx belongs to the handle, so it also excludes a second writer inside this
    // process, and the system drops it when a writer dies. A bounded retry, as with flock.
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        OVERLAPPED whole{};
        if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD,
                       &whole))
            break;
        const DWORD error = GetLastError();
        if (error == ERROR_LOCK_VIOLATION && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        CloseHandle(file);
        throw std::runtime_error("Cannot lock " + win::Utf8(lockFile.wstring()) + ": " +
                                 win::SystemErrorText(error));
    }
    m_handle = reinterpret_cast<std::intptr_t>(file);
}

FileLock::~FileLock()
{
    CloseHandle(reinterpret_cast<HANDLE>(m_handle)); // closing releases the lock
}

} // namespace ornel
