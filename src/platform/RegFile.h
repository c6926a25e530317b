// The `.reg` text format: parsing a file's bytes (our own marked UTF-8 files, Windows
// REGEDIT4 files in Windows-1251, version 5.00 files in UTF-16LE) and writing REGEDIT4 text
// in UTF-8 behind our mark. Plain data and free functions; any thread.
#pragma once

#include "platform/RegistryStore.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ornel
{

// The most a settings file or a file to import may hold. A real export of these keys is a
// few KiB; the limit keeps a wrong file from filling the memory, and the store never saves
// more than it would read back.
constexpr std::size_t kMaxRegFileSize = std::size_t{8} << 20;

// The start of every file this program writes: a UTF-8 byte order mark. Windows' regedit
// never writes one, so our files are never taken for a Windows-1251 export.
constexpr std::string_view kOwnRegFileMark = "\xEF\xBB\xBF";

// The rule a file's encoding is decided by; nothing is guessed from the content.
enum class RegFileRole
{
    // One of the store's own files: UTF-8 behind our mark. A file without the mark is
    // taken only in the form the earlier versions wrote ("REGEDIT4" ended by a bare line
    // feed), as the UTF-8 they wrote.
    StoreHive,
    // A file to import: UTF-8 behind our mark (our exports); "REGEDIT4" without a mark in
    // Windows-1251; "Windows Registry Editor Version 5.00" in UTF-16LE, with or without a
    // byte order mark.
    Import,
};

struct RegValue
{
    std::string Name; // "" is the key's default value ("@")
    RegKind Kind = RegKind::Sz;
    std::string Text; // Sz, ExpandSz: UTF-8
    std::uint32_t Dword = 0;
    std::vector<std::uint8_t> Bytes; // Binary
    int Line = 0;                    // where it was read from; 0 when not read from a file
};

struct RegKeyBlock
{
    std::string Path; // full path with its root, "HKEY_LOCAL_MACHINE\\SOFTWARE\\..."
    std::vector<RegValue> Values;
    int Line = 0; // where the key first appears in the file it was read from
};

struct RegDocument
{
    std::vector<RegKeyBlock> Keys;
    // What reading the file merged or overrode (a key or a value given twice), one message
    // each naming the file and the lines.
    std::vector<std::string> Notices;
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

// Parses a whole file as read from disk, in time linear in its size; `source` names it in
// error messages. A file that breaks the encoding rule of its role, or holds a value cut
// short (a dword without its eight digits, a text without its terminating zero, a hex list
// ending in a comma), throws RegFileError. A key that appears twice is merged; a value that
// appears twice keeps the later data; both leave a notice.
[[nodiscard]] RegDocument ParseRegFile(std::string_view fileBytes, const std::string& source,
                                       RegFileRole role);

enum class LineEnd
{
    Lf,
    CrLf,
};

// Our mark and REGEDIT4 text in UTF-8. Texts with line breaks are written as hex(1),
// expandable texts as hex(2), both as their UTF-8 bytes with a terminating zero.
[[nodiscard]] std::string SerializeRegFile(const RegDocument& document, LineEnd lineEnd);

// Case-insensitive comparison of key paths and value names (Latin and Cyrillic letters).
[[nodiscard]] bool RegNamesEqual(std::string_view a, std::string_view b);

// Lookups in a document, matching case-insensitively; nullptr when absent.
[[nodiscard]] RegKeyBlock* FindRegKey(RegDocument& document, std::string_view path);
[[nodiscard]] const RegKeyBlock* FindRegKey(const RegDocument& document, std::string_view path);
[[nodiscard]] RegValue* FindRegValue(RegKeyBlock& key, std::string_view name);
[[nodiscard]] const RegValue* FindRegValue(const RegKeyBlock& key, std::string_view name);

} // namespace ornel
