// Where the agent's files live when the command line does not say.
#pragma once

#include <filesystem>

namespace ornel
{

// The folder of the running executable (for the journal beside it).
[[nodiscard]] std::filesystem::path ExecutableFolder();

} // namespace ornel
