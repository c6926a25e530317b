// Windows implementation of Process: CreateProcessW into a job of its own (ShellExecuteExW
// for a file that is not a program itself), the show mode of the options' window type,
// and the job to stop the program together with what it started.
#include "platform/Process.h"
#include "platform/win/WideText.h"

#include <thread>
#include <utility>
#include <windows.h>
// The headers below need the types windows.h declares.
#include <shellapi.h>

namespace ornel
{

namespace
{

constexpr std::chrono::milliseconds kStopPoll{10};
constexpr DWORD kReapWaitMs = 5000;

HANDLE Native(std::intptr_t handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

void SetFailure(StartFailure* failure, StartFailure::Kind kind, std::string detail)
{
    if (failure != nullptr) {
        failure->What = kind;
        failure->Detail = std::move(detail);
    }
}

StartFailure::Kind KindOf(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
        return StartFailure::Kind::Missing;
    case ERROR_ACCESS_DENIED:
    case ERROR_BAD_EXE_FORMAT:
    case ERROR_EXE_MACHINE_TYPE_MISMATCH:
    case ERROR_NO_ASSOCIATION:
        return StartFailure::Kind::NotExecutable;
    default:
        return StartFailure::Kind::Refused;
    }
}

WORD ShowCommand(WindowShow show)
{
    switch (show) {
    case WindowShow::Minimized:
        return SW_MINIMIZE;
    case WindowShow::Maximized:
        return SW_SHOWMAXIMIZED;
    case WindowShow::Hidden:
        return SW_HIDE;
    case WindowShow::Normal:
        break;
    }
    return SW_SHOWNORMAL;
}

// One argument as the C run-time's parser reads it back: quoted when it holds a blank or a
// quote (or is empty), backslashes doubled only where a quote follows them.
void AppendArgument(std::wstring& line, const std::wstring& argument)
{
    if (!line.empty())
        line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

bool HasFolderPart(const std::string& program)
{
    return program.find_first_of("/\\:") != std::string::npos;
}

// A job that holds the program and everything it starts, so that a stop reaches them all.
// Nothing when the system refuses one (older systems inside a job of their own): the
// program alone is stopped then.
HANDLE MakeJob()
{
    return CreateJobObjectW(nullptr, nullptr);
}

// Returns the process's handle, or null (the reason in `failure`).
HANDLE StartThroughShell(const std::wstring& program, const std::wstring& parameters,
                         const std::wstring& folder, WindowShow show, const std::string& name,
                         StartFailure* failure)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
    info.lpFile = program.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.lpDirectory = folder.empty() ? nullptr : folder.c_str();
    info.nShow = ShowCommand(show);
    if (!ShellExecuteExW(&info) || info.hProcess == nullptr) {
        const DWORD error = GetLastError();
        SetFailure(failure, KindOf(error), name + ": " + win::SystemErrorText(error));
        return nullptr;
    }
    return info.hProcess;
}

} // namespace

std::optional<Process> Process::Start(const std::string& program, const std::vector<std::string>& arguments,
                                      const std::filesystem::path& workingFolder, StartFailure* failure,
                                      WindowShow show)
{
    if (program.empty()) {
        SetFailure(failure, StartFailure::Kind::Missing, "No program given");
        return std::nullopt;
    }
    std::wstring wideProgram;
    std::wstring parameters;
    try {
        wideProgram = win::Wide(program);
        for (const auto& argument : arguments)
            AppendArgument(parameters, win::Wide(argument));
    } catch (const std::runtime_error& e) {
        SetFailure(failure, StartFailure::Kind::Refused, e.what());
        return std::nullopt;
    }
    if (HasFolderPart(program)) {
        const DWORD attributes = GetFileAttributesW(wideProgram.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            const DWORD error = GetLastError();
            SetFailure(failure, KindOf(error), program + ": " + win::SystemErrorText(error));
            return std::nullopt;
        }
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
            SetFailure(failure, StartFailure::Kind::NotExecutable, program + ": not an executable file");
            return std::nullopt;
        }
    }
    const std::wstring folder = workingFolder.wstring();

    std::wstring commandLine;
    AppendArgument(commandLine, wideProgram);
    if (!parameters.empty())
        commandLine += L' ' + parameters;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = ShowCommand(show);
    PROCESS_INFORMATION created{};
    HANDLE job = MakeJob();
    // Suspended until it is in the job, so nothing it starts can escape; a group of its
    // own, so a Ctrl+Break meant for it does not reach us.
    const DWORD flags = CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT;
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, flags, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &created)) {
        const DWORD error = GetLastError();
        HANDLE process = nullptr;
        if (error == ERROR_BAD_EXE_FORMAT && HasFolderPart(program)) {
            // A script or document: the shell starts whatever is registered for it. It runs
            // before it can join the job, so what it starts in its first moments may escape
            // a stop.
            process = StartThroughShell(wideProgram, parameters, folder, show, program, failure);
        } else {
            SetFailure(failure, KindOf(error), program + ": " + win::SystemErrorText(error));
        }
        if (job && (!process || !AssignProcessToJobObject(job, process))) {
            CloseHandle(job);
            job = nullptr;
        }
        if (!process)
            return std::nullopt;
        return Process(static_cast<int>(GetProcessId(process)), reinterpret_cast<Handle>(process),
                       reinterpret_cast<Handle>(job));
    }
    if (job && !AssignProcessToJobObject(job, created.hProcess)) {
        CloseHandle(job);
        job = nullptr;
    }
    ResumeThread(created.hThread);
    CloseHandle(created.hThread);
    return Process(static_cast<int>(created.dwProcessId), reinterpret_cast<Handle>(created.hProcess),
                   reinterpret_cast<Handle>(job));
}

Process::Process(int id, Handle process, Handle group)
    : m_id(id)
    , m_process(process)
    , m_group(group)
{}

Process::Process(Process&& other) noexcept
    : m_id(other.m_id)
    , m_process(std::exchange(other.m_process, 0))
    , m_group(std::exchange(other.m_group, 0))
    , m_exitCode(other.m_exitCode)
    , m_signal(other.m_signal)
{
    other.m_id = -1;
}

Process::~Process()
{
    // A program still running is left to run: the job is not one that ends its processes
    // when its last handle closes.
    if (m_process)
        CloseHandle(Native(m_process));
    if (m_group)
        CloseHandle(Native(m_group));
}

std::optional<int> Process::TryWait()
{
    if (m_exitCode || !m_process) {
        return m_exitCode;
    }
    if (WaitForSingleObject(Native(m_process), 0) == WAIT_OBJECT_0) {
        DWORD code = 0;
        m_exitCode = GetExitCodeProcess(Native(m_process), &code) ? static_cast<int>(code) : -1;
    }
    return m_exitCode;
}

std::optional<int> Process::StopGroup(std::chrono::milliseconds grace)
{
    if (!m_process || TryWait()) {
        return m_exitCode;
    }
    // A console program sharing our console hears Ctrl+Break as a request to end; any other
    // one is ended at once below.
    if (GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, static_cast<DWORD>(m_id))) {
        const auto deadline = std::chrono::steady_clock::now() + grace;
        while (WaitForSingleObject(Native(m_process), 0) != WAIT_OBJECT_0 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(kStopPoll);
        }
    }
    // The helpers that outlived the program, or all of it.
    if (!m_group || !TerminateJobObject(Native(m_group), 1)) {
        TerminateProcess(Native(m_process), 1);
    }
    if (WaitForSingleObject(Native(m_process), kReapWaitMs) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    return TryWait();
}

} // namespace ornel
