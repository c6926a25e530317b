#include "ftp/FtpText.h"

#include "ftp/FtpErrors.h"

#include <algorithm>
#include <limits>

namespace ornel
{

namespace
{

bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= ' ';
}

char UpperChar(char c)
{
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

} // namespace

std::string TrimLeft(std::string_view text)
{
    std::size_t begin = 0;
    while (begin < text.size() && IsBlank(text[begin])) {
        ++begin;
    }
    return std::string(text.substr(begin));
}

std::string TrimRight(std::string_view text)
{
    std::size_t end = text.size();
    while (end > 0 && IsBlank(text[end - 1])) {
        --end;
    }
    return std::string(text.substr(0, end));
}

std::string Trim(std::string_view text)
{
    return TrimLeft(TrimRight(text));
}

std::optional<std::int64_t> TryParseInt(std::string_view text)
{
    std::size_t pos = 0;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos == text.size()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    const std::uint64_t limit = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    for (; pos < text.size(); ++pos) {
        const char c = text[pos];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<std::uint64_t>(c - '0');
        if (value > (limit - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    if (negative) {
        return value == (std::uint64_t{1} << 63) ? std::numeric_limits<std::int64_t>::min()
                                                 : -static_cast<std::int64_t>(value);
    }
    return static_cast<std::int64_t>(value);
}

std::int64_t ParseIntOrThrow(std::string_view text)
{
    const auto value = TryParseInt(text);
    if (!value) {
        throw EConvertError(std::string(text));
    }
    return *value;
}

std::string UpperAscii(std::string_view text)
{
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(), UpperChar);
    return result;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return UpperChar(x) == UpperChar(y); });
}

std::string DurationText(std::chrono::milliseconds duration)
{
    const auto ms = duration.count();
    if (ms % 1000 == 0) {
        return std::to_string(ms / 1000) + (ms == 1000 ? " second" : " seconds");
    }
    return std::to_string(ms) + " ms";
}

std::vector<std::string> SplitTextLines(std::string_view text)
{
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    std::vector<std::string> lines;
    std::size_t start = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '\r' || c == '\n') {
            lines.emplace_back(text.substr(start, pos - start));
            if (c == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') {
                ++pos;
            }
            start = pos + 1;
        }
        ++pos;
    }
    if (start < text.size()) {
        lines.emplace_back(text.substr(start));
    }
    return lines;
}

} // namespace ornel
