// Where the running program lives. Free function, any thread.
#pragma once

#include <filesystem>

namespace ornel
{

// The folder of the running executable; the current folder when the system does not tell.
[[nodiscard]] std::filesystem::path ExecutableFolder();

} // namespace ornel
