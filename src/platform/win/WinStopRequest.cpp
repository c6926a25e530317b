// The stop request on Windows: the console's control events, and the service manager's
// stop when the agent runs as a Windows service.
#include "platform/StopRequest.h"

#include <atomic>
#include <exception>
#include <windows.h>
// The headers below need the types windows.h declares.
#include <tlhelp32.h>

namespace ornel
{

namespace
{

std::atomic<void (*)()> g_onStop{nullptr};

void RequestStop()
{
    if (auto* onStop = g_onStop.load())
        onStop();
}

BOOL WINAPI OnConsoleControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        RequestStop();
        // The system ends the process when a close, log-off or shut-down handler returns:
        // give the agent the time the system allows to finish the file in hand.
        if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
            Sleep(4000);
        return TRUE;
    default:
        return FALSE;
    }
}

// The service's state as the service manager sees it; touched by the service thread and
// the control handler.
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
SERVICE_STATUS g_status{};
const std::function<int()>* g_serviceBody = nullptr;
int g_serviceResult = 0;
std::exception_ptr g_serviceError;

void ReportStatus(DWORD state, DWORD exitCode = NO_ERROR)
{
    g_status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    g_status.dwCurrentState = state;
    g_status.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    g_status.dwWin32ExitCode = exitCode == NO_ERROR ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    g_status.dwServiceSpecificExitCode = exitCode;
    g_status.dwWaitHint = state == SERVICE_STOP_PENDING ? 30000 : 0;
    SetServiceStatus(g_statusHandle, &g_status);
}

DWORD WINAPI OnServiceControl(DWORD control, DWORD, void*, void*)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        ReportStatus(SERVICE_STOP_PENDING);
        RequestStop();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD, wchar_t**)
{
    g_statusHandle = RegisterServiceCtrlHandlerExW(L"", &OnServiceControl, nullptr);
    if (g_statusHandle == nullptr) {
        g_serviceResult = 1;
        return;
    }
    ReportStatus(SERVICE_RUNNING);
    try {
        g_serviceResult = (*g_serviceBody)();
    } catch (...) {
        // Rethrown on the main thread, where main() reports it as in a console.
        g_serviceError = std::current_exception();
        g_serviceResult = 1;
    }
    ReportStatus(SERVICE_STOPPED, static_cast<DWORD>(g_serviceResult));
}

// The service manager starts a service as a child of services.exe. Asking it otherwise
// costs nothing on Windows, but Wine's dispatcher waits seconds for a manager that never
// calls: the parent is looked at first.
bool StartedByServiceManager()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return true; // cannot tell: let the dispatcher decide
    const DWORD self = GetCurrentProcessId();
    DWORD parent = 0;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == self)
            parent = entry.th32ParentProcessID;
    }
    bool byManager = false;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more && parent != 0;
         more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ProcessID == parent)
            byManager = lstrcmpiW(entry.szExeFile, L"services.exe") == 0;
    }
    CloseHandle(snapshot);
    return byManager;
}

} // namespace

void InstallStopRequestHandler(void (*onStop)())
{
    g_onStop.store(onStop);
    SetConsoleCtrlHandler(&OnConsoleControl, TRUE);
}

int RunAsSystemService(const std::function<int()>& body)
{
    if (!StartedByServiceManager())
        return body();
    g_serviceBody = &body;
    // An own-process service needs no name in its table; the service manager knows it.
    wchar_t noName[] = L"";
    const SERVICE_TABLE_ENTRYW table[] = {{noName, &ServiceMain}, {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherW(table)) {
        g_serviceBody = nullptr;
        if (g_serviceError)
            std::rethrow_exception(g_serviceError);
        return g_serviceResult;
    }
    g_serviceBody = nullptr;
    // Started from a console or by hand (ERROR_FAILED_SERVICE_CONTROLLER_CONNECT): no
    // service manager to talk to.
    return body();
}

const char* StopRequestText()
{
    return "Ctrl+C, Ctrl+Break or the service manager's stop";
}

} // namespace ornel
