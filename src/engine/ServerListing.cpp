#include "engine/ServerListing.h"

#include "ftp/FtpClient.h"
#include "ftp/FtpErrors.h"
#include "ftp/FtpText.h"
#include "platform/CodePage.h"

#include <array>
#include <cctype>
#include <string_view>
#include <utility>

namespace ornel
{

namespace
{

bool IsDigits(std::string_view text, std::size_t minLength, std::size_t maxLength)
{
    if (text.size() < minLength || text.size() > maxLength) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool IsMonth(std::string_view text)
{
    static constexpr std::array<std::string_view, 12> kMonths = {"jan", "feb", "mar", "apr", "may", "jun",
                                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
    if (text.size() != 3) {
        return false;
    }
    std::string lower;
    for (const char c : text) {
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    for (const std::string_view month : kMonths) {
        if (lower == month) {
            return true;
        }
    }
    return false;
}

// "12:45" or "2024": the last column before the name.
bool IsTimeOrYear(std::string_view text)
{
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return IsDigits(text, 4, 4);
    }
    return IsDigits(text.substr(0, colon), 1, 2) && IsDigits(text.substr(colon + 1), 2, 2);
}

struct Column
{
    std::size_t begin;
    std::size_t end;
};

std::vector<Column> Columns(const std::string& line)
{
    std::vector<Column> columns;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) {
            ++i;
        }
        const std::size_t begin = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
            ++i;
        }
        if (i > begin) {
            columns.push_back({begin, i});
        }
    }
    return columns;
}

// One character of the mask's "[...]" set at `m`; moves `m` past the closing bracket. False
// (and `m` unchanged) when the bracket is not closed: it then stands for itself.
bool MatchSet(const std::string& mask, std::size_t& m, unsigned char c, bool& matched)
{
    std::size_t i = m + 1;
    const bool negate = i < mask.size() && (mask[i] == '!' || mask[i] == '^');
    if (negate) {
        ++i;
    }
    bool found = false;
    bool first = true;
    for (; i < mask.size() && (first || mask[i] != ']'); first = false) {
        const auto low = static_cast<unsigned char>(mask[i]);
        if (i + 2 < mask.size() && mask[i + 1] == '-' && mask[i + 2] != ']') {
            found = found || (c >= low && c <= static_cast<unsigned char>(mask[i + 2]));
            i += 3;
        } else {
            found = found || c == low;
            ++i;
        }
    }
    if (i >= mask.size()) {
        return false;
    }
    m = i + 1;
    matched = found != negate;
    return true;
}

// One mask step at `m` against the character `c`; moves `m` past the step when it matches.
bool MatchOne(const std::string& mask, std::size_t& m, char c)
{
    if (mask[m] == '?') {
        ++m;
        return true;
    }
    if (mask[m] == '[') {
        std::size_t next = m;
        bool matched = false;
        if (MatchSet(mask, next, static_cast<unsigned char>(c), matched)) {
            if (matched) {
                m = next;
            }
            return matched;
        }
    }
    if (mask[m] == c) {
        ++m;
        return true;
    }
    return false;
}

bool Glob(const std::string& name, const std::string& mask)
{
    std::size_t n = 0;
    std::size_t m = 0;
    // Where the last "*" stood and which name character it would take next on a retry.
    std::size_t starMask = std::string::npos;
    std::size_t starName = 0;
    while (n < name.size()) {
        if (m < mask.size() && mask[m] == '*') {
            starMask = ++m;
            starName = n;
        } else if (m < mask.size() && MatchOne(mask, m, name[n])) {
            ++n;
        } else if (starMask != std::string::npos) {
            m = starMask;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (m < mask.size() && mask[m] == '*') {
        ++m;
    }
    return m == mask.size();
}

} // namespace

void ServerListing::ListMasked(FtpClient& ftp, std::vector<std::string>& lines, const std::string& mask,
                               bool details, bool& refusesMasks)
{
    try {
        ftp.List(lines, mask, details);
        return;
    } catch (const EFtpReplyError& e) {
        // A transient refusal (4xx) is also what many servers answer for a mask that matches
        // nothing; only a permanent one can say that the server does not take masks here.
        if (!IsPermanentRefusal(e.ReplyCode())) {
            throw;
        }
        if (HasWildcards(mask)) {
            refusesMasks = true;
        } else if (!refusesMasks) {
            throw;
        }
    }
    std::vector<std::string> whole;
    ftp.List(whole, "", details);
    std::vector<std::string> kept;
    for (std::string& line : whole) {
        const std::string name = details ? EntryName(line) : Trim(line);
        if ((details && name.empty()) || MatchesMask(name, mask)) {
            kept.push_back(std::move(line));
        }
    }
    lines = std::move(kept);
}

bool ServerListing::HasWildcards(const std::string& mask)
{
    return mask.find_first_of("*?[") != std::string::npos;
}

bool ServerListing::MatchesMask(const std::string& name, const std::string& mask)
{
    const std::string wireName = Utf8ToCp1251Lossy(name);
    const std::string wireMask = Utf8ToCp1251Lossy(mask);
    if (!wireName.empty() && wireName.front() == '.' && (wireMask.empty() || wireMask.front() != '.')) {
        return false;
    }
    return Glob(wireName, wireMask);
}

std::string ServerListing::EntryName(const std::string& line)
{
    const std::vector<Column> columns = Columns(line);
    const auto text = [&](std::size_t i) {
        return std::string_view(line).substr(columns[i].begin, columns[i].end - columns[i].begin);
    };
    // Mode, links and owner come first, the size right before the date; the group is not
    // always there, so the date is looked for rather than counted to.
    for (std::size_t i = 3; i + 3 < columns.size(); ++i) {
        if (IsMonth(text(i)) && IsDigits(text(i + 1), 1, 2) && IsTimeOrYear(text(i + 2)) &&
            IsDigits(text(i - 1), 1, 20)) {
            // One blank separates the date from the name; any further blank belongs to it.
            return line.substr(columns[i + 2].end + 1);
        }
    }
    return {};
}

std::set<std::string> ServerListing::FolderNames(const std::vector<std::string>& lines)
{
    std::set<std::string> names;
    for (const std::string& line : lines) {
        if (!line.empty() && line.front() == 'd') {
            std::string name = EntryName(line);
            if (!name.empty()) {
                names.insert(std::move(name));
            }
        }
    }
    return names;
}

} // namespace ornel
