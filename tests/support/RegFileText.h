// Files as Windows' regedit writes them, built by tests of the .reg reader: UTF-16LE text and
// hex lists wrapped as regedit wraps them.
#pragma once

#include <string>
#include <string_view>

namespace ornel::test
{

// The UTF-16LE units of a UTF-8 text, with surrogate pairs beyond the Basic Multilingual Plane.
[[nodiscard]] std::string Utf16Le(const std::string& utf8);

// "xx,xx,..." with a continuation (",\" and `lineEnd` and two spaces) after every 16 bytes.
[[nodiscard]] std::string HexList(const std::string& bytes, std::string_view lineEnd = "\r\n");

} // namespace ornel::test
