// Reading a whole file in one go, telling a missing file apart from one that cannot be
// read. Free function; any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace ornel
{

// The whole content; std::nullopt when the file or its folder is missing. Throws
// std::runtime_error naming the file when it exists but cannot be read.
[[nodiscard]] std::optional<std::string> ReadWholeFile(const std::filesystem::path& file);

} // namespace ornel
