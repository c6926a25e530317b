#include "platform/RegFile.h"

#include "platform/CodePage.h"

#include <algorithm>
#include <cstdio>

namespace ornel
{

namespace
{

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

// How the bytes of hex(1)/hex(2) texts are encoded: regedit writes them in the encoding of
// its file; our own files hold UTF-8.
enum class Payload
{
    Utf8,
    Cp1251,
    Utf16Le,
};

struct DecodedFile
{
    std::string Text;
    Payload Encoding;
};


int LineOf(const std::string& decodedSoFar)
{
    int line = 1;
    for (const char c : decodedSoFar)
        line += c == '\n' ? 1 : 0;
    return line;
}

// Decodes UTF-16LE units up to the end or the first zero unit (`stopAtZero`).
std::string Utf16LeToUtf8(std::string_view bytes, bool stopAtZero, const std::string& source)
{
    std::string out;
    const std::size_t units = bytes.size() / 2;
    const auto unitAt = [&](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                     (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    };
    for (std::size_t i = 0; i < units; ++i) {
        char32_t cp = unitAt(i);
        if (cp == 0 && stopAtZero)
            break;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units && unitAt(i + 1) >= 0xDC00 &&
            unitAt(i + 1) <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (unitAt(i + 1) - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            throw RegFileError(source, LineOf(out), "invalid UTF-16 text");
        }
        AppendUtf8(out, cp);
    }
    return out;
}

DecodedFile DecodeFile(std::string_view bytes, const std::string& source)
{
    const auto startsWith = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
    if (startsWith("\xFF\xFE"))
        return {Utf16LeToUtf8(bytes.substr(2), false, source), Payload::Utf16Le};
    if (startsWith("\xFE\xFF"))
        throw RegFileError(source, 1, "UTF-16 big-endian files are not supported");
    if (bytes.size() >= 2 && bytes[0] != 0 && bytes[1] == 0) // UTF-16LE that lost its byte order mark
        return {Utf16LeToUtf8(bytes, false, source), Payload::Utf16Le};
    if (startsWith("\xEF\xBB\xBF")) {
        bytes.remove_prefix(3);
        if (!IsValidUtf8(bytes))
            throw RegFileError(source, 1, "the file is marked as UTF-8 but is not valid UTF-8");
        return {std::string(bytes), Payload::Utf8};
    }
    // Windows-1251 Cyrillic is practically never well-formed UTF-8, so a file that is
    // valid UTF-8 is one of ours and anything else came from a Windows machine.
    if (IsValidUtf8(bytes))
        return {std::string(bytes), Payload::Utf8};
    return {Cp1251ToUtf8(bytes), Payload::Cp1251};
}

std::string DecodePayload(const std::vector<std::uint8_t>& data, Payload encoding, const std::string& source,
                          int line)
{
    const std::string_view raw(reinterpret_cast<const char*>(data.data()), data.size());
    if (encoding == Payload::Utf16Le) {
        try {
            return Utf16LeToUtf8(raw, true, source);
        } catch (const RegFileError&) {
            throw RegFileError(source, line, "invalid UTF-16 text in a hex list");
        }
    }
    const std::string_view text = raw.substr(0, raw.find('\0'));
    if (encoding == Payload::Utf8 && IsValidUtf8(text))
        return std::string(text);
    return Cp1251ToUtf8(text);
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
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

// Parses hex digits (at most `maxDigits`), the whole view; -1 when malformed.
long long ParseHex(std::string_view s, std::size_t maxDigits)
{
    if (s.empty() || s.size() > maxDigits)
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

class Parser
{
public:
    Parser(std::vector<std::string_view> lines, Payload encoding, const std::string& source)
        : m_lines(std::move(lines))
        , m_encoding(encoding)
        , m_source(source)
    {}

    RegDocument Run()
    {
        std::size_t i = 0;
        while (i < m_lines.size() && Trim(m_lines[i]).empty())
            ++i;
        if (i == m_lines.size() || (Trim(m_lines[i]) != kHeader4 && Trim(m_lines[i]) != kHeader5))
            Error(i == m_lines.size() ? 0 : i,
                  "not a registry file: the first line must be \"REGEDIT4\" or \"Windows Registry Editor "
                  "Version 5.00\"");
        // Version 5.00 keeps hex(1) and hex(2) texts in UTF-16LE whatever the file's own
        // encoding; REGEDIT4 keeps them in the file's single-byte encoding.
        if (Trim(m_lines[i]) == kHeader5)
            m_encoding = Payload::Utf16Le;
        else if (m_encoding == Payload::Utf16Le)
            m_encoding = Payload::Cp1251;
        for (++i; i < m_lines.size(); ++i) {
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
    [[noreturn]] void Error(std::size_t index, const std::string& problem) const
    {
        throw RegFileError(m_source, static_cast<int>(index + 1), problem);
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
        m_current = FindRegKey(m_document, path);
        if (!m_current) {
            m_document.Keys.push_back(RegKeyBlock{std::string(path), {}});
            m_current = &m_document.Keys.back();
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
        if (!m_current)
            Error(index, "a value before the first key");
        RegValue value;
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
            const long long number = ParseHex(Trim(rest.substr(6)), 8);
            if (number < 0)
                Error(index, "dword: needs one to eight hexadecimal digits");
            value.Kind = RegKind::Dword;
            value.Dword = static_cast<std::uint32_t>(number);
        } else if (StartsWithNoCase(rest, "hex")) {
            index = HexValue(index, rest, value);
        } else if (rest == "-") {
            Error(index, "deleting values is not supported");
        } else {
            Error(index, "unrecognised value data");
        }
        if (RegValue* existing = FindRegValue(*m_current, value.Name))
            *existing = std::move(value);
        else
            m_current->Values.push_back(std::move(value));
        return index;
    }

    // One line's part of a hex list; a trailing comma is allowed where the list goes on.
    void AppendHexBytes(std::size_t index, std::string_view segment, std::vector<std::uint8_t>& bytes) const
    {
        std::size_t pos = 0;
        while (true) {
            const std::size_t comma = std::min(segment.find(',', pos), segment.size());
            const std::string_view token = Trim(segment.substr(pos, comma - pos));
            const bool last = comma == segment.size();
            if (!token.empty()) {
                const long long byte = ParseHex(token, 2);
                if (byte < 0)
                    Error(index, "malformed byte \"" + std::string(token) + "\" in a hex list");
                bytes.push_back(static_cast<std::uint8_t>(byte));
            } else if (!last) {
                Error(index, "empty byte in a hex list");
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
            type = ParseHex(Trim(typeText.substr(1, typeText.size() - 2)), 8);
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
            AppendHexBytes(start, segment, bytes);
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
            value.Text = DecodePayload(bytes, m_encoding, m_source, static_cast<int>(start + 1));
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

    std::vector<std::string_view> m_lines;
    Payload m_encoding;
    const std::string& m_source;
    RegDocument m_document;
    RegKeyBlock* m_current = nullptr;
};

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

RegDocument ParseRegFile(std::string_view fileBytes, const std::string& source)
{
    const DecodedFile decoded = DecodeFile(fileBytes, source);
    std::vector<std::string_view> lines;
    std::string_view text = decoded.Text;
    while (true) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        text.remove_prefix(end + 1);
    }
    return Parser(std::move(lines), decoded.Encoding, source).Run();
}

std::string SerializeRegFile(const RegDocument& document, LineEnd lineEnd)
{
    const std::string_view eol = lineEnd == LineEnd::CrLf ? "\r\n" : "\n";
    std::string out(kHeader4);
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
