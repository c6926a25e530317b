// UTF-8 inside the program, UTF-16 at every Windows call: the conversions, and the system's
// error texts. Free functions of the Windows back ends; any thread.
#pragma once

#include <string>
#include <string_view>

namespace ornel::win
{

// Throws std::runtime_error on text that is not valid UTF-8.
[[nodiscard]] std::wstring Wide(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
[[nodiscard]] std::string Utf8(std::wstring_view wide);
// The system's message for an error code (GetLastError), without the trailing line break.
[[nodiscard]] std::string SystemErrorText(unsigned long code);

} // namespace ornel::win
