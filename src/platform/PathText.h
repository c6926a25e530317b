// Paths and UTF-8 texts. Inside the program every text is UTF-8, while a narrow string
// turned into a path (or a path into one) goes through the ANSI code page on Windows: these
// two convert as UTF-8 on every system. Free functions, any thread.
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

} // namespace ornel
