#include "platform/posix/UnwrittenData.h"

#include "platform/FileSnapshot.h"

#include <cctype>
#include <charconv>
#include <exception>

namespace ornel
{

namespace
{

// /proc/meminfo is a few kilobytes; anything larger is not that file.
constexpr std::size_t kMeminfoLimit = 1 << 16;

// The kilobytes of the line "<name>:   <number> kB"; nothing when there is no such line.
std::optional<std::int64_t> Kilobytes(std::string_view text, std::string_view name)
{
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string_view line = text.substr(at, end - at);
        at = end + 1;
        if (line.size() <= name.size() || line.substr(0, name.size()) != name || line[name.size()] != ':') {
            continue;
        }
        line.remove_prefix(name.size() + 1);
        while (!line.empty() && std::isspace(static_cast<unsigned char>(line.front())) != 0) {
            line.remove_prefix(1);
        }
        std::int64_t value = 0;
        const auto [next, error] = std::from_chars(line.data(), line.data() + line.size(), value);
        const std::string_view unit(next, static_cast<std::size_t>(line.data() + line.size() - next));
        if (error != std::errc() || value < 0 || unit.substr(0, 3) != " kB") {
            return std::nullopt;
        }
        return value;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::int64_t> UnwrittenBytesIn(std::string_view meminfo)
{
    const auto dirty = Kilobytes(meminfo, "Dirty");
    const auto writeback = Kilobytes(meminfo, "Writeback");
    if (!dirty && !writeback) {
        return std::nullopt;
    }
    return (dirty.value_or(0) + writeback.value_or(0)) * 1024;
}

std::optional<std::int64_t> UnwrittenBytes()
{
    try {
        const auto text = ReadWholeFile("/proc/meminfo", kMeminfoLimit);
        return text ? UnwrittenBytesIn(*text) : std::nullopt;
    } catch (const std::exception&) {
        return std::nullopt; // not readable here: the caller does without
    }
}

} // namespace ornel
