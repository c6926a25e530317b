// What the system holds written but not yet on its disks: the work that a sync of a whole
// file system waits for besides the caller's own. Linux: /proc/meminfo.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace ornel
{

// Dirty plus Writeback, in bytes, from the text of /proc/meminfo; nothing when the text
// holds neither.
[[nodiscard]] std::optional<std::int64_t> UnwrittenBytesIn(std::string_view meminfo);
// The same for this system now; nothing when it cannot be read.
[[nodiscard]] std::optional<std::int64_t> UnwrittenBytes();

} // namespace ornel
