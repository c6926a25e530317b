// Small text rules the FTP client shares: blank trimming, integer reading with the
// run-time library's error, letter-case helpers. Free functions; any thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ornel
{

// Blanks are every character up to and including the space (control characters too).
[[nodiscard]] std::string Trim(std::string_view text);
[[nodiscard]] std::string TrimLeft(std::string_view text);
[[nodiscard]] std::string TrimRight(std::string_view text);

// An optional sign and at least one decimal digit, nothing else.
[[nodiscard]] std::optional<std::int64_t> TryParseInt(std::string_view text);
// As TryParseInt, but throws EConvertError "'%s' is not a valid integer value".
[[nodiscard]] std::int64_t ParseIntOrThrow(std::string_view text);

[[nodiscard]] std::string UpperAscii(std::string_view text);
[[nodiscard]] bool EqualsNoCase(std::string_view a, std::string_view b);

// "60 seconds" or, below whole seconds, "200 ms": the bounds as the messages name them.
[[nodiscard]] std::string DurationText(std::chrono::milliseconds duration);

// Splits a received text into lines at CR LF, LF or CR; a last line without a terminator
// counts; a NUL byte ends the text.
[[nodiscard]] std::vector<std::string> SplitTextLines(std::string_view text);

} // namespace ornel
