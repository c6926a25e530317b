#include "app/ConsoleDesktop.h"

#include <cstdio>

namespace ornel
{

namespace
{

// Windows line ends inside message texts read badly on a terminal.
std::string WithoutCr(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c != '\r') {
            out += c;
        }
    }
    return out;
}

} // namespace

void ConsoleDesktop::AppendProtocolLine(const std::string& line)
{
    std::fputs(WithoutCr(line).c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void ConsoleDesktop::ShowMessageBox(const std::string& caption, const std::string& text, MessageIcon)
{
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), WithoutCr(text).c_str());
}

void ConsoleDesktop::AppendMessageWindow(const std::string& text)
{
    std::fprintf(stderr, "%s\n", WithoutCr(text).c_str());
}

void ConsoleDesktop::ShowUnKnOwnFiles(const std::string& folder)
{
    std::fprintf(stderr, "Список файлов в папке UnkNown: %s\n", folder.c_str());
}

} // namespace ornel
