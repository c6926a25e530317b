// Windows-1251 at the borders where text is stored or sent; UTF-8 inside.
// Free functions, callable from any thread.
#pragma once

#include <string>
#include <string_view>

namespace ornel
{

// Throws std::runtime_error naming the first character that has no Windows-1251 form
// (or the position of the first byte that is not valid UTF-8).
[[nodiscard]] std::string Utf8ToCp1251(std::string_view utf8);
[[nodiscard]] bool IsCp1251Representable(std::string_view utf8);
[[nodiscard]] std::string Cp1251ToUtf8(std::string_view cp1251);
// Well-formed UTF-8: no overlong forms, surrogates or truncated sequences.
[[nodiscard]] bool IsValidUtf8(std::string_view text);
// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t cp);

// For the log file only: characters without a Windows-1251 form (and bytes that are not
// valid UTF-8) become "?", so that an odd file name never stops a log line.
[[nodiscard]] std::string Utf8ToCp1251Lossy(std::string_view utf8);

} // namespace ornel
