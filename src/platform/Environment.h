// What the program's environment says. Free function, any thread.
#pragma once

#include <optional>
#include <string>

namespace ornel
{

// The environment variable `name` as UTF-8 (read in the system's wide form on Windows, so a
// folder name outside the ANSI code page survives); nothing when it is unset or empty.
[[nodiscard]] std::optional<std::string> EnvironmentText(const char* name);

} // namespace ornel
