// Reading a whole file together with its identity, so that a cache can tell cheaply
// whether another process has replaced the file since. Free functions; any thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace ornel
{

struct FileIdentity
{
    bool Exists = false;
    std::uint64_t Device = 0;
    std::uint64_t Inode = 0;
    std::uint64_t Size = 0;
    std::int64_t ModifiedNs = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The file as it is now; Exists is false when it or its folder is missing.
[[nodiscard]] FileIdentity IdentifyFile(const std::filesystem::path& file);

// The whole content and the identity of exactly what was read; std::nullopt when the file
// or its folder is missing. Throws std::runtime_error naming the file when it exists but
// cannot be read.
[[nodiscard]] std::optional<std::string> ReadWholeFile(const std::filesystem::path& file,
                                                       FileIdentity& identity);

} // namespace ornel
