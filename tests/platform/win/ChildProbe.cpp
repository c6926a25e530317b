// A Windows program for the process tests: reports what it was started with, ends with a
// given code, sleeps, or starts a copy of itself that outlives it.
//   report FILE ARGS...   FILE gets the working folder, the show mode and each argument
//                         (UTF-8, one per line)
//   exit N                ends with code N
//   sleep MS              sleeps
//   spawn FILE MS         starts "sleep MS" as a child, writes the child's id to FILE and
//                         sleeps MS itself
#include <windows.h>

#include <cstdio>
#include <string>

namespace
{

std::string Utf8(const std::wstring& wide)
{
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                        nullptr);
    return text;
}

void Write(const wchar_t* file, const std::string& text)
{
    FILE* out = _wfopen(file, L"wb");
    if (out) {
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3)
        return 100;
    const std::wstring mode = argv[1];
    if (mode == L"exit")
        return std::stoi(argv[2]);
    if (mode == L"sleep") {
        Sleep(static_cast<DWORD>(std::stoul(argv[2])));
        return 0;
    }
    if (mode == L"report") {
        wchar_t folder[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, folder);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        GetStartupInfoW(&startup);
        std::string text = Utf8(folder) + "\n";
        text += std::to_string((startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1) + "\n";
        for (int i = 3; i < argc; ++i)
            text += Utf8(argv[i]) + "\n";
        Write(argv[2], text);
        return 0;
    }
    if (mode == L"spawn" && argc >= 4) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(self) + L"\" sleep " + argv[3];
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
            return 101;
        Write(argv[2], std::to_string(child.dwProcessId));
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
        Sleep(static_cast<DWORD>(std::stoul(argv[3])));
        return 0;
    }
    return 100;
}
