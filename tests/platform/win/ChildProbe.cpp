// A Windows program for the process tests: reports what it was started with (read through
// the program's own CommandLineArgs), ends with a given code, sleeps, or starts a copy of
// itself that outlives it.
//   report FILE ARGS...   FILE gets the working folder, the show mode and each argument
//                         (UTF-8, one per line)
//   exit N                ends with code N
//   sleep MS              sleeps
//   spawn FILE MS         starts "sleep MS" as a child, writes the child's id to FILE and
//                         sleeps MS itself
#include "platform/CommandLineArgs.h"

#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

namespace
{

std::string Utf8(const std::wstring& wide)
{
    const int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), nullptr,
                                           0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), static_cast<int>(wide.size()), text.data(), length, nullptr,
                        nullptr);
    return text;
}

std::wstring Wide(const std::string& utf8)
{
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring text(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), static_cast<int>(utf8.size()), text.data(), length);
    return text;
}

void Write(const std::string& file, const std::string& text)
{
    FILE* out = _wfopen(Wide(file).c_str(), L"wb");
    if (out) {
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args = ornel::CommandLineArgs(argc, argv);
    if (args.size() < 2)
        return 100;
    const std::string& mode = args[0];
    if (mode == "exit")
        return std::stoi(args[1]);
    if (mode == "sleep") {
        Sleep(static_cast<DWORD>(std::stoul(args[1])));
        return 0;
    }
    if (mode == "report") {
        wchar_t folder[MAX_PATH] = {};
        GetCurrentDirectoryW(MAX_PATH, folder);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        GetStartupInfoW(&startup);
        std::string text = Utf8(folder) + "\n";
        text +=
            std::to_string((startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : -1) + "\n";
        for (std::size_t i = 2; i < args.size(); ++i)
            text += args[i] + "\n";
        Write(args[1], text);
        return 0;
    }
    if (mode == "spawn" && args.size() >= 3) {
        wchar_t self[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, self, MAX_PATH);
        std::wstring line = L"\"" + std::wstring(self) + L"\" sleep " + Wide(args[2]);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                            &child))
            return 101;
        Write(args[1], std::to_string(child.dwProcessId));
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
        Sleep(static_cast<DWORD>(std::stoul(args[2])));
        return 0;
    }
    return 100;
}
