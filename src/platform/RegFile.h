// The `.reg` text format: parsing a file's bytes (our UTF-8 files, Windows REGEDIT4 files
// in Windows-1251, version 5.00 files in UTF-16LE) and writing REGEDIT4 text in UTF-8.
// Plain data and free functions; any thread.
#pragma once

#include "platform/RegistryStore.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ornel
{

struct RegValue
{
    std::string Name; // "" is the key's default value ("@")
    RegKind Kind = RegKind::Sz;
    std::string Text; // Sz, ExpandSz: UTF-8
    std::uint32_t Dword = 0;
    std::vector<std::uint8_t> Bytes; // Binary
};

struct RegKeyBlock
{
    std::string Path; // full path with its root, "HKEY_LOCAL_MACHINE\\SOFTWARE\\..."
    std::vector<RegValue> Values;
};

struct RegDocument
{
    std::vector<RegKeyBlock> Keys;
};

// A malformed file; the message names the source and the line.
class RegFileError : public std::runtime_error
{
public:
    RegFileError(const std::string& source, int line, const std::string& problem);
    [[nodiscard]] int Line() const { return m_line; }

private:
    int m_line;
};

// Parses a whole file as read from disk; `source` names it in error messages. A key that
// appears twice is merged; a value that appears twice keeps the later data.
[[nodiscard]] RegDocument ParseRegFile(std::string_view fileBytes, const std::string& source);

enum class LineEnd
{
    Lf,
    CrLf,
};

// REGEDIT4 text in UTF-8. Texts with line breaks are written as hex(1), expandable texts
// as hex(2), both as their UTF-8 bytes with a terminating zero.
[[nodiscard]] std::string SerializeRegFile(const RegDocument& document, LineEnd lineEnd);

// Case-insensitive comparison of key paths and value names (Latin and Cyrillic letters).
[[nodiscard]] bool RegNamesEqual(std::string_view a, std::string_view b);

// Lookups in a document, matching case-insensitively; nullptr when absent.
[[nodiscard]] RegKeyBlock* FindRegKey(RegDocument& document, std::string_view path);
[[nodiscard]] const RegKeyBlock* FindRegKey(const RegDocument& document, std::string_view path);
[[nodiscard]] RegValue* FindRegValue(RegKeyBlock& key, std::string_view name);
[[nodiscard]] const RegValue* FindRegValue(const RegKeyBlock& key, std::string_view name);

} // namespace ornel
