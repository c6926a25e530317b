// Where the running program lives, and what its environment says. Free functions, any thread.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace ornel
{

// The folder of the running executable; the current folder when the system does not tell.
[[nodiscard]] std::filesystem::path ExecutableFolder();

// The environment variable `name` as UTF-8 (read in the system's wide form on Windows, so a
// folder name outside the ANSI code page survives); nothing when it is unset or empty.
[[nodiscard]] std::optional<std::string> EnvironmentText(const char* name);

} // namespace ornel
