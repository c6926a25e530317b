#include "platform/CodePage.h"

#include <array>
#include <cstdint>
#include <optional>
#include <stdexcept>

namespace ornel
{

namespace
{

// Code points of the bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F in order. The one
// byte the code page leaves unassigned (0x98) maps to U+0098, so that any byte string
// survives a round trip through UTF-8 unchanged.
constexpr std::array<char32_t, 64> kUpperHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F, // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, // B8
};

std::optional<char> ToCp1251(char32_t cp)
{
    if (cp < 0x80)
        return static_cast<char>(cp);
    if (cp >= 0x0410 && cp <= 0x044F)
        return static_cast<char>(0xC0 + (cp - 0x0410));
    for (std::size_t i = 0; i < kUpperHalf.size(); ++i) {
        if (kUpperHalf[i] == cp)
            return static_cast<char>(0x80 + i);
    }
    return std::nullopt;
}


// Decodes one UTF-8 sequence at `pos`; on success advances `pos`. Overlong forms,
// surrogates and truncated sequences are rejected.
std::optional<char32_t> NextCodePoint(std::string_view s, std::size_t& pos)
{
    const auto lead = static_cast<unsigned char>(s[pos]);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        ++pos;
        return lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        cp = lead & 0x1Fu;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        cp = lead & 0x0Fu;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        cp = lead & 0x07u;
        minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    if (pos + length > s.size())
        return std::nullopt;
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(s[pos + i]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        cp = (cp << 6) | (next & 0x3Fu);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    pos += length;
    return cp;
}

std::string Describe(char32_t cp)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string hex;
    for (char32_t v = cp; v != 0 || hex.size() < 4; v >>= 4)
        hex.insert(hex.begin(), kHex[v & 0xF]);
    std::string glyph;
    AppendUtf8(glyph, cp);
    return "'" + glyph + "' (U+" + hex + ")";
}

} // namespace

void AppendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string Utf8ToCp1251(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const std::size_t at = pos;
        const auto cp = NextCodePoint(utf8, pos);
        if (!cp)
            throw std::runtime_error("Недопустимая последовательность UTF-8 в позиции " + std::to_string(at));
        const auto byte = ToCp1251(*cp);
        if (!byte)
            throw std::runtime_error("Символ " + Describe(*cp) + " не представим в кодировке Windows-1251");
        out += *byte;
    }
    return out;
}

bool IsCp1251Representable(std::string_view utf8)
{
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto cp = NextCodePoint(utf8, pos);
        if (!cp || !ToCp1251(*cp))
            return false;
    }
    return true;
}

bool IsValidUtf8(std::string_view text)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        if (!NextCodePoint(text, pos))
            return false;
    }
    return true;
}

std::string Cp1251ToUtf8(std::string_view cp1251)
{
    std::string out;
    out.reserve(cp1251.size() * 2);
    for (const char c : cp1251) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            out += c;
        else if (byte < 0xC0)
            AppendUtf8(out, kUpperHalf[byte - 0x80u]);
        else
            AppendUtf8(out, static_cast<char32_t>(0x0410 + (byte - 0xC0)));
    }
    return out;
}

std::string Utf8ToCp1251Lossy(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const auto cp = NextCodePoint(utf8, pos);
        if (!cp) {
            ++pos; // skip one byte of the broken sequence and carry on
            out += '?';
            continue;
        }
        out += ToCp1251(*cp).value_or('?');
    }
    return out;
}

} // namespace ornel
