#include "platform/RegFile.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <unordered_map>

namespace ornel
{

namespace
{

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kImportHint = "a file exported on Windows is brought in with --import-reg";

enum class Version
{
    Regedit4,
    Version5,
};

// How the bytes of hex(1)/hex(2) texts are encoded: regedit writes them in the encoding of
// its file (UTF-16LE in any version 5.00 file); our own files hold UTF-8.
enum class Payload
{
    Utf8,
    Cp1251,
    Utf16Le,
};

// A file's text as UTF-8, split into lines, with the header line found.
struct DecodedFile
{
    std::vector<std::string_view> Lines;
    std::size_t HeaderIndex = 0;
    Payload Encoding = Payload::Utf8;
};

[[noreturn]] void Refuse(const std::string& source, std::size_t index, const std::string& problem)
{
    throw RegFileError(source, static_cast<int>(index + 1), problem);
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

bool IsAscii(std::string_view s)
{
    return std::all_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// The lines of a text without their ends ("\n" or "\r\n").
std::vector<std::string_view> SplitLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    while (true) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            return lines;
        text.remove_prefix(end + 1);
    }
}

// The first line that is not blank must be one of the two headers.
std::pair<std::size_t, Version> FindHeader(const std::vector<std::string_view>& lines,
                                           const std::string& source)
{
    std::size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).empty())
        ++i;
    if (i < lines.size() && Trim(lines[i]) == kHeader4)
        return {i, Version::Regedit4};
    if (i < lines.size() && Trim(lines[i]) == kHeader5)
        return {i, Version::Version5};
    Refuse(source, i == lines.size() ? 0 : i,
           "not a registry file: the first line must be \"REGEDIT4\" or \"Windows Registry Editor Version "
           "5.00\"");
}

// `why` says where the rule comes from, for the message.
void CheckUtf8Lines(const std::vector<std::string_view>& lines, const std::string& source,
                    const std::string& why)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find('\0') != std::string_view::npos)
            Refuse(source, i, "a NUL byte, though " + why);
        if (!IsValidUtf8(lines[i]))
            Refuse(source, i, "not valid UTF-8, though " + why);
    }
}

// Decodes UTF-16LE units up to the end or, with `stopAtZero`, the first zero unit. `line`
// counts the line feeds passed, for the messages.
std::string Utf16LeToUtf8(std::string_view bytes, bool stopAtZero, const std::string& source,
                          std::size_t line)
{
    std::string out;
    out.reserve(bytes.size() / 2);
    const std::size_t units = bytes.size() / 2;
    const auto unitAt = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < units; ++i) {
        char32_t cp = unitAt(i);
        if (cp == 0) {
            if (stopAtZero)
                break;
            Refuse(source, line, "a NUL character in the text");
        }
        if (cp == '\n' && !stopAtZero)
            ++line; // a whole file: count its lines for the messages
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units && unitAt(i + 1) >= 0xDC00 &&
            unitAt(i + 1) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            Refuse(source, line, "invalid UTF-16 text (a lone surrogate)");
        }
        AppendUtf8(out, cp);
    }
    if (bytes.size() % 2 != 0)
        Refuse(source, line, "the UTF-16 text ends in the middle of a character: the file is cut short");
    return out;
}

// A line of a Windows-1251 file whose bytes also make sense as UTF-8 could be either; the
// two readings differ, and picking one would be a guess.
[[noreturn]] void Ambiguous(const std::string& source, std::size_t index)
{
    Refuse(source, index,
           "this line reads one way in Windows-1251 and another in UTF-8, so its encoding cannot be told. "
           "A REGEDIT4 file is read as Windows-1251 only where it cannot be UTF-8; a UTF-8 file (an export "
           "of an earlier version of this program, for one) needs a UTF-8 byte order mark at its start");
}

// Fills `decoded` when the bytes need converting and returns the file's lines as UTF-8,
// either into `bytes` or into `decoded`.
DecodedFile DecodeFile(std::string_view bytes, const std::string& source, RegFileRole role,
                       std::string& decoded)
{
    const auto startsWith = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
    DecodedFile file;
    if (startsWith(kOwnRegFileMark)) {
        bytes.remove_prefix(kOwnRegFileMark.size());
        file.Lines = SplitLines(bytes);
        CheckUtf8Lines(file.Lines, source, "the file is marked as UTF-8");
        Version version;
        std::tie(file.HeaderIndex, version) = FindHeader(file.Lines, source);
        if (role == RegFileRole::StoreHive && version != Version::Regedit4)
            Refuse(source, file.HeaderIndex, "a settings file of this program starts with \"REGEDIT4\"");
        // A version 5.00 file saved as UTF-8 by an editor keeps its hex texts in UTF-16.
        file.Encoding = version == Version::Version5 ? Payload::Utf16Le : Payload::Utf8;
        return file;
    }
    if (startsWith("\xFE\xFF"))
        Refuse(source, 0, "UTF-16 big-endian files are not supported");
    const bool utf16WithMark = startsWith("\xFF\xFE");
    const bool utf16 = utf16WithMark || (bytes.size() >= 2 && bytes[0] != 0 && bytes[1] == 0);
    if (role == RegFileRole::StoreHive &&
        (utf16 || !startsWith(std::string(kHeader4) + "\n"))) // the earlier versions' form, exactly
        Refuse(source, 0,
               "not a settings file of this program: it has neither the mark this program writes nor the "
               "form of its earlier versions; " +
                   std::string(kImportHint));
    if (utf16) {
        decoded = Utf16LeToUtf8(bytes.substr(utf16WithMark ? 2 : 0), false, source, 0);
        file.Lines = SplitLines(decoded);
        Version version;
        std::tie(file.HeaderIndex, version) = FindHeader(file.Lines, source);
        if (version != Version::Version5)
            Refuse(
                source, file.HeaderIndex,
                "a REGEDIT4 file is Windows-1251 text, but this one is in UTF-16; a UTF-16 file starts with "
                "\"Windows Registry Editor Version 5.00\"");
        file.Encoding = Payload::Utf16Le;
        return file;
    }
    file.Lines = SplitLines(bytes);
    if (role == RegFileRole::StoreHive) {
        CheckUtf8Lines(file.Lines, source,
                       "the settings files of this program are UTF-8 (" + std::string(kImportHint) + ")");
        file.HeaderIndex = FindHeader(file.Lines, source).first;
        file.Encoding = Payload::Utf8;
        return file;
    }
    Version version;
    std::tie(file.HeaderIndex, version) = FindHeader(file.Lines, source);
    for (std::size_t i = 0; i < file.Lines.size(); ++i) {
        const std::string_view line = file.Lines[i];
        if (line.find('\0') != std::string_view::npos)
            Refuse(source, i,
                   "a NUL byte in a single-byte file (a UTF-16 file starts with \"Windows Registry Editor "
                   "Version 5.00\" or a byte order mark)");
        if (IsAscii(line))
            continue;
        if (version == Version::Version5)
            Refuse(
                source, i,
                "a version 5.00 file is UTF-16 text as regedit writes it; this one is in single bytes, and "
                "beyond plain ASCII their encoding cannot be told");
        if (IsValidUtf8(line))
            Ambiguous(source, i);
    }
    if (version == Version::Version5) {
        file.Encoding = Payload::Utf16Le;
        return file;
    }
    decoded = Cp1251ToUtf8(bytes);
    file.Lines = SplitLines(decoded);
    file.Encoding = Payload::Cp1251;
    return file;
}

// A hex(1) or hex(2) text: its bytes in the file's payload encoding up to a terminating
// zero, which must be there (a list without it was cut short).
std::string DecodePayload(const std::vector<std::uint8_t>& data, Payload encoding, const std::string& source,
                          std::size_t index)
{
    const std::string_view raw(reinterpret_cast<const char*>(data.data()), data.size());
    if (encoding == Payload::Utf16Le) {
        if (raw.size() < 2 || raw.size() % 2 != 0 ||
            raw.substr(raw.size() - 2) != std::string_view("\0\0", 2))
            Refuse(source, index,
                   "the text does not end with its terminating zero (two zero bytes in UTF-16): "
                   "the value is cut short");
        return Utf16LeToUtf8(raw, true, source, index);
    }
    if (raw.empty() || raw.back() != '\0')
        Refuse(source, index, "the text does not end with its terminating zero: the value is cut short");
    const std::string_view text = raw.substr(0, raw.find('\0'));
    if (encoding == Payload::Utf8) {
        if (!IsValidUtf8(text))
            Refuse(source, index, "the text is not valid UTF-8, though the file is");
        return std::string(text);
    }
    if (!IsAscii(text) && IsValidUtf8(text))
        Ambiguous(source, index);
    return Cp1251ToUtf8(text);
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char a = s[i] >= 'A' && s[i] <= 'Z' ? static_cast<char>(s[i] + 32) : s[i];
        if (a != prefix[i])
            return false;
    }
    return true;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Parses hex digits, the whole view, between `minDigits` and `maxDigits` of them; -1 when
// malformed.
long long ParseHex(std::string_view s, std::size_t minDigits, std::size_t maxDigits)
{
    if (s.size() < minDigits || s.size() > maxDigits)
        return -1;
    long long value = 0;
    for (const char c : s) {
        const int d = HexDigit(c);
        if (d < 0)
            return -1;
        value = value * 16 + d;
    }
    return value;
}

std::string Fold(std::string_view s)
{
    std::string out(s);
    for (std::size_t i = 0; i < out.size(); ++i) {
        auto c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = static_cast<char>(c + 32);
        } else if (c == 0xD0 && i + 1 < out.size()) {
            // Cyrillic capitals U+0400..U+042F become U+0450..U+045F and U+0430..U+044F.
            const auto next = static_cast<unsigned char>(out[i + 1]);
            if (next >= 0x80 && next <= 0x8F) {
                out[i] = static_cast<char>(0xD1);
                out[i + 1] = static_cast<char>(next + 0x10);
            } else if (next >= 0x90 && next <= 0x9F) {
                out[i + 1] = static_cast<char>(next + 0x20);
            } else if (next >= 0xA0 && next <= 0xAF) {
                out[i] = static_cast<char>(0xD1);
                out[i + 1] = static_cast<char>(next - 0x20);
            }
            ++i;
        }
    }
    return out;
}

std::string Describe(const std::string& name)
{
    return name.empty() ? std::string("@") : "'" + name + "'";
}

class Parser
{
public:
    Parser(const DecodedFile& file, const std::string& source)
        : m_lines(file.Lines)
        , m_header(file.HeaderIndex)
        , m_encoding(file.Encoding)
        , m_source(source)
    {}

    RegDocument Run()
    {
        for (std::size_t i = m_header + 1; i < m_lines.size(); ++i) {
            const std::string_view line = Trim(m_lines[i]);
            if (line.empty() || line.front() == ';')
                continue;
            if (line.front() == '[')
                KeyLine(i, line);
            else if (line.front() == '"' || line.front() == '@')
                i = ValueLine(i, line);
            else
                Error(i, "unexpected text");
        }
        return std::move(m_document);
    }

private:
    static constexpr std::size_t kNone = static_cast<std::size_t>(-1);

    [[noreturn]] void Error(std::size_t index, const std::string& problem) const
    {
        Refuse(m_source, index, problem);
    }

    std::string At(std::size_t index) const
    {
        return m_source + ", line " + std::to_string(index + 1) + ": ";
    }

    void KeyLine(std::size_t index, std::string_view line)
    {
        if (line.back() != ']')
            Error(index, "a key line must end with \"]\"");
        const std::string_view path = Trim(line.substr(1, line.size() - 2));
        if (path.empty())
            Error(index, "empty key name");
        if (path.front() == '-')
            Error(index, "deleting keys is not supported");
        const auto [found, added] = m_keys.try_emplace(Fold(path), m_document.Keys.size());
        m_current = found->second;
        if (added) {
            m_document.Keys.push_back(RegKeyBlock{std::string(path), {}, static_cast<int>(index + 1)});
            m_values.emplace_back();
        } else {
            m_document.Notices.push_back(
                At(index) + "[" + std::string(path) + "] appears again (first at line " +
                std::to_string(m_document.Keys[m_current].Line) + "); the two are merged");
        }
    }

    // Reads a quoted text starting at s[pos] == '"'; leaves pos after the closing quote.
    std::string Quoted(std::size_t index, std::string_view s, std::size_t& pos) const
    {
        std::string out;
        for (++pos; pos < s.size(); ++pos) {
            const char c = s[pos];
            if (c == '"') {
                ++pos;
                return out;
            }
            if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"'))
                ++pos; // other backslashes are kept as written, as regedit does
            out += s[pos];
        }
        Error(index, "unterminated text");
    }

    std::size_t ValueLine(std::size_t index, std::string_view line)
    {
        if (m_current == kNone)
            Error(index, "a value before the first key");
        RegValue value;
        value.Line = static_cast<int>(index + 1);
        std::size_t pos = 0;
        if (line.front() == '@')
            pos = 1;
        else
            value.Name = Quoted(index, line, pos);
        std::string_view rest = Trim(line.substr(pos));
        if (rest.empty() || rest.front() != '=')
            Error(index, "\"=\" expected after the value name");
        rest = Trim(rest.substr(1));
        if (!rest.empty() && rest.front() == '"') {
            std::size_t textPos = 0;
            value.Text = Quoted(index, rest, textPos);
            if (!Trim(rest.substr(textPos)).empty())
                Error(index, "unexpected text after the closing quote");
            value.Kind = RegKind::Sz;
        } else if (StartsWithNoCase(rest, "dword:")) {
            // regedit always writes all eight digits; fewer means the line was cut.
            const long long number = ParseHex(Trim(rest.substr(6)), 8, 8);
            if (number < 0)
                Error(index, "dword: needs eight hexadecimal digits");
            value.Kind = RegKind::Dword;
            value.Dword = static_cast<std::uint32_t>(number);
        } else if (StartsWithNoCase(rest, "hex")) {
            index = HexValue(index, rest, value);
        } else if (rest == "-") {
            Error(index, "deleting values is not supported");
        } else {
            Error(index, "unrecognised value data");
        }
        Add(std::move(value));
        return index;
    }

    void Add(RegValue value)
    {
        RegKeyBlock& key = m_document.Keys[m_current];
        const auto [found, added] = m_values[m_current].try_emplace(Fold(value.Name), key.Values.size());
        if (added) {
            key.Values.push_back(std::move(value));
            return;
        }
        RegValue& earlier = key.Values[found->second];
        m_document.Notices.push_back(At(static_cast<std::size_t>(value.Line - 1)) + Describe(value.Name) +
                                     " of [" + key.Path + "] appears again (first at line " +
                                     std::to_string(earlier.Line) + "); the value at line " +
                                     std::to_string(value.Line) + " is taken");
        earlier = std::move(value);
    }

    // One line's part of a hex list; a trailing comma is allowed where the list goes on.
    void AppendHexBytes(std::size_t index, std::string_view segment, bool continues,
                        std::vector<std::uint8_t>& bytes) const
    {
        std::size_t pos = 0;
        while (true) {
            const std::size_t comma = std::min(segment.find(',', pos), segment.size());
            const std::string_view token = Trim(segment.substr(pos, comma - pos));
            const bool last = comma == segment.size();
            if (!token.empty()) {
                const long long byte = ParseHex(token, 2, 2);
                if (byte < 0)
                    Error(index, "malformed byte \"" + std::string(token) + "\" in a hex list");
                bytes.push_back(static_cast<std::uint8_t>(byte));
            } else if (!last) {
                Error(index, "empty byte in a hex list");
            } else if (pos > 0 && !continues) {
                Error(index, "the hex list ends with a comma: the value is cut short");
            }
            if (last)
                return;
            pos = comma + 1;
        }
    }

    std::size_t HexValue(std::size_t index, std::string_view rest, RegValue& value)
    {
        const std::size_t colon = rest.find(':');
        if (colon == std::string_view::npos)
            Error(index, "\":\" expected after hex");
        const std::string_view typeText = Trim(rest.substr(3, colon - 3));
        long long type = 3;
        if (!typeText.empty()) {
            if (typeText.front() != '(' || typeText.back() != ')')
                Error(index, "malformed hex type");
            type = ParseHex(Trim(typeText.substr(1, typeText.size() - 2)), 1, 8);
            if (type < 0)
                Error(index, "malformed hex type");
        }
        const std::size_t start = index;
        std::vector<std::uint8_t> bytes;
        std::string_view segment = rest.substr(colon + 1);
        while (true) {
            segment = Trim(segment);
            const bool continues = !segment.empty() && segment.back() == '\\';
            if (continues)
                segment.remove_suffix(1);
            AppendHexBytes(index, segment, continues, bytes);
            if (!continues)
                break;
            if (++index >= m_lines.size())
                Error(start, "the hex list continues past the end of the file");
            segment = m_lines[index];
        }
        switch (type) {
        case 1:
        case 2:
            value.Kind = type == 1 ? RegKind::Sz : RegKind::ExpandSz;
            value.Text = DecodePayload(bytes, m_encoding, m_source, start);
            break;
        case 3:
            value.Kind = RegKind::Binary;
            value.Bytes = std::move(bytes);
            break;
        case 4:
            if (bytes.size() != 4)
                Error(start, "hex(4) needs exactly four bytes");
            value.Kind = RegKind::Dword;
            value.Dword = static_cast<std::uint32_t>(bytes[0] | (bytes[1] << 8) | (bytes[2] << 16)) |
                          (static_cast<std::uint32_t>(bytes[3]) << 24);
            break;
        default:
            Error(start, "values of type hex(" + std::string(typeText.substr(1, typeText.size() - 2)) +
                             ") are not supported");
        }
        return index;
    }

    const std::vector<std::string_view>& m_lines;
    std::size_t m_header;
    Payload m_encoding;
    const std::string& m_source;
    RegDocument m_document;
    // Folded names to positions, so that finding the key or value a line repeats does not
    // search everything read so far.
    std::unordered_map<std::string, std::size_t> m_keys;
    std::vector<std::unordered_map<std::string, std::size_t>> m_values; // one per key
    std::size_t m_current = kNone;
};

std::string Escape(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

void AppendHexList(std::string& out, std::string line, const std::vector<std::uint8_t>& bytes,
                   std::string_view eol)
{
    static const char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        // Wrap as regedit does, so the lines stay readable and other tools accept them.
        if (line.size() + 3 > 78) {
            out += line;
            out += '\\';
            out += eol;
            line = "  ";
        }
        line += kHex[bytes[i] >> 4];
        line += kHex[bytes[i] & 0xF];
        if (i + 1 < bytes.size())
            line += ',';
    }
    out += line;
    out += eol;
}

std::vector<std::uint8_t> TextBytes(const std::string& text)
{
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

} // namespace

RegFileError::RegFileError(const std::string& source, int line, const std::string& problem)
    : std::runtime_error(source + ", line " + std::to_string(line) + ": " + problem)
    , m_line(line)
{}

RegDocument ParseRegFile(std::string_view fileBytes, const std::string& source, RegFileRole role)
{
    std::string decoded;
    const DecodedFile file = DecodeFile(fileBytes, source, role, decoded);
    return Parser(file, source).Run();
}

std::string SerializeRegFile(const RegDocument& document, LineEnd lineEnd)
{
    const std::string_view eol = lineEnd == LineEnd::CrLf ? "\r\n" : "\n";
    std::string out(kOwnRegFileMark);
    out += kHeader4;
    out += eol;
    for (const RegKeyBlock& key : document.Keys) {
        out += eol;
        out += "[" + key.Path + "]";
        out += eol;
        for (const RegValue& value : key.Values) {
            const std::string name = value.Name.empty() ? "@" : "\"" + Escape(value.Name) + "\"";
            switch (value.Kind) {
            case RegKind::Sz:
                if (value.Text.find_first_of("\r\n") == std::string::npos) {
                    out += name + "=\"" + Escape(value.Text) + "\"";
                    out += eol;
                } else {
                    AppendHexList(out, name + "=hex(1):", TextBytes(value.Text), eol);
                }
                break;
            case RegKind::ExpandSz:
                AppendHexList(out, name + "=hex(2):", TextBytes(value.Text), eol);
                break;
            case RegKind::Dword: {
                char digits[9];
                std::snprintf(digits, sizeof digits, "%08x", static_cast<unsigned>(value.Dword));
                out += name + "=dword:" + digits;
                out += eol;
                break;
            }
            case RegKind::Binary:
                AppendHexList(out, name + "=hex:", value.Bytes, eol);
                break;
            }
        }
    }
    return out;
}

bool RegNamesEqual(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && Fold(a) == Fold(b);
}

RegKeyBlock* FindRegKey(RegDocument& document, std::string_view path)
{
    for (RegKeyBlock& key : document.Keys) {
        if (RegNamesEqual(key.Path, path))
            return &key;
    }
    return nullptr;
}

const RegKeyBlock* FindRegKey(const RegDocument& document, std::string_view path)
{
    return FindRegKey(const_cast<RegDocument&>(document), path);
}

RegValue* FindRegValue(RegKeyBlock& key, std::string_view name)
{
    for (RegValue& value : key.Values) {
        if (RegNamesEqual(value.Name, name))
            return &value;
    }
    return nullptr;
}

const RegValue* FindRegValue(const RegKeyBlock& key, std::string_view name)
{
    return FindRegValue(const_cast<RegKeyBlock&>(key), name);
}

} // namespace ornel
