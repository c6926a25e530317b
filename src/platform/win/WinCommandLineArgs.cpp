#include "platform/CommandLineArgs.h"
#include "platform/win/WideText.h"

#include <windows.h>
// The headers below need the types windows.h declares.
#include <shellapi.h>

namespace ornel
{

std::vector<std::string> CommandLineArgs(int, char**)
{
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; wide != nullptr && i < count; ++i)
        args.push_back(win::Utf8(wide[i]));
    if (wide != nullptr)
        LocalFree(wide);
    return args;
}

void UseUtf8Console()
{
    SetConsoleOutputCP(CP_UTF8);
}

} // namespace ornel
