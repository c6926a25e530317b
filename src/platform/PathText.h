// Paths and UTF-8 texts. Inside the program every text is UTF-8, while a narrow string
// turned into a path (or a path into one) goes through the ANSI code page on Windows: these
// convert as UTF-8 on every system. Paths split from texts (settings, command lines) take
// "\" and "/" alike, as Windows does. Free functions, any thread.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace ornel
{

[[nodiscard]] inline std::filesystem::path PathFromUtf8(std::string_view utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

[[nodiscard]] inline std::string PathToUtf8(const std::filesystem::path& path)
{
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

[[nodiscard]] constexpr bool IsPathDelim(char c)
{
    return c == '\\' || c == '/';
}

// The position of the last "\" or "/" in `text`; npos when it has none.
[[nodiscard]] inline std::size_t LastPathDelim(std::string_view text)
{
    return text.find_last_of("\\/");
}

} // namespace ornel
