// The one-agent-per-store rule of the front ends that run cycles (the tray application,
// --service, --cycle): the store folder's InstanceLock is taken before anything else and
// held until the process ends. The store tools (--import-reg, --export-reg, --init-journal)
// do not take it and keep working beside a running agent.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace ornel
{

// The exit status of a start refused because an agent already runs on the store.
inline constexpr int kExitAlreadyRunning = 2;

// The Russian message a refused start shows.
[[nodiscard]] std::string AlreadyRunningText(const std::filesystem::path& storeFolder, std::int64_t holder);

} // namespace ornel
