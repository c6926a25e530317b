// Text rules of the journal's fields and listings: widths counted in characters of UTF-8
// text, listing lines trimmed like the server sends them. Pure functions, any thread.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace ornel
{

// The first `width` characters of `text`. Widths were set for a one-byte code page, so a
// character, not a byte, is the unit; a multi-byte sequence is never split. A byte that
// starts no valid sequence counts as one character.
[[nodiscard]] std::string CutToWidth(std::string_view text, std::size_t width);

// The lines of a listing (split at CR, LF or CR LF), each without leading and trailing
// blanks and control characters; lines left empty are dropped.
[[nodiscard]] std::vector<std::string> ListingLines(std::string_view text);

} // namespace ornel
