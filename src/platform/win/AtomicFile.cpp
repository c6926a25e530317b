// Whole-file replacement on Windows: a temporary file beside the target, flushed to the
// disk, then moved over the target with MOVEFILE_WRITE_THROUGH, which returns only once the
// move is on the disk as well.
#include "platform/AtomicFile.h"

#include "platform/PathText.h"
#include "platform/win/WideText.h"

#include <atomic>
#include <stdexcept>
#include <windows.h>

namespace ornel
{

namespace
{

std::atomic<void (*)(AtomicWriteStage)> g_hook{nullptr};

void Stage(AtomicWriteStage stage)
{
    if (auto* hook = g_hook.load())
        hook(stage);
}

[[noreturn]] void Fail(const std::string& what, const std::filesystem::path& file, DWORD error)
{
    throw std::runtime_error(what + " " + PathToUtf8(file) + ": " + win::SystemErrorText(error));
}

void WriteAll(HANDLE file, const char* data, std::size_t size, const std::filesystem::path& path)
{
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, data, chunk, &written, nullptr)) {
            const DWORD error = GetLastError();
            CloseHandle(file);
            Fail("Cannot write", path, error);
        }
        data += written;
        size -= written;
    }
}

} // namespace

void ReplaceFileAtomically(const std::filesystem::path& target, std::string_view content)
{
    std::filesystem::path temporary = target;
    temporary += L".tmp";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        Fail("Cannot create", temporary, GetLastError());
    const std::size_t half = content.size() / 2;
    WriteAll(file, content.data(), half, temporary);
    Stage(AtomicWriteStage::HalfWritten);
    WriteAll(file, content.data() + half, content.size() - half, temporary);
    if (!FlushFileBuffers(file)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        DeleteFileW(temporary.c_str());
        Fail("Cannot flush", temporary, error);
    }
    CloseHandle(file);
    if (!MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        const DWORD error = GetLastError();
        DeleteFileW(temporary.c_str());
        Fail("Cannot replace", target, error);
    }
    Stage(AtomicWriteStage::Renamed);
}

void SetAtomicWriteHookForTesting(void (*hook)(AtomicWriteStage stage))
{
    g_hook.store(hook);
}

} // namespace ornel
